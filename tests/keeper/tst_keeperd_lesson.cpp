// A lesson kept by qureld alone, with no display: the simulated recorder announces it, the keeper
// records it, and a window attached over the socket sees it start and finish, then ends the
// keeper as the close question's Yes does.
#include "KeeperClient.h"
#include "KeeperSocket.h"
#include "RuntimeFolder.h"

#include "RunningProcess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kAddress = QStringLiteral("127.0.0.161");
const QString kTitle = QStringLiteral("守护测试课");

} // namespace

class TestKeeperdLesson : public QObject
{
    Q_OBJECT

private slots:
    void keepsALessonWithoutADisplay()
    {
        qRegisterMetaType<Qurel::KeeperSnapshot>();
        QTemporaryDir dir;
        // The keeper's socket lives in the runtime folder, which must be the user's alone.
        QVERIFY(QFile::setPermissions(qEnvironmentVariable("XDG_RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");

        QurelTest::RunningProcess recorder;
        recorder.process.start(QStringLiteral(RECORDER_SIM),
            { "--address", kAddress, "--http-port", "0", "--rtsp-port", "0", "--user", "admin", "--password=",
                "--lesson", "2,8," + kTitle });
        int httpPort = 0;
        const QRegularExpression started(QStringLiteral("HTTP http://[0-9.]+:(\\d+)/"));
        QTRY_VERIFY_WITH_TIMEOUT(
            (httpPort = started.match(QString::fromUtf8(recorder.process.peek(4096))).captured(1).toInt()) > 0, 15000);

        const QString recordings = dir.filePath(QStringLiteral("recordings"));
        const QString settings = dir.filePath(QStringLiteral("settings.ini"));
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Series_A]\nAddress=%1\nHttpPort=%2\nUserName=admin\nSavePath=%3\n")
                       .arg(kAddress)
                       .arg(httpPort)
                       .arg(recordings)
                       .toUtf8());
        file.close();

        QurelTest::RunningProcess keeper;
        keeper.process.setProcessChannelMode(QProcess::ForwardedChannels);
        keeper.process.start(QStringLiteral(QUREL_PROGRAM_DIR "/qureld"), { "--settings", settings });

        Qurel::KeeperClient window;
        QSignalSpy snapshots(&window, &Qurel::KeeperClient::snapshotChanged);
        QSignalSpy lessons(&window, &Qurel::KeeperClient::lessonFinished);
        QSignalSpy finished(&window, &Qurel::KeeperClient::finished);
        window.connectToKeeper(Qurel::UserKeeperSocketPath());
        QTRY_VERIFY_WITH_TIMEOUT(window.isAnswering(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(window.snapshot().state == QLatin1String("recording"), 20000);
        QCOMPARE(window.snapshot().title, kTitle);

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
};

QTEST_GUILESS_MAIN(TestKeeperdLesson)
#include "tst_keeperd_lesson.moc"
