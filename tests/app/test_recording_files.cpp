// The file work of the delete and save-as commands: which files go in which
// order, and the copy job's progress, cancel and failure handling.

#include "FileCopier.h"
#include "RecordingFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qurel;

namespace {
void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray pattern(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 4099) & 0xff);
    return data;
}
} // namespace

class TestRecordingFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    QString path(const QString &name) const { return tmp.filePath(name); }
    QStringList entries(const QString &folder) const
    {
        return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void deleteStopsAtFirstFailure()
    {
        const QString v = path("d/a.mp4"), p = path("d/Image/a.jpg"), t = path("d/Image/a.axt");
        writeFile(v, "v");
        writeFile(p, "p");
        writeFile(t, "t");
        QCOMPARE(DeleteRecordingFiles(v, p, t), DeleteStep::None);
        QVERIFY(!QFile::exists(v) && !QFile::exists(p) && !QFile::exists(t));

        // Video gone already: thumbnail and information file are kept.
        writeFile(p, "p");
        writeFile(t, "t");
        QCOMPARE(DeleteRecordingFiles(v, p, t), DeleteStep::Video);
        QVERIFY(QFile::exists(p) && QFile::exists(t));

        // Information file gone: video and thumbnail are deleted, then the failure.
        writeFile(v, "v");
        QFile::remove(t);
        QCOMPARE(DeleteRecordingFiles(v, p, t), DeleteStep::Info);
        QVERIFY(!QFile::exists(v) && !QFile::exists(p));

        QCOMPARE(DeleteFailureText(DeleteStep::Video, 3), QStringLiteral("删除编号为'3'的视频文件失败！"));
        QCOMPARE(DeleteFailureText(DeleteStep::Picture, 4), QStringLiteral("删除编号为'4'的图片文件失败！"));
        QCOMPARE(DeleteFailureText(DeleteStep::Info, 5), QStringLiteral("删除编号为'5'的axt文件失败！"));
    }

    void saveAsCopiesByTarget()
    {
        const QString v = path("r/lesson.mp4"), p = path("r/Image/lesson.jpg");
        writeFile(v, "v");
        writeFile(p, "p");

        auto targets = [](const QList<CopyPair> &pairs) {
            QStringList list;
            for (const CopyPair &pair : pairs)
                list << QFileInfo(pair.source).fileName() + ">" + QFileInfo(pair.target).fileName();
            return list;
        };
        QCOMPARE(targets(SaveAsCopies(v, p, path("out/x.avi"))),
            (QStringList { "lesson.mp4>x.avi", "lesson.jpg>x.jpg", "lesson.mp4>x.mp4" }));
        // An ".mp4" target: the third copy would repeat the first.
        QCOMPARE(targets(SaveAsCopies(v, p, path("out/x.mp4"))),
            (QStringList { "lesson.mp4>x.mp4", "lesson.jpg>x.jpg" }));
        // Beside the recording under another extension: never a copy onto the recording itself.
        QCOMPARE(targets(SaveAsCopies(v, p, path("r/lesson.avi"))),
            (QStringList { "lesson.mp4>lesson.avi", "lesson.jpg>lesson.jpg" }));
        // The same file spelled differently is still the same file.
        QVERIFY(IsSameFile(v, path("r/../r/./lesson.mp4")));
        QVERIFY(!IsSameFile(v, path("r/lesson.MP4")));
        QVERIFY(SaveAsCopies(v, p, path("r/./lesson.mp4")).size() == 1);
    }

    void copiesOverwriteAndReportProgress()
    {
        const QByteArray video = pattern(3 * FileCopier::kChunkSize + 123);
        writeFile(path("c/src.mp4"), video);
        writeFile(path("c/src.jpg"), "thumb");
        writeFile(path("c/out/x.avi"), "old content");
        QList<qint64> seen;
        qint64 reportedTotal = 0;
        const CopyResult result = FileCopier().Run(
            { { path("c/src.mp4"), path("c/out/x.avi") }, { path("c/src.jpg"), path("c/out/x.jpg") } },
            [&](qint64 done, qint64 total) {
                seen << done;
                reportedTotal = total;
                return true;
            });
        QVERIFY(result.ok());
        QCOMPARE(readFile(path("c/out/x.avi")), video);
        QCOMPARE(readFile(path("c/out/x.jpg")), QByteArray("thumb"));
        QCOMPARE(reportedTotal, video.size() + 5);
        QVERIFY(seen.size() >= 4);
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
        QCOMPARE(seen.last(), reportedTotal);
        QCOMPARE(entries("c/out"), (QStringList { "x.avi", "x.jpg" }));
    }

    void cancelLeavesTargetsAsTheyWere()
    {
        writeFile(path("k/src.mp4"), pattern(4 * FileCopier::kChunkSize));
        writeFile(path("k/src.jpg"), "thumb");
        writeFile(path("k/out/x.mp4"), "keep me");
        int calls = 0;
        const CopyResult result = FileCopier().Run(
            { { path("k/src.jpg"), path("k/out/x.jpg") }, { path("k/src.mp4"), path("k/out/x.mp4") } },
            [&](qint64, qint64) { return ++calls < 3; });
        QVERIFY(result.cancelled);
        QVERIFY(!result.ok());
        // Neither the finished thumbnail nor the partial video appear; no temporary file stays.
        QCOMPARE(entries("k/out"), QStringList { "x.mp4" });
        QCOMPARE(readFile(path("k/out/x.mp4")), QByteArray("keep me"));
    }

    void failedCopyIsReportedAndOthersGoThrough()
    {
        writeFile(path("f/src.mp4"), "video");
        QVERIFY(QDir().mkpath(path("f/out")));
        const CopyResult result = FileCopier().Run(
            { { path("f/src.mp4"), path("f/out/x.avi") }, { path("f/missing.jpg"), path("f/out/x.jpg") },
                { path("f/src.mp4"), path("f/nofolder/x.mp4") } });
        QVERIFY(!result.ok());
        QVERIFY(!result.cancelled);
        QCOMPARE(result.failedTargets, (QStringList { path("f/out/x.jpg"), path("f/nofolder/x.mp4") }));
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(readFile(path("f/out/x.avi")), QByteArray("video"));
        QCOMPARE(entries("f/out"), QStringList { "x.avi" });
        const QString text = SaveAsFailureText(result);
        QVERIFY(text.startsWith(QStringLiteral("另存为失败")));
        QVERIFY(text.contains(path("f/out/x.jpg")));
    }

    void emptySourceGivesEmptyCopy()
    {
        writeFile(path("e/empty.mp4"), QByteArray());
        QVERIFY(FileCopier().Run({ { path("e/empty.mp4"), path("e/copy.mp4") } }).ok());
        QVERIFY(QFile::exists(path("e/copy.mp4")));
        QCOMPARE(QFileInfo(path("e/copy.mp4")).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecordingFiles)
#include "test_recording_files.moc"
