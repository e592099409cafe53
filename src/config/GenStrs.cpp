#include "GenStrs.h"

#include <QRandomGenerator>

namespace Qurel {

namespace {
    bool isDigit(int r)
    {
        return r >= '0' && r <= '9';
    }
    bool isUpper(int r)
    {
        return r >= 'A' && r <= 'Z';
    }
    bool isLetter(int r)
    {
        return isUpper(r) || (r >= 'a' && r <= 'z');
    }

    bool inClass(int r, int charClass)
    {
        switch (charClass) {
        case 1:
            return true;
        case 2:
        case 6:
            return isDigit(r) || isLetter(r);
        case 3:
            return isDigit(r);
        case 4:
        case 5:
            return isLetter(r);
        case 7:
            return isDigit(r) || (r >= 'A' && r <= 'F');
        default:
            return false;
        }
    }
} // namespace

QString GenRandomString(int length, int charClass)
{
    // Without this guard an unknown class would never keep a character and loop for ever.
    if (length < 1 || charClass < 1 || charClass > 7)
        return QString();
    QString out;
    out.reserve(length);
    auto *random = QRandomGenerator::global();
    while (out.size() < length) {
        const int r = static_cast<int>(random->bounded(255));
        if (inClass(r, charClass))
            out += QChar(static_cast<char16_t>(r));
    }
    if (charClass == 5 || charClass == 6)
        out = out.toUpper();
    return out;
}

} // namespace Qurel
