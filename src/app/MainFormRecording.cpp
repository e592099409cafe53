// TfrmMain: the local recording workflow and the recorder's F5/F6 hot keys. The steps and their
// order live in Qurel::LessonRecorder; this file keeps the labels in step with it.
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

Qurel::RecorderLogin recorderLogin()
{
    return { SDKConfig.Address, SDKConfig.HttpPort, SDKConfig.Username, SDKConfig.Password };
}
} // namespace

void TfrmMain::WireLessonAndLink()
{
    using Qurel::LessonRecorder;
    tmrRecTiming = new QTimer(this);
    tmrRecTiming->setInterval(kTimingIntervalMs);
    connect(tmrRecTiming, &QTimer::timeout, this, &TfrmMain::tmrRecTimingTimer);
    connect(FLink, &Qurel::RecorderLink::startRequested, this, &TfrmMain::StartLocalRecording);
    connect(FLink, &Qurel::RecorderLink::stopRequested, this, &TfrmMain::StopLocalRecording);
    connect(FLink, &Qurel::RecorderLink::statusText, this, &TfrmMain::ShowConnectionStatus);
    connect(FLesson, &LessonRecorder::stateChanged, this, &TfrmMain::LessonStateChanged);
    connect(FLesson, &LessonRecorder::message, this, &TfrmMain::ShowMessageLater);
    connect(FLesson, &LessonRecorder::warningChanged, this, &TfrmMain::ShowRecordingLine);
    connect(FLesson, &LessonRecorder::lessonFinished, this, &TfrmMain::LoadPicList);
    connect(FLesson, &LessonRecorder::settledChanged, this, [this] {
        if (FCloseWhenSettled)
            close();
    });
}

void TfrmMain::btnStartRecClick()
{
    StartLocalRecording(QString());
}

void TfrmMain::btnEndRecClick()
{
    StopLocalRecording();
}

void TfrmMain::StartLocalRecording(const QString &title)
{
    FLesson->start(title, recorderLogin(), SDKConfig.SavePath);
}

void TfrmMain::StopLocalRecording()
{
    FLesson->stop();
}

void TfrmMain::LessonStateChanged(Qurel::LessonRecorder::State state)
{
    using State = Qurel::LessonRecorder::State;
    switch (state) {
    case State::Starting:
        FUi.lblStatus->setText(QStringLiteral("正在开始录制，请稍等"));
        FUi.lblStatus->adjustSize();
        FUi.lblStatus->show();
        break;
    case State::Recording:
        FUi.lblLookBack->hide();
        tmrRecTimingTimer();
        tmrRecTiming->start();
        break;
    case State::Stopping:
        break; // the recording line stays until the stream is closed
    case State::Idle:
        tmrRecTiming->stop();
        FUi.lblTiming->setText(QStringLiteral("00:00:00"));
        FUi.lblTiming->adjustSize();
        FUi.lblTiming->move(kTimingLeft, FUi.lblTiming->y());
        FUi.lblTiming->hide();
        FUi.lblLookBack->show();
        FUi.lblStatus->hide();
        break;
    }
}

void TfrmMain::tmrRecTimingTimer()
{
    ShowRecordingLine();
}

// "正在录制中，已录制时长：" and the time, or in its place the warning about the growing file.
void TfrmMain::ShowRecordingLine()
{
    if (!FLesson->recording())
        return;
    const QString warning = FLesson->warning();
    FUi.lblStatus->setText(warning.isEmpty() ? kRecordingPrefix : warning);
    FUi.lblStatus->adjustSize();
    FUi.lblStatus->show();
    FUi.lblTiming->setText(Qurel::ClockText(FLesson->startTime().msecsTo(QDateTime::currentDateTime()), QStringLiteral("hh:mm:ss"), Qurel::ClockHours::KeepGrowing));
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
    Qurel::LessonRecorder::SendRecorderCommand(
        virtualKey, recorderLogin(), SDKConfig.TitleTime, SDKConfig.CreditTime);
}
