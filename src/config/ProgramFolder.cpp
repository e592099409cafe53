#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace Qurel {

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}
} // namespace

QString ProgramFolder()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    return withSeparator(QCoreApplication::applicationDirPath());
}

void SetProgramFolderForTesting(const QString &folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : withSeparator(QDir(folder).absolutePath());
}

} // namespace Qurel
