// The CGI client against the simulated recorder on 127.0.0.2: each
// operation's success and failure values, the URLs as they reach the
// recorder, and a recorder that answers late or not at all.

#include "HttpIntf.h"
#include "Md5.h"
#include "RecorderSim.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QRegularExpression>
#include <QTest>

using namespace Qurel;

namespace {
const QString kAddress = QStringLiteral("127.0.0.2");
const QString kUser = QStringLiteral("老师 a&b+c#1%");
const QString kPassword = QStringLiteral("pa ss&word");

// A short bound keeps the time-out cases fast; the client's own bounds are 5 s / 30 s.
HttpGetOptions shortBounds()
{
    HttpGetOptions o = CgiGetOptions();
    o.connectTimeoutMs = 1000;
    o.totalTimeoutMs = 600;
    return o;
}
} // namespace

class TestRecorderCgi : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void productionBounds();
    void loginKeyAndItsUrl();
    void loginRefusals();
    void loginReplyPieces_data();
    void loginReplyPieces();
    void rtpModeDefaults();
    void rtpModeFields_data();
    void rtpModeFields();
    void startRecordUrlAndState();
    void startRecordNeedsRecActive2();
    void stopRecordUrlAndState();
    void saveCT();
    void wrongPasswordIsAFailure();
    void httpErrorStatusIsAFailure();
    void hostileRepliesOverTheWire();
    void hugeReplyIsAFailure();
    void slowRecorderFailsWithinTheBound();
    void silentRecorderFailsWithinTheBound();
    void absentRecorderFailsAtOnce();
    void testBoundsApplyToEveryCall();
    void transportSpeaksOnlyHttp();
    void recorderRequestsIgnoreTheProxy();

private:
    QString lastTarget() const { return QString::fromUtf8(m_sim->requests().constLast().target); }
    std::unique_ptr<RecorderSim> m_sim;
    int m_port = 0;
};

void TestRecorderCgi::initTestCase()
{
    RecorderSimOptions o;
    o.address = QHostAddress(kAddress);
    o.username = kUser;
    o.password = kPassword;
    o.stream = false;
    o.rtspPort = 8554;
    m_sim = std::make_unique<RecorderSim>(o);
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_port = m_sim->httpPort();
}

void TestRecorderCgi::init()
{
    m_sim->runCommand(QStringLiteral("reset"), {});
    m_sim->stopRecording();
    m_sim->clearRecords();
    SetCgiGetOptionsForTesting(nullptr);
}

void TestRecorderCgi::cleanupTestCase()
{
    SetCgiGetOptionsForTesting(nullptr);
    m_sim.reset();
}

void TestRecorderCgi::productionBounds()
{
    const HttpGetOptions o = CgiGetOptions();
    QCOMPARE(o.connectTimeoutMs, 5000L);
    QCOMPARE(o.totalTimeoutMs, 30000L);
    QVERIFY(o.maxBodyBytes > 0);
}

void TestRecorderCgi::loginKeyAndItsUrl()
{
    const QString key = GetLoginKey(kAddress, m_port, kUser, kPassword);
    QCOMPARE(m_sim->loginKeys().size(), 1);
    QCOMPARE(key, m_sim->loginKeys().constLast());

    // Template order, the digest instead of the password, the user name
    // percent-encoded where it would break the URL, "&abc=" last.
    const QString target = lastTarget();
    const QString prefix
        = QStringLiteral("/cgi-bin/logon.cgi?username=%E8%80%81%E5%B8%88%20a%26b%2Bc%231%25&upswd=")
        + PasswordDigest(kPassword) + QStringLiteral("&abc=");
    QVERIFY2(target.startsWith(prefix), qPrintable(target));
    QVERIFY2(QRegularExpression(QStringLiteral("&abc=(0|[1-9][0-9]{0,4})$")).match(target).hasMatch(),
        qPrintable(target));
    QVERIFY(!target.contains(QStringLiteral("pa%20ss")));
    QCOMPARE(m_sim->requests().constLast().queryValue(QStringLiteral("username")), kUser);
}

void TestRecorderCgi::loginRefusals()
{
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, QStringLiteral("wrong")), QString());
    QCOMPARE(GetLoginKey(kAddress, m_port, QStringLiteral("other"), kPassword), QString());
    m_sim->setRefuseLogins(true);
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, kPassword), QString());
    QCOMPARE(m_sim->requests().size(), 3);
    QVERIFY(m_sim->loginKeys().isEmpty());
}

void TestRecorderCgi::loginReplyPieces_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("key");
    QTest::newRow("status 0") << QByteArray("0|KEY0") << "KEY0";
    QTest::newRow("status 7") << QByteArray("7|KEY7\r\n") << "KEY7";
    QTest::newRow("negative") << QByteArray("-2|KEY") << "";
    QTest::newRow("not a number") << QByteArray("x|KEYX") << "KEYX";
    QTest::newRow("one piece") << QByteArray("0") << "";
    QTest::newRow("minus one") << QByteArray("-1") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("nul before key") << QByteArray("0\0|KEY", 6) << "";
}

void TestRecorderCgi::loginReplyPieces()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, key);
    m_sim->setRawReply(QStringLiteral("logon"), reply);
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, kPassword), key);
}

void TestRecorderCgi::rtpModeDefaults()
{
    const RtpModeReply r = GetRTPMode(kAddress, m_port, kUser, kPassword);
    QCOMPARE(r.mode, QStringLiteral("0"));
    QCOMPARE(r.rtspPort, 8554);
    QCOMPARE(r.rtspOnlineCount, 0);
    const QString target = lastTarget();
    QVERIFY2(
        target.startsWith(QStringLiteral("/cgi-bin/plat/plat.cgi?action=24685&user=") + UrlSafeUserName(kUser)
            + QStringLiteral("&password=") + PasswordDigest(kPassword) + QStringLiteral("&abc=")),
        qPrintable(target));
}

void TestRecorderCgi::rtpModeFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // "-" leaves the field out
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("count");
    QTest::newRow("mode 1") << "RtpMode"
                            << "1"
                            << "1" << 8554 << 0;
    QTest::newRow("mode 2") << "RtpMode"
                            << "2"
                            << "" << 8554 << 0;
    QTest::newRow("no mode") << "RtpMode"
                             << "-"
                             << "" << 8554 << 0;
    QTest::newRow("error code 5") << "ErrorCode"
                                  << "5"
                                  << "" << 8554 << 0;
    QTest::newRow("no error code") << "ErrorCode"
                                   << "-"
                                   << "" << 8554 << 0;
    QTest::newRow("no port") << "RtspPort"
                             << "-"
                             << "0" << 554 << 0;
    QTest::newRow("port text") << "RtspPort"
                               << "eighty"
                               << "0" << 554 << 0;
    QTest::newRow("port 10554") << "RtspPort"
                                << "10554"
                                << "0" << 10554 << 0;
    QTest::newRow("no count") << "RtspOnlineCount"
                              << "-"
                              << "0" << 8554 << -1;
    QTest::newRow("count 9") << "RtspOnlineCount"
                             << "9"
                             << "0" << 8554 << 9;
    QTest::newRow("count text") << "RtspOnlineCount"
                                << "many"
                                << "0" << 8554 << 0;
}

void TestRecorderCgi::rtpModeFields()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, mode);
    QFETCH(int, port);
    QFETCH(int, count);
    m_sim->setReplyField(QStringLiteral("24685"), name,
        value == QLatin1String("-") ? std::nullopt : std::optional<QString>(value));
    const RtpModeReply r = GetRTPMode(kAddress, m_port, kUser, kPassword);
    QCOMPARE(r.mode, mode);
    QCOMPARE(r.rtspPort, port);
    QCOMPARE(r.rtspOnlineCount, count);
}

void TestRecorderCgi::startRecordUrlAndState()
{
    const RecordCommandReply r = StartRecord(kAddress, m_port, kUser, kPassword, 0, 1, 5);
    QVERIFY(r.ok);
    QCOMPARE(r.errorCode, QStringLiteral("0"));
    QVERIFY(m_sim->recording());
    const QString target = lastTarget();
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^/cgi-bin/plat/plat\\.cgi\\?action=24674&user=[^&]+&password=[0-9a-f]{32}"
                                "&ProgID=0&IsStartVob=1&TtileEnable=5&abc=\\d+$"))
                 .match(target)
                 .hasMatch(),
        qPrintable(target));
}

void TestRecorderCgi::startRecordNeedsRecActive2()
{
    m_sim->setReplyField(QStringLiteral("24674"), QStringLiteral("RECActive"), QStringLiteral("1"));
    RecordCommandReply r = StartRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorCode, QStringLiteral("0"));
    m_sim->setRawReply(QStringLiteral("24674"), "errorcode=0\nrecactive=2\n");
    r = StartRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0);
    QVERIFY(r.ok);
}

void TestRecorderCgi::stopRecordUrlAndState()
{
    m_sim->startRecording(QStringLiteral("x"));
    RecordCommandReply r = StopRecord(kAddress, m_port, kUser, kPassword, 2, 0, 7);
    QVERIFY(r.ok);
    QVERIFY(!m_sim->recording());
    QVERIFY2(lastTarget().contains(
                 QRegularExpression(QStringLiteral("&ProgID=2&IsStopVob=0&CreditEnable=7&abc=\\d+$"))),
        qPrintable(lastTarget()));
    // RECActive is not looked at when stopping.
    m_sim->setReplyField(QStringLiteral("24675"), QStringLiteral("RECActive"), std::nullopt);
    QVERIFY(StopRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0).ok);
    m_sim->setReplyField(QStringLiteral("24675"), QStringLiteral("ErrorCode"), QStringLiteral("9"));
    r = StopRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorCode, QStringLiteral("9"));
}

void TestRecorderCgi::saveCT()
{
    QVERIFY(SaveCT(kAddress, m_port, kUser, kPassword));
    QVERIFY(lastTarget().contains(
        QRegularExpression(QStringLiteral("^/cgi-bin/plat/plat\\.cgi\\?action=24687&user="
                                          "[^&]+&password=[0-9a-f]{32}&abc=\\d+$"))));
    m_sim->setReplyField(QStringLiteral("24687"), QStringLiteral("ErrorCode"), QStringLiteral("1"));
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword));
    m_sim->setReplyField(QStringLiteral("24687"), QStringLiteral("ErrorCode"), std::nullopt);
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword));
}

void TestRecorderCgi::wrongPasswordIsAFailure()
{
    QCOMPARE(GetRTPMode(kAddress, m_port, kUser, QStringLiteral("bad")).mode, QString());
    QVERIFY(!StartRecord(kAddress, m_port, kUser, QStringLiteral("bad"), 0, 0, 0).ok);
    QVERIFY(!m_sim->recording());
    QVERIFY(!SaveCT(kAddress, m_port, kUser, QString()));
}

void TestRecorderCgi::httpErrorStatusIsAFailure()
{
    for (const QString &key : { QStringLiteral("logon"), QStringLiteral("24685"), QStringLiteral("24674"),
             QStringLiteral("24675"), QStringLiteral("24687") })
        m_sim->setReplyStatus(key, 500);
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, kPassword), QString());
    const RtpModeReply mode = GetRTPMode(kAddress, m_port, kUser, kPassword);
    QCOMPARE(mode.mode, QString());
    QCOMPARE(mode.rtspPort, 554);
    QCOMPARE(mode.rtspOnlineCount, -1);
    const RecordCommandReply start = StartRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0);
    QVERIFY(!start.ok);
    QCOMPARE(start.errorCode, QString());
    QVERIFY(!StopRecord(kAddress, m_port, kUser, kPassword, 0, 0, 0).ok);
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword));
}

void TestRecorderCgi::hostileRepliesOverTheWire()
{
    const QList<QByteArray> replies = { QByteArray(), QByteArray::fromHex("00ff10ab0d0a3d3d"),
        QByteArray("ErrorCode=0\0RtpMode=1\r\n", 23), QByteArray("ErrorCode\r\nRtpMode\r\n"),
        QByteArray("=0\r\n=1\r\n") };
    for (const QByteArray &reply : replies) {
        m_sim->setRawReply(QStringLiteral("24685"), reply);
        const RtpModeReply r = GetRTPMode(kAddress, m_port, kUser, kPassword);
        QCOMPARE(r.mode, QString());
        QCOMPARE(r.rtspPort, 554);
        QCOMPARE(r.rtspOnlineCount, -1);
    }
}

void TestRecorderCgi::hugeReplyIsAFailure()
{
    m_sim->setRawReply(QStringLiteral("24685"), "ErrorCode=0\r\nRtpMode=1\r\n" + QByteArray(3 << 20, 'x'));
    QElapsedTimer t;
    t.start();
    QCOMPARE(GetRTPMode(kAddress, m_port, kUser, kPassword).mode, QString());
    QVERIFY(t.elapsed() < 5000);
}

void TestRecorderCgi::slowRecorderFailsWithinTheBound()
{
    m_sim->setReplyDelayMs(3000);
    QElapsedTimer t;
    t.start();
    const TextReply reply = DownloadURLToText(
        QStringLiteral("http://%1:%2/cgi-bin/plat/plat.cgi?action=24687").arg(kAddress).arg(m_port),
        shortBounds());
    QVERIFY(!reply.ok);
    QVERIFY(reply.timedOut);
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, kPassword, shortBounds()), QString());
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword, shortBounds()));
    QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));
    // A delay inside the bound is fine.
    m_sim->setReplyDelayMs(200);
    QVERIFY(SaveCT(kAddress, m_port, kUser, kPassword, shortBounds()));
}

void TestRecorderCgi::silentRecorderFailsWithinTheBound()
{
    m_sim->setHangUp(true);
    QElapsedTimer t;
    t.start();
    QCOMPARE(GetLoginKey(kAddress, m_port, kUser, kPassword, shortBounds()), QString());
    QCOMPARE(GetRTPMode(kAddress, m_port, kUser, kPassword, shortBounds()).rtspPort, 554);
    QVERIFY(t.elapsed() < 1500);
}

void TestRecorderCgi::absentRecorderFailsAtOnce()
{
    // Nothing listens on 127.0.0.2:1.
    QElapsedTimer t;
    t.start();
    const RtpModeReply r = GetRTPMode(kAddress, 1, kUser, kPassword);
    QCOMPARE(r.mode, QString());
    QCOMPARE(r.rtspPort, 554);
    QCOMPARE(r.rtspOnlineCount, -1);
    QCOMPARE(GetLoginKey(kAddress, 1, kUser, kPassword), QString());
    QVERIFY(!StartRecord(kAddress, 1, kUser, kPassword, 0, 0, 0).ok);
    QVERIFY(t.elapsed() < 2000);
}

void TestRecorderCgi::testBoundsApplyToEveryCall()
{
    const HttpGetOptions bounds = shortBounds();
    SetCgiGetOptionsForTesting(&bounds);
    QCOMPARE(CgiGetOptions().totalTimeoutMs, 600L);
    m_sim->setReplyDelayMs(3000);
    QElapsedTimer t;
    t.start();
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword));
    QVERIFY(t.elapsed() < 2000);
    SetCgiGetOptionsForTesting(nullptr);
    QCOMPARE(CgiGetOptions().totalTimeoutMs, 30000L);
}

void TestRecorderCgi::transportSpeaksOnlyHttp()
{
    // A recorder address is always http://; nothing else is fetched, even
    // when a broken setting makes the URL point elsewhere.
    HttpResult r = HttpGet(QStringLiteral("file:///etc/hostname"));
    QVERIFY(!r.ok);
    QVERIFY(r.body.isEmpty());
    m_sim->setReplyStatus(QStringLiteral("24687"), 302);
    QVERIFY(!SaveCT(kAddress, m_port, kUser, kPassword));
    HttpGetOptions capped;
    capped.maxBodyBytes = 10;
    m_sim->setRawReply(QStringLiteral("24685"), "ErrorCode=0\r\n");
    r = HttpGet(
        QStringLiteral("http://%1:%2/cgi-bin/plat/plat.cgi?action=24685").arg(kAddress).arg(m_port), capped);
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains(QStringLiteral("larger")));
    capped.maxBodyBytes = 13;
    QVERIFY(HttpGet(
        QStringLiteral("http://%1:%2/cgi-bin/plat/plat.cgi?action=24685").arg(kAddress).arg(m_port), capped)
                .ok);
}

void TestRecorderCgi::recorderRequestsIgnoreTheProxy()
{
    // The recorder is on the local network; a proxy named by the environment would see the
    // password digest and the login key, and could answer for the recorder.
    QTcpServer proxy;
    QVERIFY(proxy.listen(QHostAddress(QStringLiteral("127.0.0.3"))));
    const QByteArray proxyUrl = "http://127.0.0.3:" + QByteArray::number(proxy.serverPort());
    const char *const variables[] = { "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY" };
    for (const char *name : variables)
        qputenv(name, proxyUrl);
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    const auto restore = qScopeGuard([&] {
        for (const char *name : variables)
            qunsetenv(name);
    });
    const HttpGetOptions bounds = shortBounds();
    SetCgiGetOptionsForTesting(&bounds);
    QVERIFY(SaveCT(kAddress, m_port, kUser, kPassword));
    QVERIFY(!GetLoginKey(kAddress, m_port, kUser, kPassword).isEmpty());
    QVERIFY(!proxy.waitForNewConnection(200));
    QVERIFY(!proxy.hasPendingConnections());
}

QTEST_GUILESS_MAIN(TestRecorderCgi)
#include "tst_recorder_cgi.moc"
