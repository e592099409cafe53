// The lesson recorder without a window: names, the RTSP address, the relay record, the state
// machine and its failure paths (with a relay that can be told to fail or to take its time, against
// the simulated recorder's CGI on 127.0.0.21).
#include "ProgramFolder.h"
#include "RecorderSim.h"
#include "ClientStatus.h"
#include "LessonJournal.h"
#include "LessonLog.h"
#include "LessonRecorder.h"
#include "RecordingsStore.h"
#include "zelmicro.h"

#include <QDir>
#include <QSet>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <cerrno>

using namespace Qurel;

Q_DECLARE_METATYPE(Qurel::OutputProbe)

namespace {

const QString kSimAddress = QStringLiteral("127.0.0.21");

// A relay whose answers a test chooses; it records what it was asked and can
// make the output file appear like the real library does.
struct FakeRelay
{
    std::int32_t createResult = 0;
    std::int32_t startResult = 0;
    std::int32_t destroyResult = 0;
    bool writeFile = true;
    QStringList calls;
    QString lastFile;
    QString lastUrl;
    QElapsedTimer clock;
    qint64 destroyAtMs = -1;
    int createDelayMs = 0; // a recorder whose stream takes its time to answer
    RelayHealth health; // what the status call reports
    QStringList newUrls; // handed over by setUrl

    RelayCalls calls_()
    {
        clock.start();
        RelayCalls r;
        r.create = [this](std::int32_t stream, const void *config) {
            QThread::msleep(ulong(createDelayMs));
            calls << QStringLiteral("create %1").arg(stream);
            const char *bytes = static_cast<const char *>(config);
            lastUrl = QString::fromUtf8(bytes + ZMS32_OFS_URL);
            lastFile = QString::fromUtf8(bytes + ZMS32_OFS_FOLDER) + QString::fromUtf8(bytes + ZMS32_OFS_NAME)
                + QStringLiteral(".mp4");
            return createResult;
        };
        r.startRecord = [this](std::int32_t stream) {
            calls << QStringLiteral("start %1").arg(stream);
            if (startResult == 0 && writeFile) {
                QFile f(lastFile);
                if (f.open(QIODevice::WriteOnly))
                    f.write("not really a video");
            }
            return startResult;
        };
        r.destroy = [this](std::int32_t stream) {
            calls << QStringLiteral("destroy %1").arg(stream);
            destroyAtMs = clock.elapsed();
            return destroyResult;
        };
        r.stopRecord = [this](std::int32_t stream) {
            calls << QStringLiteral("stop %1").arg(stream);
            return 0;
        };
        r.status = [this](std::int32_t) { return health; };
        r.setUrl = [this](std::int32_t, const char *url) {
            newUrls << QString::fromUtf8(url);
            health.refused = false;
            return 0;
        };
        return r;
    }
};

LessonRecorder::Options quickOptions()
{
    LessonRecorder::Options o;
    o.steps.earlyStopWaitMs = 0;
    o.steps.mp4WaitMs = 300;
    o.retryDelaysMs = { 300 };
    return o;
}

struct Fixture
{
    QTemporaryDir program;
    QTemporaryDir recordings;
    FakeRelay relay;
    QStringList messages;
    QStringList finished;
    std::unique_ptr<LessonRecorder> lesson;

    explicit Fixture(LessonRecorder::Options options = quickOptions(), bool realRelay = false)
    {
        // No thumbnail tool here: the placeholder picture takes its place.
        QFile pic(program.path() + "/WithoutPic.jpg");
        if (pic.open(QIODevice::WriteOnly))
            pic.write("placeholder");
        SetProgramFolderForTesting(program.path());
        lesson = std::make_unique<LessonRecorder>(realRelay ? RelayCalls::Library() : relay.calls_(), options);
        QObject::connect(lesson.get(), &LessonRecorder::message, [this](const QString &t) { messages << t; });
        QObject::connect(
            lesson.get(), &LessonRecorder::lessonFinished, [this](const QString &f) { finished << f; });
    }
    ~Fixture()
    {
        lesson.reset();
        SetProgramFolderForTesting(QString());
    }

    // Starts and waits until the start has come to an end; true when the lesson now records.
    bool start(const QString &title, const RecorderLogin &login, const QString &folder)
    {
        lesson->start(title, login, folder);
        return QTest::qWaitFor([&] { return lesson->state() != LessonRecorder::State::Starting; }, 20000)
            && lesson->state() == LessonRecorder::State::Recording;
    }
    bool stop()
    {
        lesson->stop();
        return QTest::qWaitFor([&] { return lesson->settled(); }, 20000);
    }
};

RecorderLogin loginTo(const RecorderSim &sim)
{
    return { sim.address(), sim.httpPort(), QStringLiteral("admin"), QStringLiteral("admin") };
}

} // namespace

class TestLessonRecorder : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecorderSim> m_sim;
    std::unique_ptr<RecorderSim> m_streamSim; // for the runs with the relay library

    void runNotices(bool realRelay)
    {
        QFETCH(QString, notices);
        RecorderSim *sim = m_sim.get();
        LessonRecorder::Options options = quickOptions();
        if (realRelay) {
            if (!m_streamSim) {
                RecorderSimOptions simOptions;
                simOptions.address = QHostAddress(QStringLiteral("127.0.0.23"));
                m_streamSim = std::make_unique<RecorderSim>(simOptions);
                QString error;
                QVERIFY2(m_streamSim->start(&error), qPrintable(error));
                QVERIFY(zms32Init(5555, 0, 1) == 0);
            }
            if (!m_streamSim->streamAvailable())
                QSKIP("no RTSP stream in this build");
            sim = m_streamSim.get();
            options.steps.earlyStopWaitMs = 5000; // the relay needs its first picture
            options.steps.mp4WaitMs = 15000;
        }
        Fixture f(options, realRelay);
        QStringList titles;
        QString last;
        for (const QString &token : notices.split(' ')) {
            if (token.startsWith("S:")) {
                titles << token.mid(2);
                f.lesson->start(token.mid(2), loginTo(*sim), f.recordings.path());
            } else if (token == "T") {
                f.lesson->stop();
            } else {
                QTest::qWait(token.toInt());
                continue;
            }
            last = token;
        }
        if (last == "T") {
            QVERIFY(QTest::qWaitFor([&] { return f.lesson->settled(); }, 40000));
        } else {
            QVERIFY(QTest::qWaitFor([&] {
                return f.lesson->state() == LessonRecorder::State::Recording && f.lesson->unfinishedFiles().size() == 1;
            }, 40000));
            QVERIFY(QFileInfo(f.lesson->fileName()).fileName().startsWith(last.mid(2) + "_"));
            if (realRelay)
                QTest::qWait(2500);
            QVERIFY(f.stop());
        }
        QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.join(" | ")));
        const QStringList mp4s = QDir(f.recordings.path()).entryList({ "*.mp4" });
        QCOMPARE(mp4s.size(), f.finished.size());
        QCOMPARE(QSet<QString>(f.finished.begin(), f.finished.end()).size(), f.finished.size());
        for (const QString &mp4 : mp4s) {
            QVERIFY2(titles.contains(mp4.section('_', 0, 0)), qPrintable(mp4));
            QVERIFY2(QFileInfo::exists(ImageSidePath(f.recordings.path() + "/" + mp4, ".axt")), qPrintable(mp4));
            QVERIFY2(QFileInfo::exists(ImageSidePath(f.recordings.path() + "/" + mp4, ".jpg")), qPrintable(mp4));
        }
    }

private slots:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsEmpty("QUREL_WITH_RELAY"))
            return; // only the sequences with the relay run, against a recorder of their own
        RecorderSimOptions options;
        options.address = QHostAddress(kSimAddress);
        options.stream = false;
        m_sim = std::make_unique<RecorderSim>(options);
        QString error;
        QVERIFY2(m_sim->start(&error), qPrintable(error));
    }

    void init()
    {
        if (!m_sim)
            return;
        m_sim->resetReplies();
        m_sim->clearRecords();
    }

    void namesAndTexts()
    {
        const QDateTime when(QDate(2015, 3, 7), QTime(14, 5, 9));
        QCOMPARE(RecordingBaseName(QString(), when), QString("_20150307140509"));
        QCOMPARE(RecordingBaseName("课", when), QString("课_20150307140509"));
        QCOMPARE(BuildRtspUrl("127.0.0.20", 8554, "0123abcd"),
            QString("rtsp://127.0.0.20:8554/stream/0?config.login=0123abcd"));
        // A key that is not a plain token adds nothing to the address.
        QCOMPARE(BuildRtspUrl("127.0.0.20", 554, "a&b=c/d e"),
            QString("rtsp://127.0.0.20:554/stream/0?config.login=a%26b%3Dc%2Fd%20e"));
        // A name whose lesson files are taken (even by a dangling link) moves on to _2, _3 ...
        QTemporaryDir folder;
        const QString base = folder.path() + "/";
        QCOMPARE(FreeBaseName(base, "课_20150307140509"), QString("课_20150307140509"));
        QDir().mkpath(base + "Image");
        QFile::link(base + "nowhere", base + "Image/课_20150307140509.jpg");
        QCOMPARE(FreeBaseName(base, "课_20150307140509"), QString("课_20150307140509_2"));
        QFile(base + "课_20150307140509_2.mp4").open(QIODevice::WriteOnly);
        QCOMPARE(FreeBaseName(base, "课_20150307140509"), QString("课_20150307140509_3"));
        QCOMPARE(FreeBaseName(base, "课_20150307140509", { base + "课_20150307140509_3.mp4" }),
            QString("课_20150307140509_4"));
        SetProgramFolderForTesting(QUREL_PROGRAM_DIR);
        QCOMPARE(RecordingsFolder(QString()), QString(QUREL_PROGRAM_DIR "/Resource/"));
        SetProgramFolderForTesting(QUREL_PROGRAM_DIR, true); // installed, read-only
        QCOMPARE(RecordingsFolder(QString()), UserDataFolder() + "Resource/");
        SetProgramFolderForTesting(QString());
        QCOMPARE(RecordingsFolder("/data/rec"), QString("/data/rec/"));
        QCOMPARE(RecordingsFolder("/data/rec/"), QString("/data/rec/"));
    }

    void relayRecordLayout()
    {
        const auto record
            = MakeRelayStreamConfig(1, "rtsp://a:1/stream/0?config.login=k", "/r/", "课_20150307140509");
        QVERIFY(record);
        QCOMPARE(record->size(), 5204);
        const auto le32 = [&](int offset) { return qFromLittleEndian<qint32>(record->constData() + offset); };
        QCOMPARE(le32(0), 0);
        QCOMPARE(le32(4), 256);
        QCOMPARE(le32(8), 1);
        QCOMPARE(le32(5132), 1);
        QCOMPARE(le32(5136), 0);
        QCOMPARE(le32(5148), 3000000);
        QCOMPARE(le32(5200), 0);
        QCOMPARE(QByteArray(record->constData() + 12), QByteArray("rtsp://a:1/stream/0?config.login=k"));
        QCOMPARE(QByteArray(record->constData() + 4108), QByteArray("/r/"));
        QCOMPARE(QString::fromUtf8(record->constData() + 4620), QString("课_20150307140509"));
        // The zero byte must fit in the 512-byte field.
        QVERIFY(MakeRelayStreamConfig(0, "u", "/r/", QString(512, 'n')) == std::nullopt);
        QVERIFY(MakeRelayStreamConfig(0, "u", "/r/", QString(511, 'n')));
    }

    void rtspUrlAsksModeThenKey()
    {
        const LessonSteps steps(RelayCalls(), {});
        const RtspUrlResult r = steps.GetRtspUrl(loginTo(*m_sim));
        QVERIFY(r.ok);
        QCOMPARE(r.rtpMode, QString("0"));
        QCOMPARE(r.url, BuildRtspUrl(kSimAddress, m_sim->rtspPort(), m_sim->loginKeys().last()));
        const QList<SimRequest> requests = m_sim->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].queryValue("action"), QString("24685"));
        QVERIFY(requests[1].path.endsWith("/cgi-bin/logon.cgi"));
        QVERIFY(r.message.isEmpty());
    }

    void rtspUrlFailures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("requests");
        QTest::newRow("mode missing")
            << "mode"
            << "获取RTP模式失败，原因可能是：网络不通，录播机设置不正确或者录播机没有开机！" << 1;
        QTest::newRow("nine connections") << "nine"
                                          << "RTSP连接数超出最大数目" << 1;
        QTest::newRow("no key")
            << "key"
            << "获取登录验证Key失败，原因可能是：录播机IP地址设置不正确，用户名或者密码输入不对！" << 2;
        QTest::newRow("eight connections") << "eight" << QString() << 2;
    }

    void rtspUrlFailures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(int, requests);
        if (setup == "mode")
            m_sim->setReplyField("24685", "RtpMode", std::nullopt);
        else if (setup == "nine")
            m_sim->setRtspOnlineCount(9);
        else if (setup == "eight")
            m_sim->setRtspOnlineCount(8);
        else
            m_sim->setRefuseLogins(true);
        const LessonSteps steps(RelayCalls(), {});
        const RtspUrlResult r = steps.GetRtspUrl(loginTo(*m_sim));
        QCOMPARE(r.ok, message.isEmpty());
        QCOMPARE(r.message, message);
        QCOMPARE(m_sim->requests().size(), requests);
        m_sim->setRtspOnlineCount(0);
        m_sim->setRefuseLogins(false);
    }

    // A start that fails says why on the status line (no message box) and is tried again until it
    // works or a stop comes; the name and start time are those of the try that works.
    void startFailuresAreRetried_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<int>("createResult");
        QTest::addColumn<int>("startResult");
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("requests"); // to the recorder
        QTest::newRow("login refused")
            << "login" << 0 << 0 << ""
            << "获取登录验证Key失败，原因可能是：录播机IP地址设置不正确，用户名或者密码输入不对！" << QStringList()
            << 2;
        // Nothing is asked of the recorder when the disk cannot take the lesson.
        QTest::newRow("disk nearly full") << "disk" << 0 << 0 << "" << "空间不足" << QStringList() << 0;
        QTest::newRow("create fails") << "" << -1 << 0 << "" << "创建转播流失败" << QStringList { "create 0" } << 2;
        // A stream that was created but did not start is destroyed, so stream 0 stays free.
        QTest::newRow("start fails") << "" << 0 << 3 << "" << "开始录制失败"
                                     << QStringList { "create 0", "start 0", "destroy 0", "stop 0" } << 2;
        // Only the last level of the folder is created.
        QTest::newRow("folder") << "" << 0 << 0 << "/a/b" << "创建文件夹失败！" << QStringList() << 2;
    }

    void startFailuresAreRetried()
    {
        QFETCH(QString, trouble);
        QFETCH(int, createResult);
        QFETCH(int, startResult);
        QFETCH(QString, subfolder);
        QFETCH(QString, reason);
        QFETCH(QStringList, calls);
        QFETCH(int, requests);
        LessonRecorder::Options options = quickOptions();
        if (trouble == "disk")
            options.steps.minFreeBytes = std::numeric_limits<std::int64_t>::max();
        Fixture f(options);
        f.relay.createResult = createResult;
        f.relay.startResult = startResult;
        m_sim->setRefuseLogins(trouble == "login");
        const QString folder = f.recordings.path() + subfolder;
        f.lesson->start("课", loginTo(*m_sim), folder);
        QVERIFY(QTest::qWaitFor([&] { return !f.lesson->retryReason().isEmpty(); }, 10000));
        QVERIFY2(f.lesson->retryReason().contains(reason), qPrintable(f.lesson->retryReason()));
        QCOMPARE(f.lesson->state(), LessonRecorder::State::Starting);
        QCOMPARE(f.relay.calls, calls);
        QCOMPARE(m_sim->requests().size(), requests);
        // Tried again while the trouble lasts, without a message box.
        QVERIFY(QTest::qWaitFor([&] { return m_sim->requests().size() >= 2 * requests && f.relay.calls.size() >= 2 * calls.size(); }, 5000));
        QVERIFY(f.messages.isEmpty());
        // A stop ends the retries: nothing more is asked, nothing is left to finish.
        QVERIFY(f.stop());
        QCOMPARE(f.lesson->state(), LessonRecorder::State::Idle);
        QVERIFY(f.lesson->retryReason().isEmpty());
        const int asked = m_sim->requests().size();
        const QStringList called = f.relay.calls;
        QTest::qWait(800);
        QCOMPARE(m_sim->requests().size(), asked);
        QCOMPARE(f.relay.calls, called);
        QVERIFY(f.finished.isEmpty());
        if (trouble == "disk")
            return;
        // Once the trouble is over the waiting retry records the lesson under its title.
        f.lesson->start("课", loginTo(*m_sim), folder);
        QVERIFY(QTest::qWaitFor([&] { return !f.lesson->retryReason().isEmpty(); }, 10000));
        f.relay.createResult = f.relay.startResult = 0;
        m_sim->setRefuseLogins(false);
        QDir().mkpath(folder);
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->state() == LessonRecorder::State::Recording; }, 10000));
        QVERIFY(f.lesson->retryReason().isEmpty());
        QVERIFY(QFileInfo(f.lesson->fileName()).fileName().startsWith("课_"));
        QVERIFY(f.messages.isEmpty());
        QVERIFY(f.stop());
        QCOMPARE(f.finished.size(), 1);
    }

    // A start while a lesson records ends that lesson (its files are made) and records the new one
    // into a file of its own: a missed stop never merges two lessons.
    void aStartWhileRecordingBeginsTheNextLesson()
    {
        Fixture f;
        QVERIFY(f.start("课", loginTo(*m_sim), f.recordings.path()));
        const QString first = f.lesson->fileName();
        QVERIFY(first.startsWith(f.recordings.path() + "/课_"));
        f.lesson->start("又一课", loginTo(*m_sim), f.recordings.path());
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->state() == LessonRecorder::State::Recording && f.lesson->fileName() != first; }, 10000));
        QVERIFY(QFileInfo(f.lesson->fileName()).fileName().startsWith("又一课_"));
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0", "destroy 0", "stop 0", "create 0", "start 0" }));
        QVERIFY(QTest::qWaitFor([&] { return f.finished == QStringList { first }; }, 5000));
        QVERIFY(QFileInfo::exists(ImageSidePath(first, ".axt")));
        QVERIFY(f.messages.isEmpty());
        // The same title again in the same second gets a name of its own.
        const QString second = f.lesson->fileName();
        f.lesson->start("又一课", loginTo(*m_sim), f.recordings.path());
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->state() == LessonRecorder::State::Recording && f.lesson->fileName() != second; }, 10000));
        QVERIFY(f.stop());
        QCOMPARE(f.finished.size(), 3);
        QCOMPARE(QDir(f.recordings.path() + "/Image").entryList({ "*.axt" }).size(), 3);
    }

    void aFinishedRecordingGetsItsFiles()
    {
        Fixture f;
        // A fresh recordings folder: no Image folder in it.
        const QString folder = f.recordings.path() + "/fresh";
        QVERIFY(f.start("课", loginTo(*m_sim), folder));
        const QString mp4 = f.lesson->fileName();
        const QDateTime started = f.lesson->startTime();
        QVERIFY(f.stop());
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0", "destroy 0", "stop 0" }));
        QCOMPARE(f.finished, QStringList { mp4 });
        QVERIFY(f.messages.isEmpty());
        const QString axt = ImageSidePath(mp4, ".axt");
        QVERIFY(QFileInfo::exists(axt));
        QVERIFY(!QFileInfo::exists(ImageSidePath(mp4, ".txt")));
        QCOMPARE(ReadInfoFileGuid(axt).size(), 38);
        QFile info(axt);
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY(info.readAll().endsWith(started.toString("yyyy-MM-dd HH:mm:ss").toLatin1() + "\r\n"));
        // makePic is missing here, so the placeholder stands in.
        QFile jpg(ImageSidePath(mp4, ".jpg"));
        QVERIFY(jpg.open(QIODevice::ReadOnly));
        QCOMPARE(jpg.readAll(), QByteArray("placeholder"));
    }

    // The library may report a failure at the end and still have written a playable file: the lesson
    // keeps its information file and thumbnail. Without a file there is nothing to finish.
    void aDestroyFailureStillFinishesWhatWasWritten_data()
    {
        QTest::addColumn<bool>("written");
        QTest::newRow("file written") << true;
        QTest::newRow("nothing written") << false;
    }

    void aDestroyFailureStillFinishesWhatWasWritten()
    {
        QFETCH(bool, written);
        Fixture f;
        f.relay.destroyResult = 8;
        f.relay.writeFile = written;
        QSignalSpy failed(f.lesson.get(), &LessonRecorder::stopFailed);
        QVERIFY(f.start("课", loginTo(*m_sim), f.recordings.path()));
        const QString mp4 = f.lesson->fileName();
        QVERIFY(f.stop());
        QCOMPARE(f.messages, QStringList { "销毁录播流失败, ErrorCode=8" });
        QCOMPARE(failed.size(), 1);
        QCOMPARE(f.relay.calls.last(), QString("stop 0"));
        QCOMPARE(QFileInfo::exists(ImageSidePath(mp4, ".axt")), written);
        QCOMPARE(QFileInfo::exists(ImageSidePath(mp4, ".jpg")), written);
    }

    void theWaitForTheVideoIsBounded()
    {
        Fixture f;
        f.relay.writeFile = false;
        QVERIFY(f.start("课", loginTo(*m_sim), f.recordings.path()));
        const QString mp4 = f.lesson->fileName();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.stop());
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().startsWith("等待录制的视频文件生成超时"));
        QVERIFY(!QFileInfo::exists(ImageSidePath(mp4, ".axt")));
    }

    void anEarlyStopWaitsFiveSecondsOffTheCallersThread()
    {
        LessonRecorder::Options options = quickOptions();
        options.steps.earlyStopWaitMs = 5000;
        Fixture f(options);
        QVERIFY(f.start("课", loginTo(*m_sim), f.recordings.path()));
        QTest::qWait(1000);
        const qint64 stopAt = f.relay.clock.elapsed();
        QElapsedTimer caller;
        caller.start();
        f.lesson->stop();
        QVERIFY(caller.elapsed() < 100);
        QCOMPARE(f.lesson->state(), LessonRecorder::State::Stopping);
        QVERIFY(f.lesson->recording());
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->settled(); }, 10000));
        QVERIFY2(
            f.relay.destroyAtMs - stopAt >= 5000, qPrintable(QString::number(f.relay.destroyAtMs - stopAt)));
        QVERIFY(f.relay.destroyAtMs - stopAt < 6500);
    }

    // The recorder answers slowly: the caller's thread never waits for it, a stop during the start
    // ends that start cleanly, and the next lesson that comes meanwhile is recorded.
    void aStopDuringTheStart_data()
    {
        QTest::addColumn<int>("cgiDelayMs");
        QTest::addColumn<int>("createDelayMs");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("finishedLessons");
        QTest::newRow("while asking the recorder") << 600 << 0 << QStringList() << 0;
        QTest::newRow("while the stream connects")
            << 0 << 600 << QStringList { "create 0", "start 0", "destroy 0", "stop 0" } << 1;
    }

    void aStopDuringTheStart()
    {
        QFETCH(int, cgiDelayMs);
        QFETCH(int, createDelayMs);
        QFETCH(QStringList, calls);
        QFETCH(int, finishedLessons);
        Fixture f;
        f.relay.createDelayMs = createDelayMs;
        m_sim->setReplyDelayMs(cgiDelayMs);
        QElapsedTimer caller;
        caller.start();
        f.lesson->start("第一课", loginTo(*m_sim), f.recordings.path());
        QCOMPARE(f.lesson->state(), LessonRecorder::State::Starting);
        QTest::qWait(200);
        f.lesson->stop();
        f.lesson->start("第二课", loginTo(*m_sim), f.recordings.path());
        QVERIFY(caller.elapsed() < 400);
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->state() == LessonRecorder::State::Recording; }, 20000));
        m_sim->setReplyDelayMs(0);
        QVERIFY(f.lesson->fileName().contains("第二课_"));
        QCOMPARE(f.relay.calls.mid(0, calls.size()), calls);
        QCOMPARE(f.finished.size(), finishedLessons);
        QCOMPARE(QDir(f.recordings.path()).entryList({ "第一课_*" }).size(), finishedLessons);
        QVERIFY(f.messages.isEmpty());
        QVERIFY(f.stop());
    }

    // What the relay reports of a running stream: reconnects refused (the recorder restarted its
    // stream server) bring a fresh login key into the same file; a stream that came back changed
    // goes on in a new file under the same title.
    void theRelaysReportsAreActedOn()
    {
        LessonRecorder::Options options = quickOptions();
        options.watchIntervalMs = 100;
        Fixture f(options);
        f.relay.health.known = true;
        QVERIFY(f.start("课", loginTo(*m_sim), f.recordings.path()));
        const QString first = f.lesson->fileName();
        const QString firstUrl = f.relay.lastUrl;
        f.relay.health.refused = true;
        QVERIFY(QTest::qWaitFor([&] { return !f.relay.newUrls.isEmpty(); }, 5000));
        QCOMPARE(f.relay.newUrls.first(), BuildRtspUrl(kSimAddress, m_sim->rtspPort(), m_sim->loginKeys().last()));
        QVERIFY(f.relay.newUrls.first() != firstUrl);
        QCOMPARE(f.lesson->fileName(), first);
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0" }));
        f.relay.health.ended = true;
        QVERIFY(QTest::qWaitFor([&] { return f.lesson->state() == LessonRecorder::State::Recording && f.lesson->fileName() != first; }, 5000));
        f.relay.health.ended = false;
        QVERIFY(QFileInfo(f.lesson->fileName()).fileName().startsWith("课_"));
        QVERIFY(f.stop());
        QCOMPARE(f.finished.size(), 2);
        QVERIFY(f.messages.isEmpty());
    }

    // Start and stop notices, however close together, end in the state the last one asks for, with
    // every lesson that was recorded finished, none sharing a file, and no failure shown that did not
    // happen. Each row: notices ("S:title" or "T") and pauses in ms.
    void lastNoticeWins_data()
    {
        QTest::addColumn<QString>("notices");
        QTest::newRow("start") << "S:a";
        QTest::newRow("start, stop at once") << "S:a T";
        QTest::newRow("start, start at once") << "S:a S:b";
        QTest::newRow("start, stop, start at once") << "S:a T S:b";
        QTest::newRow("start, stop, start, stop") << "S:a T S:b T";
        QTest::newRow("missed stop") << "S:a 1500 S:b 1500 S:a";
        QTest::newRow("stop while stopping") << "S:a 1500 T 0 T";
        QTest::newRow("start while stopping, then stop") << "S:a 1500 T 50 S:b 50 T";
        QTest::newRow("same title twice") << "S:a 300 S:a";
    }

    void lastNoticeWins() { runNotices(false); }

    // The same sequences with the relay library recording the simulated recorder's stream.
    void lastNoticeWinsWithTheRelay_data() { lastNoticeWins_data(); }
    void lastNoticeWinsWithTheRelay()
    {
        if (qEnvironmentVariableIsEmpty("QUREL_WITH_RELAY"))
            QSKIP("run by tst_lessonsequences_relay");
        runNotices(true);
    }

    // Every title the notice can carry gives a file name that fits, with the longest suffix.
    void longTitlesFitTheFileSystem()
    {
        const QDateTime when(QDate(2015, 3, 7), QTime(14, 5, 9));
        const QString fits = QString(60, QChar(0x8BFE)); // 180 bytes
        QCOMPARE(RecordingBaseName(fits, when), fits + "_20150307140509");
        for (const QString &title : { QString(85, QChar(0x8BFE)), QString(256, 'a'),
                 QString(50, 'a') + QString::fromUtf8("\U0001F600").repeated(60) }) {
            const QString base = RecordingBaseName(title, when);
            QVERIFY(base.endsWith("_20150307140509"));
            QVERIFY(base.toUtf8().size() + 16 <= 255);
            QVERIFY(title.startsWith(base.chopped(15)));
            QVERIFY(!base.contains(QChar::ReplacementCharacter));
            QCOMPARE(QString::fromUtf8(base.toUtf8()), base); // no half character
        }
        Fixture f;
        QVERIFY(f.start(QString(85, QChar(0x8BFE)), loginTo(*m_sim), f.recordings.path()));
        QVERIFY(f.stop());
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(f.finished.size(), 1);
        QVERIFY(QFileInfo::exists(ImageSidePath(f.finished.first(), ".axt")));
    }

    // What a keeper started again does with the journal the last one left.
    void resumePlans_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("recorder");
        QTest::addColumn<int>("goneSecs"); // since the last keeper was last seen working
        QTest::addColumn<int>("lessonMinutes"); // since the copy began
        QTest::addColumn<int>("finished"); // copies whose files are made now
        QTest::addColumn<bool>("resumed");
        QTest::newRow("killed while recording") << "recording" << "r" << 30 << 50 << 2 << true;
        QTest::newRow("killed while starting") << "starting" << "r" << 30 << 0 << 1 << true;
        QTest::newRow("gone too long") << "recording" << "r" << 700 << 50 << 2 << false;
        QTest::newRow("stop already seen") << "stopping" << "r" << 30 << 50 << 2 << false;
        QTest::newRow("another recorder now") << "recording" << "other" << 30 << 50 << 2 << false;
        QTest::newRow("longest lesson reached") << "recording" << "r" << 30 << 245 << 2 << false;
        QTest::newRow("nothing running") << "idle" << "r" << 30 << 0 << 1 << false;
    }

    void resumePlans()
    {
        QFETCH(QString, state);
        QFETCH(QString, recorder);
        QFETCH(int, goneSecs);
        QFETCH(int, lessonMinutes);
        QFETCH(int, finished);
        QFETCH(bool, resumed);
        const QDateTime now(QDate(2026, 12, 9), QTime(10, 0, 0));
        JournalEntry entry;
        entry.state = state;
        entry.title = "课";
        entry.file = state == "recording" || state == "stopping" ? "/r/课_1.mp4" : QString();
        entry.startTime = lessonMinutes ? now.addSecs(-60 * lessonMinutes) : QDateTime();
        entry.recorder = "r";
        entry.finishing = { { "/r/earlier.mp4", now.addSecs(-7200) } };
        // The journal survives its round trip, and a damaged one reads as none.
        QTemporaryDir dir;
        const LessonJournal journal(dir.filePath("sub/journal.json"));
        QVERIFY(journal.write(entry));
        QVERIFY(journal.read() == entry);
        QCOMPARE(QFileInfo(journal.path()).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QVERIFY(!LessonJournal::Decode("{\"version\":1,"));
        const ResumePlan plan = PlanResume(entry, now.addSecs(-goneSecs), now, recorder, 240);
        QCOMPARE(plan.finish.size(), finished);
        QCOMPARE(plan.finish.first().mp4Path, QString("/r/earlier.mp4"));
        QCOMPARE(plan.resume, resumed);
        if (resumed) {
            QCOMPARE(plan.title, QString("课"));
            QVERIFY(plan.deadline > now && plan.deadline <= now.addSecs(240 * 60));
        }
    }

    // One message, one line in the lesson log, whatever a title holds.
    void logLines()
    {
        const QDateTime when(QDate(2026, 12, 9), QTime(9, 0, 0, 123));
        QCOMPARE(FormatLogLine(QtInfoMsg, "qurel.lesson", "start \"课\"\nmark=stop_record", when),
            QString("2026-12-09 09:00:00.123 INFO qurel.lesson: start \"课\"\\nmark=stop_record"));
        QCOMPARE(FormatLogLine(QtWarningMsg, "default", "disk", when), QString("2026-12-09 09:00:00.123 WARNING disk"));
        // The file stays bounded: a full one moves aside and a new one begins.
        QTemporaryDir dir;
        const QString path = dir.filePath("logs/lessons.log");
        InstallLessonLog(path, 400);
        for (int i = 0; i < 20; ++i)
            qCInfo(lcLesson) << "step" << i;
        qCDebug(lcLesson) << "not kept";
        InstallLessonLog(QString());
        QVERIFY(QFileInfo(path).size() <= 400 && QFileInfo(path + ".1").size() <= 400);
        QFile last(path);
        QVERIFY(last.open(QIODevice::ReadOnly));
        const QByteArray text = last.readAll();
        QVERIFY(text.contains("qurel.lesson: step 19"));
        QVERIFY(!text.contains("not kept"));
    }

    void theGrowingFileIsWatched_data()
    {
        QTest::addColumn<QList<OutputProbe>>("probes");
        QTest::addColumn<QList<int>>("problems");
        const auto probe = [](std::int64_t size, std::int64_t free = std::int64_t(10) << 30, bool folder = true) {
            return OutputProbe { folder, size >= 0, std::max<std::int64_t>(size, 0), free, {} };
        };
        using P = OutputProblem;
        // One look per second; a problem shows at the look that finds it.
        QTest::newRow("growing") << QList<OutputProbe> { probe(10), probe(20), probe(30), probe(40) }
                                 << QList<int> { int(P::None), int(P::None), int(P::None), int(P::None) };
        QTest::newRow("stalls")
            << QList<OutputProbe> { probe(10), probe(20), probe(20), probe(20), probe(20), probe(30) }
            << QList<int> { int(P::None), int(P::None), int(P::None), int(P::None), int(P::Stalled), int(P::None) };
        QTest::newRow("disk full") << QList<OutputProbe> { probe(10), probe(10), probe(10), probe(10, 1000) }
                                   << QList<int> { int(P::None), int(P::None), int(P::None), int(P::DiskFull) };
        QTest::newRow("folder gone") << QList<OutputProbe> { probe(10), probe(-1, -1, false) }
                                     << QList<int> { int(P::None), int(P::FolderGone) };
        QTest::newRow("low space") << QList<OutputProbe> { probe(10, 100 << 20), probe(20, 100 << 20) }
                                   << QList<int> { int(P::LowSpace), int(P::LowSpace) };
        // What the relay reports names the cause at once.
        const auto told = [](RelayHealth health, std::int64_t size = 10) {
            health.known = true;
            return OutputProbe { true, true, size, std::int64_t(10) << 30, health };
        };
        QTest::newRow("write fails") << QList<OutputProbe> { probe(10), told({ true, true, EFBIG }) }
                                     << QList<int> { int(P::None), int(P::WriteFailed) };
        QTest::newRow("disk full, told") << QList<OutputProbe> { probe(10), told({ true, true, ENOSPC }) }
                                         << QList<int> { int(P::None), int(P::DiskFull) };
        QTest::newRow("file removed") << QList<OutputProbe> { told({ true, false, 0, true }) }
                                      << QList<int> { int(P::FolderGone) };
        QTest::newRow("stream silent")
            << QList<OutputProbe> { told({}, 10), told({}, 10), told({}, 10), told({ true, false, 0, false, 3000 }) }
            << QList<int> { int(P::None), int(P::None), int(P::None), int(P::StreamSilent) };
        QTest::newRow("no sound") << QList<OutputProbe> { told({ true, false, 0, false, 0, true }, 10) }
                                  << QList<int> { int(P::NoSound) };
        // No picture yet: the first keyframe is waited for before the file counts as stalled.
        QTest::newRow("first keyframe")
            << QList<OutputProbe> { probe(-1), probe(-1), probe(-1), probe(-1), probe(-1), probe(-1), probe(-1),
                   probe(-1), probe(-1) }
            << QList<int> { 0, 0, 0, 0, 0, 0, 0, int(P::Stalled), int(P::Stalled) };
    }

    void theGrowingFileIsWatched()
    {
        QFETCH(QList<OutputProbe>, probes);
        QFETCH(QList<int>, problems);
        OutputWatch watch;
        watch.reset(0);
        for (int i = 0; i < probes.size(); ++i)
            QCOMPARE(int(watch.assess(probes[i], (i + 1) * 1000)), problems[i]);
    }
};

QTEST_GUILESS_MAIN(TestLessonRecorder)
#include "tst_lessonrecorder.moc"
