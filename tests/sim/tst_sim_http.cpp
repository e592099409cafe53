// The HTTP pieces the simulators share: request heads read from what a
// connection buffered, and multipart bodies fed in any pieces.
#include "HttpHead.h"
#include "Multipart.h"

#include <QTest>

using namespace Qurel::Sim;

namespace {

struct Collected
{
    QList<MultipartPartHeader> parts;
    QList<QByteArray> data;
    QString error;
};

// Feeds `body` cut at `cuts` (ascending offsets) and collects what the parser
// hands on; true when the closing delimiter was reached.
bool parse(const QByteArray &boundary, const QByteArray &body, const QList<qsizetype> &cuts, Collected &out)
{
    MultipartReceiver receiver(boundary);
    receiver.onPartBegin = [&](const MultipartPartHeader &h) {
        out.parts << h;
        out.data << QByteArray();
        return true;
    };
    receiver.onPartData = [&](const char *d, qsizetype n) {
        out.data.last().append(d, n);
        return true;
    };
    qsizetype from = 0;
    for (const qsizetype cut : cuts + QList<qsizetype> { body.size() }) {
        if (!receiver.feed(body.constData() + from, cut - from)) {
            out.error = receiver.error();
            return false;
        }
        from = cut;
    }
    return receiver.finished();
}

QList<qsizetype> everyNth(qsizetype size, qsizetype n)
{
    QList<qsizetype> cuts;
    for (qsizetype at = n; at < size; at += n)
        cuts << at;
    return cuts;
}

// Every byte value once, CR, LF and "-" among them.
QByteArray everyByte()
{
    QByteArray bytes(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    return bytes;
}

// Part data that holds what a careless parser takes for a delimiter.
const QByteArray kTrickyData = QByteArray("x\r\n--bounX") + everyByte() + "\r\n--boun";
const QByteArray kTwoParts = "preamble\r\n--bound\r\n"
                             "Content-Disposition: form-data; name=\"file1\"; filename=\"数学.mp4\"\r\n"
                             "content-type: video/mpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n"
    + kTrickyData
    + "\r\n--bound\r\nContent-Disposition: form-data; "
      "name=\"note\"\r\n\r\nhello\r\n--bound--\r\nepilogue";

} // namespace

class TestSimHttp : public QObject
{
    Q_OBJECT

private slots:
    void scanHead_data();
    void scanHead();
    void headFields();

    void multipartInAnyPieces_data();
    void multipartInAnyPieces();
    void multipartSplitAnywhere();
    void multipartMalformed_data();
    void multipartMalformed();
    void wholeBody();
};

void TestSimHttp::scanHead_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("status");
    QTest::addColumn<qsizetype>("bodyStart");
    using S = HeadScan::Status;
    const QByteArray big = "GET / HTTP/1.1\r\nX: " + QByteArray(kMaxHeadBytes, 'a');
    QTest::newRow("complete, body follows") << QByteArray("GET / HTTP/1.1\r\nHost: h\r\n\r\nbody")
                                            << int(S::Complete) << qsizetype(27);
    QTest::newRow("no header lines") << QByteArray("GET / HTTP/1.0\r\n\r\n") << int(S::Complete) << qsizetype(18);
    QTest::newRow("blank line cut before its LF")
        << QByteArray("GET / HTTP/1.1\r\nHost: h\r\n\r") << int(S::NeedMore) << qsizetype(0);
    QTest::newRow("request line only") << QByteArray("GET / HTTP/1.1\r\n") << int(S::NeedMore) << qsizetype(0);
    QTest::newRow("two words") << QByteArray("GET /\r\n\r\n") << int(S::Bad) << qsizetype(0);
    QTest::newRow("not HTTP/1") << QByteArray("GET / SIP/2.0\r\n\r\n") << int(S::Bad) << qsizetype(0);
    QTest::newRow("absolute target") << QByteArray("GET http://h/ HTTP/1.1\r\n\r\n") << int(S::Bad) << qsizetype(0);
    QTest::newRow("header without colon")
        << QByteArray("GET / HTTP/1.1\r\nHost h\r\n\r\n") << int(S::Bad) << qsizetype(0);
    QTest::newRow("too large, unfinished") << big << int(S::TooLarge) << qsizetype(0);
    QTest::newRow("too large, finished") << big + "\r\n\r\n" << int(S::TooLarge) << qsizetype(0);
}

void TestSimHttp::scanHead()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, status);
    QFETCH(qsizetype, bodyStart);
    const HeadScan scan = ScanRequestHead(buffer);
    QCOMPARE(int(scan.status), status);
    QCOMPARE(scan.bodyStart, bodyStart);
}

void TestSimHttp::headFields()
{
    const auto head = HttpRequestHead::Parse("POST /cgi-bin/a%20b.cgi?user=%E7%8E%8B+x&flag&user=2 HTTP/1.1\r\n"
                                             "content-LENGTH: 12\r\nCONNECTION: Close\r\nExpect: 100-Continue");
    QVERIFY(head);
    QCOMPARE(head->target, QByteArray("/cgi-bin/a%20b.cgi?user=%E7%8E%8B+x&flag&user=2"));
    QCOMPARE(head->rawPath(), QByteArray("/cgi-bin/a%20b.cgi"));
    QCOMPARE(head->path(), QStringLiteral("/cgi-bin/a b.cgi"));
    QCOMPARE(head->queryValue(QStringLiteral("user")), QStringLiteral("王 x"));
    QVERIFY(!head->queryValue(QStringLiteral("flag")).isNull());
    QVERIFY(head->queryValue(QStringLiteral("other")).isNull());
    QCOMPARE(head->header("Content-Length"), QByteArray("12"));
    QCOMPARE(head->contentLength(-1), 12);
    QVERIFY(head->expectsContinue());
    QVERIFY(!head->keepAlive());
    QCOMPARE(head->headers.first().first, QByteArray("content-LENGTH")); // spelling kept

    const auto bare = HttpRequestHead::Parse("GET / HTTP/1.0\r\nContent-Length: -3");
    QVERIFY(bare);
    QVERIFY(!bare->keepAlive());
    QCOMPARE(bare->contentLength(0), -1);
    QCOMPARE(HttpRequestHead::Parse("GET / HTTP/1.1")->contentLength(7), 7);
    QVERIFY(HttpRequestHead::Parse("GET / HTTP/1.1")->keepAlive());
}

void TestSimHttp::multipartInAnyPieces_data()
{
    QTest::addColumn<qsizetype>("piece");
    QTest::newRow("bytewise") << qsizetype(1);
    QTest::newRow("7 bytes") << qsizetype(7);
    QTest::newRow("whole") << kTwoParts.size();
}

void TestSimHttp::multipartInAnyPieces()
{
    QFETCH(qsizetype, piece);
    Collected out;
    QVERIFY2(parse("bound", kTwoParts, everyNth(kTwoParts.size(), piece), out), qPrintable(out.error));
    QCOMPARE(out.parts.size(), 2);
    QCOMPARE(out.parts[0].name, QByteArray("file1"));
    QCOMPARE(out.parts[0].fileName, QStringLiteral("数学.mp4"));
    QCOMPARE(out.parts[0].contentType, QByteArray("video/mpeg"));
    QCOMPARE(out.parts[0].transferEncoding, QByteArray("binary"));
    QCOMPARE(out.data[0], kTrickyData);
    QCOMPARE(out.parts[1].name, QByteArray("note"));
    QVERIFY(out.parts[1].fileName.isEmpty());
    QCOMPARE(out.data[1], QByteArray("hello"));
}

void TestSimHttp::multipartSplitAnywhere()
{
    // Two pieces cut at every offset: delimiters, CR LFs and header ends split.
    for (qsizetype cut = 1; cut < kTwoParts.size(); ++cut) {
        Collected out;
        QVERIFY2(parse("bound", kTwoParts, { cut }, out), qPrintable(QString::number(cut) + out.error));
        QCOMPARE(out.data, QList<QByteArray>({ kTrickyData, "hello" }));
    }
}

void TestSimHttp::multipartMalformed_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("failsAtOnce"); // else it only never finishes
    QTest::newRow("no Content-Disposition") << QByteArray("--b\r\nX-Other: 1\r\n\r\ndata\r\n--b--") << true;
    QTest::newRow("no header block") << QByteArray("--b\r\n\r\ndata\r\n--b--") << true;
    QTest::newRow("header without colon") << QByteArray("--b\r\nContent-Disposition\r\n\r\nd\r\n--b--") << true;
    QTest::newRow("junk after delimiter") << QByteArray("--bXX") << true;
    QTest::newRow("no closing delimiter")
        << QByteArray("--b\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nunterminated") << false;
    QTest::newRow("no delimiter at all") << QByteArray("just text\r\n") << false;
}

void TestSimHttp::multipartMalformed()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, failsAtOnce);
    for (const qsizetype piece : { qsizetype(1), qsizetype(4), body.size() }) {
        Collected out;
        QVERIFY(!parse("b", body, everyNth(body.size(), piece), out));
        QCOMPARE(!out.error.isEmpty(), failsAtOnce);
    }
    QVERIFY(!ParseMultipart("multipart/form-data; boundary=b", body));
}

void TestSimHttp::wholeBody()
{
    const auto parts = ParseMultipart("multipart/form-data; boundary=\"bound\"", kTwoParts);
    QVERIFY(parts);
    QCOMPARE(parts->size(), 2);
    QCOMPARE(parts->at(0).header.name, QByteArray("file1"));
    QCOMPARE(parts->at(0).data, kTrickyData);
    QCOMPARE(parts->at(1).data, QByteArray("hello"));
    QVERIFY(!ParseMultipart("text/plain; boundary=bound", kTwoParts));
    QVERIFY(!ParseMultipart("multipart/form-data", kTwoParts));
}

QTEST_GUILESS_MAIN(TestSimHttp)
#include "tst_sim_http.moc"
