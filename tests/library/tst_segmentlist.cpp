// The segment list model without a window: which recordings it shows, how ticks and the current
// entry follow their recordings across a reload, and the lesson being recorded left out.
#include "SegmentList.h"

#include <QtTest>

using namespace Qurel;

namespace {
// Recordings r<first> ... r<last>, newest first as the store lists them.
RecordingList recordings(int first, int last)
{
    RecordingList list;
    for (int n = first; n <= last; ++n) {
        Recording recording;
        recording.videoPath = QStringLiteral("/rec/r%1.mp4").arg(n);
        recording.thumbnailPath = QStringLiteral("/rec/Image/r%1.jpg").arg(n);
        recording.title = QStringLiteral("r%1").arg(n);
        list << recording;
    }
    return list;
}

QStringList titles(const RecordingList &list)
{
    QStringList out;
    for (const Recording &recording : list)
        out << recording.title;
    return out;
}

QStringList shown(const SegmentList &segments)
{
    QStringList out;
    for (int i = 0; i < segments.count(); ++i)
        out << segments.at(i).title;
    return out;
}

RecordingList without(RecordingList list, const QString &title)
{
    list.removeIf([&](const Recording &recording) { return recording.title == title; });
    return list;
}
} // namespace

class TestSegmentList : public QObject
{
    Q_OBJECT

private slots:
    void showsTheSixNewest_data()
    {
        QTest::addColumn<int>("found");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("total");
        QTest::newRow("none") << 0 << QStringList() << QStringList() << 0;
        QTest::newRow("three") << 3 << QStringList() << QStringList { "r1", "r2", "r3" } << 3;
        QTest::newRow("many") << 40 << QStringList() << QStringList { "r1", "r2", "r3", "r4", "r5", "r6" } << 40;
        QTest::newRow("live newest left out")
            << 8 << QStringList { "/rec/r1.mp4" } << QStringList { "r2", "r3", "r4", "r5", "r6", "r7" } << 7;
        QTest::newRow("live spelled otherwise, one being finished")
            << 3 << QStringList { "/rec/./Image/../r1.mp4", "/rec/r3.mp4" } << QStringList { "r2" } << 1;
    }
    void showsTheSixNewest()
    {
        QFETCH(int, found);
        QFETCH(QStringList, excluded);
        QFETCH(QStringList, expected);
        QFETCH(int, total);
        SegmentList segments;
        segments.Load(recordings(1, found), excluded);
        QCOMPARE(shown(segments), expected);
        QCOMPARE(segments.total(), total);
        QCOMPARE(segments.current(), expected.isEmpty() ? -1 : 0);
        QVERIFY(segments.ticked().isEmpty());
    }

    void ticksFollowTheirRecordingsAcrossAReload()
    {
        SegmentList segments;
        segments.Load(recordings(1, 9));
        segments.setTicked(1, true);
        segments.setTicked(4, true);
        segments.setTicked(7, true); // no such entry: ignored
        const RecordingList snapshot = segments.ticked();
        QCOMPARE(titles(snapshot), (QStringList { "r2", "r5" }));

        // A new lesson arrives on top, r2 is deleted elsewhere.
        segments.Load(recordings(0, 9).mid(0, 1) + without(recordings(1, 9), "r2"));
        QCOMPARE(shown(segments), (QStringList { "r0", "r1", "r3", "r4", "r5", "r6" }));
        QCOMPARE(titles(segments.ticked()), QStringList { "r5" });
        QCOMPARE(segments.tickedIndexes(), QList<int> { 4 });
        QCOMPARE(titles(snapshot), (QStringList { "r2", "r5" })); // a snapshot keeps what was ticked
    }

    void currentEntryAfterADelete_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("deleted");
        QTest::addColumn<QString>("current");
        QTest::newRow("another one deleted") << 3 << "r1" << "r4";
        QTest::newRow("the current one deleted") << 3 << "r4" << "r1";
        QTest::newRow("the last one deleted") << 0 << "r1" << QString();
    }
    void currentEntryAfterADelete()
    {
        QFETCH(int, selected);
        QFETCH(QString, deleted);
        QFETCH(QString, current);
        const RecordingList all = recordings(1, selected == 0 ? 1 : 6);
        SegmentList segments;
        segments.Load(all);
        segments.select(selected);
        QCOMPARE(segments.tickedIndexes(), QList<int> { selected });
        segments.Load(without(all, deleted));
        QCOMPARE(segments.hasCurrent() ? segments.currentRecording().title : QString(), current);
        QVERIFY(segments.tickedIndexes().size() <= 1);
    }
};

QTEST_GUILESS_MAIN(TestSegmentList)
#include "tst_segmentlist.moc"
