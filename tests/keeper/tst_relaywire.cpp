// The line protocol between qureld and qurel-relay: what each side writes, the lines the other
// refuses, and the real qurel-relay greeting, answering and ending cleanly on a bad line or EOF.
#include "RelayWire.h"

#include <QProcess>
#include <QtTest>

using namespace Qurel::RelayWire;

class TestRelayWire : public QObject
{
    Q_OBJECT

private slots:
    void requestsGoOverAndBack()
    {
        const std::vector<unsigned char> record(ZMS32_CONFIG_SIZE, 0xA5);
        const std::string url = "rtsp://127.0.0.1:554/stream/0?config.login=k y";
        const std::vector<Request> requests { { Verb::Create, 0, record }, { Verb::Create, 0, std::nullopt },
            { Verb::Start, 0, {} }, { Verb::Destroy, -1, {} }, { Verb::Stop, 7, {} }, { Verb::Status, 0, {} },
            { Verb::Url, 0, std::vector<unsigned char>(url.begin(), url.end()) } };
        for (const Request &request : requests) {
            const std::string line = FormatRequest(request);
            QVERIFY(line.size() <= kMaxLineBytes && line.find('\n') == std::string::npos);
            const std::optional<Request> back = ParseRequest(line);
            QVERIFY2(back, line.c_str());
            QVERIFY(back->verb == request.verb && back->stream == request.stream && back->data == request.data);
        }
        QCOMPARE(FormatRequest({ Verb::Url, 0, std::vector<unsigned char> { 'a', 0xFF } }), std::string("url 0 61ff"));
    }

    void refusesLinesThatAreNotRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown word") << QByteArray("pause 0");
        QTest::newRow("no stream") << QByteArray("start");
        QTest::newRow("stream not a number") << QByteArray("start x");
        QTest::newRow("stream with a plus") << QByteArray("start +0");
        QTest::newRow("stream too big") << QByteArray("start 4294967296");
        QTest::newRow("extra word") << QByteArray("status 0 1");
        QTest::newRow("two spaces") << QByteArray("start  0");
        QTest::newRow("trailing space") << QByteArray("start 0 ");
        QTest::newRow("create without record") << QByteArray("create 0");
        QTest::newRow("record too short") << QByteArray("create 0 00");
        QTest::newRow("hex odd") << QByteArray("url 0 616");
        QTest::newRow("hex capital") << QByteArray("url 0 6A");
        QTest::newRow("url with a zero") << QByteArray("url 0 6100");
        QTest::newRow("url too long") << QByteArray("url 0 ") + QByteArray(2 * ZMS32_LEN_URL, 'a');
    }

    void refusesLinesThatAreNotRequests()
    {
        QFETCH(QByteArray, line);
        QVERIFY(!ParseRequest(line.toStdString()));
    }

    void answersCarryTheStatus_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::newRow("figures") << QByteArray("0 69 1 0 2 5000000000 -1 12") << true;
        QTest::newRow("failure alone") << QByteArray("2") << true;
        QTest::newRow("figures missing") << QByteArray("0") << false;
        QTest::newRow("figures after a failure") << QByteArray("2 69 1 0 2 5 -1 12") << false;
        QTest::newRow("figure too big") << QByteArray("0 4294967296 1 0 2 5 -1 12") << false;
        QTest::newRow("figure not a number") << QByteArray("0 69 1 0 2 5 -1 x") << false;
    }

    void answersCarryTheStatus()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        const std::optional<Answer> answer = ParseAnswer(Verb::Status, line.toStdString());
        QCOMPARE(bool(answer), ok);
        if (answer && answer->status) {
            QCOMPARE(answer->status->flags, 69);
            QCOMPARE(answer->status->recordedMs, Q_INT64_C(5000000000));
            QCOMPARE(answer->status->msSincePacket, Q_INT64_C(-1));
            QCOMPARE(FormatAnswer(*answer), line.toStdString());
        }
        QVERIFY(!ParseAnswer(Verb::Start, "0 1"));
    }

    // The real relay process: it greets, answers with the library's codes, and a bad line or the
    // end of its input ends it cleanly.
    void relayProcessAnswersAndEnds_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("answers");
        QTest::newRow("calls then EOF") << QByteArray("status 0\nstart 1\ncreate 0 -\nstop 0\n")
                                        << QByteArray("ready 0\n2\n3\n4\n2\n");
        QTest::newRow("bad line") << QByteArray("status 0\nrecord everything\nstatus 0\n") << QByteArray("ready 0\n2\n");
    }

    void relayProcessAnswersAndEnds()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, answers);
        QProcess relay;
        relay.start(QStringLiteral(QUREL_PROGRAM_DIR "/qurel-relay"), { "5555", "0", "1" });
        QVERIFY(relay.waitForStarted());
        relay.write(requests);
        relay.closeWriteChannel();
        QVERIFY(relay.waitForFinished(15000));
        QCOMPARE(relay.exitStatus(), QProcess::NormalExit);
        QCOMPARE(relay.exitCode(), 0);
        QCOMPARE(relay.readAllStandardOutput(), answers);
    }
};

QTEST_GUILESS_MAIN(TestRelayWire)
#include "tst_relaywire.moc"
