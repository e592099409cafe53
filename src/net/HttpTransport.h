#pragma once
// Plain-HTTP transport on libcurl: a GET into memory and the single-file
// multipart POST, both synchronous on the calling thread.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace Qurel {

struct HttpResult
{
    bool ok = false; // transport worked and the status was 2xx
    long status = 0; // HTTP status, 0 when no answer came
    QByteArray body; // reply body
    QByteArray contentType; // Content-Type header of the reply
    int curlCode = 0; // libcurl's result code (0 = transport fine)
    QString error; // readable reason when !ok
    bool timedOut = false; // the connect or total time-out passed
};

struct HttpGetOptions
{
    long connectTimeoutMs = 5000;
    long totalTimeoutMs = 30000;
    qint64 maxBodyBytes = 0; // a longer reply fails; 0: no limit
    // The recorder is on the local network: its requests go straight to it, whatever proxy the
    // environment names (http_proxy and the like).
    bool useProxy = false;
};

// GET url into memory, bypassing every cache. Status other than 2xx fails.
HttpResult HttpGet(const QString &url, const HttpGetOptions &options = {});

// Progress of an upload: bytes sent so far and total. Return false to abort.
using UploadProgress = std::function<bool(std::int64_t sent, std::int64_t total)>;

struct PostFileOptions
{
    long connectTimeoutMs = 10000;
    // No total time-out (files may be large); abort when fewer than
    // lowSpeedBytes per second pass for lowSpeedSeconds.
    long lowSpeedBytes = 1;
    long lowSpeedSeconds = 60;
    UploadProgress progress;
    // The reply is a short text: a longer one fails, and so does one that has not ended within
    // replyTimeoutMs once the whole file is sent.
    qint64 maxReplyBytes = 64 * 1024;
    long replyTimeoutMs = 60000;
    // Straight to the peer, or through the environment's proxy (see HttpGetOptions).
    bool useProxy = false;
};

// POST one file as multipart/form-data: one part named `field`, filename the
// file's name without its folder, the given MIME type, Content-Transfer-Encoding
// binary. The file is streamed from disk, never read whole into memory.
HttpResult PostFile(const QString &url, const QString &field, const QString &filePath,
    const QString &mimeType, const PostFileOptions &options = {});

// The MIME type used for an uploaded file: "image/bmp" for .bmp, "image/jpeg"
// for .jpg/.jpeg, "video/mpeg" for .mp4, else "application/octet-stream".
QString MimeTypeForFile(const QString &filePath);

// Kind of a transport failure for the user's message, e.g. "ConnectionRefused".
QString TransportErrorKind(const HttpResult &result);

} // namespace Qurel
