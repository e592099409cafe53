// The relay against the streams recorders and cameras send: which codecs are copied and which
// transcoded, sound kept in step through packet loss, a refused transport, a picture MP4 cannot
// carry, and what the status query tells meanwhile.
#include "MediaCheck.h"
#include "RelayRecord.h"
#include "RtspTestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QElapsedTimer>
#include <csignal>
#include <sys/resource.h>
#include <thread>

using namespace Qurel;

Q_DECLARE_METATYPE(Qurel::StreamVideo)
Q_DECLARE_METATYPE(Qurel::StreamAudio)

namespace {

const char *const kAddress = "127.0.0.16";

RtspTestServerOptions streamOf(StreamVideo video, StreamAudio audio)
{
    RtspTestServerOptions o;
    o.address = kAddress;
    o.key = "kinds";
    o.video = video;
    o.audio = audio;
    o.keyframeInterval = 5; // a third of a second: the file starts soon after the start call
    return o;
}

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

Zms32StreamStatus statusNow()
{
    Zms32StreamStatus status {};
    status.audio = -1;
    const int rc = zms32GetDispatchStreamStatus(0, &status);
    if (rc != ZMS32_OK)
        status.flags = -rc;
    return status;
}

} // namespace

class TestRelayStreams : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Zms32StreamStatus m_midway {}; // the status half-way through the last recording

    QString fileOf(const QString &name) const { return m_dir.filePath(name + ".mp4"); }

    // The client's sequence: create, start, wait, destroy, stop.
    void record(const RtspTestServer &server, int mode, const QString &name, double seconds)
    {
        const auto rec
            = Test::makeRelayRecord(mode, server.url(), m_dir.path().toStdString() + "/", name.toStdString());
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(seconds / 2);
        m_midway = statusNow();
        sleepFor(seconds / 2);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
    }

    // Audio (stream 1) begins and ends with the picture (stream 0) and has no hole.
    static void checkInStep(const QString &path, double allowed)
    {
        const QList<Test::TrackTiming> t = Test::trackTimings(path);
        QCOMPARE(t.size(), 2);
        const QString figures = QString("video %1-%2 s, audio %3-%4 s, largest audio gap %5 s")
                                    .arg(t[0].start)
                                    .arg(t[0].end)
                                    .arg(t[1].start)
                                    .arg(t[1].end)
                                    .arg(t[1].largestGap);
        QVERIFY2(qAbs(t[1].start - t[0].start) <= allowed, qPrintable(figures));
        QVERIFY2(qAbs(t[1].end - t[0].end) <= allowed, qPrintable(figures));
        QVERIFY2(t[1].largestGap < 0.01, qPrintable(figures));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(zms32Init(5555, 0, 1), 0);
    }

    void cleanupTestCase() { QCOMPARE(zms32Uninit(), 0); }
    void cleanup()
    {
        // A failed test leaves its stream: the next one starts afresh.
        if (zms32DestroyDispatchStream(0) == ZMS32_OK)
            zms32StopDispatchStreamRecord(0);
    }

    void recordsEachStreamKind_data()
    {
        QTest::addColumn<StreamVideo>("video");
        QTest::addColumn<StreamAudio>("audio");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("codecs");
        QTest::addColumn<int>("audioStatus");
        QTest::addColumn<bool>("sliced"); // two slices a picture, parameter sets between them
        QTest::newRow("H.264 + G.711 A-law over UDP")
            << StreamVideo::H264 << StreamAudio::Pcma << 0 << QStringList { "h264", "aac" }
            << ZMS32_AUDIO_TRANSCODED << false;
        QTest::newRow("H.264 + G.711 mu-law over TCP")
            << StreamVideo::H264 << StreamAudio::Pcmu << 1 << QStringList { "h264", "aac" }
            << ZMS32_AUDIO_TRANSCODED << false;
        QTest::newRow("H.265 + AAC") << StreamVideo::H265 << StreamAudio::Aac << 1
                                     << QStringList { "hevc", "aac" } << ZMS32_AUDIO_COPIED << false;
        QTest::newRow("H.265 in slices + G.711 A-law") << StreamVideo::H265 << StreamAudio::Pcma << 1
                                                       << QStringList { "hevc", "aac" } << ZMS32_AUDIO_TRANSCODED
                                                       << true;
        QTest::newRow("H.264 + G.722 over TCP")
            << StreamVideo::H264 << StreamAudio::G722 << 1 << QStringList { "h264", "aac" }
            << ZMS32_AUDIO_TRANSCODED << false;
        QTest::newRow("MJPEG + AAC") << StreamVideo::Mjpeg << StreamAudio::Aac << 1
                                     << QStringList { "mjpeg", "aac" } << ZMS32_AUDIO_COPIED << false;
        QTest::newRow("H.264 without sound") << StreamVideo::H264 << StreamAudio::None << 0
                                             << QStringList { "h264" } << ZMS32_AUDIO_NONE << false;
    }
    void recordsEachStreamKind()
    {
        QFETCH(StreamVideo, video);
        QFETCH(StreamAudio, audio);
        QFETCH(int, mode);
        QFETCH(QStringList, codecs);
        QFETCH(int, audioStatus);
        QFETCH(bool, sliced);
        RtspTestServerOptions options = streamOf(video, audio);
        options.slicedKeyframes = sliced;
        RtspTestServer server;
        QVERIFY(server.start(options));
        const QString name = QString("kind_%1").arg(QTest::currentDataTag()).replace(' ', '_');
        record(server, mode, name, 3);

        const int live = ZMS32_STATUS_CONNECTED | ZMS32_STATUS_RECORDING;
        QCOMPARE(m_midway.flags & (live | ZMS32_STATUS_TCP), live | (mode == 1 ? ZMS32_STATUS_TCP : 0));
        QCOMPARE(m_midway.audio, audioStatus);
        QCOMPARE(m_midway.writeError, 0);
        QVERIFY2(m_midway.recordedMs > 500 && m_midway.msSinceWrite >= 0 && m_midway.msSinceWrite < 500,
            qPrintable(QString("%1 ms recorded, written %2 ms ago")
                           .arg(m_midway.recordedMs)
                           .arg(m_midway.msSinceWrite)));
        QVERIFY(m_midway.msSincePacket >= 0 && m_midway.msSincePacket < 500);

        const Test::FileProbe probe = Test::probeFile(fileOf(name));
        QCOMPARE(probe.codecs, codecs);
        QVERIFY2(qAbs(probe.duration - 3) <= 0.5, qPrintable(QString::number(probe.duration)));
        // One sample a picture, whole: 15 a second.
        QVERIFY2(qAbs(probe.videoFrames - probe.duration * 15) <= 2,
            qPrintable(QString("%1 frames in %2 s").arg(probe.videoFrames).arg(probe.duration)));
        QCOMPARE(Test::decodeErrors(fileOf(name)), QString());
        if (codecs.size() == 2)
            checkInStep(fileOf(name), 0.15);
    }

    // Sound transcoded from G.722 (16 kHz on an 8 kHz RTP clock) starts with the picture, also when
    // the relay joins between keyframes 2 s apart and again after a reconnect.
    void transcodedSoundStartsWithThePicture_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("joined between keyframes") << false;
        QTest::newRow("after a reconnect") << true;
    }
    void transcodedSoundStartsWithThePicture()
    {
        QFETCH(bool, reconnect);
        RtspTestServerOptions options = streamOf(StreamVideo::H264, StreamAudio::G722);
        options.keyframeInterval = 30;
        RtspTestServer server;
        QVERIFY(server.start(options));
        const QString name = QString("g722_%1").arg(reconnect);
        const auto rec = Test::makeRelayRecord(1, server.url(), m_dir.path().toStdString() + "/", name.toStdString());
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), 0);
        sleepFor(1); // the stream runs on: the start call falls between keyframes
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(3);
        if (reconnect) {
            server.pauseFor(0.5);
            QTRY_VERIFY_WITH_TIMEOUT(statusNow().reconnects == 1, 8000);
            sleepFor(3);
        }
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        const QList<Test::TrackTiming> t = Test::trackTimings(fileOf(name));
        QCOMPARE(t.size(), 2);
        const QString figures = QString("video from %1 s for %2 s, audio from %3 s for %4 s")
                                    .arg(t[0].start).arg(t[0].covered).arg(t[1].start).arg(t[1].covered);
        QVERIFY2(qAbs(t[1].start - t[0].start) <= 0.1, qPrintable(figures));
        QVERIFY2(qAbs(t[1].covered - t[0].covered) <= 0.15, qPrintable(figures));
    }

    // The recorder's stream server restarts with another picture size or sound: the file ends
    // cleanly where the first stream ended instead of holding the new one under the old header.
    // Restarted as it was, the stream goes on in the file.
    void changedStreamEndsTheFile_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<StreamAudio>("audio");
        QTest::newRow("another picture size") << 480 << StreamAudio::Aac;
        QTest::newRow("another sound") << 320 << StreamAudio::Pcma;
        QTest::newRow("the same stream") << 320 << StreamAudio::Aac;
    }
    void changedStreamEndsTheFile()
    {
        QFETCH(int, width);
        QFETCH(StreamAudio, audio);
        RtspTestServerOptions options = streamOf(StreamVideo::H264, StreamAudio::Aac);
        RtspTestServer server;
        QVERIFY(server.start(options));
        const QString name = QString("changed%1").arg(QTest::currentDataTag()).replace(' ', '_');
        const auto rec = Test::makeRelayRecord(1, server.url(), m_dir.path().toStdString() + "/", name.toStdString());
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        sleepFor(2);
        options.port = server.port(); // the same address, as a recorder's
        server.stop();
        options.width = width;
        options.height = width * 9 / 16;
        options.audio = audio;
        QVERIFY(server.start(options));
        if (width == 320 && audio == StreamAudio::Aac) {
            QTRY_VERIFY_WITH_TIMEOUT(statusNow().reconnects == 1, 10000);
            sleepFor(1.5);
            QCOMPARE(statusNow().flags & (ZMS32_STATUS_ENDED | ZMS32_STATUS_RECORDING), ZMS32_STATUS_RECORDING);
            QCOMPARE(zms32DestroyDispatchStream(0), 0);
            QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
            QVERIFY(Test::probeFile(fileOf(name)).duration > 3.3);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(statusNow().flags & ZMS32_STATUS_ENDED, 10000);
        QVERIFY(!(statusNow().flags & (ZMS32_STATUS_RECORDING | ZMS32_STATUS_CONNECTED)));
        const qint64 size = QFileInfo(fileOf(name)).size();
        sleepFor(1);
        QCOMPARE(QFileInfo(fileOf(name)).size(), size); // nothing more is written
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        const Test::FileProbe probe = Test::probeFile(fileOf(name));
        QVERIFY2(qAbs(probe.duration - 2) < 0.6, qPrintable(QString::number(probe.duration)));
        QCOMPARE(probe.codecs, QStringList({ "h264", "aac" }));
        QCOMPARE(Test::decodeErrors(fileOf(name)), QString());
    }

    // The recorder's clock is stepped mid-lesson (a time sync after boot): its sender reports jump
    // and libavformat moves every later timestamp by the step. The file's timeline stays continuous
    // and the sound in step, nothing squeezed into a tick or frozen.
    void clockStepIsTakenOut_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<StreamAudio>("audio");
        QTest::newRow("30 s forward, G.711 transcoded") << 30.0 << StreamAudio::Pcma;
        QTest::newRow("30 s back, AAC copied") << -30.0 << StreamAudio::Aac;
    }
    void clockStepIsTakenOut()
    {
        QFETCH(double, step);
        QFETCH(StreamAudio, audio);
        RtspTestServerOptions options = streamOf(StreamVideo::H264, audio);
        options.clockStep = step;
        options.clockStepAt = 3;
        RtspTestServer server;
        QVERIFY(server.start(options));
        const QString name = QString("stepped%1").arg(step);
        record(server, 1, name, 9);
        const Test::FileProbe probe = Test::probeFile(fileOf(name));
        QVERIFY2(qAbs(probe.duration - 9) < 0.6, qPrintable(QString::number(probe.duration)));
        QVERIFY2(probe.videoFrames >= 15 * 8, qPrintable(QString::number(probe.videoFrames))); // none dropped
        // In step within 100 ms, no hole nor overlap from the step; what is left are the small
        // moves (about 0.1 s) of the sender's first reports, which come without a step too.
        const QList<Test::TrackTiming> t = Test::trackTimings(fileOf(name));
        QCOMPARE(t.size(), 2);
        const QString figures = QString("video %1-%2 s, largest gap %3 s; audio %4-%5 s, largest gap %6 s")
                                    .arg(t[0].start).arg(t[0].end).arg(t[0].largestGap)
                                    .arg(t[1].start).arg(t[1].end).arg(t[1].largestGap);
        QVERIFY2(qAbs(t[1].start - t[0].start) <= 0.1 && qAbs(t[1].end - t[0].end) <= 0.1, qPrintable(figures));
        QVERIFY2(t[0].largestGap < 0.25 && t[1].largestGap < 0.15, qPrintable(figures));
        QCOMPARE(m_midway.reconnects, 0);
    }

    // G.711 over UDP losing 1% of its packets. Sound whose lost packets were not made up for
    // would fall behind the picture by their length: the ~10 lost 20 ms packets of 20 s come to
    // 200 ms, twice the 100 ms allowed, so 20 s tell as much here as 60 s would.
    void soundStaysInStepThroughPacketLoss()
    {
        RtspTestServerOptions options = streamOf(StreamVideo::H264, StreamAudio::Pcma);
        options.lossPercent = 1;
        RtspTestServer server;
        QVERIFY(server.start(options));
        record(server, 0, "lossy", 20);
        const Test::FileProbe probe = Test::probeFile(fileOf("lossy"));
        QCOMPARE(probe.codecs, QStringList({ "h264", "aac" }));
        QVERIFY2(qAbs(probe.duration - 20) <= 0.5, qPrintable(QString::number(probe.duration)));
        // Pictures are missing only where their packets were.
        QVERIFY2(probe.videoFrames >= 0.9 * 15 * probe.duration, qPrintable(QString::number(probe.videoFrames)));
        checkInStep(fileOf("lossy"), 0.1);
    }

    void refusedTransportFallsBackToTheOther_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("udpBlocked"); // UDP is set up, but its packets never arrive
        QTest::newRow("TCP refused: UDP") << 1 << false;
        QTest::newRow("UDP refused: TCP") << 0 << false;
        QTest::newRow("UDP never arrives: TCP") << 0 << true;
    }
    void refusedTransportFallsBackToTheOther()
    {
        QFETCH(int, mode);
        QFETCH(bool, udpBlocked);
        RtspTestServerOptions options = streamOf(StreamVideo::H264, StreamAudio::Aac);
        options.tcp = mode == 0; // only the transport the record does not ask for
        options.udp = mode == 1 || udpBlocked;
        options.udpBlocked = udpBlocked;
        RtspTestServer server;
        QVERIFY(server.start(options));
        const QString name = QString("fallback%1%2").arg(mode).arg(udpBlocked);
        const double seconds = udpBlocked ? 8 : 2; // about 3 s pass before TCP is tried
        record(server, mode, name, seconds);
        QCOMPARE(bool(m_midway.flags & ZMS32_STATUS_TCP), mode == 0);
        const Test::FileProbe probe = Test::probeFile(fileOf(name));
        QCOMPARE(probe.streams, QStringList({ "video", "audio" }));
        QVERIFY2(probe.duration > seconds - (udpBlocked ? 4 : 1), qPrintable(QString::number(probe.duration)));
        QCOMPARE(m_midway.reconnects, 0); // a change of transport, not a lost connection
    }

    void pictureMp4CannotCarryFailsCreate()
    {
        RtspTestServer server;
        QVERIFY(server.start(streamOf(StreamVideo::Vp8, StreamAudio::Pcma)));
        const auto rec = Test::makeRelayRecord(1, server.url(), m_dir.path().toStdString() + "/", "vp8");
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), ZMS32_ERR_VIDEO);
        QVERIFY(!QFileInfo::exists(fileOf("vp8")));
        QCOMPARE(zms32StartDispatchStreamRecord(0), ZMS32_ERR_WRONG_STATE);
        Zms32StreamStatus status {};
        QCOMPARE(zms32GetDispatchStreamStatus(0, &status), ZMS32_ERR_WRONG_STATE);
        QCOMPARE(zms32GetDispatchStreamStatus(1, &status), ZMS32_ERR_BAD_STREAM);
        QCOMPARE(zms32GetDispatchStreamStatus(0, nullptr), ZMS32_ERR_BAD_CONFIG);
    }

    // The disk fills up mid-lesson (here: the process's file size limit) and is freed again: the
    // relay tries again every few seconds and goes on in the same file, the lost part a hole.
    void writingGoesOnWhenSpaceReturns()
    {
        RtspTestServer server;
        QVERIFY(server.start(streamOf(StreamVideo::H264, StreamAudio::Aac)));
        const auto rec = Test::makeRelayRecord(1, server.url(), m_dir.path().toStdString() + "/", "full");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        QTRY_VERIFY(statusNow().flags & ZMS32_STATUS_RECORDING);
        sleepFor(1.5);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit roomy {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &roomy), 0);
        rlimit full = roomy;
        full.rlim_cur = rlim_t(QFileInfo(fileOf("full")).size() + 1000);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
        QTRY_VERIFY_WITH_TIMEOUT(statusNow().flags & ZMS32_STATUS_WRITE_FAILED, 3000);
        QCOMPARE(statusNow().writeError, EFBIG);
        QVERIFY(!(statusNow().flags & ZMS32_STATUS_RECORDING));
        sleepFor(2);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &roomy), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!(statusNow().flags & ZMS32_STATUS_WRITE_FAILED), 5000);
        QVERIFY(statusNow().flags & ZMS32_STATUS_RECORDING);
        QCOMPARE(statusNow().writeError, 0);
        sleepFor(1.5);
        QCOMPARE(zms32DestroyDispatchStream(0), 0);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        const double wall = clock.elapsed() / 1000.0;
        const Test::FileProbe probe = Test::probeFile(fileOf("full"));
        QVERIFY2(probe.duration > wall - 1, qPrintable(QString("%1 s of %2 s").arg(probe.duration).arg(wall)));
        QCOMPARE(Test::decodeErrors(fileOf("full")), QString());
        const QList<Test::TrackTiming> t = Test::trackTimings(fileOf("full"));
        QVERIFY2(t.size() == 2 && t[0].largestGap > 1.5, qPrintable(QString::number(t.value(0).largestGap)));
    }

    // The file (or its whole folder) removed under a recording is made again at its path with
    // everything recorded so far, and the recording goes on into it. A file someone else puts at
    // the name meanwhile is left alone, and the loss is reported.
    void removedFileIsMadeAgain_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::addColumn<bool>("nameTaken");
        QTest::newRow("folder removed") << true << false;
        QTest::newRow("file removed") << false << false;
        QTest::newRow("file replaced by another") << false << true;
    }
    void removedFileIsMadeAgain()
    {
        QFETCH(bool, wholeFolder);
        QFETCH(bool, nameTaken);
        RtspTestServer server;
        QVERIFY(server.start(streamOf(StreamVideo::H264, StreamAudio::Aac)));
        const QString folder = m_dir.filePath(QString("vanishing%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/gone.mp4";
        const auto rec = Test::makeRelayRecord(0, server.url(), folder.toStdString() + "/", "gone");
        QCOMPARE(zms32CreateDispatchStream(0, rec.data()), 0);
        QCOMPARE(zms32StartDispatchStreamRecord(0), 0);
        QTRY_VERIFY(statusNow().flags & ZMS32_STATUS_RECORDING);
        sleepFor(1.5);
        QVERIFY(wholeFolder ? QDir(folder).removeRecursively() : QFile::remove(file));
        if (nameTaken) {
            QFile other(file);
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write("someone else's");
        }
        const int bit = nameTaken ? ZMS32_STATUS_FILE_MISSING : ZMS32_STATUS_RECREATED;
        QTRY_VERIFY_WITH_TIMEOUT(statusNow().flags & bit, 3000);
        sleepFor(1.5);
        QCOMPARE(zms32DestroyDispatchStream(0), nameTaken ? ZMS32_ERR_WRITE : ZMS32_OK);
        QCOMPARE(zms32StopDispatchStreamRecord(0), 0);
        if (nameTaken) {
            QFile other(file);
            QVERIFY(other.open(QIODevice::ReadOnly));
            QCOMPARE(other.readAll(), QByteArray("someone else's"));
            return;
        }
        const Test::FileProbe probe = Test::probeFile(file);
        QVERIFY2(probe.duration > 3.3, qPrintable(QString::number(probe.duration))); // from the start
        QCOMPARE(Test::decodeErrors(file), QString());
    }
};

QTEST_GUILESS_MAIN(TestRelayStreams)
#include "tst_relaystreams.moc"
