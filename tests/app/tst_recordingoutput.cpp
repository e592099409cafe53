// The recording workflow's steps without a window: names, the RTSP address,
// the relay record, and the failure paths (with a relay that can be told to
// fail, against the simulated recorder's CGI on 127.0.0.21).
#include "ProgramFolder.h"
#include "RecorderSim.h"
#include "RecordingOutput.h"
#include "RecordingsStore.h"
#include "zelmicro.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qurel;

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

    RelayCalls calls_()
    {
        clock.start();
        RelayCalls r;
        r.create = [this](std::int32_t stream, const void *config) {
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
        return r;
    }
};

struct Fixture
{
    QTemporaryDir program;
    QTemporaryDir recordings;
    FakeRelay relay;
    QStringList messages;
    std::unique_ptr<RecordingOutput> output;

    explicit Fixture(RecordingOutput::Options options = {})
    {
        // No thumbnail tool here: the placeholder picture takes its place.
        QFile pic(program.path() + "/WithoutPic.jpg");
        if (pic.open(QIODevice::WriteOnly))
            pic.write("placeholder");
        SetProgramFolderForTesting(program.path());
        output = std::make_unique<RecordingOutput>(
            relay.calls_(), [this](const QString &text) { messages << text; }, options);
    }
    ~Fixture() { SetProgramFolderForTesting(QString()); }
};

RecorderLogin loginTo(const RecorderSim &sim)
{
    return { sim.address(), sim.httpPort(), QStringLiteral("admin"), QStringLiteral("admin") };
}

RecordingOutput::Options quickOptions()
{
    RecordingOutput::Options o;
    o.earlyStopWaitMs = 0;
    o.mp4WaitMs = 300;
    return o;
}

} // namespace

class TestRecordingOutput : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecorderSim> m_sim;

private slots:
    void initTestCase()
    {
        RecorderSimOptions options;
        options.address = QHostAddress(kSimAddress);
        options.stream = false;
        m_sim = std::make_unique<RecorderSim>(options);
        QString error;
        QVERIFY2(m_sim->start(&error), qPrintable(error));
    }

    void init()
    {
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
        QCOMPARE(ElapsedText(0), QString("00:00:00"));
        QCOMPARE(ElapsedText(5), QString("00:00:05"));
        QCOMPARE(ElapsedText(3723), QString("01:02:03"));
        QCOMPARE(ElapsedText(100 * 3600), QString("100:00:00"));
        QCOMPARE(ElapsedText(-3), QString("00:00:00"));
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
        Fixture f;
        const RtspUrlResult r = f.output->GetRtspUrl(loginTo(*m_sim));
        QVERIFY(r.ok);
        QCOMPARE(r.rtpMode, QString("0"));
        QCOMPARE(r.url, BuildRtspUrl(kSimAddress, m_sim->rtspPort(), m_sim->loginKeys().last()));
        const QList<SimRequest> requests = m_sim->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].queryValue("action"), QString("24685"));
        QVERIFY(requests[1].path.endsWith("/cgi-bin/logon.cgi"));
        QVERIFY(f.messages.isEmpty());
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
        Fixture f;
        const RtspUrlResult r = f.output->GetRtspUrl(loginTo(*m_sim));
        QCOMPARE(r.ok, message.isEmpty());
        QCOMPARE(f.messages, message.isEmpty() ? QStringList() : QStringList { message });
        QCOMPARE(m_sim->requests().size(), requests);
        m_sim->setRtspOnlineCount(0);
        m_sim->setRefuseLogins(false);
    }

    void aFailedStartChangesNothing()
    {
        Fixture f(quickOptions());
        m_sim->setRefuseLogins(true);
        QVERIFY(!f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        m_sim->setRefuseLogins(false);
        QVERIFY(!f.output->RecordingActive());
        QVERIFY(f.relay.calls.isEmpty());
        QCOMPARE(f.output->StopRecording(), RecordingOutput::StopOutcome::NotRecording);
        QVERIFY(f.relay.calls.isEmpty());
    }

    void aStreamThatFailedToStartIsDestroyed()
    {
        Fixture f(quickOptions());
        f.relay.startResult = 3;
        QVERIFY(!f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QCOMPARE(f.messages, QStringList { "开始录制失败" });
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0", "destroy 0" }));
        QVERIFY(!f.output->RecordingActive());

        // So the next recording can have stream 0 again.
        f.relay.startResult = 0;
        f.messages.clear();
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QVERIFY(f.messages.isEmpty());
    }

    void createFailureAndFolderFailure()
    {
        Fixture f(quickOptions());
        f.relay.createResult = -1;
        QVERIFY(!f.output->StartRecording("", loginTo(*m_sim), f.recordings.path()));
        QCOMPARE(f.messages, QStringList { "创建转播流失败" });
        QCOMPARE(f.relay.calls, QStringList { "create 0" });

        // Only the last level of the folder is created.
        f.messages.clear();
        f.relay.calls.clear();
        QVERIFY(!f.output->StartRecording("", loginTo(*m_sim), f.recordings.path() + "/a/b"));
        QCOMPARE(f.messages, QStringList { "创建文件夹失败！" });
        QVERIFY(f.relay.calls.isEmpty());
    }

    void aSecondStartIsIgnored()
    {
        Fixture f(quickOptions());
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        const QString file = f.output->FileName();
        QVERIFY(file.startsWith(f.recordings.path() + "/课_"));
        QVERIFY(file.endsWith(".mp4"));
        m_sim->clearRecords();
        QVERIFY(!f.output->StartRecording("又一课", loginTo(*m_sim), f.recordings.path()));
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0" }));
        QCOMPARE(f.output->FileName(), file);
        QVERIFY(m_sim->requests().isEmpty());
        QVERIFY(f.messages.isEmpty());
    }

    void aFinishedRecordingGetsItsFiles()
    {
        Fixture f(quickOptions());
        // A fresh recordings folder: no Image folder in it.
        const QString folder = f.recordings.path() + "/fresh";
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), folder));
        const QString mp4 = f.output->FileName();
        const QDateTime started = f.output->StartTime();
        QCOMPARE(f.output->StopRecording(), RecordingOutput::StopOutcome::Finished);
        QCOMPARE(f.relay.calls, (QStringList { "create 0", "start 0", "destroy 0", "stop 0" }));
        QVERIFY(!f.output->RecordingActive());
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

    void destroyFailureMakesNoFiles()
    {
        Fixture f(quickOptions());
        f.relay.destroyResult = 7;
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QCOMPARE(f.output->StopRecording(), RecordingOutput::StopOutcome::DestroyFailed);
        QCOMPARE(f.messages, QStringList { "销毁录播流失败, ErrorCode=7" });
        QCOMPARE(f.relay.calls.last(), QString("destroy 0"));
        QVERIFY(!f.output->RecordingActive());
        QVERIFY(!QFileInfo::exists(f.recordings.path() + "/Image"));
    }

    void theWaitForTheVideoIsBounded()
    {
        Fixture f(quickOptions());
        f.relay.writeFile = false;
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(f.output->StopRecording(), RecordingOutput::StopOutcome::Finished);
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().startsWith("等待录制的视频文件生成超时"));
        QVERIFY(!f.output->RecordingActive());
        QVERIFY(!QFileInfo::exists(ImageSidePath(f.output->FileName(), ".axt")));
    }

    void aNearlyFullDiskRefusesToStart()
    {
        RecordingOutput::Options options = quickOptions();
        options.minFreeBytes = std::numeric_limits<std::int64_t>::max();
        Fixture f(options);
        QVERIFY(!f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().contains("空间不足"));
        QVERIFY(m_sim->requests().isEmpty());
        QVERIFY(f.relay.calls.isEmpty());
    }

    void anEarlyStopWaitsFiveSeconds()
    {
        Fixture f; // default options: 5 s
        f.relay.writeFile = true;
        QVERIFY(f.output->StartRecording("课", loginTo(*m_sim), f.recordings.path()));
        QTest::qWait(1000);
        const qint64 stopAt = f.relay.clock.elapsed();
        QCOMPARE(f.output->StopRecording(), RecordingOutput::StopOutcome::Finished);
        QVERIFY2(
            f.relay.destroyAtMs - stopAt >= 5000, qPrintable(QString::number(f.relay.destroyAtMs - stopAt)));
        QVERIFY(f.relay.destroyAtMs - stopAt < 6500);
    }
};

QTEST_GUILESS_MAIN(TestRecordingOutput)
#include "tst_recordingoutput.moc"
