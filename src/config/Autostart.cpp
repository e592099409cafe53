#include "Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace Qurel {

namespace {
// An Exec argument with any character the desktop entry format reserves goes in double quotes,
// with ", `, $ and \ escaped; the value as a whole then escapes its backslashes once more.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    if (!quote)
        return argument;
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    return quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

// The value of `key` in the entry's [Desktop Entry] group, empty when missing.
QString entryValue(const QByteArray &entry, const QString &key)
{
    bool inGroup = false;
    for (const QByteArray &raw : entry.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return QString();
}
} // namespace

QString AutostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/" QUREL_APP_ID ".desktop");
}

QByteArray AutostartEntry(const QString &client)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Qurel助手\n"
                                        "Comment=Keeps a local copy of every lesson the recorder records\n"
                                        "Exec=%1\n"
                                        "Icon=qurel\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execArgument(client));
    return text.toUtf8();
}

bool IsAutostartOn()
{
    QFile file(AutostartEntryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray entry = file.readAll();
    return entryValue(entry, QStringLiteral("Hidden")) != QStringLiteral("true")
        && entryValue(entry, QStringLiteral("X-GNOME-Autostart-enabled")) != QStringLiteral("false");
}

bool SetAutostart(bool on, const QString &client, QString *error)
{
    const QString path = AutostartEntryPath();
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        *error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(AutostartEntry(client));
        if (file.commit())
            return true;
    }
    *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace Qurel
