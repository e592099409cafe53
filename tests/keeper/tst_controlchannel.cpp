// Reading the recorder's notices on the control connection.
#include "ControlChannel.h"

#include <QTest>

using namespace Qurel;

namespace {
ControlNotice parse(const char *batch)
{
    return ParseControlBatch(QByteArray(batch));
}
} // namespace

class TestControlChannel : public QObject
{
    Q_OBJECT

private slots:
    void startWithTitleOnOneLineOrTwo()
    {
        for (const char *batch : { "mark=start_record,Title=E8AFBE\r\n",
                 "mark=start_record\r\nTitle=E8AFBE\r\n", "\"mark=start_record\", \"Title=E8AFBE\"\r\n" }) {
            const ControlNotice n = parse(batch);
            QCOMPARE(n.mark, ControlMark::StartRecord);
            QCOMPARE(n.title, QString("课"));
        }
    }

    void keysIgnoreCaseValuesDoNot()
    {
        QCOMPARE(parse("MARK=stop_record\r\n").mark, ControlMark::StopRecord);
        QCOMPARE(parse("Mark=start_record,TITLE=E8AFBE\r\n").title, QString("课"));
        QCOMPARE(parse("mark=STOP_RECORD\r\n").mark, ControlMark::None);
        QCOMPARE(parse("mark=stop_record \r\n").mark, ControlMark::StopRecord);
    }

    void onlyTheFirstMarkCounts()
    {
        QCOMPARE(parse("mark=live\r\nmark=stop_record\r\n").mark, ControlMark::None);
        QCOMPARE(parse("mark=start_record,Title=41\r\nmark=stop_record\r\n").mark, ControlMark::StartRecord);
        QCOMPARE(parse("Title=41,mark=stop_record\r\n").mark, ControlMark::StopRecord);
        QCOMPARE(parse("nothing here\r\n").mark, ControlMark::None);
        QCOMPARE(parse("").mark, ControlMark::None);
    }

    void titleIsDecodedAndCleaned()
    {
        QCOMPARE(parse("mark=start_record,Title=612F623A63\r\n").title, QString("abc")); // a/b:c
        QCOMPARE(parse("mark=start_record,Title=E8AFBEZZ41\r\n").title, QString("课"));
        QCOMPARE(parse("mark=start_record,Title=e8afbe\r\n").title, QString("课"));
        QCOMPARE(parse("mark=start_record\r\n").title, QString());
        QCOMPARE(parse("mark=start_record,Title=\r\n").title, QString());
        // The first Title counts; blanks end a field.
        QCOMPARE(parse("mark=start_record,Title=41,Title=42\r\n").title, QString("A"));
        QCOMPARE(parse("mark=start_record,Title=41 42\r\n").title, QString("A"));
    }

    void fieldsSplitLikeACommaList()
    {
        QCOMPARE(SplitCommaText("a, b  c,\"d e\",,\"f\"\"g\""),
            (QStringList { "a", "b", "c", "d e", "", "f\"g" }));
        QCOMPARE(SplitCommaText("a,"), (QStringList { "a", "" }));
        QCOMPARE(SplitCommaText("  \t"), QStringList());
        QCOMPARE(SplitCommaText(QString("a,b") + QChar(0) + ",c"), (QStringList { "a", "b" }));
        QCOMPARE(SplitCommaText("\"open quote"), QStringList { "open quote" });
        QCOMPARE(FieldValue({ "x", "Key=a=b" }, "key"), QString("a=b"));
        QVERIFY(FieldValue({ "key" }, "key").isNull());
    }

    void aNoticeSplitOverTwoReadsIsSeenOnce()
    {
        ControlLineBuffer buffer;
        QVERIFY(buffer.take("mark=stop_re").isEmpty());
        const QByteArray whole = buffer.take("cord\r\nmark=sta");
        QCOMPARE(whole, QByteArray("mark=stop_record\r\n"));
        QCOMPARE(ParseControlBatch(whole).mark, ControlMark::StopRecord);
        QCOMPARE(buffer.pending(), QByteArray("mark=sta"));
        const QByteArray next = buffer.take("rt_record,Title=E8AFBE\r\n");
        const ControlNotice n = ParseControlBatch(next);
        QCOMPARE(n.mark, ControlMark::StartRecord);
        QCOMPARE(n.title, QString("课"));
        QVERIFY(buffer.pending().isEmpty());
        // A CR at the end of one read and its LF in the next.
        QVERIFY(buffer.take("mark=stop_record\r").isEmpty());
        QCOMPARE(buffer.take("\n"), QByteArray("mark=stop_record\r\n"));
    }

    void endlessGarbageDoesNotGrowForEver()
    {
        ControlLineBuffer buffer;
        const QByteArray chunk(4096, 'x');
        for (int i = 0; i < 40; ++i)
            buffer.take(chunk);
        QVERIFY(buffer.pending().size() <= ControlLineBuffer::kMaxPending);
        QCOMPARE(buffer.take("\r\n").size() <= ControlLineBuffer::kMaxPending + 2, true);
    }
};

QTEST_GUILESS_MAIN(TestControlChannel)
#include "tst_controlchannel.moc"
