// A process recording through libzelmicro is killed with SIGKILL: the file must still play.
#include "MediaCheck.h"
#include "TestStream.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace Qurel;

class TestRelayCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedRecordingStillPlays()
    {
        RtspTestServer server;
        QVERIFY(Test::startTestStream(server, "127.0.0.12", "crash"));
        QTemporaryDir dir;

        QProcess driver;
        QElapsedTimer clock;
        clock.start();
        driver.start(QUREL_BINARY_DIR "/tests/relay/qurel-relay-driver",
            { QString::fromStdString(server.url()), "1", dir.path() + "/", "killed", "0" });
        QVERIFY(driver.waitForStarted());
        QByteArray output;
        auto recording = [&] {
            output += driver.readAllStandardOutput();
            return output.contains("first-media");
        };
        QTRY_VERIFY_WITH_TIMEOUT(recording(), 12000);
        const qint64 mediaAt = clock.elapsed();
        QVERIFY(output.contains("start 0"));
        QTest::qWait(int(10000 - clock.elapsed()));
        ::kill(pid_t(driver.processId()), SIGKILL);
        QVERIFY(driver.waitForFinished());
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);

        const QString file = dir.filePath("killed.mp4");
        const Test::FileProbe probe = Test::probeFile(file);
        QVERIFY(probe.ok);
        QCOMPARE(probe.streams, QStringList({ "video", "audio" }));
        QCOMPARE(Test::decodeErrors(file), QString());
        QCOMPARE(Test::concealmentCount(file), 0);
        // Killed 10 s after its start: what was on disk then stays, all but the fragment in
        // progress (at most a second).
        const double onDisk = (10000 - mediaAt) / 1000.0;
        QVERIFY2(probe.duration >= onDisk - 1.2,
            qPrintable(QString("%1 s in the file, media on disk for %2 s").arg(probe.duration).arg(onDisk)));
        qInfo("killed after 10 s: %.2f s of video in the file", probe.duration);
    }
};

QTEST_GUILESS_MAIN(TestRelayCrash)
#include "tst_relaycrash.moc"
