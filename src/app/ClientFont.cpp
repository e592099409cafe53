#include "ClientFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace Qurel {

QString ClientFontFamily()
{
    const QStringList families = QFontDatabase::families();
    for (const QString &name : { QStringLiteral("SimSun"), QStringLiteral("宋体") }) {
        if (families.contains(name, Qt::CaseInsensitive))
            return name;
    }
    return QStringLiteral("Noto Sans CJK SC");
}

QFont ClientFont(int pixelSize, bool bold)
{
    QFont font(ClientFontFamily());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace Qurel
