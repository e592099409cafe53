#include "RecorderLink.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace Qurel {

RecorderLink::RecorderLink(QObject *parent) : RecorderLink(Options(), parent) { }

RecorderLink::RecorderLink(Options options, QObject *parent)
    : QObject(parent), m_options(options)
{
    m_socket = new QTcpSocket(this);
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    m_heart = new QTimer(this);
    m_reconnect = new QTimer(this);
    m_reconnect->setSingleShot(true);
    connect(m_socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectingState) {
            setState(State::Connecting);
            emit statusText(QStringLiteral("正在连接录播机中，请稍等"), true);
        }
    });
    connect(m_socket, &QAbstractSocket::connected, this, [this] {
        m_timeout->stop();
        m_reconnect->stop();
        m_socket->write(kStartServerLine);
        m_heart->start(m_options.heartbeatMs);
        setState(State::Connected);
        emit statusText(QStringLiteral("已成功连接到录播机"), true);
    });
    connect(m_socket, &QIODevice::readyRead, this, &RecorderLink::onRead);
    connect(m_socket, &QAbstractSocket::disconnected, this, [this] {
        setState(State::Disconnected);
        emit statusText(QStringLiteral("已与录播机断开连接"), false);
        if (m_auto)
            m_reconnect->start(m_options.reconnectMs);
    });
    connect(m_timeout, &QTimer::timeout, this, [this] {
        setState(State::TimedOut);
        emit statusText(QStringLiteral("连接录播机超时，请确认录播机是否有开机以及网络正常"), false);
        if (m_auto)
            m_reconnect->start(m_options.reconnectMs);
    });
    connect(m_heart, &QTimer::timeout, this, [this] {
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->write(kLiveLine);
    });
    connect(m_reconnect, &QTimer::timeout, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            connectTo(m_address);
    });
}

RecorderLink::~RecorderLink()
{
    m_socket->disconnect(this);
}

void RecorderLink::connectTo(const QString &address)
{
    m_address = address;
    m_reconnect->stop();
    m_socket->abort();
    m_lines.clear();
    m_reconnect->stop();
    m_socket->connectToHost(QHostAddress(address), m_options.port);
    m_timeout->start(m_options.connectTimeoutMs);
}

void RecorderLink::close()
{
    m_auto = false;
    m_reconnect->stop();
    m_timeout->stop();
    m_socket->abort();
    setState(State::Closed);
}

const char *RecorderLink::StateName(State state)
{
    switch (state) {
    case State::Closed: return "closed";
    case State::Connecting: return "connecting";
    case State::TimedOut: return "timed-out";
    case State::Connected: return "connected";
    case State::Disconnected: return "disconnected";
    }
    return "closed";
}

void RecorderLink::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void RecorderLink::onRead()
{
    const QByteArray batch = m_lines.take(m_socket->readAll());
    if (batch.isEmpty())
        return;
    const ControlNotice notice = ParseControlBatch(batch);
    if (notice.mark == ControlMark::StartRecord)
        emit startRequested(notice.title);
    else if (notice.mark == ControlMark::StopRecord)
        emit stopRequested();
}

} // namespace Qurel
