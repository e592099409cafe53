#pragma once
// The receiving end of the external messages: a local socket server that reads one message per
// line and hands each well-formed one on, in the thread that owns the server (the UI thread).
// Two lines are requests that get one line back: "ping" (answered "pong") and "status" (answered
// with the status provider's line). Messages get no answer. Bad lines are dropped; an over-long
// line, or a sender that lets answers pile up unread, closes that connection.

#include "ExternalMessages.h"

#include <QObject>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace Qurel {

class MessageChannel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageChannel)

public:
    explicit MessageChannel(QObject *parent = nullptr);
    ~MessageChannel() override;

    // Listens at `name` (a socket path; empty fails). The caller holds the single-instance guard, so a
    // socket left behind by a dead copy is removed first.
    bool listen(const QString &name);
    QString errorString() const;
    // Gives the answer to "status"; called on this object's thread when the request arrives.
    void setStatusProvider(std::function<QString()> provider);

signals:
    void messageReceived(const Qurel::ExternalMessage &message);

private:
    void acceptConnections();
    void readLines(QLocalSocket *socket);
    std::optional<QString> answerTo(const QString &line) const;

    QLocalServer *m_server = nullptr;
    std::function<QString()> m_statusProvider;
    QString m_error;
};

// Sends one message to the client listening at `name`; false (with `error`) when nobody listens.
bool SendExternalMessage(const ExternalMessage &message, const QString &name, int timeoutMs, QString *error);

// Sends a request line ("ping", "status") and returns the answer line without its end; nullopt
// (with `error`) when nobody listens or no answer comes within timeoutMs in all.
std::optional<QString> AskClient(const QString &request, const QString &name, int timeoutMs, QString *error);

} // namespace Qurel
