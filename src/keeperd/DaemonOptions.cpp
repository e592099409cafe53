#include "DaemonOptions.h"

#include "KeeperSocket.h"

#include <QCommandLineParser>

namespace Qurel {

namespace {
    const QString kSettings = QStringLiteral("settings");
    const QString kInstance = QStringLiteral("instance");
    const QString kCheck = QStringLiteral("check");
    const QString kForWindow = QStringLiteral("for-window");
    const QString kHelp = QStringLiteral("help");
} // namespace

QString DaemonUsage()
{
    return QStringLiteral(
        "usage: qureld [--settings FILE] [--instance NAME] [--for-window] [--check]\n"
        "Keeps a local copy of every lesson the recorder records.\n"
        "\n"
        "  --settings FILE  read the settings from FILE (the keys of the client's settings file in\n"
        "                   [Series_A] and of config.ini in [Ver]) instead of the client's own\n"
        "  --instance NAME  run as the system instance NAME (qureld@NAME.service): socket\n"
        "                   /run/qurel/NAME.sock for group qurel, recordings in\n"
        "                   /var/lib/qurel/NAME/recordings/ unless the settings name a folder\n"
        "  --for-window     started by the client's window: follow no recorder until the window\n"
        "                   hands over its settings; the window's close question ends it\n"
        "  --check          print the settings and places the keeper would use, then end\n"
        "\n"
        "SIGTERM or SIGINT finishes the lesson being recorded and ends the keeper.\n"
        "exit status: 0 finished, 1 could not start, 2 bad options or settings\n");
}

std::optional<DaemonOptions> ParseDaemonOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        { kSettings, QString(), QStringLiteral("FILE") },
        { kInstance, QString(), QStringLiteral("NAME") },
        { kCheck, QString() },
        { kForWindow, QString() },
        { { QStringLiteral("h"), kHelp }, QString() },
    });
    const auto refuse = [error](const QString &why) -> std::optional<DaemonOptions> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    for (const QString &name : { kSettings, kInstance }) {
        if (parser.values(name).size() > 1)
            return refuse(QStringLiteral("--%1 given more than once").arg(name));
    }
    DaemonOptions options;
    options.settingsFile = parser.value(kSettings);
    options.instance = parser.value(kInstance);
    options.check = parser.isSet(kCheck);
    options.forWindow = parser.isSet(kForWindow);
    options.help = parser.isSet(kHelp);
    if (parser.isSet(kSettings) && options.settingsFile.isEmpty())
        return refuse(QStringLiteral("--settings needs a file"));
    if (parser.isSet(kInstance) && !IsKeeperInstanceName(options.instance))
        return refuse(QStringLiteral("bad instance name \"%1\": %2").arg(options.instance, KeeperInstanceNameRule()));
    if (options.forWindow && (!options.instance.isEmpty() || !options.settingsFile.isEmpty()))
        return refuse(QStringLiteral("--for-window takes the window's settings: not with --instance or --settings"));
    return options;
}

} // namespace Qurel
