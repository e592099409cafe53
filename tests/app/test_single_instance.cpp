// One client per user: the guard in one process, across real processes (a helper that claims it
// like the program entry, and the client itself), and qurelctl talking to the running client.
#include "ExternalMessages.h"
#include "InstanceGuard.h"
#include "KeeperProcess.h"
#include "KeeperSocket.h"

#include <QProcess>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_program;

    static bool startHelper(QProcess &helper)
    {
        helper.start(QStringLiteral(GUARD_HELPER), QStringList());
        return helper.waitForStarted(10000);
    }

    static QByteArray waitForLine(QProcess &process)
    {
        QElapsedTimer timer;
        timer.start();
        while (!process.canReadLine() && timer.elapsed() < 20000) {
            if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
                break;
        }
        return process.readLine().trimmed();
    }

    static void holdGuard(QProcess &helper)
    {
        QVERIFY(startHelper(helper));
        QCOMPARE(waitForLine(helper), QByteArray("held"));
    }

    static void releaseGuard(QProcess &helper)
    {
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitCode(), 0);
    }

    // A second copy: shows the notice and ends with 3.
    static void expectRefused()
    {
        QProcess second;
        QVERIFY(startHelper(second));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 3);
        QCOMPARE(QString::fromUtf8(second.readAllStandardOutput().trimmed()),
            QStringLiteral("notice|提示!|程序已经运行, 按确定关闭此窗口!"));
    }

    static int qurelctl(const QStringList &args)
    {
        QProcess ctl;
        ctl.start(QStringLiteral(QURELCTL), args);
        if (!ctl.waitForFinished(10000))
            return -1;
        return ctl.exitCode();
    }

private slots:
    // The clients killed here leave the keeper they started running.
    void cleanupTestCase() { QVERIFY(QurelTest::EndKeeper(Qurel::UserKeeperSocketPath())); }

    void guardInOneProcess()
    {
        auto first = std::make_unique<Qurel::InstanceGuard>(QStringLiteral("QurelTest"));
        Qurel::InstanceGuard second(QStringLiteral("QurelTest"));
        QVERIFY(first->tryAcquire());
        QVERIFY(first->tryAcquire()); // holding it already
        QVERIFY(!second.tryAcquire());
        QVERIFY(!second.isHeld());
        first.reset();
        QVERIFY(second.tryAcquire());
        QVERIFY(second.isHeld());
    }

    void aLockThatCannotBeMadeIsAnError()
    {
        // Running without the lock would let a second copy record the same lesson.
        QTemporaryDir dir;
        Qurel::InstanceGuard guard(QStringLiteral("Qurel"), dir.filePath(QStringLiteral("no/such/folder")));
        QVERIFY(!guard.tryAcquire());
        QVERIFY(!guard.isHeld());
        QVERIFY(guard.failed());
        QVERIFY(!guard.errorString().isEmpty());
    }

    void aClientWithoutAPrivateFolderDoesNotStart()
    {
        // No runtime folder, and the data folder's own is a link into /tmp: nothing is made there.
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("data/ZEL_Qurel"))));
        QVERIFY(QFile::link(QStringLiteral("/tmp"), home.filePath(QStringLiteral("data/ZEL_Qurel/runtime"))));
        QProcess helper;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        helper.setProcessEnvironment(env);
        QVERIFY(startHelper(helper));
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitCode(), 3);
        QVERIFY(QString::fromUtf8(helper.readAllStandardOutput())
                    .startsWith(QStringLiteral("notice|提示!|无法创建程序的运行锁, 程序不能启动!")));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/Qurel.lock")));
    }

    void secondProcessShowsTheNoticeAndEnds()
    {
        QProcess first;
        holdGuard(first);
        expectRefused();
        QCOMPARE(first.state(), QProcess::Running);
        releaseGuard(first);

        // Released with the process: the next copy runs.
        QProcess next;
        holdGuard(next);
        releaseGuard(next);
    }

    void aKilledHolderLeavesNoBlockingLock()
    {
        QProcess first;
        holdGuard(first);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QProcess next;
        holdGuard(next);
        releaseGuard(next);
    }

    void runningClientRefusesASecondCopyAndTakesMessages()
    {
        // The client from a program folder of its own, in the manual mode: it opens no connection.
        QVERIFY(m_program.isValid());
        const QDir built(QStringLiteral(QUREL_PROGRAM_DIR));
        for (const QString &name :
            built.entryList({ QStringLiteral("qurel"), QStringLiteral("*.so") }, QDir::Files))
            QVERIFY(QFile::copy(built.filePath(name), m_program.filePath(name)));
        QFile ini(m_program.filePath(QStringLiteral("config.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ver]\r\nAutoRec=0\r\n");
        ini.close();

        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        client.start(m_program.filePath(QStringLiteral("qurel")), QStringList());
        QVERIFY(client.waitForStarted(10000));
        QElapsedTimer timer;
        timer.start();
        while (qurelctl({ QStringLiteral("0x40B"), QStringLiteral("0") }) != 0 && timer.elapsed() < 30000)
            QTest::qWait(200);
        QVERIFY2(timer.elapsed() < 30000, "the client's message channel never answered");

        expectRefused();
        QCOMPARE(client.state(), QProcess::Running);
        QCOMPARE(qurelctl({ QStringLiteral("hotkey"), QStringLiteral("F5") }), 0);
        QCOMPARE(qurelctl({ QStringLiteral("play"), QStringLiteral("15000") }), 0);
        QCOMPARE(qurelctl({ QStringLiteral("raw"), QStringLiteral("0x40B"), QStringLiteral("1"),
                     QStringLiteral("0") }),
            0);
        QCOMPARE(qurelctl({ QStringLiteral("hotkey"), QStringLiteral("F9") }), 2);
        QCOMPARE(qurelctl({ QStringLiteral("--help") }), 0);
        QCOMPARE(client.state(), QProcess::Running);

        client.terminate();
        if (!client.waitForFinished(10000)) {
            client.kill();
            client.waitForFinished(10000);
        }
        QCOMPARE(qurelctl({ QStringLiteral("show") }), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
