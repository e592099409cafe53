// The client's main job end to end, offscreen: the simulated recorder on
// 127.0.0.20 announces lessons on its control channel and streams RTSP; the
// main window records them through the relay library into the recordings
// folder and finishes each with its information file and thumbnail.
#include "Configs.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PointAtSim.h"
#include "ProgramFolder.h"
#include "RecorderSim.h"
#include "RecordingsStore.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace Qurel;

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.20");
const QString kUnusedAddress = QStringLiteral("127.0.0.39"); // nothing listens there

struct Boxes
{
    QStringList texts;
    bool answer = true;
    Boxes()
    {
        SetMsgHandler([this](const MsgRequest &r) {
            texts << r.text;
            return answer;
        });
    }
    ~Boxes() { SetMsgHandler({}); }
};

double probeSeconds(const QString &file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", { "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file });
    if (!ffprobe.waitForFinished(20000) || ffprobe.exitCode() != 0)
        return -1;
    return ffprobe.readAllStandardOutput().trimmed().toDouble();
}

QList<QByteArray> linesOf(const RecorderSim &sim, int client)
{
    QList<QByteArray> lines;
    for (const ControlLine &line : sim.controlLines())
        if (line.client == client)
            lines << line.line;
    return lines;
}

QStringList actions(const RecorderSim &sim)
{
    QStringList out;
    for (const SimRequest &r : sim.requests())
        out << (r.path.endsWith("logon.cgi") ? QStringLiteral("logon") : r.queryValue("action"));
    return out;
}

} // namespace

// The control connection is up and the simulated recorder sees the client.
#define WAIT_CONNECTED(frm, sim)                                                                             \
    QTRY_VERIFY_WITH_TIMEOUT((sim).controlClientCount() > 0 && (frm).csMain                                  \
            && (frm).csMain->state() == QAbstractSocket::ConnectedState,                                     \
        10000)

// Recording needs the simulated recorder's RTSP stream, the relay library and makePic.
#define REQUIRE_STREAM(sim)                                                                                  \
    if (!(sim).streamAvailable() || !QFileInfo::exists(ProgramFolder() + "makePic"))                         \
    QSKIP("no RTSP stream or no makePic in this build")

class TestRecordingWorkflow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_recordings;

    std::unique_ptr<RecorderSim> startSim(QList<LessonStep> lessons = {})
    {
        RecorderSimOptions options;
        options.address = QHostAddress(kSimAddress);
        options.lessons = std::move(lessons);
        auto sim = std::make_unique<RecorderSim>(options);
        QString error;
        if (!sim->start(&error))
            qWarning() << "simulated recorder:" << error;
        return sim;
    }

    void pointAt(const RecorderSim &sim, bool autoRec)
    {
        QurelTest::PointClientAt(sim, m_recordings.path(), autoRec);
    }

    static void checkFinishedFiles(
        const QString &mp4, const QDateTime &started, double minSeconds, double maxSeconds)
    {
        QVERIFY2(QFileInfo::exists(mp4), qPrintable(mp4));
        const double length = probeSeconds(mp4);
        QVERIFY2(length >= minSeconds && length <= maxSeconds,
            qPrintable(
                QString("duration %1, expected %2 to %3").arg(length).arg(minSeconds).arg(maxSeconds)));

        QFile axt(ImageSidePath(mp4, ".axt"));
        QVERIFY(axt.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = axt.readAll().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(
            QRegularExpression("^\\{[0-9A-F-]{36}\\}\r$").match(QString::fromLatin1(lines[0])).hasMatch());
        // "视频开始录制时间：" in GBK, then the start time.
        QCOMPARE(lines[1],
            QByteArray("\xca\xd3\xc6\xb5\xbf\xaa\xca\xbc\xc2\xbc\xd6\xc6\xca\xb1\xbc\xe4\xa3\xba")
                + started.toString("yyyy-MM-dd HH:mm:ss").toLatin1() + "\r");
        QVERIFY(!QFileInfo::exists(ImageSidePath(mp4, ".txt")));

        const QImage thumb(ImageSidePath(mp4, ".jpg"), "JPG");
        QCOMPARE(thumb.size(), QSize(720, 405));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_recordings.isValid());
        // makePic and WithoutPic.jpg sit in the program folder.
        SetProgramFolderForTesting(QUREL_PROGRAM_DIR);
    }

    void cleanup()
    {
        QDir(m_recordings.path()).removeRecursively();
        QDir().mkpath(m_recordings.path());
    }

    void aLessonOnTheRecorderLeavesThreeFiles()
    {
        auto sim = startSim({ { 1.0, 8.0, QStringLiteral("课") } });
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        WAIT_CONNECTED(frm, *sim);
        QCOMPARE(frm.lblStatus->text(), QString("已成功连接到录播机"));
        QVERIFY(frm.btnStartRec->isHidden());

        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording, 8000);
        const QDateTime started = frm.FRecStartTime;
        const QString mp4 = frm.FRecFileName;
        QVERIFY2(QRegularExpression("/课_\\d{14}\\.mp4$").match(mp4).hasMatch(), qPrintable(mp4));
        QCOMPARE(QFileInfo(mp4).path(), m_recordings.path());
        QVERIFY(frm.lblLookBack->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(frm.lblTiming->text(), QString("00:00:01"), 3000);
        QCOMPARE(frm.lblStatus->text(), QString("正在录制中，已录制时长："));
        QVERIFY(!frm.lblTiming->isHidden());

        // The mode, then the key: the order of the RTSP address query.
        QCOMPARE(actions(*sim), (QStringList { "24685", "logon" }));

        QTRY_VERIFY_WITH_TIMEOUT(!frm.FRecording, 20000);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(frm.lblTiming->text(), QString("00:00:00"));
        QVERIFY(frm.lblTiming->isHidden());
        QVERIFY(frm.lblStatus->isHidden());
        // A 7-second lesson, less the time the start took.
        checkFinishedFiles(mp4, started, 3.0, 7.5);

        // The client's lines: the greeting first, then heartbeats every 8 s.
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(*sim, 1).size() >= 2, 12000);
        const QList<QByteArray> lines = linesOf(*sim, 1);
        QCOMPARE(lines.first(), QByteArray("mark=start_server"));
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(lines[i], QByteArray("mark=live"));
        const QList<ControlLine> all = sim->controlLines();
        QVERIFY(all[1].atMs - all[0].atMs >= 7000);
    }

    void closingWhileRecordingAsksAndFinishes()
    {
        auto sim = startSim();
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        frm.show();
        WAIT_CONNECTED(frm, *sim);
        sim->startRecording(QStringLiteral("关闭"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording, 8000);
        const QString mp4 = frm.FRecFileName;
        QTest::qWait(2500);

        boxes.answer = false;
        QVERIFY(!frm.close());
        QVERIFY(frm.FRecording);
        QCOMPARE(boxes.texts,
            QStringList { "视频正在录制中，关闭软件不会关闭录播机录播状态，但软件生成的视频只会记录到此刻，是"
                          "否确定要关闭？" });

        boxes.answer = true;
        QVERIFY(frm.close());
        QVERIFY(!frm.FRecording);
        QCOMPARE(boxes.texts.size(), 2);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QCOMPARE(QImage(ImageSidePath(mp4, ".jpg")).size(), QSize(720, 405));
        // The recorder itself was not told to stop.
        QVERIFY(sim->recording());
    }

    void noticesSplitOverReadsAndRepeatedStarts()
    {
        auto sim = startSim();
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        WAIT_CONNECTED(frm, *sim);
        sim->sendControl("mark=start_record,Title=E8AF");
        QTest::qWait(300);
        QVERIFY(!frm.FRecording);
        sim->sendControl("BE\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording, 8000);
        const QString mp4 = frm.FRecFileName;
        QVERIFY(QFileInfo(mp4).fileName().startsWith("课_"));

        // A second start while recording is ignored: no new queries, same file.
        sim->clearRecords();
        sim->sendControl("mark=start_record,Title=41\r\n");
        QTest::qWait(500);
        QVERIFY(sim->requests().isEmpty());
        QCOMPARE(frm.FRecFileName, mp4);

        // Only the first mark of a batch counts; values are exact.
        sim->sendControl("mark=live\r\nmark=stop_record\r\n");
        sim->sendControl("mark=STOP_RECORD\r\n");
        QTest::qWait(2500);
        QVERIFY(frm.FRecording);

        sim->sendControl("MARK=stop_re");
        QTest::qWait(200);
        sim->sendControl("cord\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(!frm.FRecording, 20000);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QVERIFY(boxes.texts.isEmpty());
    }

    void aLostRecorderIsFollowedAgain()
    {
        auto sim = startSim();
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        WAIT_CONNECTED(frm, *sim);
        frm.tmrReconnect->setInterval(500);
        sim->closeControlConnections();
        QTRY_COMPARE_WITH_TIMEOUT(frm.lblStatus->text(), QString("已与录播机断开连接"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!linesOf(*sim, 2).isEmpty(), 5000);
        QCOMPARE(linesOf(*sim, 2).first(), QByteArray("mark=start_server"));
        QTRY_COMPARE_WITH_TIMEOUT(frm.lblStatus->text(), QString("已成功连接到录播机"), 5000);
        QVERIFY(boxes.texts.isEmpty());
    }

    void aSilentRecorderTimesOutThenIsTriedAgain()
    {
        SDKConfig.Address = kUnusedAddress;
        SDKConfig.AutoRec = true;
        Boxes boxes;
        TfrmMain frm;
        QVERIFY(frm.tmrPing->isActive());
        QCOMPARE(frm.lblStatus->text(), QString("正在连接录播机中，请稍等"));
        // As if the attempt had begun ten seconds ago.
        frm.FConnectStartTime -= 10000;
        QTRY_COMPARE_WITH_TIMEOUT(
            frm.lblStatus->text(), QString("连接录播机超时，请确认录播机是否有开机以及网络正常"), 3000);
        QVERIFY(!frm.tmrPing->isActive());
        QVERIFY(frm.tmrReconnect->isActive());
        frm.tmrReconnect->setInterval(100);
        frm.tmrReconnect->start();
        QTRY_VERIFY_WITH_TIMEOUT(frm.tmrPing->isActive(), 3000);
        QCOMPARE(frm.lblStatus->text(), QString("正在连接录播机中，请稍等"));
        QVERIFY(boxes.texts.isEmpty());
    }

    void manualButtonsAndHotKeys()
    {
        auto sim = startSim();
        REQUIRE_STREAM(*sim);
        pointAt(*sim, false);
        SDKConfig.TitleTime = 7;
        SDKConfig.CreditTime = 3;
        Boxes boxes;
        TfrmMain frm;
        QVERIFY(!frm.btnStartRec->isHidden());
        QVERIFY(!frm.btnEndRec->isHidden());
        QVERIFY(frm.csMain == nullptr); // no connection in the manual mode

        frm.btnStartRec->click();
        QVERIFY(frm.FRecording);
        const QString mp4 = frm.FRecFileName;
        QVERIFY2(QRegularExpression("/_\\d{14}\\.mp4$").match(mp4).hasMatch(), qPrintable(mp4));

        // F5 and F6 are the recorder's commands; the window does not change.
        sim->clearRecords();
        frm.HotKeyRecord(0x74);
        frm.HotKeyRecord(0x75);
        frm.HotKeyRecord(0x76);
        const QList<SimRequest> requests = sim->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].queryValue("action"), QString("24674"));
        QCOMPARE(requests[0].queryValue("ProgID"), QString("0"));
        QCOMPARE(requests[0].queryValue("IsStartVob"), QString("0"));
        QCOMPARE(requests[0].queryValue("TtileEnable"), QString("7"));
        QCOMPARE(requests[1].queryValue("action"), QString("24675"));
        QCOMPARE(requests[1].queryValue("IsStopVob"), QString("0"));
        QCOMPARE(requests[1].queryValue("CreditEnable"), QString("3"));
        QVERIFY(frm.FRecording);
        QCOMPARE(frm.FRecFileName, mp4);

        QTest::qWait(2500);
        frm.btnEndRec->click();
        QVERIFY(!frm.FRecording);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".jpg")));
        QVERIFY(boxes.texts.isEmpty());
        // A stop while idle does nothing.
        frm.btnEndRec->click();
        QVERIFY(boxes.texts.isEmpty());
    }
};

QTEST_MAIN(TestRecordingWorkflow)
#include "tst_recordingworkflow.moc"
