#include "RuntimeFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace Qurel {

QString RuntimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

} // namespace Qurel
