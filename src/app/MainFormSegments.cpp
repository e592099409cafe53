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
#include "SkinPainting.h"
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
    Qurel::SetColour(label, QPalette::WindowText, Qt::white);
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

void TfrmMain::BuildPlayerControls()
{
    FUi.bpMain = new TMlSkinProgressBar(FUi.pnlProgPanel);
    FUi.bpMain->setObjectName(QStringLiteral("bpMain"));
    FUi.bpMain->Bar_Background = QPixmap(QStringLiteral(":/player/bar_base.png"));
    FUi.bpMain->Bar_Progress = QPixmap(QStringLiteral(":/player/bar_progress.png"));
    FUi.bpMain->TrackButton.Normal = QPixmap(QStringLiteral(":/player/bar_thumb.png"));
    FUi.bpMain->TrackButton.Hot = QPixmap(QStringLiteral(":/player/bar_thumb_hot.png"));
    FUi.bpMain->TrackButton.Visible = true;
    FUi.bpMain->BeginUpdate();
    FUi.bpMain->SetValue(0);
    FUi.bpMain->EndUpdate();

    FUi.btnStart = stripButton(FUi.pnlProgPanel, QStringLiteral("btnStart"), QStringLiteral(":/player/btn_play.png"));
    FUi.btnPause
        = stripButton(FUi.pnlProgPanel, QStringLiteral("btnPause"), QStringLiteral(":/player/btn_pause.png"));
    FUi.btnPause->hide();
    FUi.lblCurTime = timeLabel(FUi.pnlProgPanel, kZeroTime, 66);
    FUi.lblTimeSlash = timeLabel(FUi.pnlProgPanel, QStringLiteral("/"), 124);
    FUi.lblMaxTime = timeLabel(FUi.pnlProgPanel, kZeroTime, 136);
    FUi.lblCurTime->setObjectName(QStringLiteral("lblCurTime"));
    FUi.lblMaxTime->setObjectName(QStringLiteral("lblMaxTime"));

    FUi.MlSkinImageButton1->NormalPicture = QPixmap(QStringLiteral(":/player/more_normal.png"));
    FUi.MlSkinImageButton1->HotPicture = QPixmap(QStringLiteral(":/player/more_hot.png"));
    FUi.MlSkinImageButton1->PressedPicture = QPixmap(QStringLiteral(":/player/more_pressed.png"));
    FUi.MlSkinImageButton1->Caption = QStringLiteral("加载更多片段");
    FUi.MlSkinImageButton1->CaptionVisible = true;
    FUi.MlSkinImageButton1->CaptionColor = Qt::white;
    FUi.MlSkinImageButton1->CaptionOffset = QPoint(20, 0);
    FUi.MlSkinImageButton1->setFont(Qurel::ClientFont(14));
    FUi.MlSkinImageButton1->HotFont = Qurel::ClientFont(15);
    if (FUi.imgCurPlay->pixmap().isNull())
        FUi.imgCurPlay->setPixmap(QPixmap(QStringLiteral(":/player/cur_play.png")));

    // Where libvlc draws into a native window, the preview must be a native window too, or the
    // video window would cover it. The player area gets its own native window so that moving it
    // into the full-screen window and back carries the video window along unchanged; libvlc
    // keeps drawing into the window it was given.
    if (FUi.plyMain->DrawsIntoWindow()) {
        FUi.pnlVideoPic->setAttribute(Qt::WA_DontCreateNativeAncestors);
        FUi.pnlVideoPic->setAttribute(Qt::WA_NativeWindow);
        FUi.pnlPlayer->setAttribute(Qt::WA_DontCreateNativeAncestors);
        FUi.pnlPlayer->setAttribute(Qt::WA_NativeWindow);
    }
    FUi.pnlVideoPic->raise();
    FUi.imgVideoPic->setScaledContents(false);

    for (int number = 1; number <= kShownSegments; ++number) {
        TPicFrame *frame = GetPicFrame(number);
        connect(frame, &TPicFrame::clicked, this, [this, frame] { fraPicture1imgMainClick(frame); });
        connect(frame, &TPicFrame::tickChanged, this,
            [this, number](bool ticked) { FSegments.setTicked(number - 1, ticked); });
    }
    connect(FUi.btnStart, &TMlSkinImageButton::OnClick, this, &TfrmMain::btnStartClick);
    connect(FUi.btnPause, &TMlSkinImageButton::OnClick, this, &TfrmMain::btnPauseClick);
    connect(FUi.imgPlay, &Qurel::ClickableImage::clicked, this, &TfrmMain::imgPlayClick);
    connect(FUi.imgPlay, &Qurel::ClickableImage::mouseEntered, this, &TfrmMain::imgPlayMouseEnter);
    connect(FUi.imgPlay, &Qurel::ClickableImage::mouseLeft, this, &TfrmMain::imgPlayMouseLeave);
    connect(FUi.imgPlay, &Qurel::ClickableImage::mousePressed, this, &TfrmMain::imgPlayMouseDown);
    connect(FUi.bpMain, &TMlSkinProgressBar::OnChanged, this, &TfrmMain::bpMainChanged);
    connect(FUi.plyMain, &TVlcPlayer::OnMediaPlayerTimeChanged, this, &TfrmMain::plyMainMediaPlayerTimeChanged);
    connect(
        FUi.plyMain, &TVlcPlayer::OnMediaPlayerLengthChanged, this, &TfrmMain::plyMainMediaPlayerLengthChanged);
    connect(FUi.plyMain, &TVlcPlayer::OnDblClick, this, &TfrmMain::plyMainDblClick);
    connect(FUi.MlSkinImageButton1, &TMlSkinImageButton::OnClick, this, &TfrmMain::MlSkinImageButton1Click);
    ArrangePlayer();
}

void TfrmMain::ArrangePlayer()
{
    const int width = FUi.pnlPlayer->width();
    const int barHeight = FUi.pnlProgPanel->height();
    const int videoHeight = FUi.pnlPlayer->height() - barHeight - FUi.shpProgTop->height();
    FUi.plyMain->setGeometry(0, 0, width, videoHeight);
    FUi.pnlVideoPic->setGeometry(FUi.plyMain->rect());
    FUi.imgVideoPic->setGeometry(FUi.pnlVideoPic->rect());
    FUi.shpProgTop->setGeometry(0, videoHeight, width, FUi.shpProgTop->height());
    FUi.pnlProgPanel->setGeometry(0, videoHeight + FUi.shpProgTop->height(), width, barHeight);
    FUi.bpMain->setGeometry(0, 0, width, kSeekBarHeight);
}

TPicFrame *TfrmMain::GetPicFrame(int number) const
{
    const auto frames = FUi.pnlPicList->findChildren<TPicFrame *>(QString(), Qt::FindDirectChildrenOnly);
    return number >= 1 && number <= frames.size() ? frames.at(number - 1) : nullptr;
}

QStringList TfrmMain::LiveVideos() const
{
    return FKeeper ? FKeeper->snapshot().unfinishedFiles : QStringList();
}

void TfrmMain::ShowPicFrames()
{
    for (int n = 1; n <= Qurel::SegmentList::kShown; ++n) {
        TPicFrame *frame = GetPicFrame(n);
        if (!frame)
            continue;
        if (n <= FSegments.count())
            frame->LoadFraPic(n, FSegments.at(n - 1).thumbnailPath, FSegments.isTicked(n - 1));
        else
            frame->InitFraPic();
    }
}

void TfrmMain::LoadPicList()
{
    if (SDKConfig.SavePath.isEmpty()) {
        SDKConfig.SavePath = Qurel::DefaultRecordingsFolder();
        QDir().mkdir(SDKConfig.SavePath);
    }
    // The lesson being recorded stays out until its stop has finished its files.
    FSegments.Load(Qurel::ListRecordings(SDKConfig.SavePath), LiveVideos());
    FCurVideoNum = FSegments.total();
    for (int i = 0; i < FSegments.count(); ++i)
        Qurel::CompleteSideFiles(FSegments.entry(i), this);
    ShowPicFrames();
    if (FSegments.count() > 0)
        fraPicture1imgMainClick(GetPicFrame(1));
}

void TfrmMain::fraPicture1imgMainClick(TPicFrame *frame)
{
    if (!frame)
        return;
    FUi.plyMain->Stop();
    FUi.bpMain->SetValue(0);
    FUi.lblCurTime->setText(kZeroTime);
    FUi.lblMaxTime->setText(kZeroTime);

    FCurPicFra = frame;
    FUi.pnlVideoPic->show();
    if (frame->HasRecording()) {
        // The frame holds the thumbnail as read (or its placeholder) at full size.
        FUi.imgVideoPic->setPixmap(frame->imgMain->pixmap());
        FSegments.select(frame->Number() - 1);
        for (int n = 1; n <= FSegments.count(); ++n)
            GetPicFrame(n)->chkSel->setChecked(FSegments.isTicked(n - 1));
    } else {
        FUi.imgVideoPic->clear();
        FUi.pnlVideoPic->hide();
    }
    FUi.btnStart->show();
    FUi.btnPause->hide();
    FUi.imgCurPlay->move(FUi.imgCurPlay->x(), frame->y() + frame->height() / 2 - FUi.imgCurPlay->height() / 2);
}

void TfrmMain::PlayCurrent(qint64 position)
{
    if (!FCurPicFra || !FCurPicFra->HasRecording() || !FSegments.hasCurrent())
        return;
    const QString video = FSegments.currentRecording().videoPath;
    FUi.pnlVideoPic->hide();
    if (FUi.plyMain->GetState() == vpPaused) {
        FUi.plyMain->Resume();
    } else if (!QFileInfo(video).isFile()) {
        Qurel::ShowMsg(this, QStringLiteral("视频文件不存在，无法播放！"));
        LoadPicList();
        return;
    } else {
        FUi.plyMain->Play(video, 10000, false);
        FUi.plyMain->SetVideoPosInMs(position);
    }
    FUi.btnStart->hide();
    FUi.btnPause->move(FUi.btnStart->pos());
    FUi.btnPause->show();
}

void TfrmMain::btnStartClick()
{
    PlayCurrent(0);
}

void TfrmMain::btnPauseClick()
{
    FUi.plyMain->Pause();
    FUi.btnPause->hide();
    FUi.btnStart->show();
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
        FUi.imgPlay->setPixmap(picture);
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
    FUi.lblMaxTime->setText(FUi.plyMain->GetVideoLenStr(kTimeFormat));
    FUi.bpMain->SetMaxValue(int(qMin<qint64>(FUi.plyMain->GetVideoLenInMs(), INT_MAX)));
}

void TfrmMain::plyMainMediaPlayerTimeChanged(qint64)
{
    FUi.lblCurTime->setText(FUi.plyMain->GetVideoPosStr(kTimeFormat));
    FAutoPlay = true;
    FUi.bpMain->SetValue(int(qMin<qint64>(FUi.plyMain->GetVideoPosInMs(), INT_MAX)));
    FAutoPlay = false;
}

void TfrmMain::bpMainChanged()
{
    if (!FUi.plyMain->CanSeek())
        return;
    if (!FAutoPlay)
        FUi.plyMain->SetVideoPosInMs(FUi.bpMain->Value());
    FUi.lblCurTime->setText(FUi.plyMain->GetVideoPosStr(kTimeFormat));
}

void TfrmMain::plyMainDblClick()
{
    if (!frmFullPlay)
        return;
    if (FFullScrPlay) {
        FFullScrPlay = false;
        FUi.pnlPlayer->setParent(FUi.pnl3);
        FUi.pnlPlayer->setGeometry(FPlayerHome);
        ArrangePlayer();
        FUi.centrePlaySymbol();
        FUi.pnlPlayer->show();
        frmFullPlay->close();
        return;
    }
    FFullScrPlay = true;
    FPlayerHome = FUi.pnlPlayer->geometry();
    // The monitor that holds the main window, at its own size.
    const QScreen *monitor = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = monitor->geometry();
    frmFullPlay->setGeometry(area);
    FUi.pnlPlayer->setParent(frmFullPlay);
    FUi.pnlPlayer->setGeometry(0, 0, area.width(), area.height());
    ArrangePlayer();
    FUi.imgPlay->move(area.width() / 2 - FUi.imgPlay->width() / 2, area.height() / 2 - FUi.imgPlay->height() / 2);
    FUi.pnlPlayer->show();
    frmFullPlay->exec();
    // Closed another way (Esc, the window manager): bring the player back all the same.
    if (FFullScrPlay)
        plyMainDblClick();
}

void TfrmMain::MlSkinImageButton1Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(SDKConfig.SavePath));
}
