// The user's autostart entry: its text, switching it on and off, and qurelctl's command for it.
#include "Autostart.h"

#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT

private:
    static QString run(const QStringList &args, int *status)
    {
        QProcess process;
        process.start(QStringLiteral(QURELCTL), args);
        process.waitForFinished(10000);
        *status = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

private slots:
    void cleanup() { QFile::remove(Qurel::AutostartEntryPath()); }

    void entryPath()
    {
        QCOMPARE(Qurel::AutostartEntryPath(),
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/" QUREL_APP_ID ".desktop"));
    }

    void execQuoting_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/lib/qurel/qurel" << "Exec=/usr/lib/qurel/qurel";
        QTest::newRow("blank") << "/opt/Qurel 1/qurel" << "Exec=\"/opt/Qurel 1/qurel\"";
        QTest::newRow("dollar and quote") << "/x/$a\"b/qurel" << "Exec=\"/x/\\\\$a\\\\\"b/qurel\"";
        QTest::newRow("Chinese") << "/home/老师/qurel" << "Exec=/home/老师/qurel";
    }

    void execQuoting()
    {
        QFETCH(QString, client);
        QFETCH(QString, exec);
        const QStringList lines = QString::fromUtf8(Qurel::AutostartEntry(client)).split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
        QVERIFY2(lines.contains(exec), qPrintable(lines.join(QLatin1Char('|'))));
    }

    void onOffAndHidden()
    {
        QString error;
        QVERIFY(!Qurel::IsAutostartOn());
        QVERIFY(Qurel::SetAutostart(true, QStringLiteral("/opt/Qurel 1/qurel"), &error));
        QVERIFY(Qurel::IsAutostartOn());
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (!validator.isEmpty()) {
            QProcess check;
            check.start(validator, { Qurel::AutostartEntryPath() });
            QVERIFY(check.waitForFinished(10000));
            QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
        }

        // A session tool that switched the entry off leaves it hidden.
        QFile entry(Qurel::AutostartEntryPath());
        QVERIFY(entry.open(QIODevice::Append));
        entry.write("Hidden=true\n");
        entry.close();
        QVERIFY(!Qurel::IsAutostartOn());

        QVERIFY(Qurel::SetAutostart(false, QString(), &error));
        QVERIFY(!QFileInfo::exists(Qurel::AutostartEntryPath()));
        QVERIFY(Qurel::SetAutostart(false, QString(), &error)); // already off
    }

    void qurelctlCommand()
    {
        int status = -1;
        QVERIFY(run({ "autostart" }, &status).startsWith(QStringLiteral("autostart off")));
        QCOMPARE(status, 0);
        QVERIFY(run({ "autostart", "on" }, &status).startsWith(QStringLiteral("autostart on")));
        QCOMPARE(status, 0);
        // The entry starts the client beside this qurelctl.
        const QString client = QFileInfo(QStringLiteral(QURELCTL)).absolutePath() + QStringLiteral("/qurel");
        QVERIFY(Qurel::AutostartEntry(client).contains(QByteArray("Exec=")));
        QFile entry(Qurel::AutostartEntryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QCOMPARE(entry.readAll(), Qurel::AutostartEntry(client));
        QVERIFY(run({ "autostart" }, &status).startsWith(QStringLiteral("autostart on")));
        QVERIFY(run({ "autostart", "off" }, &status).startsWith(QStringLiteral("autostart off")));
        QVERIFY(!QFileInfo::exists(Qurel::AutostartEntryPath()));
        run({ "autostart", "maybe" }, &status);
        QCOMPARE(status, 2);
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "test_autostart.moc"
