// The disk under a recording stalls at the lesson's end (a network share that stopped answering;
// here an ext4 image frozen with fsfreeze): the destroy call still returns, the next lesson's
// recording starts, and the stalled file is finished once the disk answers again. Needs root for
// the loop mount; skipped without it.
#include "FreezableDisk.h"
#include "MediaCheck.h"
#include "RelayRecord.h"
#include "TestStream.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <thread>
#include <unistd.h>

using namespace Qurel;

class TestRelayStall : public QObject
{
    Q_OBJECT

private slots:
    void stalledDiskDoesNotHoldUpTheNextLesson()
    {
        if (geteuid() != 0)
            QSKIP("a loop-device file system needs root");
        QTemporaryDir work;
        Test::FreezableDisk disk;
        if (!disk.mount(work.path()))
            QSKIP("no loop device to mount a file system on");
        RtspTestServer server;
        QVERIFY(Test::startTestStream(server, "127.0.0.17", "stall", false, 5));
        QCOMPARE(zms32Init(5555, 0, 1), 0);

        const auto stalled = Test::makeRelayRecord(1, server.url(), disk.folder().toStdString(), "stalled");
        QCOMPARE(zms32CreateDispatchStream(0, stalled.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        QVERIFY(disk.freeze());
        std::this_thread::sleep_for(std::chrono::milliseconds(700)); // the writes now wait on the disk

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(zms32DestroyDispatchStream(0), ZMS32_OK); // media was written, no write failed
        const qint64 destroyMs = clock.elapsed();
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        clock.restart();
        const auto next = Test::makeRelayRecord(1, server.url(), work.path().toStdString() + "/", "next");
        QCOMPARE(zms32CreateDispatchStream(0, next.data()), 0);
        const qint64 createMs = clock.elapsed();
        qInfo("disk stalled: destroy returned in %lld ms, the next create in %lld ms", destroyMs, createMs);
        QVERIFY2(destroyMs < 1500, qPrintable(QString::number(destroyMs)));
        QVERIFY2(createMs < 1000, qPrintable(QString::number(createMs)));
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        QVERIFY(Test::probeFile(work.filePath("next.mp4")).duration > 1);

        // Once the disk answers, the stalled recording's file is finished and plays.
        disk.thaw();
        QCOMPARE(zms32Uninit(), 0);
        const QString file = disk.folder() + "stalled.mp4";
        QTRY_VERIFY_WITH_TIMEOUT(Test::probeFile(file).duration > 1.5, 5000);
        QCOMPARE(Test::decodeErrors(file), QString());
    }
};

QTEST_GUILESS_MAIN(TestRelayStall)
#include "tst_relaystall.moc"
