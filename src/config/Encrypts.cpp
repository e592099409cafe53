#include "Encrypts.h"

namespace Qurel {

namespace {
    constexpr char16_t kScrambleKey = 0x5D;

    int hexDigit(QChar c)
    {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            return u - u'0';
        if (u >= u'A' && u <= u'F')
            return u - u'A' + 10;
        if (u >= u'a' && u <= u'f')
            return u - u'a' + 10;
        return -1;
    }
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
    const qsizetype pairs = hex.size() / 2;
    QString out;
    out.reserve(pairs);
    for (qsizetype k = 0; k < pairs; ++k) {
        const int high = hexDigit(hex.at(2 * k));
        const int low = hexDigit(hex.at(2 * k + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        out += QChar(static_cast<char16_t>(high * 16 + low));
    }
    return out;
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
