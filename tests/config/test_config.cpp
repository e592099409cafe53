// The settings store: defaults, names read and written, password storage, bad stored values,
// config.ini's start-up mode.
#include "Configs.h"
#include "Encrypts.h"
#include "PrivateProfile.h"
#include "ProgramFolder.h"

#include <QtTest>

#include <sys/stat.h>

class TestConfig : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_program;

    static std::unique_ptr<QSettings> store()
    {
        auto settings = std::make_unique<QSettings>(
            QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ZEL_Qurel"));
        settings->setFallbacksEnabled(false);
        return settings;
    }

    static void putStored(const QString &name, const QVariant &value)
    {
        auto settings = store();
        settings->setValue(QStringLiteral("Series_A/") + name, value);
    }

    static QStringList storedKeys()
    {
        auto settings = store();
        settings->beginGroup(QStringLiteral("Series_A"));
        return settings->childKeys();
    }

    static QString storedText(const QString &name)
    {
        return store()->value(QStringLiteral("Series_A/") + name).toString();
    }

    QString iniFile() const { return m_program.filePath(QStringLiteral("config.ini")); }

    void writeIni(const QByteArray &content)
    {
        QFile file(iniFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static TSDKConfig loaded()
    {
        TSDKConfig config;
        config.Load();
        return config;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_program.isValid());
        QVERIFY(TSDKConfig::StoreFileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    }

    void init()
    {
        Qurel::SetProgramFolderForTesting(m_program.path());
        store()->clear();
        QFile::remove(TSDKConfig::StoreFileName());
        QFile::remove(iniFile());
    }

    void firstRunGivesDefaultsAndCreatesOnlyTheEmptyStore()
    {
        QVERIFY(!QFile::exists(TSDKConfig::StoreFileName()));
        TSDKConfig config;
        config.Address = QStringLiteral("changed");
        config.AutoRec = false;
        config.Load();
        QCOMPARE(config.Address, QStringLiteral("192.168.2.26"));
        QCOMPARE(config.HttpPort, 80);
        QCOMPARE(config.VOBPort, 554);
        QCOMPARE(config.Username, QStringLiteral("admin"));
        QCOMPARE(config.Password, QString());
        QCOMPARE(config.UpLoadAddr, QStringLiteral("192.168.2.25"));
        QCOMPARE(config.UpLoadPort, 9500);
        QCOMPARE(config.SavePath, QString());
        QCOMPARE(config.TitleTime, 5);
        QCOMPARE(config.CreditTime, 5);
        QCOMPARE(config.AutoRec, true);
        QVERIFY(QFile::exists(TSDKConfig::StoreFileName()));
        QVERIFY(!store()->childGroups().contains(QStringLiteral("Series_A")));
        QVERIFY(!QFile::exists(iniFile()));
    }

    void saveWritesEveryFieldAsTextAndLoadReadsItBack()
    {
        TSDKConfig config;
        config.Address = QStringLiteral("127.0.0.80");
        config.HttpPort = 8080;
        config.VOBPort = -5;
        config.UpLoadAddr = QStringLiteral("platform.local");
        config.UpLoadPort = 9501;
        config.Username = QStringLiteral("teacher");
        config.Password = QStringLiteral("s3cret, with comma");
        config.SavePath = QStringLiteral("/data/课程 录像");
        config.TitleTime = 0;
        config.CreditTime = 12;
        config.AutoRec = false;
        QVERIFY(config.Save().ok);

        QCOMPARE(storedText(QStringLiteral("HttpPort")), QStringLiteral("8080"));
        QCOMPARE(storedText(QStringLiteral("VOBPort")), QStringLiteral("-5"));
        QCOMPARE(storedText(QStringLiteral("UploadAddr")), QStringLiteral("platform.local"));
        QCOMPARE(storedText(QStringLiteral("UploadPort")), QStringLiteral("9501"));
        QVERIFY(storedKeys().contains(QStringLiteral("Username")));
        QCOMPARE(
            Qurel::ReadProfileString(iniFile(), QStringLiteral("Ver"), QStringLiteral("AutoRec")).value(),
            QStringLiteral("0"));

        const TSDKConfig back = loaded();
        QCOMPARE(back.Address, config.Address);
        QCOMPARE(back.HttpPort, 8080);
        QCOMPARE(back.VOBPort, -5);
        QCOMPARE(back.UpLoadAddr, config.UpLoadAddr);
        QCOMPARE(back.UpLoadPort, 9501);
        QCOMPARE(back.Username, config.Username);
        QCOMPARE(back.Password, config.Password);
        QCOMPARE(back.SavePath, config.SavePath);
        QCOMPARE(back.TitleTime, 0);
        QCOMPARE(back.CreditTime, 12);
        QCOMPARE(back.AutoRec, false);
    }

    // The store holds the recorder password: only its user may read it, whether the file is new,
    // was left readable by an older version, or is made by the first Load.
    void storeFileIsReadableByItsUserOnly_data()
    {
        QTest::addColumn<int>("existingMode"); // -1: no file before
        QTest::addColumn<bool>("loadFirst");
        QTest::newRow("first save") << -1 << false;
        QTest::newRow("made by the first load") << -1 << true;
        QTest::newRow("world-readable file of an older version") << 0644 << false;
        QTest::newRow("group-writable file") << 0660 << true;
    }
    void storeFileIsReadableByItsUserOnly()
    {
        QFETCH(int, existingMode);
        QFETCH(bool, loadFirst);
        const QString file = TSDKConfig::StoreFileName();
        const auto mode = [&file] {
            struct stat st {};
            return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        if (existingMode >= 0) {
            putStored(QStringLiteral("Address"), QStringLiteral("10.0.0.1"));
            QVERIFY(QFile::exists(file));
            QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(existingMode)) == 0);
        }
        TSDKConfig config = loaded();
        if (loadFirst && existingMode < 0)
            QCOMPARE(mode(), 0600);
        config.Password = QStringLiteral("secret");
        QVERIFY(config.Save().ok);
        QCOMPARE(mode(), 0600);
        QCOMPARE(loaded().Password, QStringLiteral("secret"));
    }

    void namesAreMatchedWithoutRegardToCase()
    {
        putStored(QStringLiteral("USERNAME"), QStringLiteral("carol"));
        putStored(QStringLiteral("httpport"), QStringLiteral("81"));
        QCOMPARE(loaded().Username, QStringLiteral("carol"));
        QCOMPARE(loaded().HttpPort, 81);

        // Saving under "Username" replaces the other spelling: one name, one value.
        TSDKConfig config = loaded();
        config.Username = QStringLiteral("dave");
        QVERIFY(config.Save().ok);
        const QStringList keys = storedKeys();
        QCOMPARE(keys.filter(QStringLiteral("username"), Qt::CaseInsensitive),
            QStringList { QStringLiteral("Username") });
        QCOMPARE(keys.filter(QStringLiteral("httpport"), Qt::CaseInsensitive),
            QStringList { QStringLiteral("HttpPort") });
        QCOMPARE(loaded().Username, QStringLiteral("dave"));
    }

    void passwordIsStoredScrambledWithAFreshPrefix()
    {
        TSDKConfig config;
        config.Password = QStringLiteral("admin123");
        QVERIFY(config.Save().ok);
        const QString first = storedText(QStringLiteral("Password"));
        QVERIFY(config.Save().ok);
        const QString second = storedText(QStringLiteral("Password"));
        QVERIFY(first != second);
        QCOMPARE(first.size(), 32 + 16);
        QCOMPARE(first.mid(32), Qurel::EncryptText(QStringLiteral("admin123")));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-Z]{32}")).match(first).hasMatch());
        QCOMPARE(TSDKConfig::DecodePassword(first), QStringLiteral("admin123"));
        QCOMPARE(TSDKConfig::DecodePassword(second), QStringLiteral("admin123"));
        QCOMPARE(loaded().Password, QStringLiteral("admin123"));
    }

    void emptyPasswordIsAnEmptyValue()
    {
        TSDKConfig config;
        QVERIFY(config.Save().ok);
        QVERIFY(storedKeys().contains(QStringLiteral("Password")));
        QCOMPARE(storedText(QStringLiteral("Password")), QString());
        QCOMPARE(loaded().Password, QString());
    }

    void shortOrGarbageStoredPasswordLoadsEmpty()
    {
        const QString prefix(32, QLatin1Char('A'));
        putStored(QStringLiteral("Password"), prefix);
        QCOMPARE(loaded().Password, QString());
        putStored(QStringLiteral("Password"), QStringLiteral("3D3E"));
        QCOMPARE(loaded().Password, QString());
        putStored(QStringLiteral("Password"), prefix + QStringLiteral("3DZZ"));
        QCOMPARE(loaded().Password, QString());
        putStored(QStringLiteral("Password"), prefix + QStringLiteral("密码"));
        QCOMPARE(loaded().Password, QString());
        putStored(QStringLiteral("Password"), prefix + QStringLiteral("3D3E"));
        QCOMPARE(loaded().Password, QStringLiteral("aa"));
    }

    void numbersThatAreNotNumbersGiveDefaults()
    {
        putStored(QStringLiteral("HttpPort"), QStringLiteral("eighty"));
        putStored(QStringLiteral("VOBPort"), QStringLiteral("55 4"));
        putStored(QStringLiteral("UploadPort"), QStringLiteral("99999999999"));
        putStored(QStringLiteral("TitleTime"), QString());
        putStored(QStringLiteral("CreditTime"), QStringLiteral(" 7 "));
        const TSDKConfig config = loaded();
        QCOMPARE(config.HttpPort, 80);
        QCOMPARE(config.VOBPort, 554);
        QCOMPARE(config.UpLoadPort, 9500);
        QCOMPARE(config.TitleTime, 5);
        QCOMPARE(config.CreditTime, 7);
    }

    void valuesThatAreNotTextGiveDefaults()
    {
        putStored(QStringLiteral("Address"), QStringList { QStringLiteral("a"), QStringLiteral("b") });
        putStored(QStringLiteral("HttpPort"), QByteArray("\x01\x02", 2));
        putStored(QStringLiteral("Password"), QVariant::fromValue(QPoint(1, 2)));
        putStored(QStringLiteral("UserName"), QStringLiteral("still text"));
        const TSDKConfig config = loaded();
        QCOMPARE(config.Address, QStringLiteral("192.168.2.26"));
        QCOMPARE(config.HttpPort, 80);
        QCOMPARE(config.Password, QString());
        QCOMPARE(config.Username, QStringLiteral("still text"));
    }

    void aBrokenStoreFileNeverStopsLoad()
    {
        {
            QFile file(TSDKConfig::StoreFileName());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[Series_A\n\x00\xff\xfe garbage = = =\nAddress\n[[[\n", 40);
        }
        const TSDKConfig config = loaded();
        QVERIFY(!config.Address.isEmpty());
        QCOMPARE(config.AutoRec, true);
    }

    void autoRecFromConfigIni_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("expected");
        QTest::newRow("0") << QByteArray("[Ver]\r\nAutoRec=0\r\n") << false;
        QTest::newRow("1") << QByteArray("[Ver]\r\nAutoRec=1\r\n") << true;
        QTest::newRow("2") << QByteArray("[Ver]\r\nAutoRec=2\r\n") << true;
        QTest::newRow("empty") << QByteArray("[Ver]\r\nAutoRec=\r\n") << true;
        QTest::newRow("yes") << QByteArray("[Ver]\r\nAutoRec=yes\r\n") << true;
        QTest::newRow("other case, LF only") << QByteArray("[ver]\nautorec = 0\n") << false;
        QTest::newRow("other section") << QByteArray("[Other]\r\nAutoRec=0\r\n") << true;
        QTest::newRow("no key") << QByteArray("[Ver]\r\n") << true;
        QTest::newRow("no file") << QByteArray() << true;
    }

    void autoRecFromConfigIni()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, expected);
        if (!content.isEmpty())
            writeIni(content);
        QCOMPARE(loaded().AutoRec, expected);
    }

    void saveKeepsTheRestOfConfigIni()
    {
        writeIni("; kept\r\n[Other]\r\nKey=Value\r\n[VER]\r\nautorec=1\r\nMore=2\r\n");
        TSDKConfig config;
        config.AutoRec = false;
        QVERIFY(config.Save().ok);
        QFile file(iniFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(
            file.readAll(), QByteArray("; kept\r\n[Other]\r\nKey=Value\r\n[VER]\r\nAutoRec=0\r\nMore=2\r\n"));
    }

    void saveCreatesConfigIni()
    {
        QVERIFY(TSDKConfig().Save().ok);
        QFile file(iniFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[Ver]\r\nAutoRec=1\r\n"));
    }

    void passwordTheStoredFormCannotCarryIsRefused()
    {
        TSDKConfig saved;
        saved.Password = QStringLiteral("old");
        QVERIFY(saved.Save().ok);
        const QString before = storedText(QStringLiteral("Password"));

        QVERIFY(TSDKConfig::CanStorePassword(QString(255, QChar(0xFF))));
        for (const QString &bad :
            { QStringLiteral("密码"), QString(256, QLatin1Char('x')), QStringLiteral("abcĀ") }) {
            QVERIFY(!TSDKConfig::CanStorePassword(bad));
            TSDKConfig config;
            config.Address = QStringLiteral("not written");
            config.Password = bad;
            const Qurel::ConfigSaveResult result = config.Save();
            QVERIFY(!result.ok);
            QCOMPARE(result.error, TSDKConfig::PasswordRefusedText());
            QCOMPARE(storedText(QStringLiteral("Password")), before);
            QCOMPARE(loaded().Address, QStringLiteral("192.168.2.26"));
        }
    }

    void anUnwritableConfigIniIsReported()
    {
        // Neither the program folder nor the per-user data folder (below a file) can take it.
        Qurel::SetProgramFolderForTesting(m_program.filePath(QStringLiteral("missing/folder")));
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        QFile blocker(m_program.filePath(QStringLiteral("a-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8() + "/data");
        TSDKConfig config;
        config.Address = QStringLiteral("10.0.0.1");
        const Qurel::ConfigSaveResult result = config.Save();
        qputenv("XDG_DATA_HOME", dataHome);
        QVERIFY(!result.ok);
        QVERIFY(result.error.contains(QStringLiteral("config.ini")));
        QCOMPARE(loaded().Address, QStringLiteral("10.0.0.1")); // the store was written before
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "test_config.moc"
