// The segment thumbnail frame: filling, emptying, repairs of the store and
// what it shows when a thumbnail or information file cannot be read.
#include "ClickableImage.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "ProgramFolder.h"
#include "RecordingsStore.h"
#include "TestMedia.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestPictureFrame : public QObject
{
    Q_OBJECT
    QTemporaryDir m_program;
    QTemporaryDir m_store;
    QStringList m_messages;

    QString imagePath(const QString &name) const { return m_store.filePath(QStringLiteral("Image/") + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(
            QurelTest::MakeTestPicture(m_program.filePath("WithoutPic.jpg"), Qt::darkGreen, QSize(90, 50)));
        Qurel::SetProgramFolderForTesting(m_program.path() + "/");
        Qurel::SetMsgHandler([this](const Qurel::MsgRequest &r) {
            m_messages << r.text;
            return true;
        });
        QVERIFY(QDir(m_store.path()).mkdir("Image"));
    }
    void init() { m_messages.clear(); }

    void layoutAndEmptyState()
    {
        TfraPicture frame;
        QCOMPARE(frame.size(), QSize(177, 74));
        QCOMPARE(frame.FIndex, QStringLiteral("-1"));
        QVERIFY(frame.pnlRight->isHidden());
        QCOMPARE(frame.pnlRight->geometry(), QRect(143, 0, 34, 74));
        QCOMPARE(frame.imgMain->geometry(), QRect(0, 0, 143, 74));
        QCOMPARE(frame.lblNum->geometry(), QRect(4, 42, 26, 27));
        QCOMPARE(frame.chkSel->geometry(), QRect(9, 13, 18, 17));
        QVERIFY(frame.imgMain->hasScaledContents());
        frame.show();
        frame.resize(177, 68);
        QCOMPARE(frame.pnlRight->height(), 68);
        QVERIFY(!frame.HasRecording());
    }

    void fillsFromAnExistingRecording()
    {
        const QString pic = imagePath("a_20260101080000.jpg");
        const QString txt = imagePath("a_20260101080000.axt");
        QVERIFY(QurelTest::MakeTestPicture(pic, Qt::red));
        QVERIFY(Qurel::SaveInfoFile(txt, "2026-01-01 08:00:00"));
        const QString guid = Qurel::ReadInfoFileGuid(txt);
        TfraPicture frame;
        frame.LoadFraPic("3", pic, m_store.filePath("a_20260101080000.mp4"), txt);
        QCOMPARE(frame.FIndex, QStringLiteral("3"));
        QCOMPARE(frame.lblNum->text(), QStringLiteral("3"));
        QVERIFY(!frame.pnlRight->isHidden());
        QCOMPARE(frame.FGuid, guid);
        QCOMPARE(frame.FGuid.size(), 38);
        QVERIFY(!frame.ShowsPlaceholder());
        QCOMPARE(frame.imgMain->pixmap().toImage().pixelColor(10, 10).red() > 200, true);
        QVERIFY(frame.HasRecording());
        QVERIFY(m_messages.isEmpty());
    }

    void repairsMissingThumbnailAndInformationFile()
    {
        const QString pic = imagePath("b_20260101090000.jpg");
        const QString txt = imagePath("b_20260101090000.axt");
        TfraPicture frame;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        frame.LoadFraPic("1", pic, m_store.filePath("b_20260101090000.mp4"), txt);
        QVERIFY(QFile::exists(pic)); // the fallback picture was copied
        QCOMPARE(QImage(pic).size(), QSize(90, 50));
        QVERIFY(QFile::exists(txt));
        QFile file(txt);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(QString::fromLatin1(lines.at(0).trimmed()), frame.FGuid);
        // Line 2 carries the time of the listing, not the recording's start.
        const QString timeText = QString::fromLatin1(lines.at(1).trimmed().right(19));
        const QDateTime written = QDateTime::fromString(timeText, "yyyy-MM-dd hh:mm:ss");
        QVERIFY(written >= before.addSecs(-1) && written <= QDateTime::currentDateTime().addSecs(1));
        QVERIFY(!frame.ShowsPlaceholder());
    }

    void emptyPathsLeaveTheirParts()
    {
        TfraPicture frame;
        frame.LoadFraPic("2", QString(), QString(), QString());
        QCOMPARE(frame.FIndex, QStringLiteral("2"));
        QVERIFY(frame.pnlRight->isHidden());
        QVERIFY(frame.FGuid.isEmpty());
        QVERIFY(!frame.HasRecording());
    }

    void tickBelongsToTheUser()
    {
        const QString pic = imagePath("a_20260101080000.jpg");
        TfraPicture frame;
        frame.LoadFraPic("1", pic, "v.mp4", QString());
        frame.chkSel->setChecked(true);
        frame.InitFraPic();
        QVERIFY(frame.pnlRight->isHidden());
        QVERIFY(frame.chkSel->isChecked());
        QVERIFY(frame.FPicPath.isEmpty() && frame.FVideoPath.isEmpty() && frame.FGuid.isEmpty());
        QCOMPARE(frame.FIndex, QStringLiteral("-1"));
        QVERIFY(frame.imgMain->pixmap().isNull());
        frame.LoadFraPic("1", pic, "v.mp4", QString());
        QVERIFY(frame.chkSel->isChecked());
    }

    void unreadableThumbnailShowsThePlaceholder()
    {
        const QString pic = imagePath("c_20260101100000.jpg");
        QFile broken(pic);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a jpeg");
        broken.close();
        TfraPicture frame;
        frame.LoadFraPic("4", pic, m_store.filePath("c_20260101100000.mp4"), QString());
        QVERIFY(frame.ShowsPlaceholder());
        QCOMPARE(frame.imgMain->pixmap().size(), QSize(90, 50)); // WithoutPic.jpg in memory
        QVERIFY(!frame.pnlRight->isHidden());
        QVERIFY(frame.HasRecording());
        QCOMPARE(QFileInfo(pic).size(), qint64(18)); // the stored file is left as it is
    }

    void uncreatableFilesStillFillTheFrame()
    {
        // A folder that cannot exist (its parent is a file): no thumbnail
        // copy and no information file can be made there.
        QFile blocker(m_store.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString pic = m_store.filePath("blocker/Image/d.jpg");
        const QString txt = m_store.filePath("blocker/Image/d.axt");
        Qurel::SetProgramFolderForTesting(m_store.filePath("nowhere") + "/"); // no fallback either
        TfraPicture frame;
        frame.LoadFraPic("5", pic, m_store.filePath("blocker/d.mp4"), txt);
        Qurel::SetProgramFolderForTesting(m_program.path() + "/");
        QVERIFY(frame.ShowsPlaceholder());
        QVERIFY(!frame.imgMain->pixmap().isNull()); // the grey stand-in
        QVERIFY(frame.FGuid.isEmpty());
        QCOMPARE(m_messages, QStringList { QStringLiteral("创建视频相关信息axt文件失败！") });
        QCOMPARE(frame.FIndex, QStringLiteral("5"));
        QVERIFY(!frame.pnlRight->isHidden());
    }

    void thumbnailClickIsReported()
    {
        TfraPicture frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy clicks(frame.imgMain, &Qurel::ClickableImage::clicked);
        QTest::mouseClick(frame.imgMain, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(frame.imgMain, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(frame.imgMain, Qt::LeftButton, {}, QPoint(400, 20));
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(frame.chkSel, Qt::LeftButton);
        QVERIFY(frame.chkSel->isChecked()); // pnlRight is hidden, but the tick itself toggles
    }
};

QTEST_MAIN(TestPictureFrame)
#include "test_pictureframe.moc"
