// The shared utility routines: tool runs with a bound, recorder titles into
// file-name texts, temporary folder, version and GUID texts, clock texts.

#include "TimeText.h"
#include "Utils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

class TestUtils : public QObject
{
    Q_OBJECT
private slots:
    void clockText_data();
    void clockText();
    void hexUtf8ToText_data();
    void hexUtf8ToText();
    void titleDecodingThenCleaning();
    void removeBadFileChars_data();
    void removeBadFileChars();
    void tempDir();
    void fileVersion();
    void guid();
    void runAndWaitExitCodes();
    void runAndWaitPassesArgumentsWithoutAShell();
    void runAndWaitKillsAToolThatOverstays();
    void runAndWaitSurvivesAChattyTool();
};

void TestUtils::clockText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<QString>("text");
    const QString hms = QStringLiteral("hh:mm:ss");
    QTest::newRow("999 ms") << qint64(999) << hms << true << "00:00:00";
    QTest::newRow("1:02:03") << qint64(3723000) << hms << true << "01:02:03";
    QTest::newRow("25 h wraps") << qint64(25) * 3600000 << hms << true << "01:00:00";
    QTest::newRow("days and ms") << qint64(2 * 86400000LL + 3723004) << "DD.HH:MM:SS.MS" << true << "02.01:02:03.04";
    QTest::newRow("negative (after stop)") << qint64(-1) << hms << true << "00:00:00";
    QTest::newRow("elapsed 61 s") << qint64(61000) << hms << false << "00:01:01";
    QTest::newRow("elapsed 25 h") << qint64(25) * 3600000 << hms << false << "25:00:00";
    QTest::newRow("elapsed 100 h") << qint64(100) * 3600000 << hms << false << "100:00:00";
    QTest::newRow("elapsed negative") << qint64(-3000) << hms << false << "00:00:00";
}

void TestUtils::clockText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, format);
    QFETCH(bool, wrap);
    QFETCH(QString, text);
    QCOMPARE(ClockText(ms, format, wrap ? ClockHours::WrapAt24 : ClockHours::KeepGrowing), text);
}

void TestUtils::hexUtf8ToText_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("text");
    QTest::newRow("upper") << "E8AFBE"
                           << "课";
    QTest::newRow("lower") << "e8afbe"
                           << "课";
    QTest::newRow("stops at a pair that is not hex") << "E8AFBEZZ41"
                                                     << "课";
    QTest::newRow("stops at a half pair") << "E8AFBE4Z41"
                                          << "课";
    QTest::newRow("odd digit left over") << "E8AFBE4"
                                         << "课";
    QTest::newRow("zero byte ends") << "4100E8AFBE"
                                    << "A";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no hex") << "title"
                            << "";
    QTest::newRow("256 bytes at most") << QString("41").repeated(300) << QString(256, QLatin1Char('A'));
    QTest::newRow("character cut by the limit is dropped")
        << QString("41").repeated(255) + "E8AFBE" << QString(255, QLatin1Char('A'));
    QTest::newRow("broken UTF-8 dropped") << "FF41C3"
                                          << "A";
    QTest::newRow("mixed") << "E695B0E5ADA6205F31"
                           << "数学 _1";
}

void TestUtils::hexUtf8ToText()
{
    QFETCH(QString, hex);
    QFETCH(QString, text);
    QCOMPARE(HexUtf8ToText(hex), text);
}

void TestUtils::titleDecodingThenCleaning()
{
    QString title = HexUtf8ToText(QString::fromLatin1(QStringLiteral("a/b:c").toUtf8().toHex()));
    QCOMPARE(title, QStringLiteral("a/b:c"));
    RemoveBadFileChars(title);
    QCOMPARE(title, QStringLiteral("abc"));
}

void TestUtils::removeBadFileChars_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("folder and drive") << QStringLiteral("a/b:c") << QStringLiteral("abc");
    QTest::newRow("every forbidden one")
        << QStringLiteral("\\1/2:3*4?5\"6<7>8|9") + QChar(0) + QStringLiteral("课 .-_'")
        << QStringLiteral("123456789课 .-_'");
    QTest::newRow("nothing left") << QStringLiteral("<>|") << QString();
    QTest::newRow("tab, line breaks, escape")
        << QStringLiteral("数学\t第1课\r\n\x1b[31m红") << QStringLiteral("数学第1课[31m红");
    QTest::newRow("DEL and C1 controls")
        << QStringLiteral("a\x7f") + QChar(0x80) + QChar(0x85) + QChar(0x9b) + QChar(0x9f) + QStringLiteral("b")
        << QStringLiteral("ab");
    QTest::newRow("right-to-left override hides the real ending")
        << QStringLiteral("lesson") + QChar(0x202E) + QStringLiteral("4pm.exe") << QStringLiteral("lesson4pm.exe");
    QTest::newRow("every bidirectional control")
        << QString(QChar(0x061C)) + QChar(0x200E) + QChar(0x200F) + QChar(0x202A) + QChar(0x202B) + QChar(0x202C)
            + QChar(0x202D) + QChar(0x202E) + QChar(0x2066) + QChar(0x2067) + QChar(0x2068) + QChar(0x2069)
            + QStringLiteral("ok")
        << QStringLiteral("ok");
    QTest::newRow("printable neighbours stay")
        << QStringLiteral(" ~") + QChar(0xA0) + QChar(0x200D) + QChar(0x2070) + QStringLiteral("é")
        << QStringLiteral(" ~") + QChar(0xA0) + QChar(0x200D) + QChar(0x2070) + QStringLiteral("é");
}

void TestUtils::removeBadFileChars()
{
    QFETCH(QString, title);
    QFETCH(QString, cleaned);
    RemoveBadFileChars(title);
    QCOMPARE(title, cleaned);
}

void TestUtils::tempDir()
{
    const QString dir = GetTempDir();
    QVERIFY(dir.endsWith(QLatin1Char('/')));
    QVERIFY(QFileInfo(dir).isDir());

    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/nonexistent/qurel-tmp");
    const QString missing = GetTempDir();
    qputenv("TMPDIR", saved);
    if (saved.isEmpty())
        qunsetenv("TMPDIR");
    QCOMPARE(missing, QString());
}

void TestUtils::fileVersion()
{
    QCOMPARE(GetFileVersionStr(), QStringLiteral(QUREL_TEST_VERSION));
    QCOMPARE(GetFileVersionStr(QCoreApplication::applicationFilePath()), QStringLiteral(QUREL_TEST_VERSION));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"))
                .match(GetFileVersionStr())
                .hasMatch());
    QCOMPARE(GetFileVersionStr(QStringLiteral(QUREL_SOURCE_DIR "/CMakeLists.txt")), QString());
    QCOMPARE(GetFileVersionStr(QStringLiteral("/nonexistent/qurel")), QStringLiteral("-1"));
}

void TestUtils::guid()
{
    const QString a = NewGuidStr();
    const QString b = NewGuidStr();
    QCOMPARE(a.size(), 38);
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"))
                 .match(a)
                 .hasMatch(),
        qPrintable(a));
    QVERIFY(a != b);
}

void TestUtils::runAndWaitExitCodes()
{
    QElapsedTimer t;
    t.start();
    QCOMPARE(RunAndWait(QStringLiteral("/nonexistent/makePic"), {}), -1);
    QVERIFY(t.elapsed() < 2000);
    QCOMPARE(RunAndWait(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("exit 7") }), 7);
    QCOMPARE(RunAndWait(QStringLiteral("true"), {}), 0);
    // A tool that dies of a signal has no exit code to give.
    QCOMPARE(RunAndWait(QStringLiteral("sh"), { QStringLiteral("-c"), QStringLiteral("kill -9 $$") }), -1);
}

void TestUtils::runAndWaitPassesArgumentsWithoutAShell()
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("x; touch injected"));
    // The argument reaches the tool as one word: nothing interprets ";" or the blank.
    QCOMPARE(RunAndWait(QStringLiteral("touch"), { marker }), 0);
    QVERIFY(QFileInfo::exists(marker));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("injected"))));
    QCOMPARE(RunAndWait(QStringLiteral("sh"),
                 { QStringLiteral("-c"), QStringLiteral("test \"$1\" = 'a \"b\" 课'"), QStringLiteral("sh"),
                     QStringLiteral("a \"b\" 课") }),
        0);
}

void TestUtils::runAndWaitKillsAToolThatOverstays()
{
    QTemporaryDir dir;
    const QString late = dir.filePath(QStringLiteral("late"));
    QElapsedTimer t;
    t.start();
    QCOMPARE(
        RunAndWait(QStringLiteral("sh"),
            { QStringLiteral("-c"), QStringLiteral("sleep 2; touch \"$1\""), QStringLiteral("sh"), late },
            300),
        -1);
    QVERIFY(t.elapsed() < 1500);
    QTest::qWait(2200);
    QVERIFY2(!QFileInfo::exists(late), "the tool kept running after its time was up");
}

void TestUtils::runAndWaitSurvivesAChattyTool()
{
    QCOMPARE(RunAndWait(QStringLiteral("sh"),
                 { QStringLiteral("-c"),
                     QStringLiteral("head -c 4000000 /dev/zero; "
                                    "head -c 4000000 /dev/zero >&2") },
                 10000),
        0);
}

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
