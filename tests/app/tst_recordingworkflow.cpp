// The client's main job end to end, offscreen: the simulated recorder on 127.0.0.20 announces
// lessons on its control channel and streams RTSP; the main window records them through the relay
// library into the recordings folder and finishes each with its information file and thumbnail,
// whatever the recorder, the disk and the user do meanwhile.
#include "Configs.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "FormParts.h"
#include "KeeperProcess.h"
#include "KeeperSocket.h"
#include "PointAtSim.h"
#include "ProgramFolder.h"
#include "RecorderSim.h"
#include "RecordingFixture.h"
#include "RecordingsStore.h"
#include "SettingForm.h"

#include <csignal>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace Qurel;

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.20");
const QString kUnusedAddress = QStringLiteral("127.0.0.39"); // nothing listens there

// The message boxes: their texts are recorded and questions answered. whileOpen runs inside the
// next box, as the events a modal box's own loop delivers, before the box is answered.
struct Boxes
{
    QStringList texts;
    bool answer = true;
    std::function<void()> whileOpen;
    Boxes()
    {
        SetMsgHandler([this](const MsgRequest &r) {
            texts << r.text;
            if (whileOpen)
                std::exchange(whileOpen, {})();
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

QStringList actions(const RecorderSim &sim)
{
    QStringList out;
    for (const SimRequest &r : sim.requests())
        out << (r.path.endsWith("logon.cgi") ? QStringLiteral("logon") : r.queryValue("action"));
    return out;
}

// Runs act on the settings dialog once it is shown (it runs its own event loop).
void whenSettingsShown(std::function<void(TfrmSetting &)> act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto *dialog = qobject_cast<TfrmSetting *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        }
    });
    poll->start(20);
}

} // namespace

using QurelTest::Part;

// The control connection is up and the simulated recorder sees the client.
#define WAIT_CONNECTED(frm, sim)                                                                             \
    QTRY_VERIFY_WITH_TIMEOUT(                                                                                \
        (sim).controlClientCount() > 0 && (frm).Keeper().snapshot().link == "connected", 10000)

// Recording needs the simulated recorder's RTSP stream, the relay library and makePic.
#define REQUIRE_STREAM(sim)                                                                                  \
    if (!(sim).streamAvailable() || !QFileInfo::exists(ProgramFolder() + "makePic"))                         \
    QSKIP("no RTSP stream or no makePic in this build")

// A client in the automatic mode, connected to a simulated recorder that streams; its boxes recorded.
#define CONNECTED_CLIENT(sim, boxes, frm)                                                                    \
    auto sim = startSim();                                                                                   \
    REQUIRE_STREAM(*sim);                                                                                    \
    pointAt(*sim, true);                                                                                     \
    Boxes boxes;                                                                                             \
    TfrmMain frm;                                                                                            \
    WAIT_CONNECTED(frm, *sim)

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

    static QString statusText(const TfrmMain &frm) { return Part<QLabel>(frm, "lblStatus")->text(); }
    static QString timingText(const TfrmMain &frm) { return Part<QLabel>(frm, "lblTiming")->text(); }

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
        // A lesson a test left running is not the next test's to pick up.
        QFile::remove(KeeperPaths::ForUser().journal);
        QDir(m_recordings.path()).removeRecursively();
        QDir().mkpath(m_recordings.path());
    }

    void aLessonOnTheRecorderLeavesThreeFiles()
    {
        auto sim = startSim({ { 3.0, 10.0, QStringLiteral("课") } });
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        WAIT_CONNECTED(frm, *sim);
        QCOMPARE(statusText(frm), QString("已成功连接到录播机"));
        QVERIFY(Part(frm, "btnStartRec")->isHidden());

        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QDateTime started = frm.FRecStartTime();
        const QString mp4 = frm.FRecFileName();
        QVERIFY2(QRegularExpression("/课_\\d{14}\\.mp4$").match(mp4).hasMatch(), qPrintable(mp4));
        QCOMPARE(QFileInfo(mp4).path(), m_recordings.path());
        QVERIFY(Part(frm, "lblLookBack")->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(timingText(frm), QString("00:00:01"), 3000);
        QCOMPARE(statusText(frm), QString("正在录制中，已录制时长："));
        QVERIFY(!Part(frm, "lblTiming")->isHidden());
        QVERIFY(frm.Status().state == "recording");

        // The mode, then the key: the order of the RTSP address query.
        QCOMPARE(actions(*sim), (QStringList { "24685", "logon" }));

        QTRY_VERIFY_WITH_TIMEOUT(!frm.FRecording() && frm.Keeper().snapshot().settled, 20000);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(timingText(frm), QString("00:00:00"));
        QVERIFY(Part(frm, "lblTiming")->isHidden());
        QVERIFY(Part(frm, "lblStatus")->isHidden());
        // A 7-second lesson, less the time the start took.
        checkFinishedFiles(mp4, started, 3.0, 7.5);
        // The finished lesson is frame 1.
        QCOMPARE(frm.Segments().at(0).videoPath, mp4);

        // The client's lines: the greeting first, then heartbeats every 8 s.
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::ControlLinesOf(*sim, 1).size() >= 2, 12000);
        const QList<QByteArray> lines = QurelTest::ControlLinesOf(*sim, 1);
        QCOMPARE(lines.first(), QByteArray("mark=start_server"));
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(lines[i], QByteArray("mark=live"));
        const QList<ControlLine> all = sim->controlLines();
        QVERIFY(all[1].atMs - all[0].atMs >= 7000);
    }

    void deletingWhileALessonRecordsLeavesItsFile()
    {
        QurelTest::TestRecording older;
        older.base = QStringLiteral("older");
        older.video = "older lesson";
        const QString olderVideo = QurelTest::MakeRecording(m_recordings.path(), older);
        QVERIFY(!olderVideo.isEmpty());
        auto sim = startSim({ { 1.0, 5.0, QStringLiteral("课") } });
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording() && QFileInfo::exists(frm.FRecFileName()), 10000);
        const QString mp4 = frm.FRecFileName();
        // A reload while the lesson records leaves it out and writes none of its side files.
        frm.LoadPicList();
        QCOMPARE(frm.Segments().count(), 1);
        QCOMPARE(frm.Segments().at(0).videoPath, olderVideo);
        QVERIFY(!QFileInfo::exists(ImageSidePath(mp4, ".axt")) && !QFileInfo::exists(ImageSidePath(mp4, ".txt")));
        for (int n = 1; n <= 6; ++n)
            frm.GetPicFrame(n)->chkSel->setChecked(true);
        frm.btnDelClick();
        QCOMPARE(boxes.texts, QStringList { QStringLiteral("确定要删除勾选中的视频吗？") });
        QVERIFY(QFileInfo::exists(mp4));
        QVERIFY(!QFileInfo::exists(olderVideo));
        // Listed once its stop has finished it, with the information file the stop wrote.
        QTRY_VERIFY_WITH_TIMEOUT(!frm.FRecording() && frm.Keeper().snapshot().settled, 20000);
        QCOMPARE(frm.Segments().count(), 1);
        QCOMPARE(frm.Segments().at(0).videoPath, mp4);
        QCOMPARE(frm.Segments().at(0).guid, ReadInfoFileGuid(ImageSidePath(mp4, ".axt")));
        QVERIFY(!QFileInfo::exists(ImageSidePath(mp4, ".txt")));
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
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        QTest::qWait(2500);

        boxes.answer = false;
        QVERIFY(!frm.close());
        QVERIFY(frm.FRecording());
        QCOMPARE(boxes.texts,
            QStringList { "视频正在录制中，关闭软件不会关闭录播机录播状态，但软件生成的视频只会记录到此刻，是"
                          "否确定要关闭？" });

        // Yes: the window stays until the files are finished, then closes by itself.
        boxes.answer = true;
        frm.close();
        QTRY_VERIFY_WITH_TIMEOUT(!frm.isVisible(), 20000);
        QVERIFY(!frm.FRecording());
        QCOMPARE(boxes.texts.size(), 2);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QCOMPARE(QImage(ImageSidePath(mp4, ".jpg")).size(), QSize(720, 405));
        // The recorder itself was not told to stop; the keeper the window started has ended.
        QVERIFY(sim->recording());
        QTRY_VERIFY_WITH_TIMEOUT(!KeeperAnswers(UserKeeperSocketPath(), 500), 10000);
        sim->stopRecording();
    }

    // Yes given after the lesson ended while the question was open: this very close closes; and
    // nothing stays armed, so the window shown again outlives the next lesson.
    void closingAsTheLessonEndsClosesOnce()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        frm.show();
        boxes.answer = true;
        sim->startRecording(QStringLiteral("关闭二"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        QTest::qWait(2500);
        boxes.whileOpen = [&] {
            sim->stopRecording();
            QVERIFY(QTest::qWaitFor([&] { return frm.Keeper().snapshot().settled; }, 20000));
        };
        frm.close();
        QVERIFY(!frm.isVisible());
        QCOMPARE(boxes.texts.size(), 1);
        // Nothing stays armed: the window shown again outlives the next lesson.
        frm.show();
        sim->startRecording(QStringLiteral("关闭三"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        QTest::qWait(2500);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QTest::qWait(200);
        QVERIFY(frm.isVisible());
    }

    void noticesSplitOverReadsAndRepeatedStarts()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        sim->sendControl("mark=start_record,Title=E8AF");
        QTest::qWait(100);
        QVERIFY(!frm.FRecording());
        sim->sendControl("BE\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        QVERIFY(QFileInfo(mp4).fileName().startsWith("课_"));

        // A start while recording (the stop was missed) finishes that lesson and records the new
        // one into a file of its own.
        QTest::qWait(2500);
        sim->sendControl("mark=start_record,Title=41\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording() && frm.FRecFileName() != mp4, 15000);
        const QString second = frm.FRecFileName();
        QVERIFY(QFileInfo(second).fileName().startsWith("A_"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.Segments().count() == 1 && frm.Segments().at(0).videoPath == mp4, 15000);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".jpg")));

        // Only the first mark of a batch counts; values are exact.
        sim->sendControl("mark=live\r\nmark=stop_record\r\n");
        sim->sendControl("mark=STOP_RECORD\r\n");
        QTest::qWait(2500);
        QVERIFY(frm.FRecording());

        sim->sendControl("MARK=stop_re");
        QTest::qWait(100);
        sim->sendControl("cord\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(QFileInfo::exists(ImageSidePath(second, ".axt")));
        QVERIFY(boxes.texts.isEmpty());
    }

    // The recorder refuses the login key at the top of the hour: the reason stands on the status
    // line, no box opens, and the start is tried again until the recorder answers.
    void aRefusedStartIsTriedAgain()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        sim->setRefuseLogins(true);
        sim->startRecording(QStringLiteral("重试"));
        QTRY_VERIFY_WITH_TIMEOUT(statusText(frm).startsWith("获取登录验证Key失败"), 8000);
        QVERIFY(statusText(frm).endsWith("（稍后自动重试）"));
        QVERIFY(!frm.FRecording());
        sim->setRefuseLogins(false);
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 12000);
        QVERIFY(QFileInfo(frm.FRecFileName()).fileName().startsWith("重试_"));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("正在录制中，已录制时长："), 3000);
        QTest::qWait(2000);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(QDir(m_recordings.path() + "/Image").entryList({ "重试_*.axt" }).size(), 1);
    }

    // The window's thread is held busy (a hung office call, a modal loop that does not return):
    // the keeper acts on the notices all the same, each one as it comes.
    void aBusyWindowDelaysNoNotice()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        const QDir folder(m_recordings.path());
        const auto mp4sWithMedia = [&] {
            int n = 0;
            for (const QFileInfo &file : folder.entryInfoList({ "*.mp4" }))
                n += file.size() > 0;
            return n;
        };
        // Nothing below lets the window's events run.
        sim->startRecording(QStringLiteral("忙"));
        QElapsedTimer clock;
        clock.start();
        while (mp4sWithMedia() < 1 && clock.elapsed() < 8000)
            QThread::msleep(50);
        QVERIFY2(mp4sWithMedia() == 1, "the lesson did not start while the window was busy");
        QThread::sleep(2);
        // A stop and a start that arrive together while the window is busy are both acted on.
        sim->stopRecording();
        QThread::msleep(200);
        sim->startRecording(QStringLiteral("忙二"));
        clock.restart();
        while (folder.entryList({ "忙二_*.mp4" }).isEmpty() && clock.elapsed() < 15000)
            QThread::msleep(50);
        QCOMPARE(folder.entryList({ "忙二_*.mp4" }).size(), 1);
        QCOMPARE(QDir(m_recordings.path() + "/Image").entryList({ "忙_*.axt" }).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 5000);
        QTest::qWait(2000);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(boxes.texts.isEmpty());
    }

    // The control connection drops near a lesson's end, so its stop never arrives: the status line
    // says so beside the timer while the copy goes on, and the next lesson's start, once the link is
    // back, finishes the first lesson and records the second into a file of its own.
    void aMissedStopNeverMergesLessons()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        sim->startRecording(QStringLiteral("第一课"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString first = frm.FRecFileName();
        QTest::qWait(1500);
        sim->setRefuseControl(true);
        sim->closeControlConnections();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("警告：与录播机的连接已断开，正在重新连接，本地录制继续进行"), 5000);
        QVERIFY(!Part(frm, "lblTiming")->isHidden());
        sim->stopRecording(); // nobody hears it
        sim->setRefuseControl(false);
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("正在录制中，已录制时长："), 15000);
        QVERIFY(frm.FRecording());
        sim->startRecording(QStringLiteral("第二课"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording() && frm.FRecFileName() != first, 15000);
        QVERIFY(QFileInfo(frm.FRecFileName()).fileName().startsWith("第二课_"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ImageSidePath(first, ".jpg")), 15000);
        QTest::qWait(2000);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QCOMPARE(QDir(m_recordings.path() + "/Image").entryList({ "*.axt" }).size(), 2);
        QVERIFY(boxes.texts.isEmpty());
    }

    // The recorder restarts its stream server mid-lesson and hands out new login keys: the copy
    // fetches a fresh key and goes on in the same file.
    void aRecorderRestartKeepsTheCopy()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        sim->startRecording(QStringLiteral("重启"));
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        QTest::qWait(3000);
        const int keys = sim->loginKeys().size();
        sim->restartStream(1.0);
        QTRY_VERIFY_WITH_TIMEOUT(sim->loginKeys().size() > keys, 15000);
        // Growing again, in the same file.
        const qint64 sizeAfterKey = QFileInfo(mp4).size();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(mp4).size() > sizeAfterKey + 20000, 10000);
        QCOMPARE(frm.FRecFileName(), mp4);
        QTest::qWait(2000);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(QDir(m_recordings.path()).entryList({ "*.mp4" }).size(), 1);
        QVERIFY2(probeSeconds(mp4) > 6.0, qPrintable(QString::number(probeSeconds(mp4))));
    }

    // The window is killed mid-lesson: the keeper it started copies on into the same file, and a
    // window started again attaches to it and shows the lesson. Then the keeper is killed: the
    // window starts it again, the killed copy gets its information file (with the time its copy
    // began) and its thumbnail, and the rest of the lesson goes into a new file under the same title.
    void killedWindowAndKilledKeeperLoseNoLesson()
    {
        auto sim = startSim();
        REQUIRE_STREAM(*sim);
        pointAt(*sim, true);
        QVERIFY(SDKConfig.Save().ok);
        const QDir folder(m_recordings.path());
        const QString socket = UserKeeperSocketPath();
        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client.start(ProgramFolder() + "qurel", {});
        QVERIFY(client.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(sim->controlClientCount() > 0, 15000);
        sim->startRecording(QStringLiteral("续"));
        QTRY_VERIFY_WITH_TIMEOUT(folder.entryList({ "续_*.mp4" }).size() == 1, 15000);
        const QString first = folder.filePath(folder.entryList({ "续_*.mp4" }).first());
        QTest::qWait(2000);
        client.kill();
        QVERIFY(client.waitForFinished(10000));

        // The lesson goes on without a window.
        const qint64 sizeAtKill = QFileInfo(first).size();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(first).size() > sizeAtKill + 50000, 10000);
        const auto alone = AskKeeper(socket, { KeeperCommand::Kind::Status }, 2000, nullptr);
        QVERIFY(alone && alone->snapshot.state == "recording" && alone->windows == 0);

        {
            TfrmMain frm;
            QVERIFY(frm.FRecording());
            QCOMPARE(frm.FRecFileName(), first);
            QTRY_VERIFY_WITH_TIMEOUT(!Part(frm, "lblTiming")->isHidden(), 3000);
            QCOMPARE(AskKeeper(socket, { KeeperCommand::Kind::Status }, 2000, nullptr)->windows, 1);

            const qint64 killed = QurelTest::KeeperPid(socket);
            QVERIFY(killed > 0);
            QVERIFY(::kill(pid_t(killed), SIGKILL) == 0);
            QTRY_VERIFY_WITH_TIMEOUT(folder.entryList({ "续_*.mp4" }).size() == 2, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording() && frm.FRecFileName() != first, 10000);
            QVERIFY(QurelTest::KeeperPid(socket) != killed);
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ImageSidePath(first, ".jpg")), 15000);
            QCOMPARE(QImage(ImageSidePath(first, ".jpg")).size(), QSize(720, 405));
            QFile axt(ImageSidePath(first, ".axt"));
            QVERIFY(axt.open(QIODevice::ReadOnly));
            const QDateTime began = QDateTime::fromString(
                QString::fromLatin1(axt.readAll().split('\n').value(1).right(20).trimmed()), "yyyy-MM-dd HH:mm:ss");
            const QDateTime named = QDateTime::fromString(QFileInfo(first).completeBaseName().right(14), "yyyyMMddHHmmss");
            QVERIFY2(began.isValid() && qAbs(named.secsTo(began)) <= 3, qPrintable(began.toString()));
            QTest::qWait(2500);
            sim->stopRecording();
            QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        }
        // The window's keeper ended with the window.
        QVERIFY(!KeeperAnswers(socket, 500));
        QCOMPARE(QDir(folder.filePath("Image")).entryList({ "续_*.jpg" }).size(), 2);
        for (const QString &name : folder.entryList({ "续_*.mp4" }))
            QVERIFY2(probeSeconds(folder.filePath(name)) > 1.0, qPrintable(name));
    }

    // The longest title a notice carries (256 bytes: 85 Chinese characters) still gives a lesson.
    void theLongestTitleStillRecords()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        const QString title(85, QChar(0x8BFE));
        sim->startRecording(title);
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        QVERIFY(QFileInfo(mp4).fileName().toUtf8().size() <= 255 - 12);
        QTest::qWait(2500);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(probeSeconds(mp4) > 1.0);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QCOMPARE(QImage(ImageSidePath(mp4, ".jpg")).size(), QSize(720, 405));
    }

    void aLostRecorderIsFollowedAgain()
    {
        auto sim = startSim();
        pointAt(*sim, true);
        Boxes boxes;
        TfrmMain frm;
        WAIT_CONNECTED(frm, *sim);
        sim->closeControlConnections();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("已与录播机断开连接"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!QurelTest::ControlLinesOf(*sim, 2).isEmpty(), 15000);
        QCOMPARE(QurelTest::ControlLinesOf(*sim, 2).first(), QByteArray("mark=start_server"));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("已成功连接到录播机"), 5000);
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
        QVERIFY(!Part(frm, "btnStartRec")->isHidden());
        QVERIFY(!Part(frm, "btnEndRec")->isHidden());
        QCOMPARE(frm.Keeper().snapshot().link, QString("manual")); // no connection in the manual mode
        // Nothing records: the status line says nothing.
        QVERIFY(Part(frm, "lblStatus")->isHidden());
        QCOMPARE(frm.Status().link, QString("manual"));

        Part<QToolButton>(frm, "btnStartRec")->click();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(frm), QString("正在开始录制，请稍等"), 2000);
        QVERIFY(!Part(frm, "lblStatus")->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        QVERIFY2(QRegularExpression("/_\\d{14}\\.mp4$").match(mp4).hasMatch(), qPrintable(mp4));

        // F5 and F6 are the recorder's commands; the window does not change.
        sim->clearRecords();
        // WM_HOTKEY as it arrives from outside: the key in the high word of lParam.
        for (int key : { 0x74, 0x75, 0x76 })
            frm.DispatchExternalMessage({ Qurel::kMsgHotKey, 0, Qurel::HotKeyLParam(key) });
        QTRY_COMPARE_WITH_TIMEOUT(sim->requests().size(), 2, 5000);
        const QList<SimRequest> requests = sim->requests();
        QCOMPARE(requests[0].queryValue("action"), QString("24674"));
        QCOMPARE(requests[0].queryValue("ProgID"), QString("0"));
        QCOMPARE(requests[0].queryValue("IsStartVob"), QString("0"));
        QCOMPARE(requests[0].queryValue("TtileEnable"), QString("7"));
        QCOMPARE(requests[1].queryValue("action"), QString("24675"));
        QCOMPARE(requests[1].queryValue("IsStopVob"), QString("0"));
        QCOMPARE(requests[1].queryValue("CreditEnable"), QString("3"));
        QVERIFY(frm.FRecording());
        QCOMPARE(frm.FRecFileName(), mp4);

        QTest::qWait(2500);
        Part<QToolButton>(frm, "btnEndRec")->click();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".jpg")));
        QVERIFY(boxes.texts.isEmpty());
        // A stop while idle does nothing.
        Part<QToolButton>(frm, "btnEndRec")->click();
        QVERIFY(boxes.texts.isEmpty());
    }

    // The copy stops growing (here: the process may write no more, as on a full disk): within
    // seconds the status line warns, and at the stop what was written is finished like any lesson.
    void aCopyThatStopsGrowingWarnsAndIsKept()
    {
        auto sim = startSim();
        REQUIRE_STREAM(*sim);
        pointAt(*sim, false);
        Boxes boxes;
        TfrmMain frm;
        Part<QToolButton>(frm, "btnStartRec")->click();
        QTRY_VERIFY_WITH_TIMEOUT(frm.FRecording(), 8000);
        const QString mp4 = frm.FRecFileName();
        // A couple of seconds of picture first, so there is something to keep.
        QTRY_VERIFY_WITH_TIMEOUT(probeSeconds(mp4) > 1.5, 10000);
        // The keeper's relay process writes the file.
        const QList<qint64> relays = QurelTest::RelayPids(QurelTest::KeeperPid(UserKeeperSocketPath()));
        QCOMPARE(relays.size(), 1);
        const pid_t writer = pid_t(relays.first());
        rlimit previous {};
        QVERIFY(prlimit(writer, RLIMIT_FSIZE, nullptr, &previous) == 0);
        rlimit limit = previous;
        limit.rlim_cur = rlim_t(QFileInfo(mp4).size());
        QVERIFY(prlimit(writer, RLIMIT_FSIZE, &limit, nullptr) == 0);
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(statusText(frm).startsWith("警告："), 8000);
        const qint64 warnedAfter = clock.elapsed();
        prlimit(writer, RLIMIT_FSIZE, &previous, nullptr);
        QVERIFY2(warnedAfter <= 5500, qPrintable(QString::number(warnedAfter)));
        QVERIFY(!Part(frm, "lblTiming")->isHidden());
        QVERIFY(frm.FRecording());
        Part<QToolButton>(frm, "btnEndRec")->click();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QVERIFY(probeSeconds(mp4) > 0.5);
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".axt")));
        QVERIFY(QFileInfo::exists(ImageSidePath(mp4, ".jpg")));
    }

    // A lesson begins while the settings dialog is open: a changed recorder is refused, so the
    // running lesson keeps the connection that will bring its stop. Opened during a lesson, the
    // dialog cannot save at all.
    void settingsCannotMoveARunningLessonToAnotherRecorder()
    {
        CONNECTED_CLIENT(sim, boxes, frm);
        bool saveEnabledAtOpen = false;
        whenSettingsShown([&](TfrmSetting &dialog) {
            saveEnabledAtOpen = dialog.btnSave->isEnabled();
            if (!frm.FRecording()) {
                sim->startRecording(QStringLiteral("设置"));
                QVERIFY(QTest::qWaitFor([&] { return frm.FRecording(); }, 8000));
            }
            dialog.edtIPAddr->setText(kUnusedAddress);
            dialog.btnSave->click();
        });
        frm.btnSettingClick();
        QVERIFY(saveEnabledAtOpen);
        QCOMPARE(boxes.texts, QStringList { "正在录制中，不能更改录播机的地址、端口或用户，请在录制结束后再修改！" });
        QCOMPARE(SDKConfig.Address, kSimAddress);
        QCOMPARE(frm.Keeper().snapshot().link, QString("connected"));

        whenSettingsShown([&](TfrmSetting &dialog) {
            saveEnabledAtOpen = dialog.btnSave->isEnabled();
            dialog.btnClose->click();
        });
        frm.btnSettingClick();
        QVERIFY(!saveEnabledAtOpen);
        sim->stopRecording();
        QTRY_VERIFY_WITH_TIMEOUT(frm.Keeper().snapshot().settled, 20000);
        QCOMPARE(QDir(m_recordings.path() + "/Image").entryList({ "设置_*.axt" }).size(), 1);
    }
};

QTEST_MAIN(TestRecordingWorkflow)
#include "tst_recordingworkflow.moc"
