#include "PlatformServer.h"

#include "LoginPage.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace Qurel {

namespace {
    constexpr qsizetype kMaxHead = 64 * 1024;
    constexpr qint64 kMaxFormBody = 64 * 1024;
    constexpr qsizetype kChunk = 1024 * 1024;

    QByteArray reasonFor(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        }
        return "Error";
    }

    // A file name safe to put in the storage folder.
    QString storedName(int sequence, const QString &fileName)
    {
        QString base = QFileInfo(fileName).fileName();
        base.replace(QLatin1Char('\\'), QLatin1Char('_'));
        if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String(".."))
            base = QStringLiteral("upload.bin");
        return QStringLiteral("%1-%2").arg(sequence, 4, 10, QLatin1Char('0')).arg(base);
    }
} // namespace

std::optional<HttpRequestHead> HttpRequestHead::Parse(const QByteArray &block)
{
    const QList<QByteArray> lines = block.split('\n');
    if (lines.isEmpty())
        return std::nullopt;
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/1."))
        return std::nullopt;
    HttpRequestHead head;
    head.method = first[0];
    head.target = first[1];
    const qsizetype q = head.target.indexOf('?');
    head.path = q < 0 ? head.target : head.target.left(q);
    head.query = q < 0 ? QByteArray() : head.target.mid(q + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        head.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    const QByteArray connection = head.header("connection").toLower();
    head.keepAlive = first[2] == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
    return head;
}

PlatformConnection::PlatformConnection(
    QTcpSocket *socket, std::shared_ptr<PlatformSim::State> state, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_state(std::move(state))
    , m_chunk(kChunk)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &PlatformConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &PlatformConnection::onDisconnected);
}

void PlatformConnection::onReadyRead()
{
    while (m_mode != Mode::Closed && m_mode != Mode::Answering) {
        if (m_mode == Mode::UploadBody) {
            if (m_remaining == 0) {
                finishUpload();
                continue;
            }
            const qint64 want = std::min<qint64>(m_remaining, static_cast<qint64>(m_chunk.size()));
            const qint64 got = m_socket->read(m_chunk.data(), want);
            if (got <= 0)
                return;
            m_remaining -= got;
            feedUpload(m_chunk.data(), got);
            continue;
        }
        const QByteArray more = m_socket->readAll();
        if (more.isEmpty() && m_buffer.isEmpty())
            return;
        m_buffer += more;
        const qsizetype before = m_buffer.size();
        const Mode modeBefore = m_mode;
        if (m_mode == Mode::Head) {
            if (!processHead())
                return;
        } else if (m_mode == Mode::FormBody) {
            processFormBody();
        }
        if (more.isEmpty() && m_mode == modeBefore && m_buffer.size() == before)
            return; // waits for more input
    }
}

bool PlatformConnection::processHead()
{
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_buffer.size() > kMaxHead) {
            respond(400, reasonFor(400), "text/plain", "request head too long\n");
            close();
        }
        return true;
    }
    const auto head = HttpRequestHead::Parse(m_buffer.left(end));
    m_buffer.remove(0, end + 4);
    if (!head) {
        respond(400, reasonFor(400), "text/plain", "bad request\n");
        close();
        return false;
    }
    m_head = *head;
    const QByteArray path = m_head.path.toLower();
    if (path == QByteArray(kUploadPath).toLower()) {
        if (m_head.method != "POST") {
            respond(405, reasonFor(405), "text/plain", "POST only\n");
            return true;
        }
        beginUpload();
        return m_mode != Mode::Closed;
    }
    if (path == QByteArray(kLoginPath).toLower()) {
        if (m_head.method == "POST") {
            m_remaining = m_head.header("content-length").toLongLong();
            if (m_remaining < 0 || m_remaining > kMaxFormBody) {
                respond(413, reasonFor(413), "text/plain", "form too large\n");
                close();
                return false;
            }
            m_mode = Mode::FormBody;
            return true;
        }
        if (m_head.query.toLower().contains("finish=1")) {
            respond(200, reasonFor(200), "text/html; charset=utf-8", FinishPageHtml());
        } else {
            LoginVisit visit = ParseLoginQuery(m_head.query);
            visit.target = m_head.target;
            m_state->recordLogin(visit);
            respond(200, reasonFor(200), "text/html; charset=utf-8", LoginPageHtml(visit));
        }
        return true;
    }
    respond(404, reasonFor(404), "text/plain", "not found\n");
    return true;
}

void PlatformConnection::processFormBody()
{
    if (m_buffer.size() < m_remaining)
        return;
    m_buffer.remove(0, m_remaining);
    m_remaining = 0;
    m_mode = Mode::Head;
    // Any credentials pass: the login's result is the address with the finish mark.
    const QByteArray location = FinishAddress(m_state->snapshot().finishQuery);
    respond(302, reasonFor(302), "text/plain", "logged in\n", "Location: " + location + "\r\n");
}

void PlatformConnection::beginUpload()
{
    const QUrlQuery query(QString::fromUtf8(m_head.query));
    m_upload = ReceivedUpload();
    m_upload.guid = query.queryItemValue(QStringLiteral("guid"), QUrl::FullyDecoded);
    m_upload.fileType = query.queryItemValue(QStringLiteral("filetype")).toInt();
    m_filePartSeen = false;
    m_inFilePart = false;
    m_recorded = false;
    m_verdict = m_state->nextVerdict();
    m_upload.verdict = m_verdict.kind;

    if (m_verdict.kind == UploadVerdict::Kind::Drop) {
        abortUpload();
        return;
    }
    bool lengthOk = false;
    m_remaining = m_head.header("content-length").toLongLong(&lengthOk);
    if (!lengthOk || m_remaining < 0) {
        respond(411, reasonFor(411), "text/plain", "Content-Length required\n");
        close();
        return;
    }
    const QByteArray boundary = MultipartReceiver::BoundaryOf(m_head.header("content-type"));
    if (boundary.isEmpty()) {
        respond(400, reasonFor(400), "text/plain", "multipart/form-data expected\n");
        close();
        return;
    }
    m_receiver = std::make_unique<MultipartReceiver>(boundary);
    m_receiver->onPartBegin = [this](const MultipartPartHeader &part) {
        m_inFilePart = !m_filePartSeen && !part.fileName.isEmpty();
        if (!m_inFilePart)
            return true;
        m_filePartSeen = true;
        m_upload.fieldName = part.name;
        m_upload.fileName = part.fileName;
        m_upload.contentType = part.contentType;
        m_upload.transferEncoding = part.transferEncoding;
        const PlatformSimOptions options = m_state->snapshot();
        if (!options.keepFiles)
            return true;
        QString dir;
        {
            QMutexLocker lock(&m_state->mutex);
            dir = m_state->storageDir;
        }
        m_upload.savedPath = QDir(dir).filePath(storedName(m_state->nextSequence(), part.fileName));
        m_file.setFileName(m_upload.savedPath);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    };
    m_receiver->onPartData = [this](const char *data, qsizetype size) {
        if (!m_inFilePart)
            return true;
        m_upload.size += size;
        return !m_file.isOpen() || m_file.write(data, size) == size;
    };
    m_receiver->onPartEnd = [this] {
        m_inFilePart = false;
        m_file.close();
    };

    // Clients that ask first are told to go on.
    if (m_head.header("expect").toLower() == "100-continue")
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    m_mode = Mode::UploadBody;
    // Body bytes that came with the head.
    if (!m_buffer.isEmpty()) {
        const QByteArray early = m_buffer.left(m_remaining);
        m_buffer.remove(0, early.size());
        m_remaining -= early.size();
        feedUpload(early.constData(), early.size());
    }
    if (m_mode == Mode::UploadBody && m_remaining == 0)
        finishUpload();
}

void PlatformConnection::feedUpload(const char *data, qsizetype size)
{
    if (m_receiver->feed(data, size))
        return;
    m_file.close();
    m_state->record(m_upload);
    m_recorded = true;
    respond(400, reasonFor(400), "text/plain", m_receiver->error().toUtf8() + '\n');
    close();
}

void PlatformConnection::finishUpload()
{
    m_file.close();
    m_upload.complete = m_receiver->finished();
    m_state->record(m_upload);
    m_recorded = true;
    m_mode = Mode::Answering;
    const int delay = m_state->snapshot().replyDelayMs;
    if (delay > 0)
        QTimer::singleShot(delay, this, &PlatformConnection::answerUpload);
    else
        answerUpload();
}

void PlatformConnection::answerUpload()
{
    QString text;
    if (!m_upload.complete)
        text = QStringLiteral("ErrorCode=1\r\nMessage=上传的数据不完整");
    else if (m_upload.fieldName != "file1")
        text = QStringLiteral("ErrorCode=1\r\nMessage=没有收到文件");
    else if (m_verdict.kind == UploadVerdict::Kind::Refuse)
        text = QStringLiteral("ErrorCode=1\r\nMessage=") + m_verdict.message;
    else
        text = QStringLiteral("ErrorCode=0");
    const QByteArray charset = m_state->snapshot().replyCharset;
    QStringEncoder encoder(charset.constData());
    QByteArray body = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toUtf8();
    m_mode = Mode::Head;
    respond(200, reasonFor(200), "text/plain; charset=" + charset, body);
    m_receiver.reset();
    // A next request may already be waiting.
    if (m_mode == Mode::Head && (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0))
        QTimer::singleShot(0, this, &PlatformConnection::onReadyRead);
}

void PlatformConnection::abortUpload()
{
    m_state->record(m_upload);
    m_recorded = true;
    m_mode = Mode::Closed;
    m_socket->abort();
    deleteLater();
}

void PlatformConnection::respond(int status, const QByteArray &reason, const QByteArray &contentType,
    const QByteArray &body, const QByteArray &extraHeaders)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "Cache-Control: no-cache\r\n";
    head += extraHeaders;
    head += m_head.keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    head += "\r\n";
    m_socket->write(head + body);
    if (!m_head.keepAlive)
        close();
}

void PlatformConnection::close()
{
    if (m_mode == Mode::Closed)
        return;
    m_mode = Mode::Closed;
    m_socket->disconnectFromHost();
}

void PlatformConnection::onDisconnected()
{
    if (m_mode == Mode::UploadBody && !m_recorded) {
        m_file.close();
        m_state->record(m_upload);
        m_recorded = true;
    }
    m_mode = Mode::Closed;
    deleteLater();
}

PlatformServer::PlatformServer(std::shared_ptr<PlatformSim::State> state)
    : m_state(std::move(state))
{
    connect(this, &QTcpServer::newConnection, this, &PlatformServer::onNewConnection);
}

void PlatformServer::onNewConnection()
{
    while (QTcpSocket *socket = nextPendingConnection())
        new PlatformConnection(socket, m_state, this);
}

} // namespace Qurel
