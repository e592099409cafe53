#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace Qurel {

namespace {
struct FolderOverride
{
    QString folder;
    bool readOnly = false;
};

FolderOverride &folderOverride()
{
    static FolderOverride value;
    return value;
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool programFolderWritable()
{
    if (!folderOverride().folder.isEmpty() && folderOverride().readOnly)
        return false;
    // isWritable asks the system for this user's access, so a read-only mount counts as well.
    return QFileInfo(ProgramFolder()).isWritable();
}
} // namespace

QString ProgramFolder()
{
    if (!folderOverride().folder.isEmpty())
        return folderOverride().folder;
    return withSeparator(QCoreApplication::applicationDirPath());
}

void SetProgramFolderForTesting(const QString &folder, bool readOnly)
{
    folderOverride().folder = folder.isEmpty() ? QString() : withSeparator(QDir(folder).absolutePath());
    folderOverride().readOnly = readOnly;
}

QString UserDataFolder()
{
    return withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        + QStringLiteral("ZEL_Qurel/");
}

WorkFiles::WorkFiles(const QString &programFolder, bool programFolderWritable, const QString &userDataFolder)
    : m_programFolder(withSeparator(programFolder))
    , m_userDataFolder(withSeparator(userDataFolder))
    , m_programFolderWritable(programFolderWritable)
{
}

WorkFiles WorkFiles::Current()
{
    return WorkFiles(ProgramFolder(), programFolderWritable(), UserDataFolder());
}

QString WorkFiles::folder() const
{
    if (m_programFolderWritable)
        return m_programFolder;
    QDir().mkpath(m_userDataFolder);
    return m_userDataFolder;
}

QString WorkFiles::writePath(const QString &name) const
{
    return folder() + name;
}

QString WorkFiles::readPath(const QString &name) const
{
    if (!m_programFolderWritable && QFileInfo::exists(m_userDataFolder + name))
        return m_userDataFolder + name;
    return m_programFolder + name;
}

QString WorkFiles::editablePath(const QString &name) const
{
    const QString path = writePath(name);
    if (m_programFolderWritable || QFileInfo::exists(path))
        return path;
    const QString original = m_programFolder + name;
    if (QFile::copy(original, path)) {
        // The copy takes the installed file's permissions, which may not let its user change it.
        QFile copy(path);
        copy.setPermissions(copy.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return path;
}

QString WorkFiles::defaultRecordingsFolder() const
{
    return folder() + QStringLiteral("Resource/");
}

QString WorkFolder()
{
    return WorkFiles::Current().folder();
}

QString WorkFilePath(const QString &name)
{
    return WorkFiles::Current().writePath(name);
}

QString ReadFilePath(const QString &name)
{
    return WorkFiles::Current().readPath(name);
}

QString EditableFilePath(const QString &name)
{
    return WorkFiles::Current().editablePath(name);
}

QString DefaultRecordingsFolder()
{
    return WorkFiles::Current().defaultRecordingsFolder();
}

} // namespace Qurel
