// qureld: the lesson keeper. Keeps a local copy of every lesson the recorder records, with or
// without a desktop: started by the window, or by systemd as qureld@ROOM.
#include "DaemonOptions.h"
#include "DaemonSettings.h"
#include "KeeperDaemon.h"
#include "KeeperPlace.h"
#include "StopSignals.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <cstdio>

namespace {

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

int check(const Qurel::DaemonOptions &options, const Qurel::KeeperPlace &place)
{
    QString error;
    const auto settings = Qurel::ReadKeeperSettings(options.settingsFile, place.recordingsFolder, &error);
    if (!settings) {
        print(stderr, QStringLiteral("qureld: %1\n").arg(error));
        return Qurel::KeeperDaemon::BadSettings;
    }
    print(stdout, Qurel::DescribeKeeperSettings(options.settingsFile, *settings));
    print(stdout, QStringLiteral("socket: %1\njournal: %2\nlesson log: %3\n")
                      .arg(place.socketPath, place.paths.journal, place.paths.log));
    return Qurel::KeeperDaemon::Finished;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qureld"));

    QString error;
    const auto options = Qurel::ParseDaemonOptions(app.arguments(), &error);
    if (!options) {
        print(stderr, QStringLiteral("qureld: %1\n%2").arg(error, Qurel::DaemonUsage()));
        return Qurel::KeeperDaemon::BadSettings;
    }
    if (options->help) {
        print(stdout, Qurel::DaemonUsage());
        return Qurel::KeeperDaemon::Finished;
    }
    const Qurel::KeeperPlace place = options->instance.isEmpty()
        ? Qurel::KeeperPlace::ForUser()
        : Qurel::KeeperPlace::ForInstance(options->instance, QProcessEnvironment::systemEnvironment());
    if (options->check)
        return check(*options, place);

    Qurel::KeeperDaemon daemon(*options, place);
    Qurel::KeeperDaemon::ExitStatus status = Qurel::KeeperDaemon::Finished;
    if (!daemon.start(&error, &status)) {
        print(stderr, QStringLiteral("qureld: %1\n").arg(error));
        return status;
    }
    Qurel::StopSignals stopSignals;
    QObject::connect(&stopSignals, &Qurel::StopSignals::received, &daemon, &Qurel::KeeperDaemon::stop);
    QObject::connect(&daemon, &Qurel::KeeperDaemon::done, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    return app.exec();
}
