// PlayerArea: the video, its preview, the control bar and the full-screen switch.
#include "PlayerArea.h"

#include "ClickableImage.h"
#include "ClientFont.h"
#include "FullPlayForm.h"
#include "LayoutParts.h"
#include "ProgramFolder.h"
#include "SkinImageButton.h"
#include "SkinPainting.h"
#include "SkinProgressBar.h"
#include "VlcPlayer.h"

#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <climits>

namespace Qurel {

namespace {
const QString kTimeFormat = QStringLiteral("hh:mm:ss");
const QString kZeroTime = QStringLiteral("00:00:00");
constexpr int kProgPanelHeight = 53;
constexpr int kSeekBarHeight = 13;
const QColor kProgPanelColour(0, 102, 171);

QLabel *timeLabel(QWidget *parent, const QString &text, int left)
{
    auto *label = new QLabel(text, parent);
    label->setFont(ClientFont(12));
    SetColour(label, QPalette::WindowText, Qt::white);
    label->move(left, 28);
    label->adjustSize();
    return label;
}

// The play and pause buttons: a strip of four pictures, no caption, no shift when pressed.
TMlSkinImageButton *stripButton(QWidget *parent, const QString &name, const QString &strip)
{
    auto *button = new TMlSkinImageButton(parent);
    button->setObjectName(name);
    button->setGeometry(4, 15, 57, 35);
    button->Pictures.Png = QPixmap(strip);
    button->Pictures.Count = 4;
    button->Pictures.Active = true;
    button->PressedOffset = 0;
    button->setCursor(Qt::PointingHandCursor);
    return button;
}
} // namespace

PlayerArea::PlayerArea(QWidget *home, const QRect &geometry)
    : QWidget(home)
    , FHome(home)
{
    setObjectName(QStringLiteral("pnlPlayer"));
    setGeometry(geometry);
    BuildVideo();
    BuildControlBar();
    // Where libvlc draws into a native window, the preview must be a native window too, or the
    // video window would cover it. The player area gets its own native window so that moving it
    // into the full-screen window and back carries the video window along unchanged; libvlc
    // keeps drawing into the window it was given.
    if (plyMain->DrawsIntoWindow()) {
        pnlVideoPic->setAttribute(Qt::WA_DontCreateNativeAncestors);
        pnlVideoPic->setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
    }
    pnlVideoPic->raise();
    Wire();
    ArrangePlayer();
}

void PlayerArea::BuildVideo()
{
    plyMain = new TVlcPlayer(this);
    plyMain->setObjectName(QStringLiteral("plyMain"));
    pnlVideoPic = Panel(plyMain, QRect(), QStringLiteral("pnlVideoPic"));
    PaintBackground(pnlVideoPic, Qt::black);
    imgVideoPic = NamedLabel(pnlVideoPic, QString(), QStringLiteral("imgVideoPic"));
    imgVideoPic->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgVideoPic->setScaledContents(false);
    imgPlay = new ClickableImage(pnlVideoPic);
    imgPlay->setObjectName(QStringLiteral("imgPlay"));
    imgPlay->resize(110, 111);
    imgPlay->setPixmap(SkinPicture(QStringLiteral("play")));
    imgPlay->setCursor(Qt::PointingHandCursor);
}

void PlayerArea::BuildControlBar()
{
    shpProgTop = Line(this, QRect(0, 0, 0, 1), QStringLiteral("shpProgTop"));
    pnlProgPanel = Panel(this, QRect(0, 0, 0, kProgPanelHeight), QStringLiteral("pnlProgPanel"));
    PaintBackground(pnlProgPanel, kProgPanelColour);

    bpMain = new TMlSkinProgressBar(pnlProgPanel);
    bpMain->setObjectName(QStringLiteral("bpMain"));
    bpMain->Bar_Background = QPixmap(QStringLiteral(":/player/bar_base.png"));
    bpMain->Bar_Progress = QPixmap(QStringLiteral(":/player/bar_progress.png"));
    bpMain->TrackButton.Normal = QPixmap(QStringLiteral(":/player/bar_thumb.png"));
    bpMain->TrackButton.Hot = QPixmap(QStringLiteral(":/player/bar_thumb_hot.png"));
    bpMain->TrackButton.Visible = true;
    bpMain->BeginUpdate();
    bpMain->SetValue(0);
    bpMain->EndUpdate();

    btnStart = stripButton(pnlProgPanel, QStringLiteral("btnStart"), QStringLiteral(":/player/btn_play.png"));
    btnPause
        = stripButton(pnlProgPanel, QStringLiteral("btnPause"), QStringLiteral(":/player/btn_pause.png"));
    btnPause->hide();
    lblCurTime = timeLabel(pnlProgPanel, kZeroTime, 66);
    lblTimeSlash = timeLabel(pnlProgPanel, QStringLiteral("/"), 124);
    lblMaxTime = timeLabel(pnlProgPanel, kZeroTime, 136);
    lblCurTime->setObjectName(QStringLiteral("lblCurTime"));
    lblMaxTime->setObjectName(QStringLiteral("lblMaxTime"));
}

void PlayerArea::Wire()
{
    connect(btnStart, &TMlSkinImageButton::OnClick, this, &PlayerArea::btnStartClick);
    connect(btnPause, &TMlSkinImageButton::OnClick, this, &PlayerArea::btnPauseClick);
    connect(imgPlay, &ClickableImage::clicked, this, &PlayerArea::imgPlayClick);
    connect(imgPlay, &ClickableImage::mouseEntered, this, &PlayerArea::imgPlayMouseEnter);
    connect(imgPlay, &ClickableImage::mouseLeft, this, &PlayerArea::imgPlayMouseLeave);
    connect(imgPlay, &ClickableImage::mousePressed, this, &PlayerArea::imgPlayMouseDown);
    connect(bpMain, &TMlSkinProgressBar::OnChanged, this, &PlayerArea::bpMainChanged);
    connect(plyMain, &TVlcPlayer::OnMediaPlayerTimeChanged, this, &PlayerArea::plyMainMediaPlayerTimeChanged);
    connect(
        plyMain, &TVlcPlayer::OnMediaPlayerLengthChanged, this, &PlayerArea::plyMainMediaPlayerLengthChanged);
    connect(plyMain, &TVlcPlayer::OnDblClick, this, &PlayerArea::plyMainDblClick);
}

void PlayerArea::ArrangePlayer()
{
    const int barHeight = pnlProgPanel->height();
    const int videoHeight = height() - barHeight - shpProgTop->height();
    plyMain->setGeometry(0, 0, width(), videoHeight);
    pnlVideoPic->setGeometry(plyMain->rect());
    imgVideoPic->setGeometry(pnlVideoPic->rect());
    shpProgTop->setGeometry(0, videoHeight, width(), shpProgTop->height());
    pnlProgPanel->setGeometry(0, videoHeight + shpProgTop->height(), width(), barHeight);
    bpMain->setGeometry(0, 0, width(), kSeekBarHeight);
}

void PlayerArea::centrePlaySymbol()
{
    imgPlay->move(
        pnlVideoPic->width() / 2 - imgPlay->width() / 2, pnlVideoPic->height() / 2 - imgPlay->height() / 2);
}

void PlayerArea::Rewind()
{
    plyMain->Stop();
    bpMain->SetValue(0);
    lblCurTime->setText(kZeroTime);
    lblMaxTime->setText(kZeroTime);
}

void PlayerArea::Cue(const QPixmap &preview)
{
    Rewind();
    // The preview is the thumbnail as read (or its placeholder) at full size.
    imgVideoPic->setPixmap(preview);
    pnlVideoPic->show();
    btnStart->show();
    btnPause->hide();
}

void PlayerArea::CueNothing()
{
    Rewind();
    imgVideoPic->clear();
    pnlVideoPic->hide();
    btnStart->show();
    btnPause->hide();
}

bool PlayerArea::Play(const QString &video, qint64 position)
{
    pnlVideoPic->hide();
    if (plyMain->GetState() == vpPaused) {
        plyMain->Resume();
    } else if (!QFileInfo(video).isFile()) {
        return false;
    } else {
        plyMain->Play(video, 10000, false);
        plyMain->SetVideoPosInMs(position);
    }
    btnStart->hide();
    btnPause->move(btnStart->pos());
    btnPause->show();
    return true;
}

void PlayerArea::Stop()
{
    plyMain->Stop();
}

void PlayerArea::HidePreview()
{
    pnlVideoPic->hide();
}

void PlayerArea::btnStartClick()
{
    emit playClicked();
}

void PlayerArea::btnPauseClick()
{
    plyMain->Pause();
    btnPause->hide();
    btnStart->show();
}

void PlayerArea::imgPlayClick()
{
    emit playClicked();
}

void PlayerArea::LoadPlaySymbol(const QString &fileName)
{
    // Loaded afresh on every mouse event; a missing picture keeps the one shown.
    const QPixmap picture(ProgramFolder() + fileName);
    if (!picture.isNull())
        imgPlay->setPixmap(picture);
}

void PlayerArea::imgPlayMouseEnter()
{
    LoadPlaySymbol(QStringLiteral("mouseEnter.png"));
}

void PlayerArea::imgPlayMouseLeave()
{
    LoadPlaySymbol(QStringLiteral("play.png"));
}

void PlayerArea::imgPlayMouseDown()
{
    LoadPlaySymbol(QStringLiteral("mouseDown.png"));
}

void PlayerArea::plyMainMediaPlayerLengthChanged(qint64)
{
    lblMaxTime->setText(plyMain->GetVideoLenStr(kTimeFormat));
    bpMain->SetMaxValue(int(qMin<qint64>(plyMain->GetVideoLenInMs(), INT_MAX)));
}

void PlayerArea::plyMainMediaPlayerTimeChanged(qint64)
{
    lblCurTime->setText(plyMain->GetVideoPosStr(kTimeFormat));
    FAutoPlay = true;
    bpMain->SetValue(int(qMin<qint64>(plyMain->GetVideoPosInMs(), INT_MAX)));
    FAutoPlay = false;
}

void PlayerArea::bpMainChanged()
{
    if (!plyMain->CanSeek())
        return;
    if (!FAutoPlay)
        plyMain->SetVideoPosInMs(bpMain->Value());
    lblCurTime->setText(plyMain->GetVideoPosStr(kTimeFormat));
}

void PlayerArea::plyMainDblClick()
{
    if (!frmFullPlay)
        return;
    if (FFullScrPlay) {
        FFullScrPlay = false;
        setParent(FHome);
        setGeometry(FPlayerHome);
        ArrangePlayer();
        centrePlaySymbol();
        show();
        frmFullPlay->close();
        return;
    }
    FFullScrPlay = true;
    FPlayerHome = geometry();
    // The monitor that holds the main window, at its own size.
    const QScreen *monitor = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = monitor->geometry();
    frmFullPlay->setGeometry(area);
    setParent(frmFullPlay);
    setGeometry(0, 0, area.width(), area.height());
    ArrangePlayer();
    imgPlay->move(area.width() / 2 - imgPlay->width() / 2, area.height() / 2 - imgPlay->height() / 2);
    show();
    frmFullPlay->exec();
    // Closed another way (Esc, the window manager): bring the player back all the same.
    if (FFullScrPlay)
        plyMainDblClick();
}

} // namespace Qurel
