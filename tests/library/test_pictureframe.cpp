// The segment thumbnail frame: filling, emptying, what it shows when a thumbnail cannot be read,
// the clicks and ticks it reports; and the side files a shown recording is given.
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
        QCOMPARE(frame.Number(), 0);
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
        // The font given is the frame's; the number is the same family, larger and bold.
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(14);
        frame.UseFont(font);
        QCOMPARE(frame.font().family(), font.family());
        QCOMPARE(frame.lblNum->font().family(), font.family());
        QCOMPARE(frame.lblNum->font().pixelSize(), 20);
        QVERIFY(frame.lblNum->font().bold());
    }

    void fillsFromAnExistingRecording()
    {
        const QString pic = imagePath("a_20260101080000.jpg");
        QVERIFY(QurelTest::MakeTestPicture(pic, Qt::red));
        TfraPicture frame;
        QSignalSpy ticks(&frame, &TfraPicture::tickChanged);
        frame.LoadFraPic(3, pic, true);
        QCOMPARE(frame.Number(), 3);
        QCOMPARE(frame.lblNum->text(), QStringLiteral("3"));
        QVERIFY(!frame.pnlRight->isHidden());
        QVERIFY(frame.chkSel->isChecked());
        QCOMPARE(ticks.count(), 1);
        QVERIFY(!frame.ShowsPlaceholder());
        QCOMPARE(frame.imgMain->pixmap().toImage().pixelColor(10, 10).red() > 200, true);
        QVERIFY(frame.HasRecording());
        QVERIFY(m_messages.isEmpty());
    }

    void completesMissingThumbnailAndInformationFile()
    {
        Qurel::Recording recording;
        recording.videoPath = m_store.filePath("b_20260101090000.mp4");
        recording.thumbnailPath = imagePath("b_20260101090000.jpg");
        recording.infoPath = imagePath("b_20260101090000.axt");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        Qurel::CompleteSideFiles(recording);
        QCOMPARE(QImage(recording.thumbnailPath).size(), QSize(90, 50)); // the fallback picture
        QFile file(recording.infoPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(QString::fromLatin1(lines.at(0).trimmed()), recording.guid);
        QCOMPARE(recording.guid.size(), 38);
        // Line 2 carries the time of the listing, not the recording's start.
        const QDateTime written = QDateTime::fromString(
            QString::fromLatin1(lines.at(1).trimmed().right(19)), "yyyy-MM-dd hh:mm:ss");
        QVERIFY(written >= before.addSecs(-1) && written <= QDateTime::currentDateTime().addSecs(1));
        // An existing information file is only read.
        const QString guid = recording.guid;
        recording.guid.clear();
        Qurel::CompleteSideFiles(recording);
        QCOMPARE(recording.guid, guid);
    }

    void tickOfAnEmptiedFrameIsLeftAlone()
    {
        const QString pic = imagePath("a_20260101080000.jpg");
        QVERIFY(QurelTest::MakeTestPicture(pic, Qt::red));
        TfraPicture frame;
        frame.LoadFraPic(1, pic, true);
        frame.InitFraPic();
        QVERIFY(frame.pnlRight->isHidden());
        QVERIFY(frame.chkSel->isChecked());
        QVERIFY(!frame.HasRecording());
        QVERIFY(frame.imgMain->pixmap().isNull());
        frame.LoadFraPic(1, pic, false);
        QVERIFY(!frame.chkSel->isChecked());
    }

    void unreadableThumbnailShowsThePlaceholder()
    {
        const QString pic = imagePath("c_20260101100000.jpg");
        QFile broken(pic);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a jpeg");
        broken.close();
        TfraPicture frame;
        frame.LoadFraPic(4, pic, false);
        QVERIFY(frame.ShowsPlaceholder());
        QCOMPARE(frame.imgMain->pixmap().size(), QSize(90, 50)); // WithoutPic.jpg in memory
        QVERIFY(!frame.pnlRight->isHidden());
        QVERIFY(frame.HasRecording());
        QCOMPARE(QFileInfo(pic).size(), qint64(18)); // the stored file is left as it is
    }

    void uncreatableSideFilesAreReported()
    {
        // A folder that cannot exist (its parent is a file): no thumbnail
        // copy and no information file can be made there.
        QFile blocker(m_store.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Qurel::Recording recording;
        recording.thumbnailPath = m_store.filePath("blocker/Image/d.jpg");
        recording.infoPath = m_store.filePath("blocker/Image/d.axt");
        Qurel::SetProgramFolderForTesting(m_store.filePath("nowhere") + "/"); // no fallback either
        Qurel::CompleteSideFiles(recording);
        TfraPicture frame;
        frame.LoadFraPic(5, recording.thumbnailPath, false);
        Qurel::SetProgramFolderForTesting(m_program.path() + "/");
        QVERIFY(recording.guid.isEmpty());
        QCOMPARE(m_messages, QStringList { QStringLiteral("创建视频相关信息axt文件失败！") });
        QVERIFY(frame.ShowsPlaceholder());
        QVERIFY(!frame.imgMain->pixmap().isNull()); // the grey stand-in
        QCOMPARE(frame.Number(), 5);
    }

    void thumbnailClickAndTickAreReported()
    {
        TfraPicture frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy clicks(&frame, &TfraPicture::clicked);
        QSignalSpy ticks(&frame, &TfraPicture::tickChanged);
        QTest::mouseClick(frame.imgMain, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(frame.imgMain, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(frame.imgMain, Qt::LeftButton, {}, QPoint(400, 20));
        QCOMPARE(clicks.count(), 1);
        QTest::mouseClick(frame.chkSel, Qt::LeftButton);
        QVERIFY(frame.chkSel->isChecked()); // pnlRight is hidden, but the tick itself toggles
        QCOMPARE(ticks.count(), 1);
        QVERIFY(ticks.at(0).at(0).toBool());
    }
};

QTEST_MAIN(TestPictureFrame)
#include "test_pictureframe.moc"
