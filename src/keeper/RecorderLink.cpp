#include "RecorderLink.h"

#include "LessonLog.h"

#include <QHostAddress>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

namespace Qurel {

namespace {
    const QString kConnectingText = QStringLiteral("正在连接录播机中，请稍等");
    const QString kConnectedText = QStringLiteral("已成功连接到录播机");
    const QString kDisconnectedText = QStringLiteral("已与录播机断开连接");
    const QString kTimedOutText = QStringLiteral("连接录播机超时，请确认录播机是否有开机以及网络正常");
} // namespace

RecorderLink::RecorderLink(QObject *parent)
    : RecorderLink(Options(), parent)
{
}

RecorderLink::RecorderLink(Options options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , csMain(new QTcpSocket(this))
{
    connect(csMain, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState)
            csMainLookup();
        else if (state == QAbstractSocket::ConnectingState)
            csMainConnecting();
    });
    connect(csMain, &QAbstractSocket::connected, this, &RecorderLink::csMainConnect);
    connect(csMain, &QIODevice::readyRead, this, &RecorderLink::csMainRead);
    connect(csMain, &QAbstractSocket::disconnected, this, &RecorderLink::csMainDisconnect);
    connect(csMain, &QAbstractSocket::errorOccurred, this, &RecorderLink::csMainError);
    tmrPing = makeTimer(m_options.connectTimeoutMs, true, &RecorderLink::tmrPingTimer);
    tmrHeart = makeTimer(m_options.heartbeatMs, false, &RecorderLink::tmrHeartTimer);
    tmrReconnect = makeTimer(m_options.reconnectMs, true, &RecorderLink::ConnectRecorder);
    tmrQuiet = makeTimer(std::max(m_options.quietLineMs, 0), true, &RecorderLink::tmrQuietTimer);
}

RecorderLink::~RecorderLink()
{
    // The socket goes down with this object; its last events must not reach a half-destroyed link.
    csMain->disconnect(this);
}

QTimer *RecorderLink::makeTimer(int intervalMs, bool singleShot, void (RecorderLink::*slot)())
{
    auto *timer = new QTimer(this);
    timer->setInterval(intervalMs);
    timer->setSingleShot(singleShot);
    connect(timer, &QTimer::timeout, this, slot);
    return timer;
}

const char *RecorderLink::StateName(State state)
{
    switch (state) {
    case State::Closed:
        return "closed";
    case State::Connecting:
        return "connecting";
    case State::TimedOut:
        return "timed-out";
    case State::Connected:
        return "connected";
    case State::Disconnected:
        return "disconnected";
    }
    return "closed";
}

void RecorderLink::setAutoReconnect(bool on)
{
    m_autoReconnect = on;
    if (!on)
        tmrReconnect->stop();
    else if (m_state == State::TimedOut || m_state == State::Disconnected)
        scheduleReconnect();
}

void RecorderLink::connectTo(const QString &address)
{
    m_address = address;
    ConnectRecorder();
}

void RecorderLink::close()
{
    for (QTimer *timer : { tmrPing, tmrHeart, tmrReconnect, tmrQuiet })
        timer->stop();
    m_lines.clear();
    {
        const QSignalBlocker quiet(csMain);
        csMain->abort();
    }
    setState(State::Closed);
}

void RecorderLink::ConnectRecorder()
{
    // Nothing the old connection left unfinished is acted on any more.
    tmrQuiet->stop();
    m_lines.clear();
    csMain->abort();
    // Closing a live connection reports a disconnect, which must not plan
    // another attempt on top of this one.
    tmrReconnect->stop();
    tmrPing->start();
    qCInfo(lcLink) << "connecting to" << m_address << "port" << m_options.port;
    const QHostAddress host(m_address);
    if (host.isNull()) {
        // Not a numeric address: nothing to connect to, the time-out tells the user.
        csMainConnecting();
        return;
    }
    csMain->connectToHost(host, m_options.port);
}

void RecorderLink::csMainConnecting()
{
    setState(State::Connecting);
    emit statusText(kConnectingText, true);
}

void RecorderLink::csMainConnect()
{
    tmrPing->stop();
    // A connection that came after the time-out is kept: the attempt planned
    // by the time-out is not needed any more.
    tmrReconnect->stop();
    csMain->write(kStartServerLine);
    qCInfo(lcLink) << "connected to" << m_address;
    tmrHeart->start();
    setState(State::Connected);
    emit statusText(kConnectedText, true);
}

void RecorderLink::csMainRead()
{
    const QByteArray batch = m_lines.take(csMain->readAll());
    if (!batch.isEmpty())
        actOn(batch);
    if (!m_lines.pending().isEmpty() && m_options.quietLineMs >= 0)
        tmrQuiet->start();
    else
        tmrQuiet->stop();
}

void RecorderLink::tmrQuietTimer()
{
    // The recorder went quiet after a line without CR LF: that line is
    // complete. Whatever follows later starts a new line.
    const QByteArray batch = m_lines.pending();
    m_lines.clear();
    actOn(batch);
}

void RecorderLink::actOn(const QByteArray &batch)
{
    const ControlNotice notice = ParseControlBatch(batch);
    if (notice.mark == ControlMark::None)
        return;
    qCInfo(lcLink).noquote() << (notice.mark == ControlMark::StartRecord ? "notice start_record, title" : "notice stop_record")
                             << (notice.mark == ControlMark::StartRecord ? notice.title : QString());
    // Emitted from the event loop rather than from inside the socket's read
    // handler: a receiver that opens a message box must not hold up the
    // reading of the notices that follow.
    QMetaObject::invokeMethod(
        this,
        [this, notice] {
            if (notice.mark == ControlMark::StartRecord)
                emit startRequested(notice.title);
            else
                emit stopRequested();
        },
        Qt::QueuedConnection);
}

void RecorderLink::csMainDisconnect()
{
    // A line the recorder ended by closing the connection is complete.
    if (tmrQuiet->isActive()) {
        tmrQuiet->stop();
        tmrQuietTimer();
    }
    qCWarning(lcLink) << "the connection to" << m_address << "dropped";
    setState(State::Disconnected);
    emit statusText(kDisconnectedText, false);
    scheduleReconnect();
}

void RecorderLink::csMainError(QAbstractSocket::SocketError)
{
    // Failed connects, sends and receives are not the user's business: the
    // status text and the time-out tell what matters.
}

void RecorderLink::csMainLookup() { }

void RecorderLink::tmrHeartTimer()
{
    if (csMain->state() == QAbstractSocket::ConnectedState)
        csMain->write(kLiveLine);
}

void RecorderLink::tmrPingTimer()
{
    // The attempt itself goes on: a late connection is still taken.
    qCWarning(lcLink) << "no answer from" << m_address << "within" << m_options.connectTimeoutMs << "ms";
    setState(State::TimedOut);
    emit statusText(kTimedOutText, false);
    scheduleReconnect();
}

void RecorderLink::scheduleReconnect()
{
    // In the automatic mode a recorder that restarts must be followed again.
    if (m_autoReconnect && !tmrReconnect->isActive())
        tmrReconnect->start();
}

void RecorderLink::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

} // namespace Qurel
