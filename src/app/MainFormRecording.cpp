// TfrmMain: the local recording workflow and the recorder's F5/F6 hot keys. The lesson keeper does
// the work; this file hands it the buttons and keys and keeps the labels in step with it.
#include "MainForm.h"

#include "Configs.h"
#include "MessageBoxes.h"
#include "TimeText.h"
#include "UserMessages.h"

#include <QLabel>
#include <QTimer>

namespace {
constexpr int kTimingIntervalMs = 1000;
const QString &kRecordingPrefix = Qurel::kRecordingStatusPrefix;
constexpr int kTimingLeft = 364;

} // namespace

void TfrmMain::WireKeeper()
{
    tmrRecTiming = new QTimer(this);
    tmrRecTiming->setInterval(kTimingIntervalMs);
    connect(tmrRecTiming, &QTimer::timeout, this, &TfrmMain::tmrRecTimingTimer);
    connect(FKeeper, &Qurel::KeeperView::snapshotChanged, this, &TfrmMain::KeeperChanged);
    connect(FKeeper, &Qurel::KeeperView::message, this, &TfrmMain::ShowMessageLater);
    connect(FKeeper, &Qurel::KeeperView::lessonFinished, this, &TfrmMain::LoadPicList);
    connect(FKeeper, &Qurel::KeeperView::answeringChanged, this, &TfrmMain::KeeperAnswering);
    connect(FKeeper, &Qurel::KeeperView::keeperMissing, this, [this] {
        ShowMessageLater(QStringLiteral("课程录制服务（qureld）未能启动，本机暂时不会保存课程录像，请检查软件是否安装完整！"));
    });
    const auto closeIfAsked = [this] {
        // From the event loop: a close() nested in another close would do nothing.
        if (FCloseWhenSettled && FKeeper->snapshot().settled)
            QTimer::singleShot(0, this, &QWidget::close);
    };
    connect(FKeeper, &Qurel::KeeperView::finished, this, closeIfAsked);
    connect(FKeeper, &Qurel::KeeperView::snapshotChanged, this, closeIfAsked);
}

// Brings the labels in step with what the keeper reports; only what changed is touched.
void TfrmMain::KeeperChanged(const Qurel::KeeperSnapshot &snapshot)
{
    const Qurel::KeeperSnapshot before = std::exchange(FShown, snapshot);
    // A list read while the keeper was still naming a new lesson's file may show that file: it goes
    // again as soon as the keeper reports the file as its own.
    if (snapshot.unfinishedFiles != before.unfinishedFiles) {
        for (int i = 0; i < Segments().count(); ++i) {
            if (Qurel::SameAsAny(Segments().at(i).videoPath, snapshot.unfinishedFiles)) {
                LoadPicList();
                break;
            }
        }
    }
    if (snapshot.linkText != before.linkText || snapshot.linkTextVisible != before.linkTextVisible)
        ShowConnectionStatus(snapshot.linkText, snapshot.linkTextVisible);
    if (snapshot.state != before.state)
        LessonStateChanged(snapshot.state);
    else if (snapshot.state == QLatin1String("starting") && snapshot.retry != before.retry)
        LessonStateChanged(snapshot.state);
    else if (snapshot.warning != before.warning)
        ShowRecordingLine();
}

// A system keeper keeps its lessons in its own folder, which its group may use: the list shows it.
void TfrmMain::KeeperAnswering(bool answering)
{
    const QString recordings = FKeeper->recordings();
    if (!answering || recordings.isEmpty())
        return;
    FUi.pnl2->setServiceFolder(recordings);
    LoadPicList();
}

void TfrmMain::btnStartRecClick()
{
    StartLocalRecording(QString());
}

void TfrmMain::btnEndRecClick()
{
    StopLocalRecording();
}

void TfrmMain::StartLocalRecording(const QString &)
{
    FKeeper->startLesson();
}

void TfrmMain::StopLocalRecording()
{
    FKeeper->stopLesson();
}

void TfrmMain::LessonStateChanged(const QString &state)
{
    if (state == QLatin1String("starting")) {
        // A start that failed is tried again; its reason stands on the status line meanwhile.
        const QString &retry = FShown.retry;
        FUi.lblStatus->setText(retry.isEmpty() ? QStringLiteral("正在开始录制，请稍等")
                                               : retry + QStringLiteral("（稍后自动重试）"));
        FUi.lblStatus->adjustSize();
        FUi.lblStatus->show();
    } else if (state == QLatin1String("recording")) {
        FUi.lblLookBack->hide();
        tmrRecTimingTimer();
        tmrRecTiming->start();
    } else if (state == QLatin1String("idle")) {
        tmrRecTiming->stop();
        FUi.lblTiming->setText(QStringLiteral("00:00:00"));
        FUi.lblTiming->adjustSize();
        FUi.lblTiming->move(kTimingLeft, FUi.lblTiming->y());
        FUi.lblTiming->hide();
        FUi.lblLookBack->show();
        FUi.lblStatus->hide();
    }
    // "stopping": the recording line stays until the stream is closed.
}

void TfrmMain::tmrRecTimingTimer()
{
    ShowRecordingLine();
}

// "正在录制中，已录制时长：" and the time, or in its place the warning about the growing file.
void TfrmMain::ShowRecordingLine()
{
    const Qurel::KeeperSnapshot &lesson = FKeeper->snapshot();
    if (!lesson.recording())
        return;
    const QString &warning = lesson.warning;
    FUi.lblStatus->setText(warning.isEmpty() ? kRecordingPrefix : warning);
    FUi.lblStatus->adjustSize();
    FUi.lblStatus->show();
    FUi.lblTiming->setText(Qurel::ClockText(lesson.startTime.msecsTo(QDateTime::currentDateTime()), QStringLiteral("hh:mm:ss"), Qurel::ClockHours::KeepGrowing));
    FUi.lblTiming->adjustSize();
    FUi.lblTiming->move(std::max(kTimingLeft, FUi.lblStatus->x() + FUi.lblStatus->width() + 6), FUi.lblTiming->y());
    FUi.lblTiming->show();
}

// Boxes open later, from the event loop, so a box never holds up the lesson that reported it.
void TfrmMain::ShowMessageLater(const QString &text)
{
    QTimer::singleShot(0, this, [this, text] { Qurel::ShowMsg(this, text); });
}

void TfrmMain::HotKeyRecord(int virtualKey)
{
    FKeeper->hotKey(virtualKey);
}
