// qurelctl: sends the running client one of the messages it accepts from outside, asks the lesson
// keeper whether it is alive and what it is doing, and sets whether the client starts with the
// desktop session.
#include "AutostartCommand.h"
#include "ExternalMessages.h"
#include "KeeperQuestion.h"
#include "MessageChannel.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
const char kUsage[]
    = "usage: qurelctl COMMAND\n"
      "Sends a message to the running Qurel client of this user (socket $XDG_RUNTIME_DIR/Qurel),\n"
      "or asks the lesson keeper that records the lessons (socket $XDG_RUNTIME_DIR/qureld).\n"
      "\n"
      "commands for the client's window:\n"
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
      "commands for the lesson keeper (answered with or without a window):\n"
      "  ping [--instance NAME]\n"
      "                     prints \"alive\" when the keeper answers\n"
      "  status [--instance NAME]\n"
      "                     prints the keeper's state in one line: the recorder connection\n"
      "                     (link=), idle or recording (state=), the time recorded (elapsed=),\n"
      "                     the title, the file, and whether a window is attached\n"
      "                     (window=attached|none)\n"
      "  --instance NAME    ask the system keeper of that room (qureld@NAME, socket\n"
      "                     /run/qurel/NAME.sock) instead of this user's\n"
      "\n"
      "exit status: 0 sent or answered, 1 the client or keeper is not running or did not\n"
      "answer within a second, 2 bad command\n";

int usageError(const QString &error)
{
    std::fprintf(stderr, "qurelctl: %s\n%s", qPrintable(error), kUsage);
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (IsKeeperQuestion(args)) {
        QString error;
        const auto question = ParseKeeperQuestion(args, &error);
        return question ? AskKeeperQuestion(*question) : usageError(error);
    }
    if (args.first() == QStringLiteral("autostart"))
        return RunAutostartCommand(args.mid(1));
    QString error;
    const auto message = Qurel::CommandToMessage(args, &error);
    if (!message)
        return usageError(error);
    if (!Qurel::SendExternalMessage(*message, Qurel::MessageChannelName(), 3000, &error)) {
        std::fprintf(stderr, "qurelctl: the client is not running (%s)\n", qPrintable(error));
        return 1;
    }
    return 0;
}
