#pragma once
// qureld's command line: [--settings FILE] [--instance NAME] [--for-window] [--check].

#include <QString>
#include <QStringList>

#include <optional>

namespace Qurel {

struct DaemonOptions
{
    QString settingsFile; // empty: the window's settings (the user's store and config.ini)
    QString instance; // empty: the user's keeper; else the system instance of that name
    bool forWindow = false; // started by a window: keeps by the window's settings, which it waits for
    bool check = false; // say what the keeper would use, then end
    bool help = false;
};

// The command line with the program's name first. nullopt with `error` on an unknown option, a
// stray argument, a missing value or a bad instance name.
std::optional<DaemonOptions> ParseDaemonOptions(const QStringList &arguments, QString *error);
QString DaemonUsage();

} // namespace Qurel
