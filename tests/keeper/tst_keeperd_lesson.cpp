// A lesson kept by qureld alone, with no display: the simulated recorder announces it, the keeper
// records it, and a window attached over the socket sees it start and finish, then ends the
// keeper as the close question's Yes does. The keeper opens the relay library only to record: idle
// it maps none of FFmpeg, and without a usable library it says why the start fails and goes on.
#include "KeeperClient.h"
#include "KeeperSocket.h"
#include "RuntimeFolder.h"

#include "RunningProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

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

} // namespace

class TestKeeperdLesson : public QObject
{
    Q_OBJECT

    // The simulated recorder announcing one lesson 2 s after the keeper connects, and the
    // keeper's settings file pointing at it; empty when the recorder did not start.
    QString startRecorder(QurelTest::RunningProcess &recorder, const QTemporaryDir &dir)
    {
        recorder.process.start(QStringLiteral(RECORDER_SIM),
            { "--address", kAddress, "--http-port", "0", "--rtsp-port", "0", "--user", "admin", "--password=",
                "--lesson", "2,8," + kTitle });
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
        QVERIFY(mapsLibrary(keeper.process.processId(), QStringLiteral("libzelmicro")));

        QTRY_COMPARE_WITH_TIMEOUT(lessons.count(), 1, 40000);
        const QString mp4 = lessons.at(0).at(0).toString();
        QVERIFY2(QFileInfo(mp4).fileName().startsWith(kTitle + QLatin1Char('_')), qPrintable(mp4));
        QVERIFY(QFileInfo(mp4).size() > 10000);
        const QString base = QFileInfo(mp4).completeBaseName();
        QVERIFY(QFileInfo(recordings + "/Image/" + base + ".axt").size() > 0);
        QVERIFY(QFileInfo(recordings + "/Image/" + base + ".jpg").size() > 0);

        // The close question's Yes: the keeper the window started finishes and ends.
        QTRY_VERIFY(window.snapshot().settled);
        QVERIFY(window.finish());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(keeper.process.state(), QProcess::NotRunning, 20000);
        QCOMPARE(keeper.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.process.exitCode(), 0);
    }

    // A keeper whose program folder has no usable relay library (a broken installation, a copy of
    // the program alone): the start fails with the message a failed create always gives and is
    // tried again, the log names the library and what is wrong with it, and the keeper goes on.
    void saysWhyTheRelayCannotBeUsed_data()
    {
        QTest::addColumn<QString>("library"); // copied in as libzelmicro.so; empty: none there
        QTest::addColumn<QString>("reason"); // in the keeper's log
        QTest::newRow("missing") << QString() << "No such file or directory";
        QTest::newRow("without the relay's calls") << QStringLiteral("/usr/lib/x86_64-linux-gnu/libz.so.1")
                                                   << "undefined symbol: zms32Init";
    }

    void saysWhyTheRelayCannotBeUsed()
    {
        QFETCH(QString, library);
        QFETCH(QString, reason);
        if (!library.isEmpty() && !QFileInfo::exists(library))
            QSKIP("no stand-in library on this machine");
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("program"));
        QVERIFY(QDir().mkpath(program));
        QVERIFY(QFile::copy(kQureld, program + "/qureld"));
        if (!library.isEmpty())
            QVERIFY(QFile::copy(library, program + "/libzelmicro.so"));
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
        const QString path = program + "/libzelmicro.so";
        QVERIFY2(log.contains(QStringLiteral("the relay library cannot be used: ") + path) && log.contains(reason),
            qPrintable(log));
        // A missing library is told at the keeper's start already.
        QCOMPARE(log.contains(QStringLiteral("the relay library %1 is missing").arg(path)), library.isEmpty());
        QCOMPARE(keeper.process.state(), QProcess::Running);

        QVERIFY(window.finish());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(keeper.process.state(), QProcess::NotRunning, 20000);
        QCOMPARE(keeper.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.process.exitCode(), 0);
        QVERIFY(QDir(dir.filePath(QStringLiteral("recordings"))).entryList({ "*.mp4" }, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKeeperdLesson)
#include "tst_keeperd_lesson.moc"
