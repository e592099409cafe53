// The simulated resource platform: the login pages, the upload service and
// its failure switches.
#include "HttpTransport.h"
#include "PlatformSim.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

namespace {
const QHostAddress kAddress(QStringLiteral("127.0.0.61"));

PlatformSimOptions at(const QHostAddress &address)
{
    PlatformSimOptions options;
    options.address = address;
    return options;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray readReply(QTcpSocket &socket)
{
    QByteArray reply;
    while (socket.waitForReadyRead(3000)) {
        reply += socket.readAll();
        const qsizetype end = reply.indexOf("\r\n\r\n");
        const qsizetype lengthAt = reply.indexOf("Content-Length: ");
        if (end > 0 && lengthAt > 0 && lengthAt < end) {
            const int length
                = reply.mid(lengthAt + 16, reply.indexOf("\r\n", lengthAt) - lengthAt - 16).toInt();
            if (reply.size() >= end + 4 + length)
                break;
        }
    }
    return reply;
}
} // namespace

class TestPlatformSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void loginPageShowsDecodedNames();
    void loginFormEndsOnFinishAddress();

    void uploadStreamsToDisk();
    void uploadVerdictsInOrder();
    void uploadWithoutFile1IsRefused();
    void expectContinueAndKeepAlive();
    void discardCountsBytes();

    void refusesOtherAddresses();
    void executableHelp();

private:
    QTemporaryDir m_dir;
    QString m_bigFile;
    QByteArray m_bigData;
};

void TestPlatformSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Random bytes plus the strings a careless parser stumbles on.
    m_bigData = randomBytes(3 * 1024 * 1024 + 17);
    m_bigData.insert(1000, "\r\n--");
    m_bigData.insert(70000, "\r\n--------------------------\r\n");
    m_bigFile = m_dir.filePath(QStringLiteral("课堂_20150301093000.mp4"));
    QFile file(m_bigFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(m_bigData);
}

void TestPlatformSim::loginPageShowsDecodedNames()
{
    PlatformSim sim(at(kAddress));
    QVERIFY(sim.start());
    const HttpResult page = HttpGet(sim.baseUrl()
        + QStringLiteral("/tools/qurelclient/CLIENTLOGIN.aspx?GUID=aa|bb|cc"
                         "&NAME=%E6%95%B0%E5%AD%A6|Unit+3|%3Cb%3E"));
    QVERIFY2(page.ok, qPrintable(page.error));
    const QString html = QString::fromUtf8(page.body);
    QVERIFY(html.contains(QStringLiteral("<td class=\"name\">数学</td>")));
    QVERIFY(html.contains(QStringLiteral("<td class=\"name\">Unit 3</td>")));
    QVERIFY(html.contains(QStringLiteral("&lt;b&gt;")));
    QVERIFY(html.contains(QStringLiteral("<td class=\"guid\">bb</td>")));
    QVERIFY(html.contains(QStringLiteral("id=\"frmLogin\"")));
    const QList<LoginVisit> logins = sim.logins();
    QCOMPARE(logins.size(), 1);
    QCOMPARE(
        logins[0].guids, QStringList({ QStringLiteral("aa"), QStringLiteral("bb"), QStringLiteral("cc") }));
    QCOMPARE(logins[0].names.value(2), QStringLiteral("<b>"));
    QVERIFY(!HttpGet(sim.baseUrl() + QStringLiteral("/other")).ok);
}

void TestPlatformSim::loginFormEndsOnFinishAddress()
{
    PlatformSimOptions options = at(kAddress);
    options.finishQuery = QStringLiteral("FINISH=1");
    PlatformSim sim(options);
    QVERIFY(sim.start());
    QTcpSocket socket;
    socket.connectToHost(kAddress, sim.port());
    QVERIFY(socket.waitForConnected(3000));
    socket.write("POST /Tools/QuRelClient/ClientLogin.aspx HTTP/1.1\r\nHost: x\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 11\r\n\r\nuser=a&pw=b");
    const QByteArray reply = readReply(socket);
    QVERIFY2(reply.startsWith("HTTP/1.1 302"), reply.constData());
    QVERIFY(reply.contains("Location: /Tools/QuRelClient/ClientLogin.aspx?FINISH=1\r\n"));
    // The same connection then serves the finish page.
    socket.write("GET /Tools/QuRelClient/ClientLogin.aspx?FINISH=1 HTTP/1.1\r\nHost: x\r\n\r\n");
    const QByteArray finish = readReply(socket);
    QVERIFY(finish.startsWith("HTTP/1.1 200"));
    QVERIFY(QString::fromUtf8(finish).contains(QStringLiteral("登录成功")));
    QVERIFY(sim.logins().isEmpty());
}

void TestPlatformSim::uploadStreamsToDisk()
{
    PlatformSim sim(at(kAddress));
    QVERIFY(sim.start());
    const HttpResult result = PostFile(
        sim.baseUrl() + QStringLiteral("/tools/qurelclient/clientuploadfile.aspx?guid=abc&filetype=1"),
        QStringLiteral("file1"), m_bigFile, QStringLiteral("video/mpeg"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.body, QByteArray("ErrorCode=0"));
    QCOMPARE(result.contentType, QByteArray("text/plain; charset=utf-8"));
    const QList<ReceivedUpload> uploads = sim.uploads();
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads[0].guid, QStringLiteral("abc"));
    QCOMPARE(uploads[0].fileType, 1);
    QCOMPARE(uploads[0].fileName, QStringLiteral("课堂_20150301093000.mp4"));
    QVERIFY(uploads[0].complete);
    QCOMPARE(uploads[0].size, m_bigData.size());
    QFile saved(uploads[0].savedPath);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == m_bigData);
}

void TestPlatformSim::uploadVerdictsInOrder()
{
    PlatformSim sim(at(kAddress));
    QVERIFY(sim.start());
    sim.queueVerdict(UploadVerdict::Refuse(QStringLiteral("A")));
    sim.queueVerdict(UploadVerdict::Drop());
    const QString url
        = sim.baseUrl() + QStringLiteral("/tools/qurelclient/clientuploadfile.aspx?guid=g&filetype=2");
    const auto post
        = [&] { return PostFile(url, QStringLiteral("file1"), m_bigFile, QStringLiteral("video/mpeg")); };
    QCOMPARE(post().body, QByteArray("ErrorCode=1\r\nMessage=A"));
    const HttpResult dropped = post();
    QVERIFY(!dropped.ok);
    QVERIFY(dropped.curlCode != 0);
    QCOMPARE(post().body, QByteArray("ErrorCode=0"));
    const QList<ReceivedUpload> uploads = sim.uploads();
    QCOMPARE(uploads.size(), 3);
    QCOMPARE(uploads[0].verdict, UploadVerdict::Kind::Refuse);
    QCOMPARE(uploads[1].verdict, UploadVerdict::Kind::Drop);
    QVERIFY(!uploads[1].complete);
    QCOMPARE(uploads[2].verdict, UploadVerdict::Kind::Accept);
    QVERIFY(uploads[2].complete);
}

void TestPlatformSim::uploadWithoutFile1IsRefused()
{
    PlatformSim sim(at(kAddress));
    QVERIFY(sim.start());
    const HttpResult result = PostFile(
        sim.baseUrl() + QStringLiteral("/tools/qurelclient/clientuploadfile.aspx?guid=g&filetype=1"),
        QStringLiteral("image"), m_bigFile, QStringLiteral("video/mpeg"));
    QVERIFY(result.ok);
    QVERIFY(result.body.startsWith("ErrorCode=1\r\nMessage="));
    QCOMPARE(sim.uploads().value(0).fieldName, QByteArray("image"));
}

void TestPlatformSim::expectContinueAndKeepAlive()
{
    PlatformSim sim(at(kAddress));
    QVERIFY(sim.start());
    QTcpSocket socket;
    socket.connectToHost(kAddress, sim.port());
    QVERIFY(socket.waitForConnected(3000));
    const QByteArray body
        = "--XY\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"a.jpg\"\r\n\r\n"
          "JPEGDATA\r\n--XY--\r\n";
    socket.write("POST /tools/qurelclient/clientuploadfile.aspx?guid=q&filetype=2 HTTP/1.1\r\nHost: x\r\n"
                 "Expect: 100-continue\r\nContent-Type: multipart/form-data; boundary=XY\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n");
    QVERIFY(socket.waitForReadyRead(3000));
    QCOMPARE(socket.readAll(), QByteArray("HTTP/1.1 100 Continue\r\n\r\n"));
    socket.write(body);
    QVERIFY(readReply(socket).endsWith("\r\n\r\nErrorCode=0"));
    // A second request on the same connection.
    socket.write("GET /Tools/QuRelClient/ClientLogin.aspx?GUID=z&NAME=n HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(readReply(socket).startsWith("HTTP/1.1 200"));
    QCOMPARE(sim.uploads().value(0).size, 8);
    QCOMPARE(sim.logins().size(), 1);
}

void TestPlatformSim::discardCountsBytes()
{
    PlatformSimOptions options = at(kAddress);
    options.keepFiles = false;
    PlatformSim sim(options);
    QVERIFY(sim.start());
    const HttpResult result = PostFile(
        sim.baseUrl() + QStringLiteral("/tools/qurelclient/clientuploadfile.aspx?guid=g&filetype=1"),
        QStringLiteral("file1"), m_bigFile, QStringLiteral("video/mpeg"));
    QVERIFY(result.ok);
    QCOMPARE(sim.uploads().value(0).size, m_bigData.size());
    QVERIFY(sim.uploads().value(0).savedPath.isEmpty());
    QVERIFY(QDir(sim.storageDir()).isEmpty());
}

void TestPlatformSim::refusesOtherAddresses()
{
    PlatformSim sim(at(QHostAddress(QStringLiteral("0.0.0.0"))));
    QString error;
    QVERIFY(!sim.start(&error));
    QVERIFY(error.contains(QStringLiteral("loopback")));
}

void TestPlatformSim::executableHelp()
{
    QProcess process;
    process.start(QStringLiteral(QUREL_PROGRAM_DIR "/qurel-platform-sim"), { QStringLiteral("--help") });
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY(help.contains(QStringLiteral("--refuse")));
    QVERIFY(help.contains(QStringLiteral("clientuploadfile.aspx")));
}

QTEST_GUILESS_MAIN(TestPlatformSim)
#include "tst_platform_sim.moc"
