#pragma once
// The receiving end of the external messages: a local socket server that reads one message per
// line and hands each well-formed one on, in the thread that owns the server (the UI thread).
// Bad lines are dropped; an over-long line closes that connection.

#include "ExternalMessages.h"

#include <QObject>

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

    // Listens at `name` (a socket path). The caller holds the single-instance guard, so a
    // socket left behind by a dead copy is removed first.
    bool listen(const QString &name);
    QString errorString() const;

signals:
    void messageReceived(const Qurel::ExternalMessage &message);

private:
    void acceptConnections();
    void readLines(QLocalSocket *socket);

    QLocalServer *m_server = nullptr;
};

// Sends one message to the client listening at `name`; false (with `error`) when nobody listens.
bool SendExternalMessage(const ExternalMessage &message, const QString &name, int timeoutMs, QString *error);

} // namespace Qurel
