// The wire between a keeper and its views: the line protocol's strings and refusals, and the
// server and client talking over a real local socket to a stand-in keeper.
#include "ExternalMessages.h"
#include "KeeperClient.h"
#include "KeeperProtocol.h"
#include "KeeperServer.h"
#include "KeeperSocket.h"

#include <QBuffer>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QtTest>

#include <future>

#include <sys/stat.h>

using Qurel::KeeperCommand;
using Qurel::KeeperEvent;
using Qurel::KeeperSnapshot;

namespace {

// Has LessonKeeper's slots and signals and records what reached it.
class FakeKeeper : public QObject
{
    Q_OBJECT

public:
    KeeperSnapshot current;
    QStringList calls;

    KeeperSnapshot snapshot() const { return current; }

public slots:
    void startLesson() { calls << QStringLiteral("start"); }
    void stopLesson() { calls << QStringLiteral("stop"); }
    void hotKey(int virtualKey) { calls << QStringLiteral("hotkey %1").arg(virtualKey); }
    void finish() { calls << QStringLiteral("finish"); }

signals:
    void snapshotChanged(const Qurel::KeeperSnapshot &snapshot);
    void message(const QString &text);
    void lessonFinished(const QString &mp4Path);
    void finished();
};

KeeperSnapshot recordingSnapshot()
{
    KeeperSnapshot s;
    s.link = QStringLiteral("connected");
    s.linkText = QStringLiteral("已成功连接到录播机");
    s.linkTextVisible = true;
    s.state = QStringLiteral("recording");
    s.title = QStringLiteral("示例课程 \"引号\"\n第二行");
    s.file = QStringLiteral("/r/示例课程_20261209090000.mp4");
    s.startTime = QDateTime(QDate(2026, 12, 9), QTime(9, 0, 0, 123));
    s.warning = QStringLiteral("录像文件没有增长");
    s.retry = QStringLiteral("获取登录密钥失败");
    s.unfinishedFiles = QStringList { s.file, QStringLiteral("/r/old.mp4") };
    s.settled = false;
    return s;
}

QByteArray encoded(const KeeperSnapshot &snapshot)
{
    return Qurel::EncodeKeeperEvent({ KeeperEvent::Kind::Snapshot, snapshot, {}, 0 });
}

} // namespace

class TestKeeperWire : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_sockets = 0;
    // A fresh socket path for each test, so a test never meets another's leftovers.
    QString freshPath() { return m_dir.filePath(QStringLiteral("keeper%1.sock").arg(++m_sockets)); }

    // AskKeeper waits without an event loop, as qurelctl does; the keeper in this process answers
    // only while the test's event loop runs, so the question is asked from another thread.
    static std::optional<KeeperEvent> ask(const QString &path, KeeperCommand::Kind kind, QString *error = nullptr)
    {
        auto answer = std::async(std::launch::async, [path, kind] {
            QString why;
            auto event = Qurel::AskKeeper(path, { kind }, 2000, &why);
            return std::make_pair(event, why);
        });
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QTest::qWait(5);
        const auto [event, why] = answer.get();
        if (error)
            *error = why;
        return event;
    }

    static bool keeperAnswers(const QString &path)
    {
        const auto pong = ask(path, KeeperCommand::Kind::Ping);
        return pong && pong->kind == KeeperEvent::Kind::Pong;
    }

    static Qurel::KeeperClient::Options quickClient()
    {
        Qurel::KeeperClient::Options options;
        options.reconnectMs = 50;
        options.pingMs = 100;
        options.answerTimeoutMs = 400;
        return options;
    }

private slots:
    void initTestCase() { qRegisterMetaType<Qurel::KeeperSnapshot>(); }

    void commandsOnTheWire_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("window");
        QTest::addColumn<QByteArray>("wire");
        using K = KeeperCommand::Kind;
        QTest::newRow("attach window") << int(K::Attach) << 0 << true
                                       << QByteArray(R"({"cmd":"attach","v":1,"window":true})");
        QTest::newRow("attach") << int(K::Attach) << 0 << false
                                << QByteArray(R"({"cmd":"attach","v":1,"window":false})");
        QTest::newRow("start") << int(K::Start) << 0 << false << QByteArray(R"({"cmd":"start","v":1})");
        QTest::newRow("stop") << int(K::Stop) << 0 << false << QByteArray(R"({"cmd":"stop","v":1})");
        QTest::newRow("hotkey F5") << int(K::HotKey) << 0x74 << false
                                   << QByteArray(R"({"cmd":"hotkey","key":116,"v":1})");
        QTest::newRow("reload") << int(K::Reload) << 0 << false << QByteArray(R"({"cmd":"reload","v":1})");
        QTest::newRow("finish") << int(K::Finish) << 0 << false << QByteArray(R"({"cmd":"finish","v":1})");
        QTest::newRow("status") << int(K::Status) << 0 << false << QByteArray(R"({"cmd":"status","v":1})");
        QTest::newRow("ping") << int(K::Ping) << 0 << false << QByteArray(R"({"cmd":"ping","v":1})");
    }

    void commandsOnTheWire()
    {
        QFETCH(int, kind);
        QFETCH(int, key);
        QFETCH(bool, window);
        QFETCH(QByteArray, wire);
        const KeeperCommand command { KeeperCommand::Kind(kind), key, window };
        QCOMPARE(Qurel::EncodeKeeperCommand(command), wire + '\n');
        QString error;
        const auto back = Qurel::DecodeKeeperCommand(wire, &error);
        QVERIFY2(back, qPrintable(error));
        QVERIFY(*back == command);
    }

    void refusedLines_data()
    {
        QTest::addColumn<bool>("command"); // else an event
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("why");
        QTest::newRow("empty") << true << QByteArray() << "not JSON";
        QTest::newRow("words") << true << QByteArray("ping") << "not JSON";
        QTest::newRow("array") << true << QByteArray(R"(["ping"])") << "not a JSON object";
        QTest::newRow("binary") << true << QByteArray("\x01\xff{}", 4) << "not JSON";
        QTest::newRow("no version") << true << QByteArray(R"({"cmd":"ping"})") << "no protocol version";
        QTest::newRow("version text") << true << QByteArray(R"({"v":"1","cmd":"ping"})") << "no protocol version";
        QTest::newRow("version 2") << true << QByteArray(R"({"v":2,"cmd":"ping"})") << "protocol version 2";
        QTest::newRow("no command") << true << QByteArray(R"({"v":1})") << "no \"cmd\"";
        QTest::newRow("unknown command") << true << QByteArray(R"({"v":1,"cmd":"dance"})") << "unknown command";
        QTest::newRow("hotkey without key") << true << QByteArray(R"({"v":1,"cmd":"hotkey"})") << "virtual key";
        QTest::newRow("hotkey name") << true << QByteArray(R"({"v":1,"cmd":"hotkey","key":"F5"})") << "\"key\"";
        QTest::newRow("hotkey 256") << true << QByteArray(R"({"v":1,"cmd":"hotkey","key":256})") << "virtual key";
        QTest::newRow("hotkey fraction") << true << QByteArray(R"({"v":1,"cmd":"hotkey","key":116.5})") << "\"key\"";
        QTest::newRow("attach window text") << true << QByteArray(R"({"v":1,"cmd":"attach","window":"yes"})")
                                            << "\"window\"";
        QTest::newRow("unknown event") << false << QByteArray(R"({"v":1,"event":"party"})") << "unknown event";
        QTest::newRow("snapshot missing") << false << QByteArray(R"({"v":1,"event":"snapshot"})") << "\"snapshot\"";
        QTest::newRow("state number") << false << QByteArray(R"({"v":1,"event":"snapshot","snapshot":{"state":3}})")
                                      << "\"state\"";
        QTest::newRow("files not texts")
            << false << QByteArray(R"({"v":1,"event":"snapshot","snapshot":{"unfinishedFiles":["/a",2]}})")
            << "\"unfinishedFiles\"";
        QTest::newRow("bad time") << false
                                  << QByteArray(R"({"v":1,"event":"snapshot","snapshot":{"startTime":"yesterday"}})")
                                  << "\"startTime\"";
        QTest::newRow("settings missing") << true << QByteArray(R"({"v":1,"cmd":"settings"})") << "\"settings\"";
        QTest::newRow("settings port text") << true
                                            << QByteArray(R"({"v":1,"cmd":"settings","settings":{"httpPort":"80"}})")
                                            << "\"httpPort\"";
        QTest::newRow("too long") << true
                                  << QByteArray("{\"v\":1,\"cmd\":\"ping\",\"pad\":\"") + QByteArray(Qurel::kMaxKeeperLine, 'x') + "\"}"
                                  << "too long";
    }

    void refusedLines()
    {
        QFETCH(bool, command);
        QFETCH(QByteArray, line);
        QFETCH(QString, why);
        QString error;
        const bool decoded = command ? Qurel::DecodeKeeperCommand(line, &error).has_value()
                                     : Qurel::DecodeKeeperEvent(line, &error).has_value();
        QVERIFY(!decoded);
        QVERIFY2(error.contains(why), qPrintable(error));
    }

    void eventsRoundTrip()
    {
        const KeeperSnapshot full = recordingSnapshot();
        const KeeperEvent events[] = {
            { KeeperEvent::Kind::Snapshot, full, {}, 0 },
            { KeeperEvent::Kind::Snapshot, KeeperSnapshot {}, {}, 0 },
            { KeeperEvent::Kind::Status, full, QStringLiteral("link=connected window=attached"), 2 },
            { KeeperEvent::Kind::Message, {}, QStringLiteral("获取录播流失败"), 0 },
            { KeeperEvent::Kind::LessonFinished, {}, full.file, 0 },
            { KeeperEvent::Kind::Finished, {}, {}, 0 },
            { KeeperEvent::Kind::Pong, {}, {}, 0 },
            { KeeperEvent::Kind::Error, {}, QStringLiteral("unknown command"), 0 },
        };
        KeeperEvent service { KeeperEvent::Kind::Snapshot, full, {}, 0 };
        service.role = Qurel::KeeperRole::Service;
        service.recordings = QStringLiteral("/var/lib/qurel/room101/recordings");
        const auto serviceBack = Qurel::DecodeKeeperEvent(Qurel::EncodeKeeperEvent(service), nullptr);
        QVERIFY(serviceBack && serviceBack->role == Qurel::KeeperRole::Service);
        QCOMPARE(serviceBack->recordings, service.recordings);
        // A keeper that does not say who started it is left running by its windows.
        QVERIFY(Qurel::DecodeKeeperEvent(R"({"v":1,"event":"snapshot","snapshot":{}})", nullptr)->role
            == Qurel::KeeperRole::User);
        for (const KeeperEvent &event : events) {
            const QByteArray line = Qurel::EncodeKeeperEvent(event);
            QVERIFY(line.endsWith('\n'));
            QCOMPARE(line.count('\n'), 1); // one line, whatever the texts hold
            QString error;
            const auto back = Qurel::DecodeKeeperEvent(line, &error);
            QVERIFY2(back, qPrintable(error + QLatin1String(": ") + QString::fromUtf8(line)));
            QCOMPARE(Qurel::EncodeKeeperEvent(*back), line);
        }
        // The start time is the same moment in any time zone, to the millisecond.
        const auto back = Qurel::DecodeKeeperEvent(encoded(full), nullptr);
        QCOMPARE(back->snapshot.startTime, full.startTime);
        QCOMPARE(back->snapshot.startTime.time().msec(), 123);
        QVERIFY(!Qurel::DecodeKeeperEvent(encoded(KeeperSnapshot {}), nullptr)->snapshot.startTime.isValid());
    }

    void snapshotFieldsMissingOrUnknown()
    {
        // A keeper that says less (or more, being newer) is still understood.
        const auto event = Qurel::DecodeKeeperEvent(
            R"({"v":1,"event":"snapshot","later":[1],"snapshot":{"state":"recording","colour":"red"}})", nullptr);
        QVERIFY(event);
        QCOMPARE(event->snapshot.state, QStringLiteral("recording"));
        const KeeperSnapshot defaults;
        QCOMPARE(event->snapshot.settled, defaults.settled);
        QCOMPARE(event->snapshot.link, defaults.link);
        QVERIFY(event->snapshot.unfinishedFiles.isEmpty());
    }

    void statusLines()
    {
        const QDateTime now = QDateTime::currentDateTime();
        KeeperSnapshot recording = recordingSnapshot();
        recording.title = QStringLiteral("示例课程");
        recording.file = QStringLiteral("/r/a.mp4");
        recording.startTime = now.addSecs(-3725);
        QCOMPARE(Qurel::KeeperStatusLine(recording, 1, now),
            QStringLiteral("link=connected state=recording elapsed=01:02:05 title=\"示例课程\" file=\"/r/a.mp4\" "
                           "window=attached"));
        // A start time left over from a lesson does not count while idle.
        KeeperSnapshot idle;
        idle.link = QStringLiteral("manual");
        idle.startTime = now.addSecs(-50);
        QCOMPARE(Qurel::KeeperStatusLine(idle, 0, now),
            QStringLiteral("link=manual state=idle elapsed=00:00:00 title=\"\" file=\"\" window=none"));
    }

    void linesFromADevice()
    {
        const QByteArray longest(Qurel::kMaxKeeperLine, 'a');
        const struct
        {
            QByteArray bytes;
            Qurel::KeeperLineRead first;
            QByteArray line;
        } cases[] = {
            { "abc\ndef", Qurel::KeeperLineRead::Line, "abc" },
            { "abc", Qurel::KeeperLineRead::NeedMore, "" },
            { longest + '\n', Qurel::KeeperLineRead::Line, longest },
            { longest + "a\n", Qurel::KeeperLineRead::TooLong, "" },
            { longest + 'a', Qurel::KeeperLineRead::TooLong, "" },
        };
        for (const auto &c : cases) {
            QByteArray bytes = c.bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            QByteArray line;
            QCOMPARE(Qurel::ReadKeeperLine(buffer, &line), c.first);
            if (c.first == Qurel::KeeperLineRead::Line)
                QCOMPARE(line, c.line);
        }
    }

    void instanceNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("room101") << "room101" << true;
        QTest::newRow("at") << "r@east" << true;
        QTest::newRow("65") << QString(65, QLatin1Char('r')) << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("hidden") << ".room" << false;
        QTest::newRow("parent") << "../etc/passwd" << false;
        QTest::newRow("slash") << "a/b" << false;
        QTest::newRow("line end") << "room\n" << false;
        QTest::newRow("chinese") << "教室" << false;
    }

    void instanceNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(Qurel::IsKeeperInstanceName(name), valid);
    }

    void socketRights()
    {
        const struct
        {
            Qurel::KeeperServer::Access access;
            mode_t mode;
        } cases[] = { { Qurel::KeeperServer::Access::User, 0600 }, { Qurel::KeeperServer::Access::Group, 0660 } };
        for (const auto &c : cases) {
            const QString path = freshPath();
            // A socket left behind by a keeper that died is replaced.
            QLocalServer dead;
            QVERIFY(dead.listen(path));
            Qurel::KeeperServer server;
            QString error;
            QVERIFY2(server.listen(path, c.access, &error), qPrintable(error));
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
            QVERIFY(S_ISSOCK(info.st_mode));
            QCOMPARE(info.st_mode & 07777, c.mode);
            QVERIFY(keeperAnswers(path));
            server.close();
            QVERIFY(!QFile::exists(path));
        }
    }

    void viewAndKeeperTalk()
    {
        const QString path = freshPath();
        FakeKeeper keeper;
        keeper.current = recordingSnapshot();
        Qurel::KeeperServer server;
        QVERIFY(server.listen(path, Qurel::KeeperServer::Access::User, nullptr));
        Qurel::ServeKeeper(server, keeper);
        QSignalSpy reloads(&server, &Qurel::KeeperServer::reloadRequested);
        QSignalSpy windows(&server, &Qurel::KeeperServer::attachedWindowsChanged);

        Qurel::KeeperClient client(quickClient());
        QSignalSpy snapshots(&client, &Qurel::KeeperClient::snapshotChanged);
        QSignalSpy messages(&client, &Qurel::KeeperClient::message);
        QSignalSpy lessons(&client, &Qurel::KeeperClient::lessonFinished);
        QSignalSpy finished(&client, &Qurel::KeeperClient::finished);
        QVERIFY(!client.startLesson()); // nobody to tell yet
        client.connectToKeeper(path);
        QTRY_VERIFY(client.isAnswering());
        QCOMPARE(snapshots.count(), 1);
        QCOMPARE(encoded(client.snapshot()), encoded(keeper.current));
        QCOMPARE(server.attachedWindows(), 1);
        QCOMPARE(windows.count(), 1);

        // The window's commands reach the keeper in order.
        QVERIFY(client.startLesson());
        QVERIFY(client.hotKey(Qurel::kVkF6));
        QVERIFY(client.stopLesson());
        QVERIFY(client.reloadSettings());
        QVERIFY(client.finish());
        QTRY_COMPARE(keeper.calls, (QStringList { "start", "hotkey 117", "stop", "finish" }));
        QCOMPARE(reloads.count(), 1);

        // The window's settings, every field, answered with the snapshot; a window's keeper says so.
        QSignalSpy given(&server, &Qurel::KeeperServer::settingsGiven);
        server.setRole(Qurel::KeeperRole::Window);
        Qurel::KeeperSettings settings;
        settings.address = QStringLiteral("127.0.0.9");
        settings.httpPort = 8080;
        settings.username = QStringLiteral("教师");
        settings.password = QStringLiteral("p\"w\n");
        settings.savePath = QStringLiteral("/r/课程");
        settings.autoRec = false;
        settings.titleTime = 7;
        settings.creditTime = 0;
        settings.maxLessonMinutes = 90;
        QVERIFY(client.giveSettings(settings));
        QTRY_COMPARE(given.count(), 1);
        QVERIFY(given.at(0).at(0).value<Qurel::KeeperSettings>() == settings);
        QTRY_COMPARE(client.role(), Qurel::KeeperRole::Window);
        // A system instance keeps its own file's settings and tells its windows its folder.
        QSignalSpy refusals(&client, &Qurel::KeeperClient::refused);
        server.setRole(Qurel::KeeperRole::Service, QStringLiteral("/var/lib/qurel/r/recordings"));
        QTRY_COMPARE(client.role(), Qurel::KeeperRole::Service);
        QCOMPARE(client.recordings(), QStringLiteral("/var/lib/qurel/r/recordings"));
        QVERIFY(client.giveSettings(settings));
        QTRY_COMPARE(refusals.count(), 1);
        QCOMPARE(given.count(), 1);

        // The keeper's events reach the window; an unchanged snapshot is not sent again.
        KeeperSnapshot idle;
        idle.link = QStringLiteral("connected");
        emit keeper.snapshotChanged(idle);
        emit keeper.snapshotChanged(idle);
        emit keeper.message(QStringLiteral("获取录播流失败"));
        emit keeper.lessonFinished(QStringLiteral("/r/a.mp4"));
        emit keeper.finished();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(snapshots.count(), 2);
        QCOMPARE(client.snapshot().state, QStringLiteral("idle"));
        QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("获取录播流失败"));
        QCOMPARE(lessons.at(0).at(0).toString(), QStringLiteral("/r/a.mp4"));

        // qurelctl's questions, answered beside the attached window and after it left.
        QString error;
        auto status = ask(path, KeeperCommand::Kind::Status, &error);
        QVERIFY2(status, qPrintable(error));
        QCOMPARE(status->kind, KeeperEvent::Kind::Status);
        QCOMPARE(status->windows, 1);
        QVERIFY2(status->text.startsWith(QLatin1String("link=connected state=idle elapsed=00:00:00")),
            qPrintable(status->text));
        QVERIFY(status->text.endsWith(QLatin1String(" window=attached")));
        client.disconnectFromKeeper();
        QTRY_COMPARE(server.attachedWindows(), 0);
        status = ask(path, KeeperCommand::Kind::Status, &error);
        QVERIFY(status && status->text.endsWith(QLatin1String(" window=none")));
    }

    void badPeersAreRefusedAndOthersServed()
    {
        const QString path = freshPath();
        FakeKeeper keeper;
        Qurel::KeeperServer server;
        QVERIFY(server.listen(path, Qurel::KeeperServer::Access::User, nullptr));
        Qurel::ServeKeeper(server, keeper);

        // Garbage gets an error line and the connection goes on.
        QLocalSocket raw;
        raw.connectToServer(path);
        QVERIFY(raw.waitForConnected(2000));
        raw.write("hello\n{\"v\":9,\"cmd\":\"start\"}\n{\"v\":1,\"cmd\":\"ping\"}\n");
        QTRY_COMPARE(raw.bytesAvailable() > 0 ? raw.peek(raw.bytesAvailable()).count('\n') : 0, 3);
        QStringList answers;
        while (raw.canReadLine())
            answers << QString::fromUtf8(raw.readLine()).trimmed();
        QVERIFY2(answers[0].startsWith(QLatin1String("{\"event\":\"error\",\"text\":\"not JSON")),
            qPrintable(answers[0]));
        QVERIFY2(answers[1].contains(QLatin1String("protocol version 9")), qPrintable(answers[1]));
        QCOMPARE(answers[2], QStringLiteral("{\"event\":\"pong\",\"v\":1}"));
        QVERIFY(keeper.calls.isEmpty());

        // A line that never ends is cut off; the keeper serves the next view.
        raw.write(QByteArray(Qurel::kMaxKeeperLine + 100, 'x'));
        QTRY_COMPARE(raw.state(), QLocalSocket::UnconnectedState);
        QVERIFY(keeperAnswers(path));
    }

    void clientFollowsARestartedKeeper()
    {
        const QString path = freshPath();
        Qurel::KeeperClient client(quickClient());
        QSignalSpy answering(&client, &Qurel::KeeperClient::answeringChanged);
        client.connectToKeeper(path); // no keeper yet: the client keeps trying
        QTest::qWait(200);
        QVERIFY(!client.isAnswering());

        auto server = std::make_unique<Qurel::KeeperServer>();
        QVERIFY(server->listen(path, Qurel::KeeperServer::Access::User, nullptr));
        QTRY_VERIFY(client.isAnswering());
        server.reset(); // the keeper ends
        QTRY_VERIFY(!client.isAnswering());

        server = std::make_unique<Qurel::KeeperServer>();
        KeeperSnapshot resumed = recordingSnapshot();
        server->publishSnapshot(resumed);
        QVERIFY(server->listen(path, Qurel::KeeperServer::Access::User, nullptr));
        QTRY_VERIFY(client.isAnswering());
        QCOMPARE(encoded(client.snapshot()), encoded(resumed));
        QCOMPARE(answering.count(), 3);
        QVERIFY(client.stopLesson());
    }

    void clientGivesUpASilentKeeper()
    {
        // A keeper that answers the attach and then hangs: its process holds the socket open.
        const QString path = freshPath();
        QLocalServer hung;
        QVERIFY(hung.listen(path));
        int connections = 0;
        connect(&hung, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *socket = hung.nextPendingConnection()) {
                if (++connections == 1)
                    socket->write(encoded(KeeperSnapshot {}));
            }
        });
        Qurel::KeeperClient client(quickClient());
        client.connectToKeeper(path);
        QTRY_VERIFY(client.isAnswering());
        QTRY_VERIFY_WITH_TIMEOUT(!client.isAnswering(), 3000);
        QVERIFY(!client.startLesson());
        QTRY_VERIFY_WITH_TIMEOUT(connections >= 3, 3000); // and tries again, and again
        QVERIFY(!client.isAnswering());
        QVERIFY(!Qurel::KeeperAnswers(path, 300));
        QVERIFY(!Qurel::KeeperAnswers(m_dir.filePath(QStringLiteral("nobody.sock")), 300));
    }
};

QTEST_GUILESS_MAIN(TestKeeperWire)
#include "tst_keeperwire.moc"
