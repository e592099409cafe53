// The simulated recorder's RTSP stream on 127.0.0.6, reached the way the
// client reaches it: port from action 24685, key from logon.cgi.

#include "HttpIntf.h"
#include "MediaCheck.h"
#include "RecorderSim.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qurel;

namespace {
const QString kAddress = QStringLiteral("127.0.0.6");
const QString kUser = QStringLiteral("admin");
const QString kPassword = QStringLiteral("admin");

RecorderSimOptions streamOptions()
{
    RecorderSimOptions o;
    o.address = QHostAddress(kAddress);
    o.width = 160;
    o.height = 90;
    o.fps = 10;
    o.bitrateKbps = 150;
    return o;
}
} // namespace

class TestRecorderSimStream : public QObject
{
    Q_OBJECT
private slots:
    void streamOpensWithTheKeyHandedOut_data();
    void streamOpensWithTheKeyHandedOut();
    void wrongMissingOrOldKeyIsRefused();
    void pausedStreamComesBack();
    void tcpOnlyAndTwoSlices();
    void servesTheCodecsAsked();
    void movingBarsTakeTheBitRateAsked_data();
    void movingBarsTakeTheBitRateAsked();
};

void TestRecorderSimStream::streamOpensWithTheKeyHandedOut_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::newRow("RTP over TCP") << true;
    QTest::newRow("RTP over UDP") << false;
}

void TestRecorderSimStream::streamOpensWithTheKeyHandedOut()
{
    QFETCH(bool, tcp);
    RecorderSim sim(streamOptions());
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    QVERIFY(sim.streamAvailable());

    const RtpModeReply mode = GetRTPMode(kAddress, sim.httpPort(), kUser, kPassword);
    QCOMPARE(mode.mode, QStringLiteral("0"));
    QCOMPARE(mode.rtspPort, int(sim.rtspPort()));
    QCOMPARE(mode.rtspOnlineCount, 0);
    const QString key = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    QVERIFY(!key.isEmpty());
    const QString url
        = QStringLiteral("rtsp://%1:%2/stream/0?config.login=%3").arg(kAddress).arg(mode.rtspPort).arg(key);
    QCOMPARE(url, sim.streamUrl(key));
    int streams = 0;
    QCOMPARE(Test::openRtsp(url, tcp, &streams), 0);
    QCOMPARE(streams, 2); // H.264 and AAC
}

void TestRecorderSimStream::wrongMissingOrOldKeyIsRefused()
{
    RecorderSim sim(streamOptions());
    QVERIFY(sim.start());
    const QString base = QStringLiteral("rtsp://%1:%2/stream/0").arg(kAddress).arg(sim.rtspPort());
    QVERIFY(Test::openRtsp(base, true) != 0); // no key handed out yet, none given
    QVERIFY(Test::openRtsp(base + QStringLiteral("?config.login="), true) != 0);
    const QString first = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    QVERIFY(Test::openRtsp(base + QStringLiteral("?config.login=wrong"), true) != 0);
    QCOMPARE(Test::openRtsp(sim.streamUrl(first), true), 0);
    const QString second = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    QVERIFY(second != first);
    QVERIFY(Test::openRtsp(sim.streamUrl(first), true) != 0);
    // A refused login hands out nothing, so the last key stays the one that opens.
    sim.setRefuseLogins(true);
    QCOMPARE(GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword), QString());
    QCOMPARE(Test::openRtsp(sim.streamUrl(second), true), 0);
}

void TestRecorderSimStream::pausedStreamComesBack()
{
    RecorderSim sim(streamOptions());
    QVERIFY(sim.start());
    const QString key = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    QCOMPARE(sim.runCommand(QStringLiteral("pause-stream"), { QStringLiteral("2") }), QStringLiteral("ok"));
    QElapsedTimer t;
    t.start();
    QVERIFY(Test::openRtsp(sim.streamUrl(key), true) != 0);
    QVERIFY(t.elapsed() < 2000);
    QTest::qWait(int(2300 - t.elapsed()));
    QCOMPARE(Test::openRtsp(sim.streamUrl(key), true), 0);
}

void TestRecorderSimStream::tcpOnlyAndTwoSlices()
{
    RecorderSimOptions o = streamOptions();
    o.rtspOverTcpOnly = true;
    o.twoSlices = true;
    RecorderSim sim(o);
    QVERIFY(sim.start());
    const QString key = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    int streams = 0;
    QCOMPARE(Test::openRtsp(sim.streamUrl(key), true, &streams), 0);
    QCOMPARE(streams, 2);
    QVERIFY(Test::openRtsp(sim.streamUrl(key), false) != 0);
}

void TestRecorderSimStream::servesTheCodecsAsked()
{
    RecorderSimOptions o = streamOptions();
    o.video = QStringLiteral("h265");
    o.audio = QStringLiteral("pcmu");
    o.lossPercent = 1;
    {
        RecorderSim sim(o);
        QVERIFY(sim.start());
        const QString key = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
        QStringList codecs;
        QCOMPARE(Test::openRtsp(sim.streamUrl(key), false, nullptr, &codecs), 0);
        QCOMPARE(codecs, QStringList({ "hevc", "pcm_mulaw" }));
    } // its control port is free again

    o.audio = QStringLiteral("opus"); // not one the simulator serves
    RecorderSim unknown(o);
    QString error;
    QVERIFY(!unknown.start(&error));
    QVERIFY(error.contains(QStringLiteral("opus")));
}

void TestRecorderSimStream::movingBarsTakeTheBitRateAsked_data()
{
    // Benchmarks state the bit rate they record: the ball on black leaves the encoder far below
    // what is asked, the moving bars make it spend about that.
    QTest::addColumn<bool>("movingBars");
    QTest::addColumn<double>("least");
    QTest::addColumn<double>("most");
    QTest::newRow("ball on black") << false << 0.0 << 0.5;
    QTest::newRow("moving bars") << true << 0.8 << 1.2;
}

void TestRecorderSimStream::movingBarsTakeTheBitRateAsked()
{
    QFETCH(bool, movingBars);
    QFETCH(double, least);
    QFETCH(double, most);
    RecorderSimOptions o = streamOptions();
    o.width = 320;
    o.height = 180;
    o.fps = 15;
    o.bitrateKbps = 1000;
    o.movingBars = movingBars;
    RecorderSim sim(o);
    QVERIFY(sim.start());
    const QString key = GetLoginKey(kAddress, sim.httpPort(), kUser, kPassword);
    const double kbps = Test::rtspVideoKbps(sim.streamUrl(key), 4);
    QVERIFY2(kbps >= least * o.bitrateKbps && kbps <= most * o.bitrateKbps, qPrintable(QString::number(kbps)));
}

QTEST_GUILESS_MAIN(TestRecorderSimStream)
#include "tst_recorder_sim_stream.moc"
