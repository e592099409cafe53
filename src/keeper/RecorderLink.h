#pragma once
// The control connection to the recorder: connects, announces the client,
// keeps the connection alive, follows a recorder that restarts (automatic
// mode) and turns the recorder's notices into start and stop requests.
// It knows no window: what to show comes out as signals.

#include "ControlChannel.h"

#include <QAbstractSocket>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

namespace Qurel {

class RecorderLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecorderLink)

public:
    enum class State { Closed, Connecting, TimedOut, Connected, Disconnected };
    Q_ENUM(State)

    struct Options
    {
        int connectTimeoutMs = 10000;
        int heartbeatMs = 8000;
        int reconnectMs = 10000;
        // An unterminated last line is acted on after this much quiet; below 0: never.
        int quietLineMs = 300;
        quint16 port = kControlPort;
    };

    explicit RecorderLink(QObject *parent = nullptr);
    RecorderLink(Options options, QObject *parent = nullptr);
    ~RecorderLink() override;

    // Automatic mode: after a drop or a time-out a new attempt follows.
    void setAutoReconnect(bool on);
    bool autoReconnect() const { return m_autoReconnect; }
    // A new attempt to the numeric address (no name lookup); the old
    // connection, if any, is closed first.
    void connectTo(const QString &address);
    // Closes the connection quietly; nothing reconnects afterwards.
    void close();
    State state() const { return m_state; }
    QString address() const { return m_address; }
    static const char *StateName(State state);

signals:
    void startRequested(const QString &title);
    void stopRequested();
    void statusText(const QString &text, bool makeVisible);
    void stateChanged(Qurel::RecorderLink::State state);

private:
    void ConnectRecorder();
    void csMainConnecting();
    void csMainConnect();
    void csMainRead();
    void csMainDisconnect();
    void csMainError(QAbstractSocket::SocketError error);
    void csMainLookup();
    void tmrPingTimer();
    void tmrHeartTimer();
    void tmrQuietTimer();

    void actOn(const QByteArray &batch);
    void setState(State state);
    void scheduleReconnect();
    QTimer *makeTimer(int intervalMs, bool singleShot, void (RecorderLink::*slot)());

    Options m_options;
    QString m_address;
    State m_state = State::Closed;
    bool m_autoReconnect = false;
    QTcpSocket *csMain = nullptr;
    QTimer *tmrPing = nullptr; // the connect time-out
    QTimer *tmrHeart = nullptr;
    QTimer *tmrReconnect = nullptr;
    QTimer *tmrQuiet = nullptr; // an unterminated last line waits on it
    ControlLineBuffer m_lines;
};

} // namespace Qurel
