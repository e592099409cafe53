// qurelctl: sends the running client one of the messages it accepts from outside.
#include "AutostartCommand.h"
#include "ExternalMessages.h"
#include "MessageChannel.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
const char kUsage[]
    = "usage: qurelctl COMMAND\n"
      "Sends a message to the running Qurel client of this user (socket $XDG_RUNTIME_DIR/Qurel).\n"
      "\n"
      "commands:\n"
      "  show               show the main window again (0x40B with wParam 0)\n"
      "  play MS            play the current segment from MS milliseconds (0x40C, lParam MS)\n"
      "  hotkey F5|F6       the recorder's start (F5) or stop (F6) record hot key (WM_HOTKEY 0x312)\n"
      "  MSG WPARAM [LPARAM]\n"
      "  raw MSG WPARAM LPARAM\n"
      "                     any message; numbers are decimal or hexadecimal with 0x,\n"
      "                     e.g. \"qurelctl 0x40B 0\" (show again), \"qurelctl 0x40B 1\" (ignored)\n"
      "  autostart [on|off] start the client with the desktop session (the user's XDG autostart\n"
      "                     entry), or stop doing so; without on/off, say which is set\n"
      "\n"
      "exit status: 0 sent, 1 the client is not running, 2 bad command\n";
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QStringLiteral("autostart"))
        return RunAutostartCommand(args.mid(1));
    QString error;
    const auto message = Qurel::CommandToMessage(args, &error);
    if (!message) {
        std::fprintf(stderr, "qurelctl: %s\n%s", qPrintable(error), kUsage);
        return 2;
    }
    if (!Qurel::SendExternalMessage(*message, Qurel::MessageChannelName(), 3000, &error)) {
        std::fprintf(stderr, "qurelctl: the client is not running (%s)\n", qPrintable(error));
        return 1;
    }
    return 0;
}
