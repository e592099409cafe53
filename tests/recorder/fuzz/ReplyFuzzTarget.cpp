// Fuzz target for everything the client reads from the recorder: CGI reply
// texts (login, stream mode, start/stop, SaveCT) and control-channel titles.
// Built for libFuzzer with clang, or run by the standalone driver.

#include "ReplyParsers.h"
#include "Utils.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);              \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

void checkReplies(const QByteArray &bytes)
{
    using namespace Qurel;
    const QString text = ReplyText(bytes);
    FUZZ_CHECK(!text.contains(QChar(0)));

    const QStringList lines = ReplyLines(text);
    qsizetype total = 0;
    for (const QString &line : lines) {
        FUZZ_CHECK(!hasLineBreak(line));
        total += line.size();
    }
    FUZZ_CHECK(total <= text.size());

    for (const QStringView name : { QStringView(u"ErrorCode"), QStringView(u"RtpMode"),
             QStringView(u"RtspPort"), QStringView(u"RtspOnlineCount"), QStringView(u"RECActive") }) {
        if (const auto value = ReplyValue(text, name))
            FUZZ_CHECK(!hasLineBreak(*value));
    }

    const QString key = LoginKeyFromReply(text);
    FUZZ_CHECK(!key.contains(QLatin1Char('|')) && !hasLineBreak(key));
    if (text == QLatin1String("-1"))
        FUZZ_CHECK(key.isEmpty());

    const RtpModeReply mode = RtpModeFromReply(text);
    FUZZ_CHECK(mode.mode.isEmpty() || mode.mode == QLatin1String("0") || mode.mode == QLatin1String("1"));
    FUZZ_CHECK(mode.rtspPort > 0 && mode.rtspPort <= 65535);

    const RecordCommandReply start = StartRecordFromReply(text);
    FUZZ_CHECK(!start.ok || start.errorCode == QLatin1String("0"));
    const RecordCommandReply stop = StopRecordFromReply(text);
    FUZZ_CHECK(stop.ok == (stop.errorCode == QLatin1String("0")));
    FUZZ_CHECK(ErrorCodeIsZero(text) == stop.ok);
}

void checkTitle(const QByteArray &bytes)
{
    using namespace Qurel;
    QString title = HexUtf8ToText(QString::fromLatin1(bytes));
    FUZZ_CHECK(title.size() <= 256);
    FUZZ_CHECK(!title.contains(QChar::ReplacementCharacter) && !title.contains(QChar(0)));
    RemoveBadFileChars(title);
    for (const QChar c : title)
        FUZZ_CHECK(!QStringLiteral("\\/:*?\"<>|").contains(c));
    QString again = title;
    RemoveBadFileChars(again);
    FUZZ_CHECK(again == title);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkReplies(bytes);
    checkTitle(bytes);
    return 0;
}
