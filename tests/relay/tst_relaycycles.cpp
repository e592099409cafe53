// Many recordings in one process: every connection, thread and file is given back.
#include "MediaCheck.h"
#include "RelayRecord.h"
#include "TestStream.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace Qurel;

class TestRelayCycles : public QObject
{
    Q_OBJECT

private slots:
    void fiftyCyclesLeaveNoDescriptorOpen()
    {
        RtspTestServer server;
        QVERIFY(Test::startTestStream(server, "127.0.0.13", "cycles", false, 2));
        QTemporaryDir dir;
        QCOMPARE(zms32Init(5555, 0, 1), 0);

        auto cycle = [&](int i) {
            const auto record = Test::makeRelayRecord(
                i % 2, server.url(), dir.path().toStdString() + "/", "cycle" + std::to_string(i));
            if (zms32CreateDispatchStream(0, record.data()) != 0)
                return false;
            if (zms32StartDispatchStreamRecord(0) != 0)
                return false;
            // Long enough for the next keyframe (every 2 frames) to come and go through.
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            const int rc = zms32DestroyDispatchStream(0);
            zms32StopDispatchStreamRecord(0);
            return rc == 0 || rc == ZMS32_ERR_NO_MEDIA;
        };
        QVERIFY(cycle(0)); // the first run opens what libavformat keeps for the process
        QTRY_COMPARE(server.connectedClients(), 0);
        const int descriptors = Test::openFileDescriptors();
        int recorded = 0;
        for (int i = 1; i <= 50; ++i) {
            QVERIFY2(cycle(i), qPrintable(QString("cycle %1").arg(i)));
            recorded += QFileInfo::exists(dir.filePath(QString("cycle%1.mp4").arg(i)));
        }
        QCOMPARE(zms32Uninit(), 0);
        QTRY_COMPARE(server.connectedClients(), 0);
        QCOMPARE(Test::openFileDescriptors(), descriptors);
        QVERIFY(recorded >= 40);
    }
};

QTEST_GUILESS_MAIN(TestRelayCycles)
#include "tst_relaycycles.moc"
