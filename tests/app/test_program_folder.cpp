// The program folder the build lays out: the client, its library and tools, the pictures it loads
// from beside itself, the default config.ini.
#include "PrivateProfile.h"

#include <QImageReader>
#include <QtTest>

class TestProgramFolder : public QObject
{
    Q_OBJECT

private:
    const QDir m_folder { QStringLiteral(QUREL_PROGRAM_DIR) };

private slots:
    void executablesAndLibrary()
    {
        for (const char *name : { "qurel", "qurelctl", "libzelmicro.so" })
            QVERIFY2(QFileInfo(m_folder.filePath(QLatin1String(name))).isFile(), name);
        QVERIFY(QFileInfo(m_folder.filePath(QStringLiteral("qurel"))).isExecutable());
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("fallback thumbnail") << "WithoutPic.jpg" << QByteArray("jpeg") << QSize(720, 405);
        QTest::newRow("play") << "play.png" << QByteArray("png") << QSize(110, 111);
        QTest::newRow("mouse enter") << "mouseEnter.png" << QByteArray("png") << QSize(110, 111);
        QTest::newRow("mouse down") << "mouseDown.png" << QByteArray("png") << QSize(110, 111);
    }

    void pictures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QImageReader reader(m_folder.filePath(name));
        QCOMPARE(reader.format(), format);
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), size);
    }

    void windowPicturesAreBuiltIn()
    {
        QCOMPARE(QImage(QStringLiteral(":/skin/logo.png")).size(), QSize(972, 80));
        QCOMPARE(QImage(QStringLiteral(":/skin/btnClose.png")).size(), QSize(23, 25));
        QCOMPARE(QImage(QStringLiteral(":/skin/btnMin_hot.png")).size(), QSize(23, 25));
        QCOMPARE(QImage(QStringLiteral(":/skin/btnSetting.png")).size(), QSize(20, 20));
        // The logo strip is in the title bar's colour.
        QCOMPARE(QImage(QStringLiteral(":/skin/logo.png")).pixelColor(400, 79), QColor(0x14, 0x6F, 0xA4));
    }

    void defaultConfigIni()
    {
        const QString ini = m_folder.filePath(QStringLiteral("config.ini"));
        QCOMPARE(Qurel::ReadProfileString(ini, QStringLiteral("Ver"), QStringLiteral("AutoRec"))
                     .value_or(QString()),
            QStringLiteral("1"));
        QFile file(QStringLiteral(QUREL_SOURCE_DIR "/resources/files/config.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[Ver]\r\nAutoRec=1"));
    }
};

QTEST_MAIN(TestProgramFolder)
#include "test_program_folder.moc"
