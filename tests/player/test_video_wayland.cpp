// The player on a Wayland session without any X server: the video cannot be
// drawn into a window, and the user is told so once.
#include "MessageBoxes.h"
#include "TestMedia.h"
#include "VideoPlatform.h"
#include "VlcPlayer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

class TestVideoWayland : public QObject
{
    Q_OBJECT

private slots:
    void toldOnceThatTheVideoCannotBeShown()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
        QTemporaryDir dir;
        const QString video = dir.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(QurelTest::MakeTestVideo(video, 3, "320x180"));
        QStringList told;
        Qurel::SetMsgHandler([&](const Qurel::MsgRequest &request) {
            told << request.text;
            return true;
        });
        TVlcPlayer player;
        player.resize(320, 180);
        player.show();
        QVERIFY(!player.DrawsIntoWindow());
        player.Play(video);
        QTRY_VERIFY_WITH_TIMEOUT(player.GetVideoPosInMs() > 300, 8000);
        player.Play(video);
        QCOMPARE(told,
            QStringList({ QStringLiteral("当前桌面无法在窗口中显示视频(需要X11或XWayland),只能播放声音!") }));
        player.Stop();
        Qurel::SetMsgHandler({});
    }
};

int main(int argc, char *argv[])
{
    Qurel::ChooseVideoPlatform();
    QApplication app(argc, argv);
    TestVideoWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_video_wayland.moc"
