// Under a real X server: the recording plays inside the main window (and in
// full screen), the preview covers the video window while shown, and clicks
// on the picture reach the player's input layer rather than libvlc's window.
// Run a second time inside a Wayland session, where the client must choose
// XWayland for the picture to reach the screen.
#include "Configs.h"
#include "FormParts.h"
#include "DesktopPlatform.h"
#include "DoubleClick.h"
#include "FullPlayForm.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "ProgramFolder.h"
#include "SkinImageButton.h"
#include "TestMedia.h"
#include "VlcPlayer.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <xcb/xcb.h>

#include <memory>

class TestSegmentsX11 : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<TfrmFullPlay> m_full;
    std::unique_ptr<TfrmMain> m_form;

    // The screen as X shows it: libvlc draws straight to X, so the window's own grab stays black.
    QImage screenshot()
    {
        const QString file = m_dir.filePath("screen.png");
        QFile::remove(file);
        QProcess import;
        import.start("import", { "-window", "root", file });
        if (!import.waitForFinished(20000) || import.exitCode() != 0)
            return {};
        return QImage(file);
    }

    // Share of pixels in the widget's area that are clearly not black.
    static double litShare(const QImage &screen, const QWidget *widget)
    {
        const QRect area(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        int lit = 0;
        int total = 0;
        for (int y = area.top(); y < area.bottom(); y += 4)
            for (int x = area.left(); x < area.right(); x += 4) {
                const QColor c = screen.pixelColor(x, y);
                lit += (c.red() + c.green() + c.blue()) > 90;
                ++total;
            }
        return total ? double(lit) / total : 0;
    }

    static double redShare(const QImage &screen, const QRect &area)
    {
        int red = 0;
        int total = 0;
        for (int y = area.top(); y < area.bottom(); y += 4)
            for (int x = area.left(); x < area.right(); x += 4) {
                const QColor c = screen.pixelColor(x, y);
                red += c.red() > 180 && c.green() < 80 && c.blue() < 80;
                ++total;
            }
        return total ? double(red) / total : 0;
    }

    // X windows below the video window that libvlc made and that take mouse buttons.
    static int buttonTakingChildren(WId parent)
    {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            return -1;
        xcb_connection_t *c = x11->connection();
        int taking = 0;
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, xcb_window_t(parent)), nullptr), &free);
        if (!tree)
            return -1;
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr),
                &free);
            if (attributes && (attributes->all_event_masks & XCB_EVENT_MASK_BUTTON_PRESS))
                ++taking;
        }
        return taking;
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        const QString program = m_dir.filePath("program/");
        const QString store = m_dir.filePath("store/");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(store + "Image"));
        QVERIFY(QurelTest::MakeTestPicture(program + "WithoutPic.jpg", Qt::gray));
        QVERIFY(QurelTest::MakeTestVideo(store + "lesson_20260101080000.mp4", 10, "640x360"));
        QVERIFY(
            QurelTest::MakeTestPicture(store + "Image/lesson_20260101080000.jpg", Qt::red, QSize(720, 405)));
        Qurel::SetProgramFolderForTesting(program);
        Qurel::SetMsgHandler([](const Qurel::MsgRequest &) { return true; });
        SDKConfig.AutoRec = false;
        SDKConfig.SavePath = store;
        m_full = std::make_unique<TfrmFullPlay>();
        frmFullPlay = m_full.get();
        m_form = std::make_unique<TfrmMain>();
        frmMain = m_form.get();
        m_form->move(0, 0);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanupTestCase()
    {
        m_form.reset();
        frmFullPlay = nullptr;
        m_full.reset();
    }

    void previewCoversTheVideoWindow()
    {
        QCOMPARE(m_form->CurVideoNum(), 1);
        QVERIFY(QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->isVisible());
        QTest::qWait(300);
        const QImage screen = screenshot();
        QVERIFY(!screen.isNull());
        // The thumbnail is drawn at its own size from the top-left corner of the video area.
        const QRect area(QurelTest::Part<QWidget>(*m_form, "pnlVideoPic")->mapToGlobal(QPoint(0, 0)), QSize(300, 200));
        QVERIFY2(redShare(screen, area) > 0.9, "the preview is hidden under the video window");
    }

    void playsIntoTheMainWindow()
    {
        QVERIFY(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->DrawsIntoWindow());
        QTest::mouseClick(QurelTest::Part<TMlSkinImageButton>(*m_form, "btnStart"), Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_VERIFY_WITH_TIMEOUT(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->GetVideoPosInMs() > 1500, 8000);
        const QImage screen = screenshot();
        const double lit = litShare(screen, QurelTest::Part<TVlcPlayer>(*m_form, "plyMain"));
        qInfo("video area lit: %.0f %%", lit * 100);
        QVERIFY2(lit > 0.3, "the video area is black");
        QVERIFY(redShare(screen, QRect(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->mapToGlobal(QPoint(0, 0)), QSize(300, 200))) < 0.5);
        // libvlc's own window below ours must leave the mouse buttons to the input layer.
        QCOMPARE(buttonTakingChildren(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->VideoWindow()->winId()), 0);
    }

    void playsOnInFullScreenAndBack()
    {
        const WId videoWindow = QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->VideoWindow()->winId();
        double fullLit = -1;
        QTimer::singleShot(1500, this, [&] {
            fullLit = litShare(screenshot(), frmFullPlay);
            QurelTest::DoubleClickThroughWindow(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->InputLayer(), QPoint(40, 40));
        });
        QurelTest::DoubleClickThroughWindow(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->InputLayer(), QPoint(40, 40));
        qInfo("full screen lit: %.0f %%", fullLit * 100);
        QVERIFY2(fullLit > 0.3, "full screen shows no video");
        QVERIFY(!m_form->FullScreen());
        // The native video window travelled with the player area and was not made anew, so
        // libvlc still draws into it.
        QCOMPARE(QurelTest::Part<TVlcPlayer>(*m_form, "plyMain")->VideoWindow()->winId(), videoWindow);
        QTest::qWait(1000);
        const double lit = litShare(screenshot(), QurelTest::Part<TVlcPlayer>(*m_form, "plyMain"));
        qInfo("back in the main window, lit: %.0f %%", lit * 100);
        QVERIFY2(lit > 0.3, "no video after full screen");
    }
};

int main(int argc, char *argv[])
{
    // As the client starts: on a Wayland session it must still end up on X11.
    Qurel::PrepareDesktopPlatform();
    QApplication app(argc, argv);
    TestSegmentsX11 test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_segments_x11.moc"
