// TfrmMain: the local recording workflow and the recorder's F5/F6 hot keys.
// The steps themselves live in Qurel::RecordingOutput; this file keeps the
// window's fields and labels in step with it.
#include "MainForm.h"

#include "Configs.h"
#include "HttpIntf.h"
#include "MessageBoxes.h"

#include <QLabel>
#include <QTimer>

namespace {
constexpr int kTimingIntervalMs = 1000;

Qurel::RecorderLogin recorderLogin()
{
    return { SDKConfig.Address, SDKConfig.HttpPort, SDKConfig.Username, SDKConfig.Password };
}
} // namespace

Qurel::RecordingOutput &TfrmMain::Output()
{
    if (!FOutput) {
        FOutput = std::make_unique<Qurel::RecordingOutput>(
            Qurel::RelayCalls::Library(), [this](const QString &text) { Qurel::ShowMsg(this, text); });
        tmrRecTiming = new QTimer(this);
        tmrRecTiming->setInterval(kTimingIntervalMs);
        connect(tmrRecTiming, &QTimer::timeout, this, &TfrmMain::tmrRecTimingTimer);
    }
    return *FOutput;
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
    Qurel::RecordingOutput &output = Output();
    const bool started = output.StartRecording(title, recorderLogin(), SDKConfig.SavePath);
    if (!started)
        return;
    FRecFileName = output.FileName();
    FRecStartTime = output.StartTime();
    FRecording = true;
    lblLookBack->hide();
    lblStatus->show();
    lblTiming->show();
    tmrRecTiming->start();
}

void TfrmMain::StopLocalRecording()
{
    if (!FRecording)
        return;
    if (Output().StopRecording() == Qurel::RecordingOutput::StopOutcome::DestroyFailed)
        lblStatus->setText(QStringLiteral("结束录制失败"));
    FRecording = false;
    lblTiming->setText(QStringLiteral("00:00:00"));
    lblTiming->hide();
    tmrRecTiming->stop();
    lblLookBack->show();
    lblStatus->hide();
    LoadPicList();
}

void TfrmMain::tmrRecTimingTimer()
{
    lblStatus->setText(QStringLiteral("正在录制中，已录制时长："));
    lblStatus->adjustSize();
    lblTiming->show();
    lblTiming->setText(Qurel::ElapsedText(FRecStartTime.secsTo(QDateTime::currentDateTime())));
    lblTiming->adjustSize();
}

void TfrmMain::HotKeyRecord(int virtualKey)
{
    // The recorder's own commands; the local copy follows its notices.
    const Qurel::RecorderLogin login = recorderLogin();
    if (virtualKey == Qurel::kVkF5)
        Qurel::StartRecord(
            login.address, login.httpPort, login.username, login.password, 0, 0, SDKConfig.TitleTime);
    else if (virtualKey == Qurel::kVkF6)
        Qurel::StopRecord(
            login.address, login.httpPort, login.username, login.password, 0, 0, SDKConfig.CreditTime);
}
