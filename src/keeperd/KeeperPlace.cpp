#include "KeeperPlace.h"

#include "KeeperSocket.h"
#include "RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace Qurel {

namespace {
    // systemd lists the folders of one directive separated by ':'; the keeper's unit names one.
    QString folderFrom(const QProcessEnvironment &environment, const QString &variable, const QString &fallback)
    {
        const QString value = environment.value(variable).section(QLatin1Char(':'), 0, 0);
        return value.isEmpty() ? fallback : value;
    }

    bool makeFolder(const QString &path, mode_t mode, QString *error)
    {
        // chmod, not QFile::setPermissions: the setgid bit has no Qt name.
        if (QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0)
            return true;
        if (error)
            *error = QStringLiteral("cannot make the folder %1 (mode %2)").arg(path).arg(mode, 4, 8, QLatin1Char('0'));
        return false;
    }
} // namespace

KeeperPlace KeeperPlace::ForUser()
{
    KeeperPlace place;
    place.socketPath = UserKeeperSocketPath();
    place.lockFolder = RuntimeFolder();
    place.lockName = QStringLiteral("qureld");
    place.paths = KeeperPaths::ForUser();
    return place;
}

KeeperPlace KeeperPlace::ForInstance(const QString &instance, const QProcessEnvironment &environment)
{
    const QString state = folderFrom(
        environment, QStringLiteral("STATE_DIRECTORY"), QStringLiteral("/var/lib/qurel/") + instance);
    const QString logs
        = folderFrom(environment, QStringLiteral("LOGS_DIRECTORY"), QStringLiteral("/var/log/qurel/") + instance);
    const QString run = folderFrom(environment, QStringLiteral("RUNTIME_DIRECTORY"), kSystemKeeperRunFolder);
    KeeperPlace place;
    place.service = true;
    place.socketPath = SystemKeeperSocketPath(instance, run);
    place.access = KeeperServer::Access::Group;
    place.lockFolder = run;
    place.lockName = instance;
    place.recordingsFolder = state + QStringLiteral("/recordings/");
    place.privateFolder = state + QStringLiteral("/keeper");
    // The journal where only the keeper reaches it; the lesson log where the group may read it.
    place.paths = KeeperPaths::InFolder(place.privateFolder);
    place.paths.log = logs + QLatin1Char('/') + QFileInfo(place.paths.log).fileName();
    return place;
}

bool KeeperPlace::prepare(QString *error) const
{
    if (!service)
        return true;
    if (!makeFolder(recordingsFolder, 02770, error) || !makeFolder(recordingsFolder + QStringLiteral("Image"), 02770, error)
        || !makeFolder(privateFolder, 0700, error)
        || !makeFolder(QFileInfo(paths.log).absolutePath(), 0750, error))
        return false;
    qputenv("XDG_DATA_HOME", QFile::encodeName(privateFolder + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(privateFolder + QStringLiteral("/config")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(privateFolder + QStringLiteral("/cache")));
    return true;
}

} // namespace Qurel
