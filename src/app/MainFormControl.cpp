// TfrmMain: the control channel to the recorder. The recorder tells on it when
// its own recording starts and stops; the client announces itself once and
// sends a heartbeat every 8 s.
#include "MainForm.h"

#include "Configs.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QLabel>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr int kPingIntervalMs = 1000;
constexpr int kHeartIntervalMs = 8000;
constexpr quint32 kConnectTimeoutMs = 10000;
constexpr int kReconnectMs = 10000;

// The monotonic millisecond clock, as a 32-bit reading that may wrap.
quint32 msClock()
{
    QElapsedTimer clock;
    clock.start();
    return quint32(clock.msecsSinceReference());
}

QTimer *makeTimer(QObject *owner, int intervalMs)
{
    auto *timer = new QTimer(owner);
    timer->setInterval(intervalMs);
    return timer;
}
} // namespace

void TfrmMain::QuietSocketDelete::operator()(QTcpSocket *socket) const
{
    socket->disconnect();
    delete socket;
}

bool TfrmMain::AutoModeAtStart()
{
    return SDKConfig.AutoRec;
}

void TfrmMain::EnsureControlChannel()
{
    if (csMain)
        return;
    csMain.reset(new QTcpSocket);
    QTcpSocket *socket = csMain.get();
    connect(socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState)
            csMainLookup();
        else if (state == QAbstractSocket::ConnectingState)
            csMainConnecting();
    });
    connect(socket, &QAbstractSocket::connected, this, &TfrmMain::csMainConnect);
    connect(socket, &QIODevice::readyRead, this, &TfrmMain::csMainRead);
    connect(socket, &QAbstractSocket::disconnected, this, &TfrmMain::csMainDisconnect);
    connect(socket, &QAbstractSocket::errorOccurred, this, &TfrmMain::csMainError);
    tmrPing = makeTimer(this, kPingIntervalMs);
    connect(tmrPing, &QTimer::timeout, this, &TfrmMain::tmrPingTimer);
    tmrHeart = makeTimer(this, kHeartIntervalMs);
    connect(tmrHeart, &QTimer::timeout, this, &TfrmMain::tmrHeartTimer);
    tmrReconnect = makeTimer(this, kReconnectMs);
    tmrReconnect->setSingleShot(true);
    connect(tmrReconnect, &QTimer::timeout, this, &TfrmMain::ConnectRecorder);
}

void TfrmMain::ShowConnectionStatus(const QString &text, bool makeVisible)
{
    lblStatus->setText(text);
    lblStatus->adjustSize();
    if (makeVisible)
        lblStatus->show();
}

void TfrmMain::ConnectRecorder()
{
    EnsureControlChannel();
    FConnectStartTime = msClock();
    csMain->abort();
    FControlLines.clear();
    // Closing a live connection reports a disconnect, which must not plan
    // another attempt on top of this one.
    tmrReconnect->stop();
    csMain->connectToHost(QHostAddress(SDKConfig.Address), Qurel::kControlPort);
    tmrPing->start();
}

void TfrmMain::csMainConnecting()
{
    ShowConnectionStatus(QStringLiteral("正在连接录播机中，请稍等"), true);
}

void TfrmMain::csMainConnect()
{
    tmrPing->stop();
    csMain->write(Qurel::kStartServerLine);
    tmrHeart->start();
    ShowConnectionStatus(QStringLiteral("已成功连接到录播机"), true);
}

void TfrmMain::csMainRead()
{
    const QByteArray batch = FControlLines.take(csMain->readAll());
    if (batch.isEmpty())
        return;
    const Qurel::ControlNotice notice = Qurel::ParseControlBatch(batch);
    if (notice.mark == Qurel::ControlMark::StartRecord)
        StartLocalRecording(notice.title);
    else if (notice.mark == Qurel::ControlMark::StopRecord)
        StopLocalRecording();
}

void TfrmMain::csMainDisconnect()
{
    ShowConnectionStatus(QStringLiteral("已与录播机断开连接"), false);
    ScheduleReconnect();
}

void TfrmMain::csMainError(QAbstractSocket::SocketError)
{
    // Failed connects, sends and receives are not the user's business: the
    // status label and the time-out tell what matters.
}

void TfrmMain::csMainLookup() { }

void TfrmMain::tmrHeartTimer()
{
    if (csMain->state() == QAbstractSocket::ConnectedState)
        csMain->write(Qurel::kLiveLine);
}

void TfrmMain::tmrPingTimer()
{
    if (quint32(msClock() - FConnectStartTime) < kConnectTimeoutMs)
        return;
    tmrPing->stop();
    ShowConnectionStatus(QStringLiteral("连接录播机超时，请确认录播机是否有开机以及网络正常"), false);
    ScheduleReconnect();
}

void TfrmMain::ScheduleReconnect()
{
    // In the automatic mode a recorder that restarts must be followed again.
    if (FAutoMode && !tmrReconnect->isActive())
        tmrReconnect->start();
}
