// A second client process in miniature: claims the single-instance guard the way the program entry
// does, with the message boxes replaced by lines on standard output.
// Prints "held" and waits for standard input to close when it holds the guard; exits with 3 when
// another copy runs.
#include "InstanceGuard.h"
#include "MessageBoxes.h"
#include "SingleInstance.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Qurel::SetMsgHandler([](const Qurel::MsgRequest &request) {
        std::printf("notice|%s|%s\n", request.title.toUtf8().constData(), request.text.toUtf8().constData());
        std::fflush(stdout);
        return true;
    });
    Qurel::InstanceGuard guard(QStringLiteral("Qurel"));
    if (!Qurel::ClaimSingleInstance(guard))
        return 3;
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    return 0;
}
