// The recorder-like RTSP test server: login key, transports, pausing, addresses.
#include "MediaCheck.h"
#include "RtspTestServer.h"

#include <QElapsedTimer>
#include <QTest>
#include <thread>

using namespace Qurel;

class TestRtspSim : public QObject
{
    Q_OBJECT

    RtspTestServer m_server;

private slots:
    void initTestCase()
    {
        RtspTestServerOptions options;
        options.address = "127.0.0.10";
        options.key = "k3y";
        QVERIFY(m_server.start(options));
        QVERIFY(m_server.port() != 0);
        QCOMPARE(QString::fromStdString(m_server.url()),
            QString("rtsp://127.0.0.10:%1/stream/0?config.login=k3y").arg(m_server.port()));
    }

    void servesVideoAndAudioOverBothTransports_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("tcp") << true;
        QTest::newRow("udp") << false;
    }
    void servesVideoAndAudioOverBothTransports()
    {
        QFETCH(bool, tcp);
        int streams = 0;
        QCOMPARE(Test::openRtsp(QString::fromStdString(m_server.url()), tcp, &streams), 0);
        QCOMPARE(streams, 2);
    }

    void refusesWrongOrMissingKey()
    {
        const QString base = QString("rtsp://127.0.0.10:%1/stream/0").arg(m_server.port());
        const int before = m_server.refusedRequests();
        QVERIFY(Test::openRtsp(base + "?config.login=wrong", true) != 0);
        QVERIFY(Test::openRtsp(base, true) != 0);
        QVERIFY(Test::openRtsp(base + "?other=k3y", true) != 0);
        QCOMPARE(m_server.refusedRequests(), before + 3);
        QCOMPARE(Test::openRtsp(base + "?x=1&config.login=k3y", true), 0);
    }

    void newKeyReplacesOldOne()
    {
        m_server.setKey("second");
        QVERIFY(Test::openRtsp(
                    QString("rtsp://127.0.0.10:%1/stream/0?config.login=k3y").arg(m_server.port()), true)
            != 0);
        QCOMPARE(Test::openRtsp(QString::fromStdString(m_server.url()), true), 0);
        m_server.setKey("k3y");
    }

    void pauseDropsClientsAndRefusesForAWhile()
    {
        const QString url = QString::fromStdString(m_server.url());
        QElapsedTimer clock;
        clock.start();
        m_server.pauseFor(1.5);
        QVERIFY(Test::openRtsp(url, true) != 0);
        while (clock.elapsed() < 1600)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // Served again once the pause is over (a loaded machine may take a moment longer).
        int opened = Test::openRtsp(url, true);
        while (opened != 0 && clock.elapsed() < 5000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            opened = Test::openRtsp(url, true);
        }
        QCOMPARE(opened, 0);
    }

    void closedConnectionsAreCounted() { QTRY_COMPARE(m_server.connectedClients(), 0); }

    void restartsOnAFreshPort()
    {
        m_server.stop();
        QVERIFY(!m_server.isRunning());
        RtspTestServerOptions options;
        options.address = "127.0.0.10";
        options.audio = StreamAudio::None;
        options.slicedKeyframes = true;
        QVERIFY(m_server.start(options));
        int streams = 0;
        QCOMPARE(Test::openRtsp(QString::fromStdString(m_server.url()), true, &streams), 0);
        QCOMPARE(streams, 1);
    }
};

QTEST_GUILESS_MAIN(TestRtspSim)
#include "tst_rtspsim.moc"
