#include "HttpTransport.h"

#include <QFileInfo>

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <optional>

namespace Qurel {

namespace {

    struct CurlGlobal
    {
        CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~CurlGlobal() { curl_global_cleanup(); }
    };

    void ensureCurlGlobal()
    {
        static CurlGlobal global;
        (void)global;
    }

    struct EasyDeleter
    {
        void operator()(CURL *h) const { curl_easy_cleanup(h); }
    };
    struct MimeDeleter
    {
        void operator()(curl_mime *m) const { curl_mime_free(m); }
    };
    struct SlistDeleter
    {
        void operator()(curl_slist *l) const { curl_slist_free_all(l); }
    };
    using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
    using MimePtr = std::unique_ptr<curl_mime, MimeDeleter>;
    using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

    // Where a reply body goes; a body that outgrows maxBytes ends the transfer.
    struct BodySink
    {
        QByteArray *body = nullptr;
        qint64 maxBytes = 0; // 0: no limit
        bool overflow = false;
    };

    size_t appendBody(char *data, size_t size, size_t count, void *user)
    {
        auto *sink = static_cast<BodySink *>(user);
        const qint64 bytes = static_cast<qint64>(size * count);
        if (sink->maxBytes > 0 && sink->body->size() + bytes > sink->maxBytes) {
            sink->overflow = true;
            return 0; // libcurl ends the transfer with a write error
        }
        sink->body->append(data, static_cast<qsizetype>(bytes));
        return size * count;
    }

    EasyPtr newEasy(const QByteArray &url, long connectTimeoutMs, bool useProxy, BodySink &sink)
    {
        ensureCurlGlobal();
        EasyPtr easy(curl_easy_init());
        if (!easy)
            return easy;
        curl_easy_setopt(easy.get(), CURLOPT_URL, url.constData());
        curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &appendBody);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http");
        if (!useProxy)
            curl_easy_setopt(easy.get(), CURLOPT_PROXY, ""); // an empty proxy overrides the environment's
        return easy;
    }

    void finish(CURL *easy, CURLcode code, const BodySink &sink, HttpResult &result)
    {
        result.curlCode = code;
        if (sink.overflow) {
            result.error = QStringLiteral("reply larger than %1 bytes").arg(sink.maxBytes);
            return;
        }
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
        char *type = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
            result.contentType = QByteArray(type);
        if (code != CURLE_OK) {
            result.timedOut = code == CURLE_OPERATION_TIMEDOUT;
            result.error = QString::fromUtf8(curl_easy_strerror(code));
            return;
        }
        if (result.status < 200 || result.status > 299) {
            result.error = QStringLiteral("HTTP status %1").arg(result.status);
            return;
        }
        result.ok = true;
    }

    struct ProgressContext
    {
        const UploadProgress *progress = nullptr;
        long replyTimeoutMs = 0;
        std::optional<std::chrono::steady_clock::time_point> sentAt; // when the last byte went out
        bool replyLate = false;
    };

    // libcurl calls this about once a second while nothing moves, so the reply's wait is watched
    // even when the peer sends nothing.
    int onProgress(void *user, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
    {
        auto *ctx = static_cast<ProgressContext *>(user);
        if (ultotal > 0 && ulnow >= ultotal) {
            const auto now = std::chrono::steady_clock::now();
            if (!ctx->sentAt)
                ctx->sentAt = now;
            if (ctx->replyTimeoutMs > 0 && now - *ctx->sentAt > std::chrono::milliseconds(ctx->replyTimeoutMs)) {
                ctx->replyLate = true;
                return 1;
            }
        }
        if (ctx->progress && *ctx->progress)
            return (*ctx->progress)(ulnow, ultotal) ? 0 : 1;
        return 0;
    }

} // namespace

HttpResult HttpGet(const QString &url, const HttpGetOptions &options)
{
    HttpResult result;
    BodySink sink { &result.body, options.maxBodyBytes };
    EasyPtr easy = newEasy(url.toUtf8(), options.connectTimeoutMs, options.useProxy, sink);
    if (!easy) {
        result.error = QStringLiteral("cannot create an HTTP handle");
        return result;
    }
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    // Never answer from a cache: every reply must be the recorder's own.
    SlistPtr headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
    curl_slist_append(headers.get(), "Pragma: no-cache");
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    finish(easy.get(), curl_easy_perform(easy.get()), sink, result);
    return result;
}

HttpResult PostFile(const QString &url, const QString &field, const QString &filePath,
    const QString &mimeType, const PostFileOptions &options)
{
    HttpResult result;
    QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable()) {
        result.error = QStringLiteral("cannot read %1").arg(filePath);
        return result;
    }
    BodySink sink { &result.body, options.maxReplyBytes };
    EasyPtr easy = newEasy(url.toUtf8(), options.connectTimeoutMs, options.useProxy, sink);
    if (!easy) {
        result.error = QStringLiteral("cannot create an HTTP handle");
        return result;
    }
    MimePtr mime(curl_mime_init(easy.get()));
    curl_mimepart *part = curl_mime_addpart(mime.get());
    curl_mime_name(part, field.toUtf8().constData());
    // filedata streams the file from disk while the request is sent.
    curl_mime_filedata(part, QFile::encodeName(filePath).constData());
    curl_mime_filename(part, info.fileName().toUtf8().constData());
    curl_mime_type(part, mimeType.toUtf8().constData());
    // Declared as a part header rather than with curl_mime_encoder: libcurl's
    // encoder path hands the data on in 256-byte pieces, one send() each,
    // which makes large uploads some 25 times slower.
    curl_mime_headers(part, curl_slist_append(nullptr, "Content-Transfer-Encoding: binary"), 1);
    curl_easy_setopt(easy.get(), CURLOPT_MIMEPOST, mime.get());
    // Waiting for "100 Continue" costs a second per request on servers that
    // never send it; send the body straight away.
    SlistPtr headers(curl_slist_append(nullptr, "Expect:"));
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
    ProgressContext ctx;
    ctx.progress = &options.progress;
    ctx.replyTimeoutMs = options.replyTimeoutMs;
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFODATA, &ctx);
    curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);
    finish(easy.get(), curl_easy_perform(easy.get()), sink, result);
    if (ctx.replyLate) {
        result.ok = false;
        result.timedOut = true;
        result.curlCode = CURLE_OPERATION_TIMEDOUT;
        result.error = QStringLiteral("no complete reply within %1 s of sending the file").arg(options.replyTimeoutMs / 1000.0);
    }
    return result;
}

QString MimeTypeForFile(const QString &filePath)
{
    const QString suffix = QFileInfo(filePath).suffix().toLower();
    if (suffix == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QStringLiteral("image/jpeg");
    if (suffix == QLatin1String("mp4"))
        return QStringLiteral("video/mpeg");
    return QStringLiteral("application/octet-stream");
}

QString TransportErrorKind(const HttpResult &result)
{
    switch (result.curlCode) {
    case CURLE_OK:
        return QStringLiteral("HttpError");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("BadAddress");
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("HostNotFound");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("ConnectionRefused");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("Timeout");
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return QStringLiteral("ConnectionLost");
    case CURLE_READ_ERROR:
        return QStringLiteral("FileReadError");
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("Aborted");
    default:
        return QStringLiteral("TransportError");
    }
}

} // namespace Qurel
