#include "PlatformServer.h"

#include "LoginPage.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTimer>

namespace Qurel {

namespace {
    constexpr qint64 kMaxFormBody = 64 * 1024;
    constexpr qsizetype kChunk = 1024 * 1024;

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
    const Sim::HeadScan scan = Sim::ScanRequestHead(m_buffer);
    if (scan.status == Sim::HeadScan::Status::NeedMore)
        return true;
    m_head = scan.head; // empty unless complete: the answer then closes the connection
    if (scan.status == Sim::HeadScan::Status::TooLarge) {
        respond(431, "text/plain", "request head too long\n");
        return false;
    }
    if (scan.status == Sim::HeadScan::Status::Bad) {
        respond(400, "text/plain", "bad request\n");
        return false;
    }
    m_buffer.remove(0, scan.bodyStart);
    const QByteArray path = m_head.rawPath().toLower();
    if (path == QByteArray(kUploadPath).toLower()) {
        if (m_head.method != "POST") {
            respond(405, "text/plain", "POST only\n");
            return true;
        }
        beginUpload();
        return m_mode != Mode::Closed;
    }
    if (path == QByteArray(kLoginPath).toLower()) {
        if (m_head.method == "POST") {
            m_remaining = m_head.contentLength(0);
            if (m_remaining < 0 || m_remaining > kMaxFormBody) {
                respond(m_remaining < 0 ? 400 : 413, "text/plain",
                    m_remaining < 0 ? "bad Content-Length\n" : "form too large\n");
                close();
                return false;
            }
            m_mode = Mode::FormBody;
            return true;
        }
        if (m_head.rawQuery().toLower().contains("finish=1")) {
            respond(200, "text/html; charset=utf-8", FinishPageHtml());
        } else {
            LoginVisit visit = ParseLoginQuery(m_head.rawQuery());
            visit.target = m_head.target;
            m_state->recordLogin(visit);
            respond(200, "text/html; charset=utf-8", LoginPageHtml(visit));
        }
        return true;
    }
    respond(404, "text/plain", "not found\n");
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
    respond(302, "text/plain", "logged in\n", "Location: " + location + "\r\n");
}

void PlatformConnection::beginUpload()
{
    m_upload = ReceivedUpload();
    m_upload.guid = m_head.queryValue(QStringLiteral("guid"));
    m_upload.fileType = m_head.queryValue(QStringLiteral("filetype")).toInt();
    m_filePartSeen = false;
    m_inFilePart = false;
    m_recorded = false;
    m_verdict = m_state->nextVerdict();
    m_upload.verdict = m_verdict.kind;

    if (m_verdict.kind == UploadVerdict::Kind::Drop) {
        abortUpload();
        return;
    }
    m_remaining = m_head.contentLength(-1);
    if (m_remaining < 0) {
        respond(411, "text/plain", "Content-Length required\n");
        close();
        return;
    }
    const QByteArray boundary = Sim::MultipartReceiver::BoundaryOf(m_head.header("content-type"));
    if (boundary.isEmpty()) {
        respond(400, "text/plain", "multipart/form-data expected\n");
        close();
        return;
    }
    m_receiver = std::make_unique<Sim::MultipartReceiver>(boundary);
    m_receiver->onPartBegin = [this](const Sim::MultipartPartHeader &part) {
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
    if (m_head.expectsContinue())
        m_socket->write(Sim::kContinueAnswer);
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
    respond(400, "text/plain", m_receiver->error().toUtf8() + '\n');
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
    if (m_upload.complete && m_verdict.kind == UploadVerdict::Kind::Oversized) {
        m_mode = Mode::Head;
        respond(200, "text/plain", "ErrorCode=0" + QByteArray(1024 * 1024, ' '));
        m_receiver.reset();
        return;
    }
    if (m_upload.complete && m_verdict.kind == UploadVerdict::Kind::Trickle) {
        m_socket->write(Sim::ResponseHead(200, "text/plain", 1024 * 1024, false, {}));
        auto *drip = new QTimer(this);
        connect(drip, &QTimer::timeout, this, [this] { m_socket->write("E"); });
        drip->start(200);
        return;
    }
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
    respond(200, "text/plain; charset=" + charset, body);
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

void PlatformConnection::respond(
    int status, const QByteArray &contentType, const QByteArray &body, const QByteArray &extraHeaders)
{
    const bool keepAlive = m_head.keepAlive();
    m_socket->write(Sim::ResponseHead(status, contentType, body.size(), keepAlive, extraHeaders) + body);
    if (!keepAlive)
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
