// The libvlc player against real media: options, events,
// pause/resume rules, seeking, the input layer and the no-libvlc path.
#include "DoubleClick.h"
#include "TestMedia.h"
#include "VideoPlatform.h"
#include "VlcPlayer.h"

#include <QStyleHints>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qurel;

class TestVlcPlayer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_video;
    QString m_other;

    // Waits until the player reports the state or the time runs out.
    static bool waitForState(TVlcPlayer &player, TVlcPlayerState state, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return player.GetState() == state; }, ms);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_video = m_dir.filePath(QStringLiteral("lesson_20260101080000.mp4"));
        m_other = m_dir.filePath(QStringLiteral("其他 课.mp4"));
        QVERIFY(QurelTest::MakeTestVideo(m_video, 8));
        QVERIFY(QurelTest::MakeTestVideo(m_other, 5));
    }

    void buildsOptionsInOrder()
    {
        const TVlcSettings defaults;
        QCOMPARE(VlcInstanceOptions(defaults, {}),
            QStringList({ "--spu", "--osd", "--no-video-title-show", "--no-video-on-top", "--no-overlay",
                "--no-snapshot-preview" }));
        QCOMPARE(VlcInstanceOptions(defaults, { true, true }).mid(6),
            QStringList({ "--vout=dummy", "--aout=dummy" }));
        QCOMPARE(VlcMediaOptions(defaults, false),
            QStringList({ "http-caching=200", "deinterlace=0", "deinterlace-mode=discard" }));
        QCOMPARE(VlcMediaOptions(defaults, true).last(), QStringLiteral("rtsp-tcp"));
        QCOMPARE(VlcMediaOptions(defaults, false, true),
            QStringList(
                { "http-caching=200", "deinterlace=0", "deinterlace-mode=discard", "file-caching=100" }));
    }

    void gettersBeforeFirstPlay()
    {
        TVlcPlayer player;
        QCOMPARE(player.GetVideoPosInMs(), qint64(0));
        QCOMPARE(player.GetVideoLenInMs(), qint64(0));
        QCOMPARE(player.CanSeek(), false);
        QCOMPARE(player.GetState(), vpNothingSpecial);
        QCOMPARE(player.GetVideoLenStr("hh:mm:ss"), QStringLiteral("00:00:00"));
        player.Pause();
        player.Resume();
        player.Stop();
        player.SetVideoPosInMs(1000);
        QCOMPARE(player.GetState(), vpNothingSpecial);
    }

    void withoutLibVlcEverythingIsQuiet()
    {
        SetVlcExtraOptionsForTesting({ QStringLiteral("--no-such-option-anywhere") });
        TVlcPlayer player;
        QSignalSpy events(&player, &TVlcPlayer::OnMediaPlayerEvent);
        player.Play(m_video);
        SetVlcExtraOptionsForTesting({});
        QVERIFY(!player.HasLibVlc());
        QTest::qWait(300);
        QCOMPARE(events.count(), 0);
        QCOMPARE(player.GetState(), vpNothingSpecial);
        QCOMPARE(player.GetVideoLenInMs(), qint64(0));
        QCOMPARE(player.CanSeek(), false);
        // Starting libvlc is tried again on the next play.
        player.Play(m_video);
        QVERIFY(player.HasLibVlc());
        player.Stop();
    }

    void playsPausesResumesAndSeeks()
    {
        TVlcPlayer player;
        QVERIFY(!player.DrawsIntoWindow()); // offscreen: dummy video output
        QSignalSpy lengths(&player, &TVlcPlayer::OnMediaPlayerLengthChanged);
        QSignalSpy times(&player, &TVlcPlayer::OnMediaPlayerTimeChanged);
        QThread *uiThread = QThread::currentThread();
        bool allOnUiThread = true;
        connect(&player, &TVlcPlayer::OnMediaPlayerEvent, this,
            [&] { allOnUiThread &= QThread::currentThread() == uiThread; });

        player.Play(m_video);
        QVERIFY(lengths.wait(5000) || lengths.count() > 0);
        QVERIFY(qAbs(lengths.last().at(0).toLongLong() - 8000) < 300);
        QCOMPARE(player.LastEventLength(), lengths.last().at(0).toLongLong());
        QCOMPARE(player.GetVideoLenStr("hh:mm:ss"), QStringLiteral("00:00:08"));
        QTRY_VERIFY_WITH_TIMEOUT(times.count() >= 3, 5000);
        qint64 previous = -1;
        for (const auto &args : times) {
            QVERIFY(args.at(0).toLongLong() >= previous);
            previous = args.at(0).toLongLong();
        }
        QVERIFY(allOnUiThread);
        QCOMPARE(player.GetState(), vpPlaying);

        player.Resume(); // playing: nothing
        QCOMPARE(player.GetState(), vpPlaying);
        player.Pause();
        QVERIFY(waitForState(player, vpPaused));
        player.Pause(); // paused: nothing, stays paused
        QTest::qWait(200);
        QCOMPARE(player.GetState(), vpPaused);
        player.Resume();
        QVERIFY(waitForState(player, vpPlaying));

        QTRY_VERIFY_WITH_TIMEOUT(player.CanSeek(), 3000);
        player.SetVideoPosInMs(5000);
        QTRY_VERIFY_WITH_TIMEOUT(player.GetVideoPosInMs() >= 5000, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(times.last().at(0).toLongLong() >= 5000, 3000);
        QCOMPARE(player.GetVideoPosStr("hh:mm:ss").left(7), QStringLiteral("00:00:0"));

        player.Stop();
        QVERIFY(player.GetState() == vpStopped || player.GetState() == vpNothingSpecial);
        QCOMPARE(player.GetVideoPosInMs(), qint64(0));
    }

    void playWhilePlayingSwitchesMedia()
    {
        TVlcPlayer player;
        QSignalSpy lengths(&player, &TVlcPlayer::OnMediaPlayerLengthChanged);
        player.Play(m_video);
        QVERIFY(waitForState(player, vpPlaying));
        player.Play(m_other); // a name with blanks and Chinese characters
        QTRY_VERIFY_WITH_TIMEOUT(player.GetVideoLenInMs() > 0 && player.GetVideoLenInMs() < 6000, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!lengths.isEmpty() && lengths.last().at(0).toLongLong() < 6000, 5000);
        player.Stop();
    }

    void inputLayerReportsClicks()
    {
        TVlcPlayer player;
        player.resize(200, 150);
        player.show();
        QVERIFY(QTest::qWaitForWindowExposed(&player));
        QCOMPARE(player.InputLayer()->geometry(), QRect(0, 0, 200, 150));
        QSignalSpy clicks(&player, &TVlcPlayer::OnClick);
        QSignalSpy doubles(&player, &TVlcPlayer::OnDblClick);
        QSignalSpy downs(&player, &TVlcPlayer::OnMouseDown);
        QTest::mouseClick(player.InputLayer(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(clicks.count(), 1);
        QurelTest::DoubleClickThroughWindow(player.InputLayer(), QPoint(50, 50));
        QCOMPARE(doubles.count(), 1);
        QVERIFY(downs.count() >= 2);
    }

    void doubleClickCountsOnlyWhenBothClicksLandedOnTheVideo()
    {
        // A symbol above the video that hides when clicked, as the play symbol does.
        struct HidingSymbol : QWidget
        {
            using QWidget::QWidget;
            void mouseReleaseEvent(QMouseEvent *) override { hide(); }
        };
        QWidget window;
        window.resize(200, 150);
        auto *player = new TVlcPlayer(&window);
        player->setGeometry(window.rect());
        auto *symbol = new HidingSymbol(&window);
        symbol->setGeometry(50, 50, 60, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy doubles(player, &TVlcPlayer::OnDblClick);
        QurelTest::DoubleClickThroughWindow(&window, QPoint(80, 80));
        QVERIFY(symbol->isHidden());
        QCOMPARE(doubles.count(), 0);
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
        QurelTest::DoubleClickThroughWindow(&window, QPoint(80, 80));
        QCOMPARE(doubles.count(), 1);
    }

    void waylandSessionsRunOnXWayland_data()
    {
        QTest::addColumn<QByteArray>("qpa");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("chosen");
        QTest::newRow("wayland session, XWayland")
            << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray(":0")
            << QByteArray("xcb");
        QTest::newRow("only WAYLAND_DISPLAY") << QByteArray() << QByteArray() << QByteArray("wayland-1")
                                              << QByteArray(":1") << QByteArray("xcb");
        QTest::newRow("wayland asked for") << QByteArray("wayland") << QByteArray() << QByteArray("wayland-0")
                                           << QByteArray(":0") << QByteArray("xcb");
        QTest::newRow("no X display") << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0")
                                      << QByteArray() << QByteArray();
        QTest::newRow("X11 session") << QByteArray() << QByteArray("x11") << QByteArray() << QByteArray(":0")
                                     << QByteArray();
        QTest::newRow("offscreen kept") << QByteArray("offscreen") << QByteArray("wayland")
                                        << QByteArray("wayland-0") << QByteArray(":0") << QByteArray();
    }

    void waylandSessionsRunOnXWayland()
    {
        QFETCH(QByteArray, qpa);
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, chosen);
        QCOMPARE(Qurel::VideoPlatformFor({ qpa, session, wayland, display }), chosen);
    }

    void endsAndCanPlayAgain()
    {
        TVlcPlayer player;
        player.Play(m_other);
        QVERIFY(waitForState(player, vpPlaying));
        QTRY_VERIFY_WITH_TIMEOUT(player.CanSeek(), 3000);
        player.SetVideoPosInMs(4500);
        QVERIFY(waitForState(player, vpEnded, 5000));
        player.Play(m_other);
        QVERIFY(waitForState(player, vpPlaying));
    }
};

QTEST_MAIN(TestVlcPlayer)
#include "test_vlcplayer.moc"
