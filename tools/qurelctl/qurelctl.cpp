// qurelctl: sends the running client one of the messages it accepts from outside, asks it
// whether it is alive and what it is doing, and sets whether it starts with the desktop session.
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
      "  ping               prints \"alive\" when the client answers\n"
      "  status             prints the client's state in one line: the recorder connection\n"
      "                     (link=), idle or recording (state=), the time recorded (elapsed=),\n"
      "                     the title and the file\n"
      "  autostart [on|off] start the client with the desktop session (the user's XDG autostart\n"
      "                     entry), or stop doing so; without on/off, say which is set\n"
      "\n"
      "exit status: 0 sent or answered, 1 the client is not running or did not answer\n"
      "within a second, 2 bad command\n";

// ping and status: one request, one answer line, a bounded wait.
int ask(const QString &request)
{
    QString error;
    auto answer = Qurel::AskClient(request, Qurel::MessageChannelName(), 1000, &error);
    if (answer && request == Qurel::kPingRequest && *answer != Qurel::kPingAnswer) {
        error = QStringLiteral("unexpected answer");
        answer.reset();
    }
    if (!answer) {
        std::fprintf(stderr, "qurelctl: the client is not running (%s)\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", request == Qurel::kPingRequest ? "alive" : answer->toUtf8().constData());
    return 0;
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
    if (const auto request = Qurel::CommandToRequest(args))
        return ask(*request);
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
