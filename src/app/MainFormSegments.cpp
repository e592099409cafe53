// TfrmMain: the segment list (six newest recordings) and their playback: preview, play/pause,
// seek bar, time labels, full screen and the folder of all recordings.
#include "MainForm.h"

#include "ClickableImage.h"
#include "ClientFont.h"
#include "Configs.h"
#include "FullPlayForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "SkinImageButton.h"
#include "SkinProgressBar.h"
#include "VlcPlayer.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QUrl>

#include <climits>

namespace {
const QString kTimeFormat = QStringLiteral("hh:mm:ss");
const QString kZeroTime = QStringLiteral("00:00:00");
constexpr int kShownSegments = 6;
constexpr int kSeekBarHeight = 13;

QLabel *timeLabel(QWidget *parent, const QString &text, int left)
{
    auto *label = new QLabel(text, parent);
    label->setFont(Qurel::ClientFont(12));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
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

// Frame `number` of the segment list, made inside pnlPicList; empty until the list is loaded.
TPicFrame *TfrmMain::CreatePicFrame(int number)
{
    auto *frame = new TPicFrame(pnlPicList);
    frame->setObjectName(QStringLiteral("fraPicture%1").arg(number));
    frame->setGeometry(0, 0, pnlPicList->width(), 74);
    return frame;
}

void TfrmMain::BuildPlayerControls()
{
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

    MlSkinImageButton1->NormalPicture = QPixmap(QStringLiteral(":/player/more_normal.png"));
    MlSkinImageButton1->HotPicture = QPixmap(QStringLiteral(":/player/more_hot.png"));
    MlSkinImageButton1->PressedPicture = QPixmap(QStringLiteral(":/player/more_pressed.png"));
    MlSkinImageButton1->Caption = QStringLiteral("加载更多片段");
    MlSkinImageButton1->CaptionVisible = true;
    MlSkinImageButton1->CaptionColor = Qt::white;
    MlSkinImageButton1->CaptionOffset = QPoint(20, 0);
    MlSkinImageButton1->setFont(Qurel::ClientFont(14));
    MlSkinImageButton1->HotFont = Qurel::ClientFont(15);
    if (imgCurPlay->pixmap().isNull())
        imgCurPlay->setPixmap(QPixmap(QStringLiteral(":/player/cur_play.png")));

    // Where libvlc draws into a native window, the preview must be a native window too, or the
    // video window would cover it. The player area gets its own native window so that moving it
    // into the full-screen window and back carries the video window along unchanged; libvlc
    // keeps drawing into the window it was given.
    if (plyMain->DrawsIntoWindow()) {
        pnlVideoPic->setAttribute(Qt::WA_DontCreateNativeAncestors);
        pnlVideoPic->setAttribute(Qt::WA_NativeWindow);
        pnlPlayer->setAttribute(Qt::WA_DontCreateNativeAncestors);
        pnlPlayer->setAttribute(Qt::WA_NativeWindow);
    }
    pnlVideoPic->raise();
    imgVideoPic->setScaledContents(false);

    for (int number = 1; number <= kShownSegments; ++number) {
        TPicFrame *frame = GetPicFrame(number);
        connect(frame->imgMain, &Qurel::ClickableImage::clicked, this,
            [this, frame] { fraPicture1imgMainClick(frame); });
    }
    connect(btnStart, &TMlSkinImageButton::OnClick, this, &TfrmMain::btnStartClick);
    connect(btnPause, &TMlSkinImageButton::OnClick, this, &TfrmMain::btnPauseClick);
    connect(imgPlay, &Qurel::ClickableImage::clicked, this, &TfrmMain::imgPlayClick);
    connect(imgPlay, &Qurel::ClickableImage::mouseEntered, this, &TfrmMain::imgPlayMouseEnter);
    connect(imgPlay, &Qurel::ClickableImage::mouseLeft, this, &TfrmMain::imgPlayMouseLeave);
    connect(imgPlay, &Qurel::ClickableImage::mousePressed, this, &TfrmMain::imgPlayMouseDown);
    connect(bpMain, &TMlSkinProgressBar::OnChanged, this, &TfrmMain::bpMainChanged);
    connect(plyMain, &TVlcPlayer::OnMediaPlayerTimeChanged, this, &TfrmMain::plyMainMediaPlayerTimeChanged);
    connect(
        plyMain, &TVlcPlayer::OnMediaPlayerLengthChanged, this, &TfrmMain::plyMainMediaPlayerLengthChanged);
    connect(plyMain, &TVlcPlayer::OnDblClick, this, &TfrmMain::plyMainDblClick);
    connect(MlSkinImageButton1, &TMlSkinImageButton::OnClick, this, &TfrmMain::MlSkinImageButton1Click);
    ArrangePlayer();
}

void TfrmMain::ArrangePlayer()
{
    const int width = pnlPlayer->width();
    const int barHeight = pnlProgPanel->height();
    const int videoHeight = pnlPlayer->height() - barHeight - shpProgTop->height();
    plyMain->setGeometry(0, 0, width, videoHeight);
    pnlVideoPic->setGeometry(plyMain->rect());
    imgVideoPic->setGeometry(pnlVideoPic->rect());
    shpProgTop->setGeometry(0, videoHeight, width, shpProgTop->height());
    pnlProgPanel->setGeometry(0, videoHeight + shpProgTop->height(), width, barHeight);
    bpMain->setGeometry(0, 0, width, kSeekBarHeight);
}

TPicFrame *TfrmMain::GetPicFrame(int number) const
{
    const auto frames = pnlPicList->findChildren<TPicFrame *>(QString(), Qt::FindDirectChildrenOnly);
    return number >= 1 && number <= frames.size() ? frames.at(number - 1) : nullptr;
}

void TfrmMain::ClearPicFrames()
{
    const auto frames = pnlPicList->findChildren<TPicFrame *>(QString(), Qt::FindDirectChildrenOnly);
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        (*it)->InitFraPic();
}

void TfrmMain::LoadPicList()
{
    ClearPicFrames();
    if (SDKConfig.SavePath.isEmpty()) {
        SDKConfig.SavePath = Qurel::DefaultRecordingsFolder();
        QDir().mkdir(SDKConfig.SavePath);
    }
    TFileInfoList recordings = Qurel::FindFiles(SDKConfig.SavePath, QStringLiteral(".mp4"));
    FCurVideoNum = int(recordings.size());
    if (recordings.size() > 1)
        Qurel::SortFilesByDate(recordings);
    const int shown = qMin(int(recordings.size()), kShownSegments);
    for (int n = 1; n <= shown; ++n) {
        const TFileInfo &info = recordings.at(n - 1);
        if (TPicFrame *frame = GetPicFrame(n))
            frame->LoadFraPic(QString::number(n), info.FPicName, info.FVideoName, info.FTxtName);
    }
    if (shown > 0)
        fraPicture1imgMainClick(GetPicFrame(1));
}

void TfrmMain::fraPicture1imgMainClick(TPicFrame *frame)
{
    if (!frame)
        return;
    plyMain->Stop();
    bpMain->SetValue(0);
    lblCurTime->setText(kZeroTime);
    lblMaxTime->setText(kZeroTime);

    FCurPicFra = frame;
    pnlVideoPic->show();
    if (frame->HasRecording()) {
        // The frame holds the thumbnail as read (or its placeholder) at full size.
        imgVideoPic->setPixmap(frame->imgMain->pixmap());
        const auto frames = pnlPicList->findChildren<TPicFrame *>(QString(), Qt::FindDirectChildrenOnly);
        for (TPicFrame *other : frames)
            other->chkSel->setChecked(other == frame);
    } else {
        imgVideoPic->clear();
        pnlVideoPic->hide();
    }
    btnStart->show();
    btnPause->hide();
    imgCurPlay->move(imgCurPlay->x(), frame->y() + frame->height() / 2 - imgCurPlay->height() / 2);
}

void TfrmMain::PlayCurrent(qint64 position)
{
    if (!FCurPicFra || !FCurPicFra->HasRecording())
        return;
    pnlVideoPic->hide();
    if (plyMain->GetState() == vpPaused) {
        plyMain->Resume();
    } else if (!QFileInfo(FCurPicFra->FVideoPath).isFile()) {
        Qurel::ShowMsg(this, QStringLiteral("视频文件不存在，无法播放！"));
        LoadPicList();
        return;
    } else {
        plyMain->Play(FCurPicFra->FVideoPath, 10000, false);
        plyMain->SetVideoPosInMs(position);
    }
    btnStart->hide();
    btnPause->move(btnStart->pos());
    btnPause->show();
}

void TfrmMain::btnStartClick()
{
    PlayCurrent(0);
}

void TfrmMain::btnPauseClick()
{
    plyMain->Pause();
    btnPause->hide();
    btnStart->show();
}

void TfrmMain::imgPlayClick()
{
    PlayCurrent(0);
}

void TfrmMain::LoadPlaySymbol(const QString &fileName)
{
    // Loaded afresh on every mouse event; a missing picture keeps the one shown.
    const QPixmap picture(Qurel::ProgramFolder() + fileName);
    if (!picture.isNull())
        imgPlay->setPixmap(picture);
}

void TfrmMain::imgPlayMouseEnter()
{
    LoadPlaySymbol(QStringLiteral("mouseEnter.png"));
}

void TfrmMain::imgPlayMouseLeave()
{
    LoadPlaySymbol(QStringLiteral("play.png"));
}

void TfrmMain::imgPlayMouseDown()
{
    LoadPlaySymbol(QStringLiteral("mouseDown.png"));
}

void TfrmMain::plyMainMediaPlayerLengthChanged(qint64)
{
    lblMaxTime->setText(plyMain->GetVideoLenStr(kTimeFormat));
    bpMain->SetMaxValue(int(qMin<qint64>(plyMain->GetVideoLenInMs(), INT_MAX)));
}

void TfrmMain::plyMainMediaPlayerTimeChanged(qint64)
{
    lblCurTime->setText(plyMain->GetVideoPosStr(kTimeFormat));
    FAutoPlay = true;
    bpMain->SetValue(int(qMin<qint64>(plyMain->GetVideoPosInMs(), INT_MAX)));
    FAutoPlay = false;
}

void TfrmMain::bpMainChanged()
{
    if (!plyMain->CanSeek())
        return;
    if (!FAutoPlay)
        plyMain->SetVideoPosInMs(bpMain->Value());
    lblCurTime->setText(plyMain->GetVideoPosStr(kTimeFormat));
}

void TfrmMain::plyMainDblClick()
{
    if (!frmFullPlay)
        return;
    if (FFullScrPlay) {
        FFullScrPlay = false;
        pnlPlayer->setParent(pnl3);
        pnlPlayer->setGeometry(FPlayerHome);
        ArrangePlayer();
        CentrePlaySymbol();
        pnlPlayer->show();
        frmFullPlay->close();
        return;
    }
    FFullScrPlay = true;
    FPlayerHome = pnlPlayer->geometry();
    // The monitor that holds the main window, at its own size.
    const QScreen *monitor = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = monitor->geometry();
    frmFullPlay->setGeometry(area);
    pnlPlayer->setParent(frmFullPlay);
    pnlPlayer->setGeometry(0, 0, area.width(), area.height());
    ArrangePlayer();
    imgPlay->move(area.width() / 2 - imgPlay->width() / 2, area.height() / 2 - imgPlay->height() / 2);
    pnlPlayer->show();
    frmFullPlay->exec();
    // Closed another way (Esc, the window manager): bring the player back all the same.
    if (FFullScrPlay)
        plyMainDblClick();
}

void TfrmMain::MlSkinImageButton1Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(SDKConfig.SavePath));
}
