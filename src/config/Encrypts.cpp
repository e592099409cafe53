#include "Encrypts.h"

#include "HexText.h"

namespace Qurel {

namespace {
    constexpr char16_t kScrambleKey = 0x5D;
} // namespace

QString ScrambleText(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto position = static_cast<char16_t>(i + 1);
        out[i] = QChar(static_cast<char16_t>(text.at(i).unicode() ^ position ^ kScrambleKey));
    }
    return out;
}

QString TextToHex(const QString &text)
{
    QString out;
    out.reserve(text.size() * 2);
    for (const QChar c : text)
        out += QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    return out;
}

std::optional<QString> TryHexToText(const QString &hex)
{
    const QByteArray bytes = LeadingHexBytes(hex);
    if (bytes.size() != hex.size() / 2)
        return std::nullopt;
    return QString::fromLatin1(bytes);
}

QString HexToText(const QString &hex)
{
    return TryHexToText(hex).value_or(QString());
}

QString EncryptText(const QString &text)
{
    return TextToHex(ScrambleText(text));
}

std::optional<QString> TryDecryptText(const QString &hex)
{
    const auto text = TryHexToText(hex);
    if (!text)
        return std::nullopt;
    return ScrambleText(*text);
}

QString DecryptText(const QString &hex)
{
    return TryDecryptText(hex).value_or(QString());
}

} // namespace Qurel
