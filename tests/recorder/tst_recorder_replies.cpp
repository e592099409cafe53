// The CGI reply readers, the password digest and the user-name encoding,
// fed with well-formed and hostile replies.

#include "HttpIntf.h"
#include "Md5.h"
#include "ReplyParsers.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qurel;

class TestRecorderReplies : public QObject
{
    Q_OBJECT
private slots:
    void md5Vectors_data();
    void md5Vectors();
    void passwordDigestIsLowerHexOfUtf8();
    void replyTextStopsAtNul();
    void replyLinesSplitOnEveryLineEnd_data();
    void replyLinesSplitOnEveryLineEnd();
    void replyValueRules();
    void loginKey_data();
    void loginKey();
    void rtpMode_data();
    void rtpMode();
    void recordCommands();
    void userNameEncoding_data();
    void userNameEncoding();
    void hostileRepliesGiveFailureValues_data();
    void hostileRepliesGiveFailureValues();
    void randomBytesNeverCrash();
};

void TestRecorderReplies::md5Vectors_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("hex");
    // RFC 1321, appendix A.5.
    QTest::newRow("empty") << QByteArray() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("a") << QByteArray("a") << "0cc175b9c0f1b6a831c399e269772661";
    QTest::newRow("abc") << QByteArray("abc") << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("message digest") << QByteArray("message digest") << "f96b697d7cb7938d525a2f31aaf161d0";
    QTest::newRow("alphabet") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                              << "c3fcd3d76192e4007dfb496cca67e13b";
    QTest::newRow("80 digits") << QByteArray(
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890")
                               << "57edf4a22be3c955ac49da2e2107b67a";
}

void TestRecorderReplies::md5Vectors()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, hex);
    const QByteArray digest = DigestMD5(input);
    QCOMPARE(digest.size(), 16);
    QCOMPARE(DigestToHex(digest), hex);
}

void TestRecorderReplies::passwordDigestIsLowerHexOfUtf8()
{
    QCOMPARE(PasswordDigest(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(PasswordDigest(QStringLiteral("admin")), QStringLiteral("21232f297a57a5a743894a0e4a801fc3"));
    QCOMPARE(PasswordDigest(QStringLiteral("密码")), DigestToHex(DigestMD5(QStringLiteral("密码").toUtf8())));
    const QString d = PasswordDigest(QStringLiteral("Secret!"));
    QCOMPARE(d, d.toLower());
    QCOMPARE(d.size(), 32);
}

void TestRecorderReplies::replyTextStopsAtNul()
{
    QCOMPARE(ReplyText(QByteArray("ErrorCode=0\0RECActive=2", 23)), QStringLiteral("ErrorCode=0"));
    QCOMPARE(ReplyText(QByteArray("\0ErrorCode=0", 12)), QString());
    QCOMPARE(ReplyText("Title=\xe8\xaf\xbe"), QStringLiteral("Title=课"));
}

void TestRecorderReplies::replyLinesSplitOnEveryLineEnd_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("crlf") << "a=1\r\nb=2\r\n" << QStringList { "a=1", "b=2" };
    QTest::newRow("lf") << "a=1\nb=2" << QStringList { "a=1", "b=2" };
    QTest::newRow("cr") << "a=1\rb=2\r" << QStringList { "a=1", "b=2" };
    QTest::newRow("mixed and empty lines") << "a=1\r\r\nb=2\n\n" << QStringList { "a=1", "", "b=2", "" };
    QTest::newRow("nul ends") << QString::fromLatin1("a=1\nb=2\0c=3", 11) << QStringList { "a=1", "b=2" };
    QTest::newRow("empty") << "" << QStringList {};
}

void TestRecorderReplies::replyLinesSplitOnEveryLineEnd()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, lines);
    QCOMPARE(ReplyLines(reply), lines);
}

void TestRecorderReplies::replyValueRules()
{
    const QString reply
        = QStringLiteral("garbage line\r\nerrorcode=0\r\nErrorCode=7\r\nRtpMode= 1\r\nX=a=b\r\nEmpty=\r\n");
    QCOMPARE(ReplyValue(reply, u"ErrorCode"), QStringLiteral("0")); // first line, case ignored
    QCOMPARE(ReplyValue(reply, u"RTPMODE"), QStringLiteral(" 1")); // value not trimmed
    QCOMPARE(ReplyValue(reply, u"x"), QStringLiteral("a=b")); // after the first "="
    QCOMPARE(ReplyValue(reply, u"Empty"), QStringLiteral(""));
    QVERIFY(ReplyValue(reply, u"Empty").has_value());
    QVERIFY(!ReplyValue(reply, u"Missing"));
    QVERIFY(!ReplyValue(reply, u"garbage line")); // a line without "=" names nothing
    QCOMPARE(ReplyValue(QStringLiteral("=v\r\n"), u""), QStringLiteral("v"));
}

void TestRecorderReplies::loginKey_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("key");
    QTest::newRow("ok") << "0|ABC123"
                        << "ABC123";
    QTest::newRow("ok with line end") << "0|ABC123\r\n"
                                      << "ABC123";
    QTest::newRow("positive status") << "5|K"
                                     << "K";
    QTest::newRow("refused") << "-1"
                             << "";
    QTest::newRow("refused with line end") << "-1\r\n"
                                           << "";
    QTest::newRow("negative status") << "-3|K"
                                     << "";
    QTest::newRow("status not a number counts as 0") << "ok|K"
                                                     << "K";
    QTest::newRow("single piece") << "0"
                                  << "";
    QTest::newRow("single piece with bar") << "0|"
                                           << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("empty pieces dropped") << "||0||K|x"
                                          << "K";
    QTest::newRow("line break separates") << "0\r\nK"
                                          << "K";
    QTest::newRow("third piece ignored") << "0|K|L"
                                         << "K";
    QTest::newRow("nul ends") << QString::fromLatin1("0\0|K", 4) << "";
}

void TestRecorderReplies::loginKey()
{
    QFETCH(QString, reply);
    QFETCH(QString, key);
    QCOMPARE(LoginKeyFromReply(reply), key);
}

void TestRecorderReplies::rtpMode_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("count");
    QTest::newRow("all") << "ErrorCode=0\r\nRtpMode=1\r\nRtspPort=8554\r\nRtspOnlineCount=3\r\n"
                         << "1" << 8554 << 3;
    QTest::newRow("mode 0") << "ErrorCode=0\nRtpMode=0\n"
                            << "0" << 554 << -1;
    QTest::newRow("mode 2 is empty") << "ErrorCode=0\r\nRtpMode=2\r\nRtspPort=1\r\n"
                                     << "" << 1 << -1;
    QTest::newRow("mode with blank") << "ErrorCode=0\r\nRtpMode= 1\r\n"
                                     << "" << 554 << -1;
    QTest::newRow("error still reads port and count")
        << "ErrorCode=5\r\nRtpMode=1\r\nRtspPort=9000\r\nRtspOnlineCount=2\r\n"
        << "" << 9000 << 2;
    QTest::newRow("errorcode lower case") << "errorcode=0\r\nrtpmode=1\r\n"
                                          << "1" << 554 << -1;
    QTest::newRow("port not a number") << "ErrorCode=0\r\nRtpMode=1\r\nRtspPort=abc\r\n"
                                       << "1" << 554 << -1;
    QTest::newRow("port out of range") << "RtspPort=70000\r\n"
                                       << "" << 554 << -1;
    QTest::newRow("port zero") << "RtspPort=0\r\n"
                               << "" << 554 << -1;
    QTest::newRow("count not a number") << "RtspOnlineCount=x\r\n"
                                        << "" << 554 << 0;
    QTest::newRow("count empty") << "RtspOnlineCount=\r\n"
                                 << "" << 554 << 0;
    QTest::newRow("no ErrorCode") << "RtpMode=1\r\n"
                                  << "" << 554 << -1;
    QTest::newRow("empty") << ""
                           << "" << 554 << -1;
}

void TestRecorderReplies::rtpMode()
{
    QFETCH(QString, reply);
    QFETCH(QString, mode);
    QFETCH(int, port);
    QFETCH(int, count);
    const RtpModeReply r = RtpModeFromReply(reply);
    QCOMPARE(r.mode, mode);
    QCOMPARE(r.rtspPort, port);
    QCOMPARE(r.rtspOnlineCount, count);
}

void TestRecorderReplies::recordCommands()
{
    auto start = StartRecordFromReply(QStringLiteral("ErrorCode=0\r\nRECActive=2\r\n"));
    QVERIFY(start.ok);
    QCOMPARE(start.errorCode, QStringLiteral("0"));
    start = StartRecordFromReply(QStringLiteral("ErrorCode=0\r\nRECActive=1\r\n"));
    QVERIFY(!start.ok);
    QCOMPARE(start.errorCode, QStringLiteral("0")); // failure that still returns "0"
    start = StartRecordFromReply(QStringLiteral("ErrorCode=0\r\n"));
    QVERIFY(!start.ok);
    start = StartRecordFromReply(QStringLiteral("ErrorCode=3\r\nRECActive=2\r\n"));
    QVERIFY(!start.ok);
    QCOMPARE(start.errorCode, QStringLiteral("3"));

    auto stop = StopRecordFromReply(QStringLiteral("ERRORCODE=0\r\nRECActive=0\r\n"));
    QVERIFY(stop.ok);
    stop = StopRecordFromReply(QStringLiteral("RECActive=0\r\n"));
    QVERIFY(!stop.ok);
    QCOMPARE(stop.errorCode, QString());
    QVERIFY(ErrorCodeIsZero(QStringLiteral("ErrorCode=0")));
    QVERIFY(!ErrorCodeIsZero(QStringLiteral("ErrorCode=00")));
    QVERIFY(!ErrorCodeIsZero(QStringLiteral("ErrorCode=0 ")));
}

void TestRecorderReplies::userNameEncoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("plain") << "admin"
                           << "admin";
    QTest::newRow("kept") << "a.b-c_d~e!$'()*,;:@/?="
                          << "a.b-c_d~e!$'()*,;:@/?=";
    QTest::newRow("space") << "a b"
                           << "a%20b";
    QTest::newRow("hash") << "a#b"
                          << "a%23b";
    QTest::newRow("percent") << "100%"
                             << "100%25";
    QTest::newRow("ampersand") << "a&password=x"
                               << "a%26password=x";
    QTest::newRow("plus") << "a+b"
                          << "a%2Bb";
    QTest::newRow("chinese") << "老师"
                             << "%E8%80%81%E5%B8%88";
    QTest::newRow("control") << "a\r\nb"
                             << "a%0D%0Ab";
    // Every character up to U+00FF: printable ASCII but # % & + stays, every other UTF-8 byte is %XX.
    QString all, allEncoded;
    for (char16_t u = 0; u < 256; ++u) {
        all += QChar(u);
        for (const char b : QString(QChar(u)).toUtf8())
            allEncoded += b > 0x20 && b < 0x7F && !QByteArrayView("#%&+").contains(b)
                ? QString(QLatin1Char(b))
                : QStringLiteral("%%1").arg(uchar(b), 2, 16, QLatin1Char('0')).toUpper();
    }
    QTest::newRow("every character to U+00FF") << all << allEncoded;
}

void TestRecorderReplies::userNameEncoding()
{
    QFETCH(QString, name);
    QFETCH(QString, encoded);
    QCOMPARE(UrlSafeUserName(name), encoded);
}

void TestRecorderReplies::hostileRepliesGiveFailureValues_data()
{
    // A first login piece that is not a number counts as 0, so a second
    // piece, whatever it holds, is taken as the key.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("loginKey");
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("huge") << QByteArray(4 * 1024 * 1024, 'A') << "";
    QTest::newRow("huge lines") << QByteArray("x\n").repeated(500000) << "x";
    QTest::newRow("binary") << QByteArray::fromHex("fffe00010203800a0dc3") << "";
    QTest::newRow("invalid utf8") << QByteArray("\xff\xfe=\xc3\r\n\xe8\xaf") << "\uFFFD\uFFFD";
    QTest::newRow("names missing") << QByteArray("=0\r\n=1\r\n=2\r\n") << "=1";
    QTest::newRow("nul in the middle") << QByteArray("Rtp\0Mode=1\r\nErrorCode=0", 24) << "";
    QTest::newRow("no equals") << QByteArray("ErrorCode\r\nRtpMode\r\nRECActive\r\n") << "RtpMode";
    QTest::newRow("only line ends") << QByteArray("\r\n\r\r\n\n") << "";
    QTest::newRow("negative status first") << QByteArray("-1\r\n<html>\r\n") << "";
    QTest::newRow("html") << QByteArray("<html><body>500 Internal Error</body></html>") << "";
}

void TestRecorderReplies::hostileRepliesGiveFailureValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, loginKey);
    const QString text = ReplyText(bytes);
    QCOMPARE(LoginKeyFromReply(text), loginKey);
    const RtpModeReply mode = RtpModeFromReply(text);
    QCOMPARE(mode.mode, QString());
    QCOMPARE(mode.rtspPort, kDefaultRtspPort);
    QVERIFY(mode.rtspOnlineCount == -1 || mode.rtspOnlineCount == 0);
    QVERIFY(!StartRecordFromReply(text).ok);
    QVERIFY(!StopRecordFromReply(text).ok);
    QVERIFY(!ErrorCodeIsZero(text));
}

void TestRecorderReplies::randomBytesNeverCrash()
{
    // A quick check here; the fuzz target runs the same readers for longer.
    QRandomGenerator rng(12345);
    const QByteArray alphabet("=|\r\n\0aE0129-rRtTpP", 18);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes(rng.bounded(200), '\0');
        for (char &c : bytes)
            c = rng.bounded(4) == 0 ? char(rng.bounded(256)) : alphabet.at(rng.bounded(alphabet.size()));
        const QString text = ReplyText(bytes);
        const RtpModeReply mode = RtpModeFromReply(text);
        QVERIFY(mode.mode.isEmpty() || mode.mode == QLatin1String("0") || mode.mode == QLatin1String("1"));
        QVERIFY(mode.rtspPort > 0 && mode.rtspPort <= 65535);
        const QString key = LoginKeyFromReply(text);
        QVERIFY(!key.contains(QLatin1Char('|')) && !key.contains(QLatin1Char('\n')));
        StartRecordFromReply(text);
    }
}

QTEST_GUILESS_MAIN(TestRecorderReplies)
#include "tst_recorder_replies.moc"
