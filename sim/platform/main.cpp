// qurel-platform-sim: a simulated resource platform for the client's upload
// window, serving the client login page and the upload service on a
// loopback address.
#include "PlatformSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Ends the event loop on SIGINT/SIGTERM so the temporary storage is removed.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

bool parseVerdict(const QString &text, Qurel::UploadVerdict &verdict)
{
    if (text == QLatin1String("accept"))
        verdict = Qurel::UploadVerdict::Accept();
    else if (text == QLatin1String("drop"))
        verdict = Qurel::UploadVerdict::Drop();
    else if (text == QLatin1String("oversized"))
        verdict = Qurel::UploadVerdict::Oversized();
    else if (text == QLatin1String("trickle"))
        verdict = Qurel::UploadVerdict::Trickle();
    else if (text.startsWith(QLatin1String("refuse:")))
        verdict = Qurel::UploadVerdict::Refuse(text.mid(7));
    else
        return false;
    return true;
}

void print(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

QString verdictName(Qurel::UploadVerdict::Kind kind)
{
    switch (kind) {
    case Qurel::UploadVerdict::Kind::Accept:
        return QStringLiteral("accepted");
    case Qurel::UploadVerdict::Kind::Refuse:
        return QStringLiteral("refused");
    case Qurel::UploadVerdict::Kind::Drop:
        return QStringLiteral("dropped");
    case Qurel::UploadVerdict::Kind::Oversized:
        return QStringLiteral("accepted with an oversized reply");
    case Qurel::UploadVerdict::Kind::Trickle:
        return QStringLiteral("answered without end");
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qurel-platform-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated resource platform for the Qurel client (loopback only).\n"
                       "Login page:  /Tools/QuRelClient/ClientLogin.aspx?GUID=g1|g2&NAME=n1|n2\n"
                       "             its form ends on /Tools/QuRelClient/ClientLogin.aspx?finish=1\n"
                       "Upload:      POST /tools/qurelclient/clientuploadfile.aspx?guid=G&filetype=1|2\n"
                       "             multipart field \"file1\", streamed to the storage folder;\n"
                       "             answers \"ErrorCode=0\" or \"ErrorCode=1\" CR LF \"Message=...\".\n"
                       "Each upload is reported on standard output."));
    parser.addHelpOption();
    const QCommandLineOption addressOpt({ QStringLiteral("a"), QStringLiteral("address") },
        QStringLiteral("Loopback address to listen on (default 127.0.0.1)."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOpt({ QStringLiteral("p"), QStringLiteral("port") },
        QStringLiteral("Port to listen on, 0 for any free port (default 9500)."), QStringLiteral("port"),
        QStringLiteral("9500"));
    const QCommandLineOption storageOpt(QStringLiteral("storage"),
        QStringLiteral("Folder for the received files (default: a temporary "
                       "folder removed at exit)."),
        QStringLiteral("dir"));
    const QCommandLineOption discardOpt(
        QStringLiteral("discard"), QStringLiteral("Count the received bytes but keep no files."));
    const QCommandLineOption refuseOpt(QStringLiteral("refuse"),
        QStringLiteral("Refuse every upload with \"Message=<text>\"."), QStringLiteral("text"));
    const QCommandLineOption dropOpt(
        QStringLiteral("drop"), QStringLiteral("Drop the connection of every upload."));
    const QCommandLineOption verdictsOpt(QStringLiteral("verdicts"),
        QStringLiteral("Answers for the first uploads, in order, comma separated: accept, drop, oversized, trickle or "
                       "refuse:<text>. Later uploads get the default answer."),
        QStringLiteral("list"));
    const QCommandLineOption finishOpt(QStringLiteral("finish-query"),
        QStringLiteral("Query of the address the login form ends on "
                       "(default finish=1)."),
        QStringLiteral("query"), QStringLiteral("finish=1"));
    const QCommandLineOption charsetOpt(QStringLiteral("charset"),
        QStringLiteral("Character set of the upload replies (default utf-8)."), QStringLiteral("name"),
        QStringLiteral("utf-8"));
    const QCommandLineOption delayOpt(QStringLiteral("reply-delay"),
        QStringLiteral("Milliseconds to wait before answering an upload."), QStringLiteral("ms"),
        QStringLiteral("0"));
    parser.addOptions({ addressOpt, portOpt, storageOpt, discardOpt, refuseOpt, dropOpt, verdictsOpt,
        finishOpt, charsetOpt, delayOpt });
    parser.process(app);

    Qurel::PlatformSimOptions options;
    options.address = QHostAddress(parser.value(addressOpt));
    bool portOk = false;
    const uint port = parser.value(portOpt).toUInt(&portOk);
    if (options.address.isNull() || !portOk || port > 65535) {
        print(QStringLiteral("qurel-platform-sim: bad address or port"));
        return 2;
    }
    options.port = static_cast<quint16>(port);
    options.storageDir = parser.value(storageOpt);
    options.keepFiles = !parser.isSet(discardOpt);
    options.finishQuery = parser.value(finishOpt);
    options.replyCharset = parser.value(charsetOpt).toLatin1();
    options.replyDelayMs = parser.value(delayOpt).toInt();

    Qurel::PlatformSim sim(options);
    if (parser.isSet(dropOpt))
        sim.setDefaultVerdict(Qurel::UploadVerdict::Drop());
    else if (parser.isSet(refuseOpt))
        sim.setDefaultVerdict(Qurel::UploadVerdict::Refuse(parser.value(refuseOpt)));
    if (parser.isSet(verdictsOpt)) {
        for (const QString &item : parser.value(verdictsOpt).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            Qurel::UploadVerdict verdict;
            if (!parseVerdict(item.trimmed(), verdict)) {
                print(QStringLiteral("qurel-platform-sim: unknown answer '%1'").arg(item));
                return 2;
            }
            sim.queueVerdict(verdict);
        }
    }
    sim.setUploadObserver([](const Qurel::ReceivedUpload &upload) {
        print(
            QStringLiteral("upload guid=%1 filetype=%2 field=%3 file=%4 bytes=%5 %6%7%8")
                .arg(upload.guid)
                .arg(upload.fileType)
                .arg(QString::fromUtf8(upload.fieldName), upload.fileName)
                .arg(upload.size)
                .arg(verdictName(upload.verdict), upload.complete ? QString() : QStringLiteral(" incomplete"),
                    upload.savedPath.isEmpty() ? QString() : QStringLiteral(" saved=") + upload.savedPath));
    });

    QString error;
    if (!sim.start(&error)) {
        print(QStringLiteral("qurel-platform-sim: ") + error);
        return 1;
    }
    quitOnSignals(app);
    print(
        QStringLiteral("qurel-platform-sim listening on %1 storage %2").arg(sim.baseUrl(), sim.storageDir()));
    const int rc = app.exec();
    sim.stop();
    return rc;
}
