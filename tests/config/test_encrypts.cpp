// Password scrambling, hexadecimal texts and random strings.
#include "Encrypts.h"
#include "GenStrs.h"

#include <QtTest>

using namespace Qurel;

class TestEncrypts : public QObject
{
    Q_OBJECT

private slots:
    void hexTexts()
    {
        QCOMPARE(TextToHex(QStringLiteral("abc")), QStringLiteral("616263"));
        QCOMPARE(HexToText(QStringLiteral("616263")), QStringLiteral("abc"));
        QCOMPARE(HexToText(QStringLiteral("6162636")), QStringLiteral("abc"));
        QCOMPARE(HexToText(QStringLiteral("6a6B")), QStringLiteral("jk"));
        QCOMPARE(TextToHex(QString(QChar(0x05))), QStringLiteral("05"));
        QCOMPARE(TextToHex(QString(QChar(0x4E2D))), QStringLiteral("4E2D"));
        QCOMPARE(TextToHex(QString(QChar(0x100))), QStringLiteral("100"));
        QCOMPARE(TextToHex(QString()), QString());
    }

    void badHexIsRefusedNotCrashed()
    {
        QVERIFY(!TryHexToText(QStringLiteral("61zz")));
        QVERIFY(!TryHexToText(QStringLiteral("6 ")));
        QCOMPARE(HexToText(QStringLiteral("GG")), QString());
        QVERIFY(!TryDecryptText(QStringLiteral("Q1")));
        QCOMPARE(TryDecryptText(QStringLiteral("3")).value(), QString()); // a lone digit is ignored
    }

    void scrambleIsPositionDependentXor()
    {
        // 'a' (0x61) ^ 1 ^ 0x5D = 0x3D, 'a' ^ 2 ^ 0x5D = 0x3E
        QCOMPARE(ScrambleText(QStringLiteral("aa")), QStringLiteral("=>"));
        QCOMPARE(EncryptText(QStringLiteral("aa")), QStringLiteral("3D3E"));
        QCOMPARE(
            ScrambleText(ScrambleText(QStringLiteral("any text 中文"))), QStringLiteral("any text 中文"));
        QCOMPARE(EncryptText(QString()), QString());
        QCOMPARE(DecryptText(QString()), QString());
    }

    void roundTripsWithinTheStoredForm()
    {
        QString all;
        for (int i = 0; i < 255; ++i)
            all += QChar(static_cast<char16_t>((i * 37 + 11) % 256));
        QCOMPARE(all.size(), 255);
        QCOMPARE(DecryptText(EncryptText(all)), all);
        for (const QString &text :
            { QStringLiteral("admin"), QStringLiteral("p@ss w0rd!"), QStringLiteral("é ñ ÿ") })
            QCOMPARE(DecryptText(EncryptText(text)), text);
    }

    void beyondTheStoredFormDoesNotRoundTrip()
    {
        // The reason the settings store refuses such passwords.
        const QString wide = QStringLiteral("密码");
        QVERIFY(DecryptText(EncryptText(wide)) != wide);
        const QString longText(256, QLatin1Char('x'));
        QVERIFY(DecryptText(EncryptText(longText)) != longText);
    }

    void randomStrings()
    {
        const QString prefix = GenRandomString(32, 6);
        QCOMPARE(prefix.size(), 32);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-Z]{32}$")).match(prefix).hasMatch());
        QVERIFY(GenRandomString(32, 6) != prefix);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{50}$")).match(GenRandomString(50, 3)).hasMatch());
        QVERIFY(
            QRegularExpression(QStringLiteral("^[A-Za-z]{50}$")).match(GenRandomString(50, 4)).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Z]{50}$")).match(GenRandomString(50, 5)).hasMatch());
        QVERIFY(
            QRegularExpression(QStringLiteral("^[0-9A-F]{50}$")).match(GenRandomString(50, 7)).hasMatch());
        QVERIFY(
            QRegularExpression(QStringLiteral("^[0-9A-Za-z]{50}$")).match(GenRandomString(50, 2)).hasMatch());
        const QString any = GenRandomString(500, 1);
        QCOMPARE(any.size(), 500);
        for (const QChar c : any)
            QVERIFY(c.unicode() < 255);
    }

    void unknownClassOrLengthGivesEmptyAtOnce()
    {
        QCOMPARE(GenRandomString(10, 0), QString());
        QCOMPARE(GenRandomString(10, 8), QString());
        QCOMPARE(GenRandomString(0, 6), QString());
        QCOMPARE(GenRandomString(-3, 6), QString());
    }
};

QTEST_APPLESS_MAIN(TestEncrypts)
#include "test_encrypts.moc"
