// qureld: its command line, where an instance keeps its files, its settings file, the program
// itself run as a system instance and as a user's keeper, and qurelctl's questions to it.
#include "Configs.h"
#include "DaemonOptions.h"
#include "DaemonSettings.h"
#include "KeeperClient.h"
#include "KeeperPlace.h"
#include "KeeperServer.h"
#include "KeeperSocket.h"
#include "KeeperView.h"
#include "ProgramFolder.h"
#include "RelayLoader.h"
#include "zelmicro.h"

#include "RunningProcess.h"

#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using Qurel::KeeperCommand;
using Qurel::KeeperEvent;

namespace {

const QString kQureld = QStringLiteral(QUREL_PROGRAM_DIR "/qureld");

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A settings file as an administrator makes it: the client's settings file with [Ver] added.
QByteArray settingsFile(const QString &address, int httpPort, const QString &savePath)
{
    return QStringLiteral("[Series_A]\r\nAddress=%1\r\nHttpPort=%2\r\nUsername=teacher\r\nPassword=%3\r\n"
                          "SavePath=%4\r\n\r\n[Ver]\r\nAutoRec=1\r\nMaxLessonMinutes=90\r\n")
        .arg(address)
        .arg(httpPort)
        .arg(TSDKConfig::EncodePassword(QStringLiteral("s3cret!")), savePath)
        .toUtf8();
}

struct CtlRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// The real qurelctl; the caller's event loop stands still meanwhile.
CtlRun qurelctl(const QStringList &args)
{
    QProcess ctl;
    ctl.start(QStringLiteral(QURELCTL), args);
    if (!ctl.waitForFinished(10000)) {
        ctl.kill();
        ctl.waitForFinished(5000);
        return {};
    }
    return { ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1,
        QString::fromUtf8(ctl.readAllStandardOutput()).trimmed(), QString::fromUtf8(ctl.readAllStandardError()) };
}

// A command line, the exit status, a pattern the whole output matches, what stderr says.
struct CtlCase
{
    QStringList args;
    int exitCode;
    QString out;
    QString says;
};

bool ctlAnswers(const CtlCase &c)
{
    const CtlRun run = qurelctl(c.args);
    const bool ok = run.exitCode == c.exitCode
        && QRegularExpression(QRegularExpression::anchoredPattern(c.out)).match(run.out).hasMatch()
        && run.err.contains(c.says);
    if (!ok)
        qWarning("qurelctl %s: exit %d, out \"%s\", err \"%s\"", qPrintable(c.args.join(' ')), run.exitCode,
            qPrintable(run.out), qPrintable(run.err));
    return ok;
}

} // namespace

class TestKeeperd : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // The environment systemd gives qureld@INSTANCE, with its folders under `root`.
    static QProcessEnvironment serviceEnvironment(const QString &root, const QString &instance = "room101")
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("STATE_DIRECTORY"), root + QStringLiteral("/lib/") + instance);
        environment.insert(QStringLiteral("LOGS_DIRECTORY"), root + QStringLiteral("/log/") + instance);
        environment.insert(QStringLiteral("RUNTIME_DIRECTORY"), root + QStringLiteral("/run"));
        return environment;
    }

    // Waits for the keeper at `path` to answer (another process: a blocking question is fine).
    static bool answersWithin(const QString &path, int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (Qurel::KeeperAnswers(path, 500))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

private slots:
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("nothing") << QStringList {} << "" << ""
                                 << "";
        QTest::newRow("settings") << QStringList { "--settings", "/etc/qurel/r.ini" } << "/etc/qurel/r.ini" << ""
                                  << "";
        QTest::newRow("both, = form") << QStringList { "--settings=/x.ini", "--instance=room101" } << "/x.ini"
                                      << "room101"
                                      << "";
        QTest::newRow("settings without file") << QStringList { "--settings" } << "" << ""
                                               << "Missing value";
        QTest::newRow("empty settings") << QStringList { "--settings=" } << "" << ""
                                        << "needs a file";
        QTest::newRow("instance escapes") << QStringList { "--instance", "../../etc" } << "" << ""
                                          << "bad instance name";
        QTest::newRow("instance empty") << QStringList { "--instance=" } << "" << ""
                                        << "bad instance name";
        QTest::newRow("instance twice") << QStringList { "--instance", "a", "--instance", "b" } << "" << ""
                                        << "more than once";
        QTest::newRow("stray") << QStringList { "room101" } << "" << ""
                               << "unexpected argument";
        QTest::newRow("unknown") << QStringList { "--daemonize" } << "" << ""
                                 << "Unknown option";
        QTest::newRow("for a window") << QStringList { "--for-window" } << "" << ""
                                      << "";
        QTest::newRow("window's and a file's") << QStringList { "--for-window", "--settings=/x.ini" } << "" << ""
                                               << "not with --instance or --settings";
    }

    void commandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, settings);
        QFETCH(QString, instance);
        QFETCH(QString, error);
        QString why;
        const auto options = Qurel::ParseDaemonOptions(QStringList { "qureld" } + args, &why);
        QCOMPARE(options.has_value(), error.isEmpty());
        if (!options) {
            QVERIFY2(why.contains(error), qPrintable(why));
            return;
        }
        QCOMPARE(options->settingsFile, settings);
        QCOMPARE(options->instance, instance);
        QCOMPARE(options->forWindow, args.contains("--for-window"));
    }

    void settingsFiles()
    {
        const QString file = m_dir.filePath(QStringLiteral("room.ini"));
        QVERIFY(writeFile(file, settingsFile(QStringLiteral("127.0.0.7"), 8080, QString())));
        QString error;
        auto settings = Qurel::ReadKeeperSettings(file, QStringLiteral("/srv/rec/"), &error);
        QVERIFY2(settings, qPrintable(error));
        QCOMPARE(settings->address, QStringLiteral("127.0.0.7"));
        QCOMPARE(settings->httpPort, 8080);
        QCOMPARE(settings->username, QStringLiteral("teacher"));
        QCOMPARE(settings->password, QStringLiteral("s3cret!"));
        QCOMPARE(settings->savePath, QStringLiteral("/srv/rec/")); // none set: the instance's folder
        QVERIFY(settings->autoRec);
        QCOMPARE(settings->maxLessonMinutes, 90);
        QVERIFY(writeFile(file, settingsFile(QStringLiteral("127.0.0.7"), 80, QStringLiteral("/mine"))));
        QCOMPARE(Qurel::ReadKeeperSettings(file, QStringLiteral("/srv/rec/"), nullptr)->savePath, QStringLiteral("/mine"));
        const QString description = Qurel::DescribeKeeperSettings(file, *settings);
        QVERIFY2(description.contains(QLatin1String("password set")), qPrintable(description));
        QVERIFY(!description.contains(QStringLiteral("s3cret")));

        for (const QString &bad : { m_dir.filePath(QStringLiteral("missing.ini")), m_dir.path() }) {
            QVERIFY(!Qurel::ReadKeeperSettings(bad, QString(), &error));
            QVERIFY2(error.contains(bad), qPrintable(error));
        }
    }

    void systemInstance()
    {
        const QString root = m_dir.filePath(QStringLiteral("service"));
        const QString settings = m_dir.filePath(QStringLiteral("room101.ini"));
        // Nothing listens there: the keeper keeps trying to reach its recorder.
        QVERIFY(writeFile(settings, settingsFile(QStringLiteral("127.0.0.160"), 80, QString())));
        const QStringList args { "--settings", settings, "--instance", "room101" };
        QurelTest::RunningProcess keeper;
        keeper.process.setProcessEnvironment(serviceEnvironment(root));
        keeper.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        keeper.process.start(kQureld, args);
        const QString socket = root + QStringLiteral("/run/room101.sock");
        QVERIFY(answersWithin(socket, 10000));

        // The rights of what the group shares and what only the keeper reaches.
        QCOMPARE(modeOf(socket), mode_t(0660));
        QCOMPARE(modeOf(root + "/lib/room101/recordings"), mode_t(02770));
        QCOMPARE(modeOf(root + "/lib/room101/recordings/Image"), mode_t(02770));
        QCOMPARE(modeOf(root + "/lib/room101/keeper"), mode_t(0700));

        QString error;
        const auto status = Qurel::AskKeeper(socket, { KeeperCommand::Kind::Status }, 2000, &error);
        QVERIFY2(status, qPrintable(error));
        QVERIFY2(status->text.startsWith(QLatin1String("link=")), qPrintable(status->text));
        QVERIFY(status->text.contains(QLatin1String("state=idle")));
        QVERIFY(status->text.endsWith(QLatin1String(" window=none")));
        // A service goes on when windows close: a window cannot end it.
        QVERIFY(!Qurel::AskKeeper(socket, { KeeperCommand::Kind::Finish }, 2000, &error));
        QVERIFY2(error.contains(QLatin1String("systemctl")), qPrintable(error));
        {
            // A window attached to it lists the service's folder, keeps the service's settings
            // and leaves it running as it goes.
            Qurel::KeeperView::Options options;
            options.socketPath = socket;
            Qurel::KeeperView view(options);
            QVERIFY(view.isAnswering());
            QCOMPARE(view.role(), Qurel::KeeperRole::Service);
            QVERIFY(!view.endsWithWindow());
            QCOMPARE(view.recordings(), root + "/lib/room101/recordings/");
            Qurel::KeeperSettings elsewhere;
            elsewhere.address = QStringLiteral("127.0.0.161");
            view.applySettings(elsewhere);
            view.finish();
            QTest::qWait(300);
            QCOMPARE(Qurel::AskKeeper(socket, { KeeperCommand::Kind::Status }, 2000, &error)->windows, 1);
        }
        QVERIFY(Qurel::KeeperAnswers(socket, 2000));

        // A second keeper for the same room does not take over.
        QProcess second;
        second.setProcessEnvironment(serviceEnvironment(root));
        second.start(kQureld, args);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(QLatin1String("another keeper")));
        QVERIFY(Qurel::KeeperAnswers(socket, 2000));

        // systemctl stop: the keeper finishes and ends, removing its socket.
        keeper.process.terminate();
        QVERIFY(keeper.process.waitForFinished(30000));
        QCOMPARE(keeper.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.process.exitCode(), 0);
        QVERIFY(!QFile::exists(socket));
    }

    void refusedStarts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("bad instance") << QStringList { "--instance", "a/b" } << 2 << "bad instance name";
        QTest::newRow("missing settings") << QStringList { "--settings", "/nonexistent/room.ini" } << 2
                                          << "cannot read the settings file /nonexistent/room.ini";
        QTest::newRow("help") << QStringList { "--help" } << 0 << "";
    }

    void refusedStarts()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QProcess qureld;
        qureld.start(kQureld, args);
        QVERIFY(qureld.waitForFinished(10000));
        QCOMPARE(qureld.exitCode(), exitCode);
        QVERIFY(QString::fromUtf8(qureld.readAllStandardError()).contains(says));
    }

    void checkSaysWhatItWouldUse()
    {
        const QString settings = m_dir.filePath(QStringLiteral("check.ini"));
        QVERIFY(writeFile(settings, settingsFile(QStringLiteral("127.0.0.160"), 81, QString())));
        QProcess qureld;
        const QString root = m_dir.filePath(QStringLiteral("check"));
        qureld.setProcessEnvironment(serviceEnvironment(root, QStringLiteral("room7")));
        qureld.start(kQureld, { "--settings", settings, "--instance", "room7", "--check" });
        QVERIFY(qureld.waitForFinished(10000));
        QCOMPARE(qureld.exitCode(), 0);
        const QString out = QString::fromUtf8(qureld.readAllStandardOutput());
        for (const QString &line : { QStringLiteral("recorder: 127.0.0.160 (HTTP port 81)\n"),
                 QStringLiteral("user: teacher (password set)\n"),
                 QStringLiteral("recordings: %1/lib/room7/recordings/\n").arg(root),
                 QStringLiteral("socket: %1/run/room7.sock\n").arg(root),
                 QStringLiteral("journal: %1/lib/room7/keeper/").arg(root) })
            QVERIFY2(out.contains(line), qPrintable(out));
        QVERIFY(!out.contains(QStringLiteral("s3cret")));
    }

    // A keeper the window starts that does not come up is said once, with its last words.
    void aKeeperThatDoesNotComeUpIsSaid()
    {
        const QString program = m_dir.filePath(QStringLiteral("broken-qureld"));
        QVERIFY(writeFile(program, "#!/bin/sh\necho \"qureld: cannot listen here\" >&2\nexit 1\n"));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        Qurel::KeeperView::Options options;
        options.socketPath = m_dir.filePath(QStringLiteral("nobody.sock"));
        options.program = program;
        options.startPatienceMs = 200;
        Qurel::KeeperView view(options);
        QSignalSpy missing(&view, &Qurel::KeeperView::keeperMissing);
        QTRY_COMPARE_WITH_TIMEOUT(missing.count(), 1, 8000);
        QCOMPARE(missing.at(0).at(0).toString(), QStringLiteral("qureld: cannot listen here"));
        QTest::qWait(2500);
        QCOMPARE(missing.count(), 1);
        QVERIFY(!view.isAnswering());
    }

    // A button pressed while the keeper is being started again reaches it once it answers (the
    // last press wins), and only to that keeper.
    void aPressWaitsForTheKeeperToAnswer()
    {
        const QString path = m_dir.filePath(QStringLiteral("pressed.sock"));
        auto keeper = std::make_unique<Qurel::KeeperServer>();
        QVERIFY(keeper->listen(path, Qurel::KeeperServer::Access::User, nullptr));
        Qurel::KeeperView::Options options;
        options.socketPath = path;
        Qurel::KeeperView view(options);
        QTRY_VERIFY(view.isAnswering());
        const auto restart = [&] {
            keeper.reset();
            QTRY_VERIFY(!view.isAnswering());
        };
        const auto comeBack = [&] {
            keeper = std::make_unique<Qurel::KeeperServer>();
            QVERIFY(keeper->listen(path, Qurel::KeeperServer::Access::User, nullptr));
        };

        restart();
        view.startLesson();
        view.stopLesson();
        comeBack();
        QSignalSpy starts(keeper.get(), &Qurel::KeeperServer::startRequested);
        QSignalSpy stops(keeper.get(), &Qurel::KeeperServer::stopRequested);
        QTRY_COMPARE(stops.count(), 1);
        QCOMPARE(starts.count(), 0);

        // Once delivered, the press is not sent again to the next keeper.
        restart();
        comeBack();
        QSignalSpy later(keeper.get(), &Qurel::KeeperServer::stopRequested);
        QTRY_VERIFY(view.isAnswering());
        QTest::qWait(200);
        QCOMPARE(later.count(), 0);
    }

    // qurelctl status and ping ask the user's keeper (or a system instance's), whether or not a
    // window runs; a bad instance name is a bad command.
    void qurelctlAsksTheKeeper()
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString socket = Qurel::UserKeeperSocketPath();
        QCOMPARE(socket, runtime + QStringLiteral("/qureld"));
        QLocalServer::removeServer(socket); // a keeper of an earlier run that was killed
        const QString noRoom = QStringLiteral("qurelctl-test-%1").arg(QCoreApplication::applicationPid());
        const CtlCase noKeeper[] = {
            { { "status" }, 1, "", "no keeper runs (no socket " + socket + ")" },
            { { "PING" }, 1, "", "no keeper runs" },
            { { "ping", "--instance", noRoom }, 1, "", "/run/qurel/" + noRoom + ".sock" },
            { { "--instance=" + noRoom, "status" }, 1, "", "/run/qurel/" + noRoom + ".sock" },
            { { "status", "--instance", "../etc" }, 2, "", "bad instance name \"../etc\"" },
            { { "status", "--instance=" }, 2, "", "bad instance name" },
            { { "ping", "--instance" }, 2, "", "needs an instance name" },
            { { "ping", "--instance", "a", "--instance", "b" }, 2, "", "more than once" },
            { { "show", "--instance", "a" }, 2, "", "status or ping only" },
            { { "status", "now" }, 2, "", "takes no argument" },
        };
        for (const CtlCase &c : noKeeper)
            QVERIFY(ctlAnswers(c));

        {
            // Something listens but never answers: a bounded wait, then "did not answer".
            QLocalServer mute;
            QVERIFY(mute.listen(socket));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(ctlAnswers({ { "ping" }, 1, "", "no keeper answers at " + socket + " (no answer" }));
            QVERIFY(clock.elapsed() < 3000);
        }
        // A keeper that was killed leaves its socket file behind.
        QVERIFY(writeFile(socket, QByteArray()));
        QVERIFY(ctlAnswers({ { "status" }, 1, "", "no keeper answers at " + socket }));
        QVERIFY(QFile::remove(socket));

        // A user's keeper in the manual mode, its recorder on loopback.
        const QString settings = m_dir.filePath(QStringLiteral("manual.ini"));
        QVERIFY(writeFile(settings, QStringLiteral("[Ver]\nAutoRec=0\n\n[Series_A]\nAddress=127.0.0.162\nSavePath=%1\n")
                                        .arg(m_dir.filePath(QStringLiteral("manual")))
                                        .toUtf8()));
        QurelTest::RunningProcess keeper;
        keeper.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        keeper.process.start(kQureld, { "--settings", settings });
        QVERIFY(answersWithin(socket, 10000));
        const QString idle = QStringLiteral(R"(link=\S+ state=idle elapsed=00:00:00 title="" file="")");
        QVERIFY(ctlAnswers({ { "status" }, 0, idle + " window=none", "" }));
        QVERIFY(ctlAnswers({ { "Ping" }, 0, "alive", "" }));

        // A window attached to it is counted.
        Qurel::KeeperClient window;
        window.connectToKeeper(socket);
        QTRY_VERIFY_WITH_TIMEOUT(window.isAnswering(), 10000);
        QVERIFY(ctlAnswers({ { "STATUS" }, 0, idle + " window=attached", "" }));
        window.disconnectFromKeeper();

        keeper.process.terminate();
        QVERIFY(keeper.process.waitForFinished(30000));
        QCOMPARE(keeper.process.exitCode(), 0);
        QVERIFY(ctlAnswers({ { "status" }, 1, "", "no keeper runs" }));
    }

    // qureld's relay calls: init only notes the call, each create starts a relay process (a folder
    // without the program fails that create, the next one tries again) whose answers are the
    // library's own, and a create the library refuses leaves no process behind.
    void relayRunsInAProcessPerLesson()
    {
        Zms32StreamStatus status {};
        QCOMPARE(zms32CreateDispatchStream(0, nullptr), ZMS32_ERR_NOT_INITIALISED);
        QCOMPARE(zms32Init(5555, 0, 1), ZMS32_OK);
        QCOMPARE(zms32Init(5555, 0, 1), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32GetDispatchStreamStatus(0, &status), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32DestroyDispatchStream(0), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32StartDispatchStreamRecord(1), ZMS32_ERR_BAD_STREAM);
        QVERIFY(!Qurel::RelayProcessRunning());

        Qurel::SetProgramFolderForTesting(m_dir.path());
        QCOMPARE(Qurel::RelayProgramPath(), m_dir.filePath(QStringLiteral("qurel-relay")));
        QCOMPARE(zms32CreateDispatchStream(0, nullptr), ZMS32_ERR_NOT_INITIALISED);
        QVERIFY(!Qurel::RelayProcessRunning());

        Qurel::SetProgramFolderForTesting(QStringLiteral(QUREL_PROGRAM_DIR));
        QCOMPARE(zms32CreateDispatchStream(0, nullptr), ZMS32_ERR_BAD_CONFIG); // the library's own answer
        QVERIFY(!Qurel::RelayProcessRunning());
        QCOMPARE(zms32GetDispatchStreamStatus(0, &status), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32StopDispatchStreamRecord(0), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32Uninit(), ZMS32_OK);
        QCOMPARE(zms32Uninit(), ZMS32_ERR_NOT_INITIALISED);
        QCOMPARE(zms32GetDispatchStreamStatus(0, &status), ZMS32_ERR_NOT_INITIALISED);
        QCOMPARE(zms32Init(5555, 0, 1), ZMS32_OK);
        QCOMPARE(zms32CreateDispatchStream(1, nullptr), ZMS32_ERR_BAD_STREAM);
        QCOMPARE(zms32Uninit(), ZMS32_OK);
        Qurel::SetProgramFolderForTesting(QString());
    }
};

QTEST_GUILESS_MAIN(TestKeeperd)
#include "tst_keeperd.moc"
