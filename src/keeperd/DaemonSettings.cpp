#include "DaemonSettings.h"

#include "Configs.h"
#include "ProgramFolder.h"

#include <QFileInfo>
#include <QSettings>

namespace Qurel {

std::optional<KeeperSettings> ReadKeeperSettings(
    const QString &file, const QString &defaultRecordings, QString *error)
{
    TSDKConfig config;
    if (file.isEmpty()) {
        config.Load();
    } else {
        const QFileInfo info(file);
        QFile readable(file);
        if (!info.isFile() || !readable.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read the settings file %1").arg(file);
            return std::nullopt;
        }
        config.LoadFile(file);
    }
    KeeperSettings settings = KeeperSettingsFrom(config);
    if (settings.savePath.isEmpty())
        settings.savePath = defaultRecordings;
    return settings;
}

QString DescribeKeeperSettings(const QString &file, const KeeperSettings &s)
{
    const QString source = file.isEmpty()
        ? QStringLiteral("%1 and config.ini").arg(TSDKConfig::StoreFileName())
        : file;
    return QStringLiteral("settings: %1\n"
                          "recorder: %2 (HTTP port %3)\n"
                          "user: %4 (password %5)\n"
                          "recordings: %6\n"
                          "follows the recorder's notices: %7\n"
                          "longest resumed lesson: %8 minutes\n")
        .arg(source, s.address)
        .arg(s.httpPort)
        .arg(s.username, s.password.isEmpty() ? QStringLiteral("empty") : QStringLiteral("set"),
            s.savePath.isEmpty() ? DefaultRecordingsFolder() + QStringLiteral(" (the default)") : s.savePath,
            s.autoRec ? QStringLiteral("yes") : QStringLiteral("no (manual start and stop)"))
        .arg(s.maxLessonMinutes);
}

} // namespace Qurel
