#pragma once
// Interim: the recorder's control connection (to be replaced by the full RecorderLink).
#include "ControlChannel.h"

#include <QAbstractSocket>
#include <QObject>

class QTcpSocket;
class QTimer;

namespace Qurel {

class RecorderLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RecorderLink)

public:
    enum class State { Closed, Connecting, TimedOut, Connected, Disconnected };
    struct Options
    {
        int connectTimeoutMs = 10000;
        int heartbeatMs = 8000;
        int reconnectMs = 10000;
        int quietLineMs = 300;
        quint16 port = kControlPort;
    };
    explicit RecorderLink(QObject *parent = nullptr);
    RecorderLink(Options options, QObject *parent = nullptr);
    ~RecorderLink() override;
    void setAutoReconnect(bool on) { m_auto = on; }
    void connectTo(const QString &address);
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
    void setState(State state);
    void onRead();
    Options m_options;
    QTcpSocket *m_socket = nullptr;
    QTimer *m_timeout = nullptr;
    QTimer *m_heart = nullptr;
    QTimer *m_reconnect = nullptr;
    ControlLineBuffer m_lines;
    QString m_address;
    State m_state = State::Closed;
    bool m_auto = false;
};

} // namespace Qurel
