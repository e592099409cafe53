#include "HttpIntf.h"

#include "Md5.h"

#include <QRandomGenerator>

#include <optional>

namespace Qurel {

namespace {

    constexpr qint64 kMaxCgiReplyBytes = 1 << 20;

    std::optional<HttpGetOptions> &testOptions()
    {
        static std::optional<HttpGetOptions> options;
        return options;
    }

    // The start of every plat.cgi request: address, port, user and digest filled
    // in that order, in one pass so no value is read as a placeholder.
    QString platUrl(
        const QString &address, int httpPort, const QString &username, const QString &password, int action)
    {
        return QStringLiteral("http://%1:%2/cgi-bin/plat/plat.cgi?action=%3&user=%4&password=%5")
            .arg(address, QString::number(httpPort), QString::number(action), UrlSafeUserName(username),
                PasswordDigest(password));
    }

    QString withNumbers(
        QString url, const char *first, int a, const char *second, int b, const char *third, int c)
    {
        url += QStringLiteral("&%1=%2&%3=%4&%5=%6")
                   .arg(QLatin1String(first), QString::number(a), QLatin1String(second), QString::number(b),
                       QLatin1String(third), QString::number(c));
        return url;
    }

} // namespace

HttpGetOptions CgiGetOptions()
{
    if (testOptions())
        return *testOptions();
    HttpGetOptions options;
    options.maxBodyBytes = kMaxCgiReplyBytes;
    return options;
}

void SetCgiGetOptionsForTesting(const HttpGetOptions *options)
{
    testOptions() = options ? std::optional<HttpGetOptions>(*options) : std::nullopt;
}

QString UrlSafeUserName(const QString &username)
{
    // Every printable ASCII character but # % & + stays as it is.
    return QString::fromLatin1(username.toUtf8().toPercentEncoding("!\"$'()*,/:;<=>?@[\\]^`{|}~"));
}

TextReply DownloadURLToText(const QString &url, const HttpGetOptions &options)
{
    const QString fullUrl
        = url + QStringLiteral("&abc=") + QString::number(QRandomGenerator::global()->bounded(100000));
    const HttpResult http = HttpGet(fullUrl, options);
    TextReply reply;
    reply.ok = http.ok;
    reply.error = http.error;
    reply.timedOut = http.timedOut;
    if (http.ok)
        reply.text = ReplyText(http.body);
    return reply;
}

QString GetLoginKey(const QString &address, int httpPort, const QString &username, const QString &password,
    const HttpGetOptions &options)
{
    const QString url
        = QStringLiteral("http://%1:%2/cgi-bin/logon.cgi?username=%3&upswd=%4")
              .arg(address, QString::number(httpPort), UrlSafeUserName(username), PasswordDigest(password));
    const TextReply reply = DownloadURLToText(url, options);
    return reply.ok ? LoginKeyFromReply(reply.text) : QString();
}

RtpModeReply GetRTPMode(const QString &address, int httpPort, const QString &username,
    const QString &password, const HttpGetOptions &options)
{
    const TextReply reply = DownloadURLToText(platUrl(address, httpPort, username, password, 24685), options);
    return reply.ok ? RtpModeFromReply(reply.text) : RtpModeReply();
}

RecordCommandReply StartRecord(const QString &address, int httpPort, const QString &username,
    const QString &password, int progId, int isStartVob, int titleEnable, const HttpGetOptions &options)
{
    // "TtileEnable" is the recorder's own spelling.
    const QString url = withNumbers(platUrl(address, httpPort, username, password, 24674), "ProgID", progId,
        "IsStartVob", isStartVob, "TtileEnable", titleEnable);
    const TextReply reply = DownloadURLToText(url, options);
    return reply.ok ? StartRecordFromReply(reply.text) : RecordCommandReply();
}

RecordCommandReply StopRecord(const QString &address, int httpPort, const QString &username,
    const QString &password, int progId, int isStopVob, int creditEnable, const HttpGetOptions &options)
{
    const QString url = withNumbers(platUrl(address, httpPort, username, password, 24675), "ProgID", progId,
        "IsStopVob", isStopVob, "CreditEnable", creditEnable);
    const TextReply reply = DownloadURLToText(url, options);
    return reply.ok ? StopRecordFromReply(reply.text) : RecordCommandReply();
}

bool SaveCT(const QString &address, int httpPort, const QString &username, const QString &password,
    const HttpGetOptions &options)
{
    const TextReply reply = DownloadURLToText(platUrl(address, httpPort, username, password, 24687), options);
    return reply.ok && ErrorCodeIsZero(reply.text);
}

} // namespace Qurel
