// The simulated recorder itself, on 127.0.0.4 (in process) and 127.0.0.5
// (the executable): control channel, lesson script, admin commands, image
// uploads and the failure switches other tests rely on.

#include "HttpTransport.h"
#include "Md5.h"
#include "RecorderSim.h"

#include <QImage>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

namespace {
const QString kAddress = QStringLiteral("127.0.0.4");

RecorderSimOptions simOptions()
{
    RecorderSimOptions o;
    o.address = QHostAddress(kAddress);
    o.stream = false;
    return o;
}

// A control-channel client that gathers what the recorder sends.
struct ControlClient
{
    QTcpSocket socket;
    QByteArray received;

    bool connectTo(const QString &address, quint16 port = 18884)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(address, port);
        return socket.waitForConnected(2000);
    }
};

QString http(const RecorderSim &sim, const QString &pathAndQuery)
{
    const HttpResult r
        = HttpGet(QStringLiteral("http://%1:%2%3").arg(sim.address()).arg(sim.httpPort()).arg(pathAndQuery));
    return QString::fromUtf8(r.body);
}

QString writeBmp(const QString &folder, const QString &name, int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    image.fill(0);
    const QString path = folder + QLatin1Char('/') + name;
    return image.save(path, "BMP") ? path : QString();
}
} // namespace

class TestRecorderSim : public QObject
{
    Q_OBJECT
private slots:
    void refusesNonLoopbackAddresses();
    void reportsABusyControlPort();
    void controlChannelNoticesAndClientLines();
    void cgiStartAndStopSendNotices();
    void lessonScriptRunsFromTheFirstClient();
    void parseLesson();
    void controlFailureSwitches();
    void adminCommandsOverHttp();
    void imageUploads();
    void executableHelpAndCommands();
};

void TestRecorderSim::refusesNonLoopbackAddresses()
{
    RecorderSimOptions o = simOptions();
    o.address = QHostAddress(QStringLiteral("192.0.2.1"));
    RecorderSim sim(o);
    QString error;
    QElapsedTimer t;
    t.start();
    QVERIFY(!sim.start(&error));
    QVERIFY(t.elapsed() < 1000);
    QVERIFY2(error.contains(QStringLiteral("loopback")), qPrintable(error));
}

void TestRecorderSim::reportsABusyControlPort()
{
    RecorderSim first(simOptions());
    QVERIFY(first.start());
    RecorderSimOptions o = simOptions();
    o.busyWaitMs = 500;
    RecorderSim second(o);
    QString error;
    QElapsedTimer t;
    t.start();
    QVERIFY(!second.start(&error));
    QVERIFY(t.elapsed() >= 500);
    QVERIFY2(error.contains(QStringLiteral("18884")), qPrintable(error));
}

void TestRecorderSim::controlChannelNoticesAndClientLines()
{
    RecorderSim sim(simOptions());
    QVERIFY(sim.start());
    ControlClient a;
    ControlClient b;
    QVERIFY(a.connectTo(kAddress));
    QVERIFY(b.connectTo(kAddress));
    QTRY_COMPARE(sim.controlClientCount(), 2);

    a.socket.write("mark=start_server\r\n");
    a.socket.write("mark=li");
    a.socket.flush();
    QTest::qWait(50);
    a.socket.write("ve\r\nmark=live\n");
    QTRY_COMPARE(sim.controlLines().size(), 3);
    QCOMPARE(sim.controlLines().at(0).line, QByteArray("mark=start_server"));
    QCOMPARE(sim.controlLines().at(1).line, QByteArray("mark=live"));
    QCOMPARE(sim.controlLines().at(0).client, 1);

    sim.startRecording(QStringLiteral("课"));
    QVERIFY(sim.recording());
    QTRY_COMPARE(a.received, QByteArray("mark=start_record,Title=E8AFBE\r\n"));
    QTRY_COMPARE(b.received, QByteArray("mark=start_record,Title=E8AFBE\r\n"));
    sim.startRecording(QStringLiteral("again")); // already recording: no second notice
    sim.stopRecording();
    QTRY_COMPARE(a.received, QByteArray("mark=start_record,Title=E8AFBE\r\nmark=stop_record\r\n"));
    sim.stopRecording();
    sim.sendControl("mark=stop_re");
    QTRY_VERIFY(b.received.endsWith("mark=stop_record\r\nmark=stop_re"));
}

void TestRecorderSim::cgiStartAndStopSendNotices()
{
    QMutex logMutex;
    QStringList log;
    RecorderSimOptions o = simOptions();
    o.log = [&](const QString &text) {
        QMutexLocker lock(&logMutex);
        log.append(text);
    };
    RecorderSim sim(o);
    QVERIFY(sim.start());
    ControlClient client;
    QVERIFY(client.connectTo(kAddress));
    QTRY_COMPARE(sim.controlClientCount(), 1);
    const QString auth = QStringLiteral("&user=admin&password=") + PasswordDigest(QStringLiteral("admin"));
    QCOMPARE(http(sim, QStringLiteral("/cgi-bin/plat/plat.cgi?action=24674") + auth),
        QStringLiteral("ErrorCode=0\r\nRECActive=2\r\n"));
    QTRY_COMPARE(client.received,
        "mark=start_record,Title=" + QStringLiteral("示范课").toUtf8().toHex().toUpper() + "\r\n");
    QCOMPARE(http(sim, QStringLiteral("/cgi-bin/plat/plat.cgi?action=24675") + auth),
        QStringLiteral("ErrorCode=0\r\nRECActive=0\r\n"));
    QTRY_VERIFY(client.received.endsWith("mark=stop_record\r\n"));
    QCOMPARE(http(sim, QStringLiteral("/cgi-bin/plat/plat.cgi?action=99999") + auth),
        QStringLiteral("ErrorCode=-2\r\n"));
    QCOMPARE(http(sim, QStringLiteral("/cgi-bin/plat/plat.cgi?action=24674&user=admin&password=admin")),
        QStringLiteral("ErrorCode=-1\r\n"));
    QVERIFY(!sim.recording());
    QMutexLocker lock(&logMutex);
    QVERIFY(log.contains(QStringLiteral("control 1: connected")));
    QVERIFY(
        log.filter(QStringLiteral("http: GET /cgi-bin/plat/plat.cgi?action=24674&user=admin")).size() == 2);
    QVERIFY(log.filter(QStringLiteral("to 1 control client(s): mark=start_record,Title=")).size() == 1);
}

void TestRecorderSim::lessonScriptRunsFromTheFirstClient()
{
    RecorderSimOptions o = simOptions();
    o.lessons = { { 0.3, 0.8, QStringLiteral("课 1") }, { 1.0, 1.2, QString() } };
    RecorderSim sim(o);
    QVERIFY(sim.start());
    QTest::qWait(500);
    QVERIFY(!sim.recording()); // the script waits for a client
    ControlClient client;
    QVERIFY(client.connectTo(kAddress));
    QElapsedTimer t;
    t.start();
    QTRY_VERIFY(client.received.contains("mark=start_record"));
    QVERIFY(t.elapsed() >= 250);
    QCOMPARE(client.received,
        "mark=start_record,Title=" + QStringLiteral("课 1").toUtf8().toHex().toUpper() + "\r\n");
    QTRY_VERIFY(client.received.endsWith("mark=stop_record\r\n"));
    QTRY_COMPARE(client.received.count("mark=start_record,Title=\r\n"), 1);
    QTRY_COMPARE(client.received.count("mark=stop_record"), 2);
}

void TestRecorderSim::parseLesson()
{
    auto step = ParseLesson(QStringLiteral("5,65,数学, 第一课"));
    QVERIFY(step);
    QCOMPARE(step->startSec, 5.0);
    QCOMPARE(step->stopSec, 65.0);
    QCOMPARE(step->title, QStringLiteral("数学, 第一课"));
    QVERIFY(ParseLesson(QStringLiteral("0.5,1.5,")));
    QVERIFY(!ParseLesson(QStringLiteral("5,3,x")));
    QVERIFY(!ParseLesson(QStringLiteral("5,x")));
    QVERIFY(!ParseLesson(QStringLiteral("a,5,x")));
    QVERIFY(!ParseLesson(QStringLiteral("-1,5,x")));
}

void TestRecorderSim::controlFailureSwitches()
{
    RecorderSim sim(simOptions());
    QVERIFY(sim.start());
    ControlClient client;
    QVERIFY(client.connectTo(kAddress));
    QTRY_COMPARE(sim.controlClientCount(), 1);
    sim.closeControlConnections();
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(sim.controlClientCount(), 0);

    sim.setRefuseControl(true);
    ControlClient refused;
    refused.connectTo(kAddress);
    QTRY_COMPARE(refused.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(sim.controlClientCount(), 0);
    sim.setRefuseControl(false);
    ControlClient again;
    QVERIFY(again.connectTo(kAddress));
    QTRY_COMPARE(sim.controlClientCount(), 1);
}

void TestRecorderSim::adminCommandsOverHttp()
{
    RecorderSim sim(simOptions());
    QVERIFY(sim.start());
    ControlClient client;
    QVERIFY(client.connectTo(kAddress));
    QTRY_COMPARE(sim.controlClientCount(), 1);
    QCOMPARE(http(sim, QStringLiteral("/admin/start?title=%E8%AF%BE")), QStringLiteral("ok\n"));
    QTRY_COMPARE(client.received, QByteArray("mark=start_record,Title=E8AFBE\r\n"));
    QVERIFY(http(sim, QStringLiteral("/admin/state")).contains(QStringLiteral("recording=1")));
    QCOMPARE(http(sim, QStringLiteral("/admin/stop")), QStringLiteral("ok\n"));
    QVERIFY(!sim.recording());

    const QString logon = QStringLiteral("/cgi-bin/logon.cgi?username=admin&upswd=")
        + PasswordDigest(QStringLiteral("admin"));
    QVERIFY(http(sim, logon).startsWith(QStringLiteral("0|")));
    QCOMPARE(http(sim, QStringLiteral("/admin/refuse-logins?v=on")), QStringLiteral("ok\n"));
    QCOMPARE(http(sim, logon), QStringLiteral("-1"));
    QCOMPARE(http(sim, QStringLiteral("/admin/raw?key=logon&text=7%7CK%5Cr%5Cn")), QStringLiteral("ok\n"));
    QCOMPARE(http(sim, logon), QStringLiteral("7|K\r\n"));
    QCOMPARE(http(sim, QStringLiteral("/admin/field?k=24687&n=Extra&v=1")), QStringLiteral("ok\n"));
    const QString auth = QStringLiteral("&user=admin&password=") + PasswordDigest(QStringLiteral("admin"));
    QCOMPARE(http(sim, QStringLiteral("/cgi-bin/plat/plat.cgi?action=24687") + auth),
        QStringLiteral("ErrorCode=0\r\nExtra=1\r\n"));
    QCOMPARE(http(sim, QStringLiteral("/admin/send?t=mark=live%5Cr%5Cn")), QStringLiteral("ok\n"));
    QTRY_VERIFY(client.received.endsWith("mark=live\r\n"));
    QCOMPARE(http(sim, QStringLiteral("/admin/reset")), QStringLiteral("ok\n"));
    QVERIFY(http(sim, logon).startsWith(QStringLiteral("0|")));

    const HttpResult bad
        = HttpGet(QStringLiteral("http://%1:%2/admin/nonsense").arg(kAddress).arg(sim.httpPort()));
    QVERIFY(!bad.ok);
    QCOMPARE(bad.status, 400L);
    QVERIFY(http(sim, QStringLiteral("/admin/delay?ms=x")).startsWith(QStringLiteral("error")));
    // Admin requests are not part of what the recorder received.
    for (const SimRequest &r : sim.requests())
        QVERIFY(!r.path.startsWith(QStringLiteral("/admin")));
    QCOMPARE(sim.requestsTo(QStringLiteral("logon.cgi")).size(), 4);
}

void TestRecorderSim::imageUploads()
{
    RecorderSim sim(simOptions());
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString head = writeBmp(dir.path(), QStringLiteral("Head.bmp"), 720, 405, QImage::Format_RGB888);
    const QString small = writeBmp(dir.path(), QStringLiteral("Small.bmp"), 100, 50, QImage::Format_RGB888);
    const QString deep = writeBmp(dir.path(), QStringLiteral("Deep.bmp"), 720, 405, QImage::Format_Indexed8);
    QVERIFY(!head.isEmpty() && !small.isEmpty() && !deep.isEmpty());
    const QString base = QStringLiteral("http://%1:%2/cgi-bin/").arg(kAddress).arg(sim.httpPort());

    qint64 lastSent = 0;
    PostFileOptions options;
    options.progress = [&](std::int64_t sent, std::int64_t) {
        lastSent = sent;
        return true;
    };
    HttpResult r = PostFile(base + QStringLiteral("uploadtitlefile.cgi"), QStringLiteral("image"), head,
        MimeTypeForFile(head), options);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.body.contains("value='0'"));
    QVERIFY(lastSent > 720 * 405 * 3);
    QCOMPARE(sim.uploads().size(), 1);
    const SimUpload up = sim.uploads().constFirst();
    QVERIFY2(up.accepted, qPrintable(up.reason));
    QCOMPARE(up.kind, QStringLiteral("title"));
    QCOMPARE(up.fieldName, QByteArray("image"));
    QCOMPARE(up.fileName, QByteArray("Head.bmp"));
    QCOMPARE(up.contentType, QByteArray("image/bmp"));
    QCOMPARE(up.transferEncoding, QByteArray("binary"));
    QFile sent(head);
    QFile kept(up.savedPath);
    QVERIFY(sent.open(QIODevice::ReadOnly) && kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), sent.readAll());
    QCOMPARE(QFileInfo(up.savedPath).fileName(), QStringLiteral("title.bmp"));

    // What the recorder cannot show is refused, with the reason kept for the test.
    r = PostFile(base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("image"), small,
        MimeTypeForFile(small));
    QVERIFY(r.ok && r.body.contains("value='-1'") && !r.body.contains("value='0'"));
    QVERIFY(sim.uploads().constLast().reason.contains(QStringLiteral("720x405")));
    r = PostFile(
        base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("image"), deep, MimeTypeForFile(deep));
    QVERIFY(r.body.contains("value='-1'"));
    QVERIFY(sim.uploads().constLast().reason.contains(QStringLiteral("24")));
    r = PostFile(
        base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("file1"), head, MimeTypeForFile(head));
    QVERIFY(r.body.contains("value='-1'"));
    sim.setRefuseUploads(true);
    r = PostFile(
        base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("image"), head, MimeTypeForFile(head));
    QVERIFY(r.body.contains("value='-1'"));
    sim.setRefuseUploads(false);
    r = PostFile(
        base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("image"), head, MimeTypeForFile(head));
    QVERIFY(r.body.contains("value='0'"));
    QCOMPARE(sim.uploads().constLast().kind, QStringLiteral("credit"));
    QVERIFY(QFileInfo::exists(sim.uploadDir() + QStringLiteral("/credit.bmp")));
    // A missing file is not sent at all.
    r = PostFile(base + QStringLiteral("uploadcreditfile.cgi"), QStringLiteral("image"),
        dir.filePath(QStringLiteral("none.bmp")), QStringLiteral("image/bmp"));
    QVERIFY(!r.ok);
    QCOMPARE(sim.uploads().size(), 6);
}

void TestRecorderSim::executableHelpAndCommands()
{
    const QString exe = QStringLiteral(QUREL_BINARY_DIR "/sim/qurel-recorder-sim");
    QProcess help;
    help.start(exe, { QStringLiteral("--help") });
    QVERIFY(help.waitForFinished(10000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char *option : { "--address", "--http-port", "--lesson", "--two-slices", "--refuse-logins",
             "--delay", "--audio", "pcma", "--video", "h265", "--loss", "pause-stream", "close-control",
             "/admin/" })
        QVERIFY2(text.contains(QLatin1String(option)), option);

    QProcess bad;
    bad.start(exe,
        { QStringLiteral("--address"), QStringLiteral("127.0.0.5"), QStringLiteral("--lesson"),
            QStringLiteral("9,3,x") });
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);

    QProcess sim;
    sim.start(exe,
        { QStringLiteral("--address"), QStringLiteral("127.0.0.5"), QStringLiteral("--http-port"),
            QStringLiteral("0"), QStringLiteral("--no-stream") });
    QVERIFY(sim.waitForStarted(5000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += sim.readAll()).contains("HTTP http://127.0.0.5:"), 5000);
    const auto port
        = QRegularExpression(QStringLiteral("http://127.0.0.5:(\\d+)/")).match(QString::fromUtf8(out));
    QVERIFY(port.hasMatch());
    const QString state = QStringLiteral("http://127.0.0.5:%1/admin/state").arg(port.captured(1));
    ControlClient client;
    QVERIFY(client.connectTo(QStringLiteral("127.0.0.5")));
    QTRY_VERIFY(HttpGet(state).body.contains("control-clients=1"));
    sim.write("start 课\n");
    QTRY_COMPARE(client.received, QByteArray("mark=start_record,Title=E8AFBE\r\n"));
    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
}

QTEST_MAIN(TestRecorderSim)
#include "tst_recorder_sim.moc"
