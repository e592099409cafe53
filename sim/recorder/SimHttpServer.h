#pragma once
// A small HTTP/1.1 server on QTcpServer for the simulated recorder: one
// request per connection, the raw request kept as sent (so tests can read the
// exact URL), answers that can be delayed or withheld.

#include "HttpHead.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace Qurel::Sim {

// A request with its whole body.
struct HttpRequest : HttpRequestHead
{
    QByteArray body;
};

struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
    int delayMs = 0; // wait this long before answering
    bool hangUp = false; // close the connection (after the delay) without an answer
};

class SimHttpServer final : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    static constexpr qsizetype kMaxBodyBytes = 64 * 1024 * 1024;

    explicit SimHttpServer(Handler handler, QObject *parent = nullptr);
    ~SimHttpServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QString errorString() const;
    QAbstractSocket::SocketError serverError() const;
    void close();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const HttpResponse &response);

    Handler m_handler;
    QTcpServer *m_server = nullptr;
};

} // namespace Qurel::Sim
