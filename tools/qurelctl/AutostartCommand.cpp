#include "AutostartCommand.h"

#include "Autostart.h"
#include "ProgramFolder.h"

#include <cstdio>

int RunAutostartCommand(const QStringList &args)
{
    if (args.size() > 1 || (args.size() == 1 && args.first() != QStringLiteral("on")
                               && args.first() != QStringLiteral("off"))) {
        std::fputs("usage: qurelctl autostart [on|off]\n", stderr);
        return 2;
    }
    if (!args.isEmpty()) {
        // The client is the one beside this qurelctl, so a portable copy starts itself.
        QString error;
        if (!Qurel::SetAutostart(args.first() == QStringLiteral("on"), Qurel::ProgramFolder() + QStringLiteral("qurel"),
                &error)) {
            std::fprintf(stderr, "qurelctl: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("autostart %s (%s)\n", Qurel::IsAutostartOn() ? "on" : "off", qPrintable(Qurel::AutostartEntryPath()));
    return 0;
}
