// The external messages: line parser, qurelctl's commands, the local-socket channel, and the
// status and ping requests answered on it.
#include "ClientStatus.h"
#include "ExternalMessages.h"
#include "InstanceGuard.h"
#include "MessageChannel.h"
#include "RuntimeFolder.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using Qurel::ExternalMessage;

class TestMessages : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString channelName() const { return m_dir.filePath(QStringLiteral("Qurel")); }

    // The real qurelctl, while this process's event loop keeps the channel answering.
    static std::pair<int, QString> qurelctl(const QString &command)
    {
        QProcess ctl;
        QSignalSpy finished(&ctl, &QProcess::finished);
        ctl.start(QStringLiteral(QURELCTL), { command });
        finished.wait(10000);
        return { finished.isEmpty() ? -1 : ctl.exitCode(),
            QString::fromUtf8(ctl.readAllStandardOutput()).trimmed() };
    }

private slots:
    void parsesLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("msg");
        QTest::addColumn<qint64>("wParam");
        QTest::addColumn<qint64>("lParam");
        QTest::newRow("show") << "0x40B 0 0" << true << 0x40Bu << qint64(0) << qint64(0);
        QTest::newRow("play") << "0x40C 0 15000" << true << 0x40Cu << qint64(0) << qint64(15000);
        QTest::newRow("hotkey") << "0x312 0 0x740000" << true << 0x312u << qint64(0) << qint64(0x740000);
        QTest::newRow("decimal, blanks") << "  1035\t1   2 " << true << 1035u << qint64(1) << qint64(2);
        QTest::newRow("upper X, lower hex") << "0X40b 0 0" << true << 0x40Bu << qint64(0) << qint64(0);
        QTest::newRow("negative") << "0x40C -1 -5" << true << 0x40Cu << qint64(-1) << qint64(-5);
        QTest::newRow("empty") << "" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("two numbers") << "0x40B 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("four numbers") << "0x40B 0 0 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("word") << "show 0 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("bad hex") << "0x40G 0 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("bare 0x") << "0x 0 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("message too big") << "0x10000 0 0" << false << 0u << qint64(0) << qint64(0);
        QTest::newRow("overflow") << "0x40C 0 99999999999999999999999" << false << 0u << qint64(0)
                                  << qint64(0);
        QTest::newRow("binary") << QString::fromLatin1("\x01\xff 0 0", 6) << false << 0u << qint64(0)
                                << qint64(0);
        QTest::newRow("too long") << "0x40C 0 " + QString(300, QLatin1Char('1')) << false << 0u << qint64(0)
                                  << qint64(0);
    }

    void parsesLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, valid);
        const auto message = Qurel::ParseExternalMessage(line);
        QCOMPARE(message.has_value(), valid);
        if (!valid)
            return;
        QFETCH(quint32, msg);
        QFETCH(qint64, wParam);
        QFETCH(qint64, lParam);
        QCOMPARE(*message, (ExternalMessage { msg, wParam, lParam }));
        QCOMPARE(Qurel::ParseExternalMessage(Qurel::FormatExternalMessage(*message)), message);
    }

    void formatsLines()
    {
        QCOMPARE(Qurel::FormatExternalMessage({ 0x40C, 0, 15000 }), QStringLiteral("0x40C 0 15000"));
        QCOMPARE(Qurel::FormatExternalMessage({ 0x312, 0, Qurel::HotKeyLParam(Qurel::kVkF6) }),
            QStringLiteral("0x312 0 7667712"));
        QCOMPARE(Qurel::HotKeyVirtualKey(0x740003), 0x74);
    }

    void commandsBecomeMessages_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("line");
        QTest::newRow("show") << QStringList { "show" } << "0x40B 0 0";
        QTest::newRow("0x40B 0") << QStringList { "0x40B", "0" } << "0x40B 0 0";
        QTest::newRow("0x40B 1") << QStringList { "0x40B", "1" } << "0x40B 1 0";
        QTest::newRow("play") << QStringList { "play", "15000" } << "0x40C 0 15000";
        QTest::newRow("hotkey F5") << QStringList { "hotkey", "F5" } << "0x312 0 7602176";
        QTest::newRow("hotkey f6") << QStringList { "HOTKEY", "f6" } << "0x312 0 7667712";
        QTest::newRow("raw") << QStringList { "raw", "0x40C", "0", "0x10" } << "0x40C 0 16";
        QTest::newRow("three numbers") << QStringList { "0x312", "0", "7602176" } << "0x312 0 7602176";
        QTest::newRow("nothing") << QStringList {} << "";
        QTest::newRow("show with argument") << QStringList { "show", "1" } << "";
        QTest::newRow("play without position") << QStringList { "play" } << "";
        QTest::newRow("play negative") << QStringList { "play", "-5" } << "";
        QTest::newRow("play word") << QStringList { "play", "soon" } << "";
        QTest::newRow("hotkey F7") << QStringList { "hotkey", "F7" } << "";
        QTest::newRow("one number") << QStringList { "0x40B" } << "";
        QTest::newRow("raw missing") << QStringList { "raw", "0x40B" } << "";
        QTest::newRow("unknown word") << QStringList { "stop", "now" } << "";
    }

    void commandsBecomeMessages()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, line);
        QString error;
        const auto message = Qurel::CommandToMessage(args, &error);
        if (line.isEmpty()) {
            QVERIFY(!message);
            QVERIFY(!error.isEmpty());
        } else {
            QVERIFY2(message, qPrintable(error));
            QCOMPARE(Qurel::FormatExternalMessage(*message), line);
        }
    }

    void channelDeliversGoodLinesAndDropsBadOnes()
    {
        qRegisterMetaType<Qurel::ExternalMessage>();
        Qurel::MessageChannel channel;
        QVERIFY(channel.listen(channelName()));
        QSignalSpy received(&channel, &Qurel::MessageChannel::messageReceived);

        QString error;
        QVERIFY2(
            Qurel::SendExternalMessage({ 0x40C, 0, 15000 }, channelName(), 3000, &error), qPrintable(error));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).value<ExternalMessage>(), (ExternalMessage { 0x40C, 0, 15000 }));

        // Garbage between good lines, split writes, CR LF ends.
        QLocalSocket socket;
        socket.connectToServer(channelName());
        QVERIFY(socket.waitForConnected(3000));
        const char garbage[] = "hello\n0x40B 1 0\r\n\x00\x01\x02\n0x3";
        socket.write(QByteArray(garbage, sizeof garbage - 1));
        socket.flush();
        QTest::qWait(50);
        socket.write("12 0 7602176\n");
        socket.flush();
        QTRY_COMPARE(received.count(), 3);
        QCOMPARE(received.at(1).at(0).value<ExternalMessage>(), (ExternalMessage { 0x40B, 1, 0 }));
        QCOMPARE(received.at(2).at(0).value<ExternalMessage>(), (ExternalMessage { 0x312, 0, 0x740000 }));

        // A line without end that grows too long: the connection is dropped, the channel lives on.
        socket.write(QByteArray(5000, '7'));
        socket.flush();
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        QVERIFY(Qurel::SendExternalMessage({ 0x40B, 0, 0 }, channelName(), 3000, &error));
        QTRY_COMPARE(received.count(), 4);
    }

    void statusLines()
    {
        const struct
        {
            Qurel::ClientStatus status;
            const char *line;
        } cases[] = {
            { { "connected", "recording", "示例课程", 62, "/path/x.mp4" },
                "link=connected state=recording elapsed=00:01:02 title=\"示例课程\" file=\"/path/x.mp4\"" },
            { { "manual\n", "idle", "", -5, "" },
                "link=manual state=idle elapsed=00:00:00 title=\"\" file=\"\"" },
            { { "timed-out", "stopping", "a\"b\\c\r\nd%1\x01", 100 * 3600 + 1, "/\"x\".mp4" },
                "link=timed-out state=stopping elapsed=100:00:01 title=\"a\\\"b\\\\c\\r\\nd%1\\u0001\" "
                "file=\"/\\\"x\\\".mp4\"" },
        };
        for (const auto &c : cases)
            QCOMPARE(Qurel::FormatStatusLine(c.status), QString::fromUtf8(c.line));
    }

    // The window's channel still answers status and ping (above), but qurelctl asks the lesson
    // keeper: with only a window listening, nobody answers it (its own cases: tst_keeperd).
    void qurelctlAsksTheKeeperNotTheWindow()
    {
        const QString name = Qurel::MessageChannelName();
        Qurel::MessageChannel channel;
        channel.setStatusProvider([] { return Qurel::FormatStatusLine({ "manual", "idle", "", 7, "" }); });
        QVERIFY(channel.listen(name));
        for (const QString &command : { QStringLiteral("ping"), QStringLiteral("STATUS") })
            QCOMPARE(qurelctl(command), std::make_pair(1, QString()));
        QLocalServer::removeServer(name);
    }

    void requestsAreAnsweredMessagesAreNot()
    {
        Qurel::MessageChannel channel;
        QVERIFY(channel.listen(channelName()));
        int asked = 0;
        channel.setStatusProvider([&asked] { return QStringLiteral("line %1\r\nsecond").arg(++asked); });
        QSignalSpy received(&channel, &Qurel::MessageChannel::messageReceived);
        QLocalSocket socket;
        socket.connectToServer(channelName());
        QVERIFY(socket.waitForConnected(3000));
        socket.write("0x40B 0 0\nping\r\n  status \nPING\nstatus\n");
        const QByteArray answers("pong\nline 1  second\nline 2  second\n");
        QTRY_COMPARE(socket.bytesAvailable(), qint64(answers.size()));
        QCOMPARE(socket.readAll(), answers);
        QCOMPARE(received.count(), 1);

        // An over-long request is dropped with its connection, unanswered.
        socket.write("status" + QByteArray(5000, ' ') + "\n");
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(socket.bytesAvailable(), qint64(0));

        // A sender that asks without ever reading is cut off before its answers fill memory.
        QLocalSocket flood;
        flood.connectToServer(channelName());
        QVERIFY(flood.waitForConnected(3000));
        flood.write(QByteArray("ping\n").repeated(100000));
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 10000);
    }

    void aSocketLeftBehindIsTakenOver()
    {
        // A crashed client leaves its socket file; the next one (holding the guard) listens anyway.
        QFile stale(channelName());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        Qurel::MessageChannel channel;
        QVERIFY2(channel.listen(channelName()), qPrintable(channel.errorString()));
    }

    // The lock and the socket live in the user's runtime folder only when it is truly the user's,
    // else in a folder of the client's own (0700) in the data folder, and never anywhere shared.
    void lockAndSocketOnlyInAPrivateFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // what XDG_RUNTIME_DIR names
        QTest::addColumn<QString>("expected"); // runtime, data or none
        QTest::newRow("the user's runtime folder") << "own" << "runtime";
        QTest::newRow("a runtime folder open to others is closed") << "open" << "runtime";
        QTest::newRow("no runtime folder") << "unset" << "data";
        QTest::newRow("a relative path") << "relative" << "data";
        QTest::newRow("a link to a folder") << "link" << "data";
        QTest::newRow("another user's folder") << "foreign" << "data";
        QTest::newRow("the data folder's own is a link to /tmp") << "unset-data-link" << "none";
    }
    void lockAndSocketOnlyInAPrivateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, expected);
        QTemporaryDir home;
        const QString own = home.filePath(QStringLiteral("run"));
        const QString dataRuntime = home.filePath(QStringLiteral("data/ZEL_Qurel/runtime"));
        QVERIFY(QDir().mkpath(own) && QDir().mkpath(home.filePath(QStringLiteral("data/ZEL_Qurel"))));
        QVERIFY(::chmod(QFile::encodeName(own).constData(), runtime == "open" ? 0777 : 0700) == 0);
        QString named = own;
        if (runtime == "unset" || runtime == "unset-data-link")
            named.clear();
        else if (runtime == "relative")
            named = QStringLiteral("run");
        else if (runtime == "link") {
            named = home.filePath(QStringLiteral("link"));
            QVERIFY(QFile::link(own, named));
        } else if (runtime == "foreign") {
            const passwd *other = ::getpwnam("qurel-test");
            if (::geteuid() != 0 || !other)
                QSKIP("needs root and the user qurel-test (scripts/setup)");
            QVERIFY(::chown(QFile::encodeName(own).constData(), other->pw_uid, other->pw_gid) == 0);
        }
        if (runtime == "unset-data-link")
            QVERIFY(QFile::link(QStringLiteral("/tmp"), dataRuntime));
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(named));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
            qputenv("XDG_DATA_HOME", savedData);
        });

        QString error;
        const QString folder = Qurel::RuntimeFolder(&error);
        Qurel::InstanceGuard guard(QStringLiteral("QurelTest"));
        Qurel::MessageChannel channel;
        if (expected == "none") {
            QCOMPARE(folder, QString());
            QVERIFY(!error.isEmpty());
            QVERIFY(!guard.tryAcquire());
            QVERIFY(guard.failed());
            QVERIFY(!guard.errorString().isEmpty());
            QCOMPARE(Qurel::MessageChannelName(), QString());
            QVERIFY(!channel.listen(Qurel::MessageChannelName()));
            QVERIFY(QDir(QStringLiteral("/tmp")).entryList({ QStringLiteral("QurelTest.lock") }).isEmpty());
            return;
        }
        QCOMPARE(folder, expected == "runtime" ? own : dataRuntime);
        struct stat st
        {
        };
        QVERIFY(::lstat(QFile::encodeName(folder).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0700);
        QVERIFY(guard.tryAcquire());
        QVERIFY(!guard.failed());
        QCOMPARE(guard.lockFileName(), folder + QStringLiteral("/QurelTest.lock"));
        QCOMPARE(Qurel::MessageChannelName(), folder + QStringLiteral("/Qurel"));
        QVERIFY2(channel.listen(Qurel::MessageChannelName()), qPrintable(channel.errorString()));
    }

    void sendingWithoutAClientFails()
    {
        QString error;
        QVERIFY(!Qurel::SendExternalMessage(
            { 0x40B, 0, 0 }, m_dir.filePath(QStringLiteral("nobody")), 500, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "test_messages.moc"
