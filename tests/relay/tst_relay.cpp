// libzelmicro against the RTSP test stream: files, call order, failures and drop-outs.
#include "MediaCheck.h"
#include "RelayRecord.h"
#include "TestStream.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace Qurel;

namespace {

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

int statusFlags()
{
    Zms32StreamStatus status {};
    const int rc = zms32GetDispatchStreamStatus(0, &status);
    return rc == ZMS32_OK ? status.flags : -rc;
}

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT

    RtspTestServer m_server;
    RtspTestServer m_sliced;
    QTemporaryDir m_dir;

    std::string folder() const { return m_dir.path().toStdString() + "/"; }
    QString fileOf(const QString &name) const { return m_dir.filePath(name + ".mp4"); }
    Test::RelayRecord recordFor(const RtspTestServer &server, int mode, const QString &name) const
    {
        return Test::makeRelayRecord(mode, server.url(), folder(), name.toStdString());
    }
    // create, start, wait, destroy, stop: the client's sequence.
    void recordFor(const Test::RelayRecord &record, double seconds)
    {
        QCOMPARE(zms32CreateDispatchStream(0, record.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(seconds);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(Test::startTestStream(m_server, "127.0.0.11", "relaykey"));
        QVERIFY(Test::startTestStream(m_sliced, "127.0.0.11", "relaykey", true));
        QCOMPARE(zms32Init(5555, 0, 1), 0);
    }

    void cleanupTestCase() { QCOMPARE(zms32Uninit(), 0); }

    void recordsAPlayableFile_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("udp") << 0;
        QTest::newRow("tcp") << 1;
    }
    void recordsAPlayableFile()
    {
        QFETCH(int, mode);
        const QString name = QString("课_%1").arg(mode);
        const int teardowns = m_server.teardowns();
        recordFor(recordFor(m_server, mode, name), 3);
        // The session was ended, not left to time out among the recorder's few connections.
        QTRY_COMPARE(m_server.teardowns(), teardowns + 1);
        const Test::FileProbe probe = Test::probeFile(fileOf(name));
        QVERIFY(probe.ok);
        QCOMPARE(probe.streams, QStringList({ "video", "audio" }));
        QVERIFY2(probe.duration >= 2.5 && probe.duration <= 5, qPrintable(QString::number(probe.duration)));
        QCOMPARE(Test::decodeErrors(fileOf(name)), QString());
        QTRY_COMPARE(m_server.connectedClients(), 0); // the connection was closed

        // The client's next step: the thumbnail tool reads the finished file.
        const QString picture = m_dir.filePath(name + ".jpg");
        QCOMPARE(QProcess::execute(QUREL_PROGRAM_DIR "/makePic",
                     { "-i", fileOf(name), "-y", "-f", "image2", "-ss", "1", "-t", "2", "-s", "720x405",
                         picture }),
            0);
        QFile jpeg(picture);
        QVERIFY(jpeg.open(QIODevice::ReadOnly));
        QVERIFY(jpeg.read(2) == QByteArray("\xff\xd8"));
    }

    void splitKeyframesAreKeptWhole()
    {
        recordFor(recordFor(m_sliced, 1, "sliced"), 3);
        const Test::FileProbe probe = Test::probeFile(fileOf("sliced"));
        QVERIFY(probe.ok);
        // One sample per picture: 15 frames a second, not the doubled count of split keyframes.
        QVERIFY2(qAbs(probe.videoFrames - probe.duration * 15) <= 3,
            qPrintable(QString("%1 frames in %2 s").arg(probe.videoFrames).arg(probe.duration)));
        QCOMPARE(Test::concealmentCount(fileOf("sliced")), 0);
    }

    void callsInTheWrongStateFail()
    {
        const auto record = recordFor(m_server, 1, "order");
        QVERIFY(zms32StartDispatchStreamRecord(0) != 0);
        QVERIFY(zms32DestroyDispatchStream(0) != 0);
        QVERIFY(zms32StopDispatchStreamRecord(0) != 0);
        QCOMPARE(zms32CreateDispatchStream(1, record.data()), ZMS32_ERR_BAD_STREAM);
        QCOMPARE(zms32CreateDispatchStream(0, nullptr), ZMS32_ERR_BAD_CONFIG);
        QCOMPARE(zms32Init(5555, 0, 1), ZMS32_ERR_WRONG_STATE);

        QCOMPARE(zms32CreateDispatchStream(0, record.data()), 0);
        QCOMPARE(zms32CreateDispatchStream(0, record.data()), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32StartDispatchStreamRecord(1), ZMS32_ERR_BAD_STREAM);
        QCOMPARE(zms32StopDispatchStreamRecord(0), ZMS32_ERR_WRONG_STATE); // not recording yet
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), ZMS32_ERR_WRONG_STATE);
        sleepFor(1.5);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QVERIFY(zms32DestroyDispatchStream(0) != 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        QVERIFY(zms32StopDispatchStreamRecord(0) != 0);
        QVERIFY(QFileInfo(fileOf("order")).size() > 0);

        // Created but never started: destroying leaves nothing behind.
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 1, "unused").data()), 0);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QVERIFY(!QFileInfo::exists(fileOf("unused")));
    }

    void stopBeforeDestroyAlsoFinishes()
    {
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 0, "stopfirst").data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(2);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(Test::decodeErrors(fileOf("stopfirst")), QString());
    }

    void uninitFinishesARunningRecording()
    {
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 1, "uninit").data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(2);
        QCOMPARE(zms32Uninit(), 0);
        QVERIFY(zms32Uninit() != 0);
        QVERIFY(zms32CreateDispatchStream(0, recordFor(m_server, 1, "x").data()) != 0); // not initialised
        QCOMPARE(zms32Init(5555, 0, 1), 0);
        QVERIFY(Test::probeFile(fileOf("uninit")).duration > 1);
    }

    // A name already taken (two PCs saving into one shared folder, a link put there) is never
    // truncated or followed: the create call fails and leaves everything as it was.
    void takenNameIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a file") << "file";
        QTest::newRow("a link to a file") << "link";
        QTest::newRow("a dangling link") << "dangling";
        QTest::newRow("a folder") << "folder";
    }
    void takenNameIsLeftAlone()
    {
        QFETCH(QString, kind);
        const QString name = "taken_" + kind, path = fileOf(name), target = m_dir.filePath(name + ".target");
        QFile precious(kind == "file" ? path : target);
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind != "dangling") {
            QVERIFY(precious.open(QIODevice::WriteOnly));
            precious.write("precious");
            precious.close();
        }
        if (kind == "link" || kind == "dangling")
            QVERIFY(QFile::link(target, path));
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 1, name).data()), ZMS32_ERR_EXISTS);
        QCOMPARE(zms32StartDispatchStreamRecord(0), ZMS32_ERR_WRONG_STATE);
        if (kind == "file" || kind == "link") {
            QVERIFY(precious.open(QIODevice::ReadOnly));
            QCOMPARE(precious.readAll(), QByteArray("precious"));
        }
        QCOMPARE(QFileInfo::exists(target), kind == "link"); // a dangling link is not followed either
        QCOMPARE(m_server.connectedClients(), 0); // nothing was asked of the stream
    }

    void refusesABadFolder()
    {
        const auto record = Test::makeRelayRecord(1, m_server.url(), "/nonexistent/folder/", "x");
        QCOMPARE(zms32CreateDispatchStream(0, record.data()), ZMS32_ERR_FOLDER);
    }

    // A stream that never comes fails the create call within its bound and makes no file.
    void streamThatNeverComesFailsCreate_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("mode");
        const QString base = QString("rtsp://127.0.0.11:%1/stream/0").arg(m_server.port());
        QTest::newRow("wrong key") << base + "?config.login=wrong" << 1;
        QTest::newRow("no key") << base << 0;
        QTest::newRow("nobody listening") << "rtsp://127.0.0.11:9/stream/0?config.login=relaykey" << 1;
        QTest::newRow("not rtsp") << "rtsp://" << 1;
        // A playable file of an earlier test: only the stream's own protocols may be opened.
        QTest::newRow("a local file") << "file://" + fileOf("课_1") << 1;
    }
    void streamThatNeverComesFailsCreate()
    {
        QFETCH(QString, url);
        QFETCH(int, mode);
        QElapsedTimer clock;
        clock.start();
        const auto record = Test::makeRelayRecord(mode, url.toStdString(), folder(), "never");
        QCOMPARE(zms32CreateDispatchStream(0, record.data()), ZMS32_ERR_CONNECT);
        QVERIFY(clock.elapsed() < 11000);
        QVERIFY(!QFileInfo::exists(fileOf("never")));
        QVERIFY(zms32StartDispatchStreamRecord(0) != 0);
    }

    void streamPausedMidRecordingCarriesOn()
    {
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 0, "paused").data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(2.5);
        m_server.pauseFor(5);
        sleepFor(1);
        const qint64 sizeDuringPause = QFileInfo(fileOf("paused")).size();
        QVERIFY(sizeDuringPause > 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(fileOf("paused")).size() > sizeDuringPause + 20000, 12000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        const Test::FileProbe probe = Test::probeFile(fileOf("paused"));
        QVERIFY2(probe.duration > 8, qPrintable(QString::number(probe.duration))); // the gap is kept
        QCOMPARE(Test::decodeErrors(fileOf("paused")), QString());
        QCOMPARE(Test::concealmentCount(fileOf("paused")), 0);
    }

    // The recorder restarts its stream server with a new login key: the old URL is refused, the
    // status says so, and the new URL carries the recording on in the same file.
    void newUrlAfterTheServerChangedItsKey()
    {
        RtspTestServer server;
        QVERIFY(Test::startTestStream(server, "127.0.0.11", "first", false, 5));
        const std::string oldUrl = server.url();
        QCOMPARE(zms32SetDispatchStreamUrl(0, oldUrl.c_str()), ZMS32_ERR_WRONG_STATE); // no stream yet
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(server, 0, "rekeyed").data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        QTRY_VERIFY(statusFlags() & ZMS32_STATUS_RECORDING);
        sleepFor(1.5);
        server.restartWithKey(0.5, "second");
        QTRY_VERIFY_WITH_TIMEOUT(statusFlags() & ZMS32_STATUS_REFUSED, 8000);
        QVERIFY(!(statusFlags() & ZMS32_STATUS_CONNECTED));

        QCOMPARE(zms32SetDispatchStreamUrl(0, nullptr), ZMS32_ERR_BAD_CONFIG);
        QCOMPARE(zms32SetDispatchStreamUrl(0, ""), ZMS32_ERR_BAD_CONFIG);
        QCOMPARE(zms32SetDispatchStreamUrl(0, std::string(ZMS32_LEN_URL, 'x').c_str()), ZMS32_ERR_BAD_CONFIG);
        QCOMPARE(zms32SetDispatchStreamUrl(1, server.url().c_str()), ZMS32_ERR_BAD_STREAM);
        QVERIFY(server.url() != oldUrl);
        QCOMPARE(zms32SetDispatchStreamUrl(0, server.url().c_str()), 0);
        QTRY_VERIFY_WITH_TIMEOUT((statusFlags() & (ZMS32_STATUS_CONNECTED | ZMS32_STATUS_REFUSED)) == ZMS32_STATUS_CONNECTED, 3000);
        sleepFor(2);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        const double wall = clock.elapsed() / 1000.0;
        // One file from before and after the restart, the refused time a hole in it.
        const Test::FileProbe probe = Test::probeFile(fileOf("rekeyed"));
        QVERIFY2(probe.duration > wall - 1.5 && probe.duration < wall + 0.5,
            qPrintable(QString("%1 s in the file, %2 s recorded").arg(probe.duration).arg(wall)));
        QCOMPARE(Test::decodeErrors(fileOf("rekeyed")), QString());
        QVERIFY(QDir(m_dir.path()).entryList({ "rekeyed*" }).size() == 1);
    }

    void destroyReturnsPromptlyWhileTheStreamIsAway()
    {
        QCOMPARE(zms32CreateDispatchStream(0, recordFor(m_server, 1, "away").data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(1.5);
        m_server.pauseFor(30);
        sleepFor(1.5); // the relay is now retrying
        QElapsedTimer clock;
        clock.start();
        const int rc = zms32DestroyDispatchStream(0);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rc == 0 || rc == ZMS32_ERR_NO_MEDIA);
        m_server.pauseFor(0);
        if (rc == ZMS32_ERR_NO_MEDIA)
            QVERIFY(!QFileInfo::exists(fileOf("away")));
        else
            QCOMPARE(Test::decodeErrors(fileOf("away")), QString());
    }
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
