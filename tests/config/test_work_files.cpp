// Where the client writes its own files: beside a writable program folder as always, into the
// per-user data folder beside a read-only one; config.ini and temp.ppt through the user's copy.
#include "Configs.h"
#include "PrivateProfile.h"
#include "ProgramFolder.h"

#include <QtTest>

class TestWorkFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_scratch;
    QString m_program;
    QString m_user;

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QString autoRecIn(const QString &ini)
    {
        return Qurel::ReadProfileString(ini, QStringLiteral("Ver"), QStringLiteral("AutoRec")).value_or(QString());
    }

private slots:
    void init()
    {
        m_program = m_scratch.filePath(QStringLiteral("program/"));
        m_user = m_scratch.filePath(QStringLiteral("user/ZEL_Qurel/"));
        QDir(m_scratch.path()).removeRecursively();
        QDir().mkpath(m_program);
        write(m_program + QStringLiteral("temp.ppt"), "template");
        write(m_program + QStringLiteral("config.ini"), "[Ver]\r\nAutoRec=0");
    }

    void cleanup() { Qurel::SetProgramFolderForTesting(QString()); }

    void userDataFolderFollowsXdg()
    {
        QCOMPARE(Qurel::UserDataFolder(), qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/ZEL_Qurel/"));
    }

    void paths_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("userCopy");
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("read");
        QTest::newRow("portable copy") << true << false << "program/" << "program/";
        QTest::newRow("portable copy, stray user file") << true << true << "program/" << "program/";
        QTest::newRow("installed, first run") << false << false << "user/ZEL_Qurel/" << "program/";
        QTest::newRow("installed, user copy") << false << true << "user/ZEL_Qurel/" << "user/ZEL_Qurel/";
    }

    void paths()
    {
        QFETCH(bool, writable);
        QFETCH(bool, userCopy);
        QFETCH(QString, work);
        QFETCH(QString, read);
        if (userCopy)
            write(m_user + QStringLiteral("config.ini"), "[Ver]\r\nAutoRec=1");
        const Qurel::WorkFiles files(m_program, writable, m_user);
        const QString root = m_scratch.path() + QLatin1Char('/');
        QCOMPARE(files.folder(), root + work);
        QVERIFY(QFileInfo(files.folder()).isDir());
        QCOMPARE(files.writePath(QStringLiteral("log.txt")), root + work + QStringLiteral("log.txt"));
        QCOMPARE(files.defaultRecordingsFolder(), root + work + QStringLiteral("Resource/"));
        QCOMPARE(files.readPath(QStringLiteral("config.ini")), root + read + QStringLiteral("config.ini"));
    }

    void editableCopyIsMadeOnceAndWritable()
    {
        // An installed file may be read-only even to its owner; the user's copy must not be.
        QFile(m_program + QStringLiteral("temp.ppt")).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        const Qurel::WorkFiles installed(m_program, false, m_user);
        const QString copy = installed.editablePath(QStringLiteral("temp.ppt"));
        QCOMPARE(copy, m_user + QStringLiteral("temp.ppt"));
        QCOMPARE(read(copy), QByteArray("template"));
        QVERIFY(QFile(copy).permissions() & QFileDevice::WriteOwner);

        // The user's edits survive the next start.
        write(copy, "edited");
        QCOMPARE(installed.editablePath(QStringLiteral("temp.ppt")), copy);
        QCOMPARE(read(copy), QByteArray("edited"));
        QCOMPARE(read(m_program + QStringLiteral("temp.ppt")), QByteArray("template"));

        // Nothing to copy: the path is still the user's, and no file appears.
        QCOMPARE(installed.editablePath(QStringLiteral("missing.ppt")), m_user + QStringLiteral("missing.ppt"));
        QVERIFY(!QFileInfo::exists(m_user + QStringLiteral("missing.ppt")));

        const Qurel::WorkFiles portable(m_program, true, m_user);
        QCOMPARE(portable.editablePath(QStringLiteral("temp.ppt")), m_program + QStringLiteral("temp.ppt"));
    }

    // Settings are saved beside a writable program folder, and to the user's data folder when
    // the program folder is installed read-only; the installed defaults are read either way.
    void configIniFollowsTheProgramFolder_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed, read-only") << true;
        QTest::newRow("portable, writable") << false;
    }
    void configIniFollowsTheProgramFolder()
    {
        QFETCH(bool, installed);
        Qurel::SetProgramFolderForTesting(m_program, installed);
        const QString userIni = Qurel::UserDataFolder() + QStringLiteral("config.ini");
        const QString programIni = m_program + QStringLiteral("config.ini");
        QFile::remove(userIni);
        TSDKConfig config;
        config.Load();
        QCOMPARE(config.AutoRec, false); // the installed default

        config.AutoRec = true;
        QVERIFY(config.Save().ok);
        QCOMPARE(TSDKConfig::IniFileName(), installed ? userIni : programIni);
        QCOMPARE(autoRecIn(programIni), QString(installed ? "0" : "1"));
        QCOMPARE(QFileInfo::exists(userIni), installed);
        TSDKConfig again;
        again.Load();
        QCOMPARE(again.AutoRec, true);
        QFile::remove(userIni);
    }
};

QTEST_GUILESS_MAIN(TestWorkFiles)
#include "test_work_files.moc"
