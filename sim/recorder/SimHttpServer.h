#pragma once
// A small HTTP/1.1 server on QTcpServer for the simulated recorder: one
// request per connection, the raw request kept as sent (so tests can read the
// exact URL), answers that can be delayed or withheld.

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace Qurel::Sim {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// The value of the first header called name (ignoring case), or empty.
QByteArray HeaderValue(const HeaderList &headers, const QByteArray &name);

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // path and query exactly as sent
    QByteArray version;
    HeaderList headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const { return HeaderValue(headers, name); }
    // The path without the query, percent-decoded.
    QString path() const;
    // The query as sent (after "?"), empty when there is none.
    QByteArray rawQuery() const;
    // Query items, decoded the way CGI programs decode them ("+" is a space).
    QList<QPair<QString, QString>> queryItems() const;
    // The first value of the query item name (exact match), or a null text.
    QString queryValue(const QString &name) const;
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

    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
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
