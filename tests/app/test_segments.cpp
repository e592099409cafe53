// The main window's segment list and playback against real recordings made
// with ffmpeg: listing, selection, play/pause, seeking, missing files, full
// screen and the play symbol.
#include "ClickableImage.h"
#include "FormParts.h"
#include "Configs.h"
#include "DoubleClick.h"
#include "FullPlayForm.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "ProgramFolder.h"
#include "SkinImageButton.h"
#include "SkinProgressBar.h"
#include "RecordingFixture.h"
#include "TestMedia.h"
#include "VlcPlayer.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Takes the URLs the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestSegments : public QObject
{
    Q_OBJECT
    QTemporaryDir m_program;
    QTemporaryDir m_media;
    QString m_store;
    QString m_source;
    QStringList m_messages;
    std::unique_ptr<TfrmMain> m_form;
    std::unique_ptr<TfrmFullPlay> m_full;

    // Fills the recordings folder with `count` copies of the test video, oldest first,
    // with thumbnails for every other one.
    void makeRecordings(int count)
    {
        QDir(m_store).removeRecursively();
        QVERIFY(QDir().mkpath(m_store + "/Image"));
        const QDateTime base = QDateTime::currentDateTime().addDays(-1);
        for (int i = 1; i <= count; ++i) {
            QurelTest::TestRecording rec;
            rec.base = QStringLiteral("lesson%1_20260101%2").arg(i).arg(80000 + i, 6, 10, QChar('0'));
            rec.copyFrom = m_source;
            rec.modified = base.addSecs(60 * i);
            rec.thumbnail = i % 2 == 0;
            rec.info = false;
            rec.colour = QColor(20 * i, 0, 0);
            QVERIFY(!QurelTest::MakeRecording(m_store, rec).isEmpty());
            QTest::qWait(5); // distinct creation times where the file system keeps them
        }
    }

    TfraPicture *frame(int n) const { return m_form->GetPicFrame(n); }
    TVlcPlayer *player() const { return QurelTest::Part<TVlcPlayer>(*m_form, "plyMain"); }

    bool waitForPlaying()
    {
        return QTest::qWaitFor([this] { return player()->GetState() == vpPlaying; }, 5000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_program.isValid() && m_media.isValid());
        m_source = m_media.filePath("source.mp4");
        QVERIFY(QurelTest::MakeTestVideo(m_source, 8));
        QVERIFY(QurelTest::MakeTestPicture(m_program.filePath("WithoutPic.jpg"), Qt::darkGreen));
        QVERIFY(QurelTest::MakeTestPicture(m_program.filePath("play.png"), Qt::blue, QSize(110, 111)));
        QVERIFY(QurelTest::MakeTestPicture(m_program.filePath("mouseEnter.png"), Qt::green, QSize(110, 111)));
        QVERIFY(QurelTest::MakeTestPicture(m_program.filePath("mouseDown.png"), Qt::red, QSize(110, 111)));
        Qurel::SetProgramFolderForTesting(m_program.path() + "/");
        Qurel::SetMsgHandler([this](const Qurel::MsgRequest &r) {
            m_messages << r.text;
            return true;
        });
        m_store = m_media.filePath("store");
        QVERIFY(QDir().mkpath(m_store));
        SDKConfig.AutoRec = false;
        SDKConfig.SavePath = m_store + "/";
        m_full = std::make_unique<TfrmFullPlay>();
        frmFullPlay = m_full.get();
        m_form = std::make_unique<TfrmMain>();
        frmMain = m_form.get();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        m_messages.clear();
    }

    void cleanupTestCase()
    {
        m_form.reset();
        frmFullPlay = nullptr;
        m_full.reset();
    }

    // Every test starts from eight recordings, listed afresh, the player stopped.
    void init()
    {
        player()->Stop();
        makeRecordings(8);
        m_form->LoadPicList();
        m_messages.clear();
    }

    void noRecordingsLeavesEverythingAsItWas()
    {
        QDir(m_store).removeRecursively();
        QVERIFY(QDir().mkpath(m_store));
        QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->SetMaxValue(5000);
        QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->SetValue(1234);
        QurelTest::Part<QLabel>(*m_form, "lblCurTime")->setText("00:00:01");
        TfraPicture *before = m_form->CurPicFra();
        m_form->LoadPicList();
        QCOMPARE(m_form->CurVideoNum(), 0);
        for (int n = 1; n <= 6; ++n) {
            QCOMPARE(frame(n)->Number(), 0);
            QVERIFY(frame(n)->pnlRight->isHidden());
        }
        QCOMPARE(m_form->CurPicFra(), before);
        QCOMPARE(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->Value(), 1234);
        QCOMPARE(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text(), QStringLiteral("00:00:01"));
        QVERIFY(m_messages.isEmpty());
    }

    void emptySavePathUsesTheResourceFolder()
    {
        SDKConfig.SavePath.clear();
        m_form->LoadPicList();
        QCOMPARE(SDKConfig.SavePath, m_program.path() + "/Resource/");
        QVERIFY(QFileInfo(SDKConfig.SavePath).isDir());
        SDKConfig.SavePath = m_store + "/";
    }

    void eightRecordingsShowTheSixNewest()
    {
        QCOMPARE(m_form->CurVideoNum(), 8);
        for (int n = 1; n <= 6; ++n) {
            const int recording = 9 - n;
            const Qurel::Recording &shown = m_form->Segments().at(n - 1);
            QCOMPARE(frame(n)->Number(), n);
            QVERIFY2(shown.videoPath.contains(QStringLiteral("lesson%1_").arg(recording)), qPrintable(shown.videoPath));
            QVERIFY(!frame(n)->pnlRight->isHidden());
            QCOMPARE(shown.guid.size(), 38); // information files were written
        }
        // Frame 1 is selected as if clicked.
        QCOMPARE(m_form->CurPicFra(), frame(1));
        QVERIFY(frame(1)->chkSel->isChecked());
        QVERIFY(QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->isVisible());
        QVERIFY(!QurelTest::Part<QLabel>(*m_form, "imgVideoPic")->pixmap().isNull());
        QVERIFY(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart")->isVisible());
        QVERIFY(!QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause")->isVisible());
        const QWidget *marker = QurelTest::Part<QLabel>(*m_form, "imgCurPlay");
        QCOMPARE(marker->y() + marker->height() / 2, frame(1)->y() + frame(1)->height() / 2);
        // Missing thumbnails became copies of the fallback picture.
        QVERIFY(QFile::exists(m_form->Segments().at(1).thumbnailPath));
    }

    void clickTicksOnlyTheClickedFrame()
    {
        frame(2)->chkSel->setChecked(true);
        frame(3)->chkSel->setChecked(true);
        frame(5)->chkSel->setChecked(true);
        QTest::mouseClick(frame(4)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(m_form->CurPicFra(), frame(4));
        for (int n = 1; n <= 6; ++n)
            QCOMPARE(frame(n)->chkSel->isChecked(), n == 4);
        const QWidget *marker = QurelTest::Part<QLabel>(*m_form, "imgCurPlay");
        QCOMPARE(marker->y(), frame(4)->y() + frame(4)->height() / 2 - marker->height() / 2);
    }

    void seekBarBeforeTheMediaCanSeekMovesNothing()
    {
        QTest::mouseClick(frame(1)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!player()->CanSeek());
        QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->SetMaxValue(8000);
        QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->SetValue(3000);
        QCOMPARE(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->Value(), 3000);
        QCOMPARE(player()->GetVideoPosInMs(), qint64(0));
        QCOMPARE(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text(), QStringLiteral("00:00:00"));
    }

    void playPauseAndPlayContinues()
    {
        QTest::mouseClick(frame(1)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->isVisible());
        QVERIFY(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause")->isVisible());
        QVERIFY(!QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart")->isVisible());
        QCOMPARE(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause")->pos(), QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart")->pos());
        QTRY_COMPARE_WITH_TIMEOUT(QurelTest::Part<QLabel>(*m_form, "lblMaxTime")->text(), QStringLiteral("00:00:08"), 5000);
        QVERIFY(qAbs(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->MaxValue() - 8000) < 300);
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->Value() >= 1200, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text(), QStringLiteral("00:00:01"), 3000);

        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause"), Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_COMPARE_WITH_TIMEOUT(player()->GetState(), vpPaused, 3000);
        QVERIFY(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart")->isVisible());
        const qint64 pausedAt = player()->GetVideoPosInMs();
        QTest::qWait(300);
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(waitForPlaying());
        QVERIFY(player()->GetVideoPosInMs() >= pausedAt);
        QVERIFY(player()->GetVideoPosInMs() < pausedAt + 1000);

        // Pause, then a thumbnail click: the pause is discarded and play starts over.
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause"), Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_COMPARE_WITH_TIMEOUT(player()->GetState(), vpPaused, 3000);
        QTest::mouseClick(frame(1)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->isVisible());
        QCOMPARE(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->Value(), 0);
        QCOMPARE(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text(), QStringLiteral("00:00:00"));
        QCOMPARE(QurelTest::Part<QLabel>(*m_form, "lblMaxTime")->text(), QStringLiteral("00:00:00"));
        QTest::qWait(300); // queued events of the stopped media change nothing
        QCOMPARE(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text(), QStringLiteral("00:00:00"));
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(waitForPlaying());
        QVERIFY(player()->GetVideoPosInMs() < 1000);
    }

    void userSeeksWhilePlaying()
    {
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(waitForPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(player()->CanSeek(), 3000);
        const QRect bar = QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->rect();
        QTest::mousePress(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain"), Qt::LeftButton, {}, QPoint(bar.width() * 3 / 4, bar.height() / 2));
        QTest::mouseRelease(
            QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain"), Qt::LeftButton, {}, QPoint(bar.width() * 3 / 4, bar.height() / 2));
        QTRY_VERIFY_WITH_TIMEOUT(player()->GetVideoPosInMs() >= 5500, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::Part<QLabel>(*m_form, "lblCurTime")->text() >= QStringLiteral("00:00:05"), 2000);
    }

    void playFromPositionMessage()
    {
        QTest::mouseClick(frame(2)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        Qurel::ExternalMessage message;
        message.msg = Qurel::kMsgPlayFrom;
        message.lParam = 5000;
        m_form->DispatchExternalMessage(message);
        QVERIFY(waitForPlaying());
        QSignalSpy times(player(), &TVlcPlayer::OnMediaPlayerTimeChanged);
        QVERIFY(times.wait(3000));
        QTRY_VERIFY_WITH_TIMEOUT(player()->GetVideoPosInMs() >= 5000, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->Value() >= 5000, 3000);
    }

    void playSymbolPictures()
    {
        QTest::mouseClick(frame(1)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        auto colourOf = [this] { return QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay")->pixmap().toImage().pixelColor(50, 50); };
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), &enter);
        QVERIFY(colourOf().green() > 200 && colourOf().blue() < 60);
        QTest::mousePress(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), Qt::LeftButton, {}, QPoint(50, 50));
        QVERIFY(colourOf().red() > 200);
        QTest::mouseRelease(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), Qt::LeftButton, {}, QPoint(50, 50)); // a click plays
        QVERIFY(waitForPlaying());
        QVERIFY(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause")->isVisible());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), &leave);
        QVERIFY(colourOf().blue() > 200);
        // A missing picture keeps the one shown.
        QFile::rename(m_program.filePath("mouseEnter.png"), m_program.filePath("mouseEnter.bak"));
        QApplication::sendEvent(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), &enter);
        QVERIFY(colourOf().blue() > 200);
        QFile::rename(m_program.filePath("mouseEnter.bak"), m_program.filePath("mouseEnter.png"));
    }

    void doubleClickOnThePlaySymbolOnlyPlays()
    {
        QTest::mouseClick(frame(1)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay")->isVisible());
        bool wentFullScreen = false;
        // Were the second click taken as the video's, the full-screen window
        // would run modally: note it and leave it.
        QTimer::singleShot(500, this, [&] {
            wentFullScreen = frmFullPlay->isVisible();
            if (wentFullScreen)
                m_form->plyMainDblClick();
        });
        QurelTest::DoubleClickThroughWindow(QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay"), QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay")->rect().center());
        QVERIFY(waitForPlaying());
        QTest::qWait(600);
        QVERIFY(!wentFullScreen);
        QVERIFY(!m_form->FullScreen());
        QVERIFY(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnPause")->isVisible());
    }

    void fullScreenAndBack()
    {
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(waitForPlaying());
        QWidget *home = QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->parentWidget();
        const QRect homeGeometry = QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->geometry();
        const QRect screen = m_form->screen()->geometry();
        bool checkedInside = false;
        QTimer::singleShot(300, this, [&] {
            checkedInside = m_form->FullScreen() && QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->parentWidget() == frmFullPlay
                && frmFullPlay->isVisible() && frmFullPlay->geometry() == screen
                && QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->size() == screen.size() && QurelTest::Part<TMlSkinProgressBar>(*m_form, "bpMain")->width() == screen.width()
                && QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay")->x() == screen.width() / 2 - QurelTest::Part<Qurel::ClickableImage>(*m_form, "imgPlay")->width() / 2;
            QurelTest::DoubleClickThroughWindow(player()->InputLayer(), QPoint(30, 30));
        });
        QurelTest::DoubleClickThroughWindow(player()->InputLayer(), QPoint(30, 30));
        QVERIFY(checkedInside);
        QVERIFY(!m_form->FullScreen());
        QVERIFY(!frmFullPlay->isVisible());
        QCOMPARE(QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->parentWidget(), home);
        QCOMPARE(QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->geometry(), homeGeometry);
        QCOMPARE(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->width(), homeGeometry.width());
        QVERIFY(QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->isVisible());

        // Closed another way (Esc): the player comes back as well.
        QTimer::singleShot(300, this, [] { QTest::keyClick(frmFullPlay, Qt::Key_Escape); });
        m_form->plyMainDblClick();
        QVERIFY(!m_form->FullScreen());
        QCOMPARE(QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->parentWidget(), home);
        QCOMPARE(QurelTest::Part<QWidget>(*m_form, "pnlPlayer")->geometry(), homeGeometry);
    }

    void missingVideoTellsAndReloads()
    {
        QTest::mouseClick(frame(3)->imgMain, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(QFile::remove(m_form->Segments().at(2).videoPath));
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(m_messages, QStringList { QStringLiteral("视频文件不存在，无法播放！") });
        QCOMPARE(m_form->CurVideoNum(), 7);
        QCOMPARE(m_form->CurPicFra(), frame(1));
        QVERIFY(QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->isVisible());
        QVERIFY(m_form->Segments().at(2).videoPath.contains("lesson5_")); // the gap closed
    }

    void moreSegmentsOpensTheFolder()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "MlSkinImageButton1"), Qt::LeftButton, {}, QPoint(20, 10));
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(catcher.urls, QList<QUrl> { QUrl::fromLocalFile(m_store + "/") });
    }

    // The segment column and the player area stand without the main window: the column leaves a
    // lesson still being recorded out and reports each frame it makes current once, before it
    // moves on; the player starts nothing for a video that is gone.
    void componentsWorkWithoutTheWindow()
    {
        QWidget host;
        Qurel::SegmentColumn column(&host, QRect(0, 0, 228, 560));
        Qurel::PlayerArea area(&host, QRect(0, 0, 700, 427));
        QSignalSpy chosen(&column, &Qurel::SegmentColumn::frameChosen);
        const QString live = m_form->Segments().at(0).videoPath;
        column.LoadPicList({ live });
        QCOMPARE(column.CurVideoNum(), 7);
        QVERIFY(!column.Segments().at(0).videoPath.isEmpty() && column.Segments().at(0).videoPath != live);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.at(0).at(0).value<TfraPicture *>(), column.GetPicFrame(1));
        QCOMPARE(column.CurPicFra(), column.GetPicFrame(1));
        QVERIFY(column.HasCurrentRecording());
        QCOMPARE(column.GetCheckedNums(), QStringList { QStringLiteral("1") });

        auto *video = area.findChild<TVlcPlayer *>(QStringLiteral("plyMain"));
        auto *preview = area.findChild<QWidget *>(QStringLiteral("pnlVideoPic"));
        area.Cue(column.GetPicFrame(1)->imgMain->pixmap());
        QVERIFY(!preview->isHidden());
        QVERIFY(!area.Play(m_store + "/gone.mp4", 0));
        QVERIFY(video->GetState() != vpOpening && video->GetState() != vpPlaying);
        QVERIFY(area.Play(column.Segments().currentRecording().videoPath, 0));
        QTRY_COMPARE_WITH_TIMEOUT(video->GetState(), vpPlaying, 5000);
        area.CueNothing();
        QVERIFY(preview->isHidden());
        QVERIFY(video->GetState() != vpPlaying);

        // A system keeper's folder is listed and opened in place of the settings' folder, which
        // stays as it was (saving the settings must not store the service's folder).
        const QString service = m_media.filePath("service/");
        QVERIFY(QDir().mkpath(service + "Image"));
        QurelTest::TestRecording rec;
        rec.base = QStringLiteral("room101_20260101090000");
        rec.copyFrom = m_source;
        QVERIFY(!QurelTest::MakeRecording(service, rec).isEmpty());
        column.setServiceFolder(service);
        column.LoadPicList({});
        QCOMPARE(column.CurVideoNum(), 1);
        QVERIFY(column.Segments().at(0).videoPath.startsWith(service));
        QCOMPARE(SDKConfig.SavePath, m_store + "/");
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        column.MlSkinImageButton1Click();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(catcher.urls, QList<QUrl> { QUrl::fromLocalFile(service) });
    }

    void unreadableThumbnailDoesNotStopTheList()
    {
        makeRecordings(4);
        QFile broken(m_store + "/Image/lesson4_20260101080004.jpg"); // the newest
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("garbage");
        broken.close();
        m_form->LoadPicList();
        QCOMPARE(m_form->CurVideoNum(), 4);
        QVERIFY(frame(1)->ShowsPlaceholder());
        for (int n = 2; n <= 4; ++n)
            QCOMPARE(frame(n)->Number(), n);
        QCOMPARE(m_form->CurPicFra(), frame(1));
        QVERIFY(!QurelTest::Part<QLabel>(*m_form, "imgVideoPic")->pixmap().isNull());
        QVERIFY(m_messages.isEmpty());
    }
};

QTEST_MAIN(TestSegments)
#include "test_segments.moc"
