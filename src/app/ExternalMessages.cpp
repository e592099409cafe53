#include "ExternalMessages.h"

#include "RuntimeFolder.h"

namespace Qurel {

namespace {
    std::optional<qint64> parseNumber(const QString &text)
    {
        const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        bool ok = false;
        const qint64 value = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
        if (!ok)
            return std::nullopt;
        return value;
    }

    struct VirtualKeyName
    {
        const char *name;
        int key;
    };
    constexpr VirtualKeyName kHotKeys[] = { { "F5", kVkF5 }, { "F6", kVkF6 } };

    std::optional<ExternalMessage> fail(QString *error, const QString &text)
    {
        if (error)
            *error = text;
        return std::nullopt;
    }
} // namespace

std::optional<ExternalMessage> ParseExternalMessage(const QString &line)
{
    if (line.size() > kMaxMessageLine)
        return std::nullopt;
    const QStringList parts = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return std::nullopt;
    const auto msg = parseNumber(parts.at(0));
    const auto wParam = parseNumber(parts.at(1));
    const auto lParam = parseNumber(parts.at(2));
    if (!msg || !wParam || !lParam || *msg < 0 || *msg > 0xFFFF)
        return std::nullopt;
    return ExternalMessage { static_cast<quint32>(*msg), *wParam, *lParam };
}

QString FormatExternalMessage(const ExternalMessage &message)
{
    return QStringLiteral("0x%1 %2 %3")
        .arg(QString::number(message.msg, 16).toUpper())
        .arg(message.wParam)
        .arg(message.lParam);
}

qint64 HotKeyLParam(int virtualKey)
{
    return static_cast<qint64>(virtualKey & 0xFFFF) << 16;
}

int HotKeyVirtualKey(qint64 lParam)
{
    return static_cast<int>((lParam >> 16) & 0xFFFF);
}

std::optional<ExternalMessage> CommandToMessage(const QStringList &args, QString *error)
{
    if (args.isEmpty())
        return fail(error, QStringLiteral("no command given"));
    const QString command = args.first().toLower();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("show")) {
        if (!rest.isEmpty())
            return fail(error, QStringLiteral("show takes no arguments"));
        return ExternalMessage { kMsgShowAgain, 0, 0 };
    }
    if (command == QLatin1String("play")) {
        const auto position = rest.size() == 1 ? parseNumber(rest.first()) : std::nullopt;
        if (!position || *position < 0)
            return fail(error, QStringLiteral("play needs a position in milliseconds"));
        return ExternalMessage { kMsgPlayFrom, 0, *position };
    }
    if (command == QLatin1String("hotkey")) {
        for (const auto &hotKey : kHotKeys) {
            if (rest.size() == 1
                && rest.first().compare(QLatin1String(hotKey.name), Qt::CaseInsensitive) == 0)
                return ExternalMessage { kMsgHotKey, 0, HotKeyLParam(hotKey.key) };
        }
        return fail(error, QStringLiteral("hotkey needs F5 or F6"));
    }
    const QStringList numbers = command == QLatin1String("raw") ? rest : args;
    if (numbers.size() < 2 || numbers.size() > 3)
        return fail(error, QStringLiteral("expected MSG WPARAM [LPARAM]"));
    const auto message = ParseExternalMessage(
        numbers.join(QLatin1Char(' ')) + (numbers.size() == 2 ? QStringLiteral(" 0") : QString()));
    if (!message)
        return fail(error, QStringLiteral("MSG, WPARAM and LPARAM must be numbers (decimal or 0x...)"));
    return message;
}

QString MessageChannelName()
{
    const QString folder = RuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Qurel");
}

} // namespace Qurel
