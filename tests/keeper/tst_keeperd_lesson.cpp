// A lesson kept by qureld alone, with no display: the simulated recorder announces it, the keeper
// records it, and a window attached over the socket sees it start and finish, then ends the
// keeper as the close question's Yes does. Each lesson is recorded by a qurel-relay process of its
// own: the keeper maps none of FFmpeg, survives the relay being killed mid-lesson (the lesson goes on
// in a new file), and without a usable relay program it says why the start fails and goes on.
#include "KeeperClient.h"
#include "KeeperSocket.h"
#include "RuntimeFolder.h"

#include "KeeperProcess.h"
#include "RunningProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <csignal>

namespace {

const QString kAddress = QStringLiteral("127.0.0.161");
const QString kTitle = QStringLiteral("守护测试课");
const QString kQureld = QStringLiteral(QUREL_PROGRAM_DIR "/qureld");

// The shared libraries a process has mapped, by file name.
QStringList mappedLibraries(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString name = QFileInfo(QString::fromUtf8(line.mid(line.indexOf('/')))).fileName();
        if (line.contains('/') && name.contains(QLatin1String(".so")) && !names.contains(name))
            names.append(name);
    }
    return names;
}

bool mapsLibrary(qint64 pid, const QString &prefix)
{
    const QStringList names = mappedLibraries(pid);
    return std::any_of(names.begin(), names.end(), [&](const QString &name) { return name.startsWith(prefix); });
}

// Every file of a finished lesson: the MP4 with media, its information file and thumbnail.
bool lessonComplete(const QString &mp4)
{
    const QFileInfo file(mp4);
    const QString image = file.absolutePath() + QStringLiteral("/Image/") + file.completeBaseName();
    return file.size() > 10000 && QFileInfo(image + QStringLiteral(".axt")).size() > 0
        && QFileInfo(image + QStringLiteral(".jpg")).size() > 0;
}

} // namespace

class TestKeeperdLesson : public QObject
{
    Q_OBJECT

    // The simulated recorder announcing one lesson 2 s after the keeper connects, and the
    // keeper's settings file pointing at it; empty when the recorder did not start.
    QString startRecorder(QurelTest::RunningProcess &recorder, const QTemporaryDir &dir, int stopSecond = 8)
    {
        recorder.process.start(QStringLiteral(RECORDER_SIM),
            { "--address", kAddress, "--http-port", "0", "--rtsp-port", "0", "--user", "admin", "--password=",
                "--lesson", QStringLiteral("2,%1,").arg(stopSecond) + kTitle });
        int httpPort = 0;
        const QRegularExpression started(QStringLiteral("HTTP http://[0-9.]+:(\\d+)/"));
        QElapsedTimer clock;
        clock.start();
        const auto port = [&] { return started.match(QString::fromUtf8(recorder.process.peek(4096))).captured(1); };
        while ((httpPort = port().toInt()) == 0) {
            if (clock.elapsed() > 15000)
                return {};
            QTest::qWait(50);
        }
        const QString settings = dir.filePath(QStringLiteral("settings.ini"));
        QFile file(settings);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(QStringLiteral("[Series_A]\nAddress=%1\nHttpPort=%2\nUserName=admin\nSavePath=%3\n")
                       .arg(kAddress)
                       .arg(httpPort)
                       .arg(dir.filePath(QStringLiteral("recordings")))
                       .toUtf8());
        return settings;
    }

    // The close question's Yes: the keeper finishes its files and ends with exit code 0.
    static void finishKeeper(Qurel::KeeperClient &window, QSignalSpy &finished, QurelTest::RunningProcess &keeper)
    {
        QVERIFY(window.finish());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(keeper.process.state(), QProcess::NotRunning, 20000);
        QCOMPARE(keeper.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.process.exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Qurel::KeeperSnapshot>();
        // The keeper's socket lives in the runtime folder, which must be the user's alone.
        QVERIFY(QFile::setPermissions(qEnvironmentVariable("XDG_RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }

    void keepsALessonWithoutADisplay()
    {
        QTemporaryDir dir;
        QurelTest::RunningProcess recorder;
        const QString settings = startRecorder(recorder, dir);
        QVERIFY(!settings.isEmpty());
        const QString recordings = dir.filePath(QStringLiteral("recordings"));

        QurelTest::RunningProcess keeper;
        keeper.process.setProcessChannelMode(QProcess::ForwardedChannels);
        keeper.process.start(kQureld, { "--settings", settings });

        Qurel::KeeperClient window;
        QSignalSpy snapshots(&window, &Qurel::KeeperClient::snapshotChanged);
        QSignalSpy lessons(&window, &Qurel::KeeperClient::lessonFinished);
        QSignalSpy finished(&window, &Qurel::KeeperClient::finished);
        window.connectToKeeper(Qurel::UserKeeperSocketPath());
        QTRY_VERIFY_WITH_TIMEOUT(window.isAnswering(), 10000);
        // Waiting for the lesson, the keeper has not opened the relay, nor FFmpeg with it.
        QCOMPARE(window.snapshot().state, QStringLiteral("idle"));
        QVERIFY2(!mapsLibrary(keeper.process.processId(), QStringLiteral("libavcodec")),
            qPrintable(mappedLibraries(keeper.process.processId()).join(' ')));
        QVERIFY(!mapsLibrary(keeper.process.processId(), QStringLiteral("libzelmicro")));
        QTRY_VERIFY_WITH_TIMEOUT(window.snapshot().state == QLatin1String("recording"), 20000);
        QCOMPARE(window.snapshot().title, kTitle);
        // A relay process records; the keeper itself still maps neither the relay nor FFmpeg.
        QCOMPARE(QurelTest::RelayPids(keeper.process.processId()).size(), 1);
        QVERIFY(!mapsLibrary(keeper.process.processId(), QStringLiteral("libzelmicro")));
        QVERIFY(!mapsLibrary(keeper.process.processId(), QStringLiteral("libavcodec")));

        QTRY_COMPARE_WITH_TIMEOUT(lessons.count(), 1, 40000);
        const QString mp4 = lessons.at(0).at(0).toString();
        QVERIFY2(QFileInfo(mp4).fileName().startsWith(kTitle + QLatin1Char('_')), qPrintable(mp4));
        QVERIFY(QFileInfo(mp4).absolutePath() == QFileInfo(recordings).absoluteFilePath());
        QVERIFY(lessonComplete(mp4));
        // The relay process finished the file and exited, and was reaped.
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::RelayPids(keeper.process.processId()).isEmpty(), 10000);

        // The close question's Yes: the keeper the window started finishes and ends.
        QTRY_VERIFY(window.snapshot().settled);
        finishKeeper(window, finished, keeper);
    }

    // The relay process killed mid-lesson (a crash in FFmpeg): the keeper goes on, says so in its
    // log, keeps what the killed process wrote as a lesson of its own, and records on into a new
    // file with a new relay process until the lesson's end.
    void survivesTheRelayKilledMidLesson()
    {
        QTemporaryDir dir;
        QurelTest::RunningProcess recorder;
        const QString settings = startRecorder(recorder, dir, 22);
        QVERIFY(!settings.isEmpty());
        const QString recordings = dir.filePath(QStringLiteral("recordings"));

        QurelTest::RunningProcess keeper;
        keeper.process.start(kQureld, { "--settings", settings });
        Qurel::KeeperClient window;
        QSignalSpy lessons(&window, &Qurel::KeeperClient::lessonFinished);
        QSignalSpy finished(&window, &Qurel::KeeperClient::finished);
        window.connectToKeeper(Qurel::UserKeeperSocketPath());
        QTRY_VERIFY_WITH_TIMEOUT(window.isAnswering(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(window.snapshot().state == QLatin1String("recording"), 20000);
        const QList<qint64> first = QurelTest::RelayPids(keeper.process.processId());
        QCOMPARE(first.size(), 1);
        const auto mp4s = [&] { return QDir(recordings).entryList({ "*.mp4" }, QDir::Files, QDir::Name); };
        QTRY_VERIFY_WITH_TIMEOUT(mp4s().size() == 1 && QFileInfo(recordings + '/' + mp4s().at(0)).size() > 10000, 15000);
        QVERIFY(::kill(pid_t(first.at(0)), SIGKILL) == 0);

        // The killed file is finished as a lesson, and the recording goes on in a new one.
        QTRY_COMPARE_WITH_TIMEOUT(lessons.count(), 1, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(mp4s().size() == 2, 30000);
        QCOMPARE(keeper.process.state(), QProcess::Running);
        const QList<qint64> second = QurelTest::RelayPids(keeper.process.processId());
        QCOMPARE(second.size(), 1);
        QVERIFY(second != first);
        QTRY_COMPARE_WITH_TIMEOUT(lessons.count(), 2, 60000);
        QVERIFY(lessons.at(0).at(0).toString() != lessons.at(1).at(0).toString());
        for (const QList<QVariant> &lesson : lessons)
            QVERIFY2(lessonComplete(lesson.at(0).toString()), qPrintable(lesson.at(0).toString()));

        QTRY_VERIFY(window.snapshot().settled);
        finishKeeper(window, finished, keeper);
        if (QTest::currentTestFailed())
            return;
        const QString log = QString::fromUtf8(keeper.process.readAllStandardError());
        QVERIFY2(log.contains(QStringLiteral("the relay process %1 was ended by signal 9").arg(first.at(0))), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("its recording ends here")), qPrintable(log));
    }

    // systemctl stop mid-lesson (SIGTERM, to the keeper alone): the lesson's files are finished
    // and the keeper ends only after its relay process has finished the file and ended, since
    // systemd kills whatever is left once the keeper is gone.
    void aStopSignalMidLessonFinishesTheFileFirst()
    {
        QTemporaryDir dir;
        QurelTest::RunningProcess recorder;
        const QString settings = startRecorder(recorder, dir, 120);
        QVERIFY(!settings.isEmpty());
        QurelTest::RunningProcess keeper;
        keeper.process.start(kQureld, { "--settings", settings });
        Qurel::KeeperClient window;
        window.connectToKeeper(Qurel::UserKeeperSocketPath());
        QTRY_VERIFY_WITH_TIMEOUT(window.snapshot().state == QLatin1String("recording"), 20000);
        const QString mp4 = window.snapshot().file;
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(mp4).size() > 10000, 15000);
        const QList<qint64> relay = QurelTest::RelayPids(keeper.process.processId());
        QCOMPARE(relay.size(), 1);

        keeper.process.terminate();
        QVERIFY(keeper.process.waitForFinished(30000));
        QCOMPARE(keeper.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.process.exitCode(), 0);
        QVERIFY2(::kill(pid_t(relay.at(0)), 0) != 0, "the relay process outlived its keeper");
        QVERIFY2(lessonComplete(mp4), qPrintable(mp4));
    }

    // A keeper whose program folder has no usable relay program (a broken installation, a copy of
    // the keeper alone): the start fails with the message a failed create always gives and is
    // tried again, the log names the program and what is wrong with it, and the keeper goes on.
    void saysWhyTheRelayCannotBeUsed_data()
    {
        QTest::addColumn<QString>("relay"); // copied in as qurel-relay; empty: none there
        QTest::addColumn<QString>("reason"); // in the keeper's log
        QTest::newRow("missing") << QString() << "No such file or directory";
        QTest::newRow("not the relay") << QStringLiteral("/bin/true") << "did not start: the other end closed";
    }

    void saysWhyTheRelayCannotBeUsed()
    {
        QFETCH(QString, relay);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("program"));
        QVERIFY(QDir().mkpath(program));
        QVERIFY(QFile::copy(kQureld, program + "/qureld"));
        if (!relay.isEmpty())
            QVERIFY(QFile::copy(relay, program + "/qurel-relay"));
        QurelTest::RunningProcess recorder;
        const QString settings = startRecorder(recorder, dir);
        QVERIFY(!settings.isEmpty());

        QurelTest::RunningProcess keeper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The loader's reasons in English.
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        keeper.process.setProcessEnvironment(environment);
        keeper.process.start(program + "/qureld", { "--settings", settings });
        Qurel::KeeperClient window;
        QSignalSpy finished(&window, &Qurel::KeeperClient::finished);
        window.connectToKeeper(Qurel::UserKeeperSocketPath());
        QTRY_VERIFY_WITH_TIMEOUT(window.isAnswering(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(window.snapshot().retry.startsWith(QStringLiteral("创建转播流失败")), 20000);
        const QString log = QString::fromUtf8(keeper.process.readAllStandardError());
        const QString path = program + "/qurel-relay";
        QVERIFY2(log.contains(QStringLiteral("the relay program cannot be used: ") + path) && log.contains(reason),
            qPrintable(log));
        // A missing program is told at the keeper's start already.
        QCOMPARE(log.contains(QStringLiteral("the relay program %1 is missing").arg(path)), relay.isEmpty());
        QCOMPARE(keeper.process.state(), QProcess::Running);

        finishKeeper(window, finished, keeper);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(QDir(dir.filePath(QStringLiteral("recordings"))).entryList({ "*.mp4" }, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKeeperdLesson)
#include "tst_keeperd_lesson.moc"
