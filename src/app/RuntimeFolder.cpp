#include "RuntimeFolder.h"

#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Qurel {

namespace {
    bool fail(QString *why, const QString &text)
    {
        if (why)
            *why = text;
        return false;
    }
} // namespace

bool IsPrivateFolder(const QString &folder, QString *why)
{
#if defined(Q_OS_UNIX)
    const QByteArray path = QFile::encodeName(folder);
    struct stat st
    {
    };
    // lstat: a link to somewhere else is not this user's folder, whatever it points at.
    if (::lstat(path.constData(), &st) != 0)
        return fail(why, QStringLiteral("%1 does not exist").arg(folder));
    if (!S_ISDIR(st.st_mode))
        return fail(why, QStringLiteral("%1 is not a folder").arg(folder));
    if (st.st_uid != ::geteuid())
        return fail(why, QStringLiteral("%1 belongs to another user").arg(folder));
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0)
        return fail(why, QStringLiteral("%1 is open to other users and cannot be closed").arg(folder));
    return true;
#else
    if (!QFileInfo(folder).isDir() || QFileInfo(folder).isSymLink())
        return fail(why, QStringLiteral("%1 is not a folder").arg(folder));
    return true;
#endif
}

QString RuntimeFolder(QString *error)
{
    QString why;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && !QDir::isAbsolutePath(runtime))
        why = QStringLiteral("XDG_RUNTIME_DIR %1 is not an absolute path").arg(runtime);
    else if (!runtime.isEmpty() && IsPrivateFolder(runtime, &why))
        return QDir::cleanPath(runtime);
#if !defined(Q_OS_UNIX)
    if (runtime.isEmpty()) {
        const QString standard = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!standard.isEmpty())
            return standard;
    }
#endif
    // No usable runtime folder (a session without one, or one of another user): a folder of the
    // client's own in the per-user data folder.
    const QString own = UserDataFolder() + QStringLiteral("runtime");
    if (!QFileInfo::exists(own) && !QFileInfo(own).isSymLink()) {
        QDir().mkpath(UserDataFolder());
#if defined(Q_OS_UNIX)
        ::mkdir(QFile::encodeName(own).constData(), 0700);
#else
        QDir().mkdir(own);
#endif
    }
    QString ownWhy;
    if (IsPrivateFolder(own, &ownWhy))
        return own;
    if (error)
        *error = runtime.isEmpty() ? ownWhy : why + QStringLiteral("; ") + ownWhy;
    return {};
}

} // namespace Qurel
