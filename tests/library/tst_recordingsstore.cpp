// The recordings folder: listing, ordering, information files, thumbnail
// fallback and the free-space check.
#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qurel;

namespace {

void touch(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QStringList videoNames(const TFileInfoList &list)
{
    QStringList names;
    for (const TFileInfo &f : list)
        names << f.FVideoName;
    return names;
}

TFileInfo at(const QString &name, const QDateTime &time)
{
    TFileInfo f;
    f.FVideoName = name;
    f.FPicName = name + ".jpg";
    f.FTxtName = name + ".axt";
    f.FGuid = name + "-guid";
    f.FCreateDate = time;
    return f;
}

struct RecordedBoxes
{
    QStringList texts;
    RecordedBoxes()
    {
        SetMsgHandler([this](const MsgRequest &r) {
            texts << r.text;
            return true;
        });
    }
    ~RecordedBoxes() { SetMsgHandler({}); }
};

const QRegularExpression kGuidLine(
    QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));

} // namespace

class TestRecordingsStore : public QObject
{
    Q_OBJECT

private slots:
    void listingTakesRecordingsOnlyWhateverTheCase()
    {
        QTemporaryDir dir;
        const QString r = dir.path() + "/rec";
        touch(r + "/a.mp4");
        touch(r + "/B.MP4");
        touch(r + "/c.mp4.bak");
        touch(r + "/notes.txt");
        touch(r + "/.hidden.mp4");
        touch(r + "/Image/a.jpg");
        touch(r + "/sub/d.Mp4");
        touch(r + "/sub/deeper/e.mp4");

        const QSet<QString> expected { r + "/a.mp4", r + "/B.MP4", r + "/.hidden.mp4", r + "/sub/d.Mp4",
            r + "/sub/deeper/e.mp4" };
        const QStringList names = videoNames(FindFiles(r, ".mp4"));
        QCOMPARE(QSet<QString>(names.begin(), names.end()), expected);
        QCOMPARE(names.size(), expected.size());

        // Blanks and a trailing separator make no difference.
        QCOMPARE(videoNames(FindFiles("  " + r + "/  ", ".MP4")).size(), expected.size());
        // ".*" takes every file, also those in Image.
        QCOMPARE(FindFiles(r, ".*").size(), 8);
        QVERIFY(FindFiles(dir.path() + "/missing", ".mp4").isEmpty());
    }

    void subfolderRecordingsKeepTheirOwnImageFolder()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/sub/a.b.mp4");
        const TFileInfoList list = FindFiles(dir.path(), ".mp4");
        QCOMPARE(list.size(), 1);
        const TFileInfo &f = list.first();
        QCOMPARE(f.FVideoName, dir.path() + "/sub/a.b.mp4");
        QCOMPARE(f.FPicName, dir.path() + "/sub/Image/a.b.jpg");
        QCOMPARE(f.FTxtName, dir.path() + "/sub/Image/a.b.axt");
        QVERIFY(f.FGuid.isEmpty());
        QVERIFY(f.FCreateDate.isValid());
        QVERIFY(qAbs(f.FCreateDate.secsTo(QDateTime::currentDateTime())) < 60);
    }

    void listingSkipsFolderLinks()
    {
        QTemporaryDir dir;
        touch(dir.path() + "/a.mp4");
        QVERIFY(QFile::link(dir.path(), dir.path() + "/loop"));
        QCOMPARE(FindFiles(dir.path(), ".mp4").size(), 1);
    }

    void sortPutsNewestFirstAndKeepsEqualTimesInOrder()
    {
        const QDateTime t0(QDate(2015, 3, 4), QTime(10, 20, 30));
        TFileInfoList list { at("old", t0), at("same1", t0.addSecs(60)), at("new", t0.addSecs(120)),
            at("same2", t0.addSecs(60)), at("same3", t0.addSecs(60)) };
        SortFilesByDate(list);
        QCOMPARE(videoNames(list), (QStringList { "new", "same1", "same2", "same3", "old" }));
        // Whole records move together.
        QCOMPARE(list[0].FGuid, QString("new-guid"));
        QCOMPARE(list[0].FPicName, QString("new.jpg"));
        QCOMPARE(list[4].FTxtName, QString("old.axt"));
        QCOMPARE(list[4].FCreateDate, t0);
    }

    void sidePathsReplaceTheLastExtension()
    {
        QCOMPARE(ImageSidePath("/r/a.b.mp4", ".jpg"), QString("/r/Image/a.b.jpg"));
        QCOMPARE(
            ImageSidePath("/r/课_20150307140509.mp4", ".axt"), QString("/r/Image/课_20150307140509.axt"));
        QCOMPARE(ChangeFileExt("/r.d/noext", ".txt"), QString("/r.d/noext.txt"));
    }

    void infoFileIsTwoGbkLinesWithAFreshGuid()
    {
        QTemporaryDir dir;
        // No Image folder yet: a fresh recordings folder has none.
        const QString axt = dir.path() + "/Image/课_20150304102030.axt";
        RecordedBoxes boxes;
        QVERIFY(WriteInfoFile(axt, "2015-03-04 10:20:30"));
        QVERIFY(boxes.texts.isEmpty());

        QFile f(axt);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[2].isEmpty());
        QVERIFY(lines[0].endsWith('\r'));
        const QString guid = QString::fromLatin1(lines[0].chopped(1));
        QCOMPARE(guid.size(), 38);
        QVERIFY2(kGuidLine.match(guid).hasMatch(), qPrintable(guid));
        // "视频开始录制时间：" in GBK, then the time, then CR LF.
        QCOMPARE(lines[1],
            QByteArray("\xca\xd3\xc6\xb5\xbf\xaa\xca\xbc\xc2\xbc\xd6\xc6\xca\xb1\xbc\xe4\xa3\xba"
                       "2015-03-04 10:20:30\r"));
        QCOMPARE(ReadInfoFileGuid(axt), guid);

        // Writing again replaces both lines and gives a new GUID.
        QVERIFY(WriteInfoFile(axt, "2016-01-02 03:04:05"));
        QFile again(axt);
        QVERIFY(again.open(QIODevice::ReadOnly));
        const QList<QByteArray> newLines = again.readAll().split('\n');
        QCOMPARE(newLines.size(), 3);
        QVERIFY(QString::fromLatin1(newLines[0].chopped(1)) != guid);
        QVERIFY(newLines[1].endsWith("2016-01-02 03:04:05\r"));
    }

    void infoFileFailureTellsTheUser()
    {
        QTemporaryDir dir;
        RecordedBoxes boxes;
        // The recordings folder itself is gone: nothing is recreated.
        QVERIFY(!WriteInfoFile(dir.path() + "/gone/Image/x.axt", "2015-03-04 10:20:30"));
        QCOMPARE(boxes.texts, QStringList { "创建视频相关信息axt文件失败！" });
        QVERIFY(!QFileInfo::exists(dir.path() + "/gone"));
    }

    void placeholderThumbnailNeverOverwrites()
    {
        QTemporaryDir program;
        QTemporaryDir rec;
        touch(program.path() + "/WithoutPic.jpg", "placeholder");
        SetProgramFolderForTesting(program.path());
        const QString jpg = rec.path() + "/Image/a.jpg";
        CopyNoPicture(jpg);
        QFile f(jpg);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("placeholder"));
        f.close();

        touch(rec.path() + "/Image/b.jpg", "real");
        CopyNoPicture(rec.path() + "/Image/b.jpg");
        QFile b(rec.path() + "/Image/b.jpg");
        QVERIFY(b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), QByteArray("real"));

        // Missing placeholder: silent, no file.
        SetProgramFolderForTesting(rec.path() + "/nowhere");
        CopyNoPicture(rec.path() + "/Image/c.jpg");
        QVERIFY(!QFileInfo::exists(rec.path() + "/Image/c.jpg"));
        SetProgramFolderForTesting(QString());
    }

    void diskSpaceCheckUses64BitSizesAndAnyDestination()
    {
        QTemporaryDir dir;
        const QString small = dir.path() + "/small.mp4";
        touch(small, QByteArray(1000, 'x'));
        RecordedBoxes boxes;
        // A destination that does not exist yet, not a drive root.
        QVERIFY(CheckDiskSpace(small, dir.path() + "/not/yet/there/copy.mp4"));
        QVERIFY(boxes.texts.isEmpty());

        // A sparse file larger than the free space (and past 4 GiB).
        const std::int64_t free = FreeDiskBytes(dir.path());
        QVERIFY(free > 0);
        const QString big = dir.path() + "/big.mp4";
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(qMax<qint64>(free + 1, qint64(5) << 30)));
        }
        const DiskSpaceCheck check = CheckDiskSpaceQuiet(big, dir.path() + "/copy.mp4");
        QVERIFY(!check.fits);
        QVERIFY(check.fileSize > (qint64(4) << 30));
        QVERIFY(!CheckDiskSpace(big, dir.path() + "/copy.mp4"));
        QCOMPARE(boxes.texts.size(), 1);
        const QRegularExpression text(
            QStringLiteral("^文件大小%1字节，已超过可用磁盘空间大小\\d+字节，\r\n请选择其他文件路径！$")
                .arg(check.fileSize));
        QVERIFY2(text.match(boxes.texts.first()).hasMatch(), qPrintable(boxes.texts.first()));
    }
};

QTEST_MAIN(TestRecordingsStore)
#include "tst_recordingsstore.moc"
