// The LibreOffice presentation host against a real office (headless).

#include "OfficeProfile.h"
#include "OfficeTestKit.h"
#include "UnoPresentationHost.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qurel;

class TestSlidesHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void versionIsTheOfficesOwn();
    void emptyFileIsAPresentationWithoutSlides();
    void titleSlidesHaveCentreTitleAndSubtitle();
    void slidesAreAddedWhereAsked();
    void savedFileStaysPowerPoint97();
    void slideExportsAtTheAskedSize();
    void badFilesAreErrors();
    void disconnectKeepsTheOfficeAndDropsPresentations();
    void closingAPresentationIsReportedOnTheUiThread();
    void aPipeOfAnotherUserIsRefused();
    void quitEndsTheOfficeAndStartsNone();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestSlidesHost::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SlidesTest::UsePrivateOffice();
    QElapsedTimer clock;
    clock.start();
    UnoPresentationHost host(HostUse::Export);
    host.connect();
    qInfo("office started and connected in %lld ms", clock.elapsed());
    QVERIFY(host.isConnected());
}

void TestSlidesHost::cleanupTestCase()
{
    SlidesTest::EndPrivateOffice();
}

void TestSlidesHost::versionIsTheOfficesOwn()
{
    UnoPresentationHost host(HostUse::Export);
    const QString version = host.version();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+")).match(version).hasMatch(), qPrintable(version));
    QVERIFY(version.section(QLatin1Char('.'), 0, 0).toInt() >= 7);
}

void TestSlidesHost::emptyFileIsAPresentationWithoutSlides()
{
    SlidesTest::MakePresentation(path(QStringLiteral("empty.ppt")), {});
    SlidesTest::KeepOfficeHost host(HostUse::Export);
    auto presentation = host.open(path(QStringLiteral("empty.ppt")), OpenMode::Hidden);
    QCOMPARE(presentation->slidesCount(), 0);
    QVERIFY_THROWS_EXCEPTION(PresentationError, presentation->slide(1));
    // Only slide 1 can be added to a presentation without slides.
    QVERIFY_THROWS_EXCEPTION(PresentationError, presentation->addSlide(2, SlideLayout::Title));
    presentation->addSlide(1, SlideLayout::Title);
    QCOMPARE(presentation->slidesCount(), 1);
    // The taken-over page stays a slide even while its placeholders are empty.
    presentation->addSlide(2, SlideLayout::Title);
    QCOMPARE(presentation->slidesCount(), 2);
}

void TestSlidesHost::titleSlidesHaveCentreTitleAndSubtitle()
{
    SlidesTest::MakePresentation(
        path(QStringLiteral("kinds.ppt")), { QStringLiteral("One"), QStringLiteral("Two") });
    SlidesTest::KeepOfficeHost host(HostUse::Export);
    auto presentation = host.open(path(QStringLiteral("kinds.ppt")), OpenMode::Hidden);
    QCOMPARE(presentation->slidesCount(), 2);
    const auto slide = presentation->slide(1);
    QCOMPARE(slide->shapesCount(), 2);
    QVERIFY(slide->shape(1)->isPlaceholder());
    QCOMPARE(slide->shape(1)->placeholderKind(), PlaceholderKind::CenterTitle);
    QCOMPARE(slide->shape(1)->text(), QStringLiteral("One"));
    QCOMPARE(slide->shape(2)->placeholderKind(), PlaceholderKind::Subtitle);
    QCOMPARE(slide->shape(2)->text(), QStringLiteral("sub 1"));
    QCOMPARE(slide->titleShape()->text(), QStringLiteral("One"));
    QVERIFY_THROWS_EXCEPTION(PresentationError, slide->shape(3));
    QVERIFY_THROWS_EXCEPTION(PresentationError, presentation->slide(3));
}

void TestSlidesHost::slidesAreAddedWhereAsked()
{
    SlidesTest::MakePresentation(
        path(QStringLiteral("order.ppt")), { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") });
    SlidesTest::KeepOfficeHost host(HostUse::Export);
    auto presentation = host.open(path(QStringLiteral("order.ppt")), OpenMode::Hidden);
    presentation->addSlide(3, SlideLayout::Title)->titleShape()->setText(QStringLiteral("new"));
    presentation->addSlide(5, SlideLayout::Title)->titleShape()->setText(QStringLiteral("last"));
    QStringList titles;
    for (int i = 1; i <= presentation->slidesCount(); ++i)
        titles << presentation->slide(i)->titleShape()->text();
    QCOMPARE(titles, QStringList({ "A", "B", "new", "C", "last" }));
    QVERIFY_THROWS_EXCEPTION(PresentationError, presentation->addSlide(7, SlideLayout::Title));
}

void TestSlidesHost::savedFileStaysPowerPoint97()
{
    const QString file = path(QStringLiteral("saved.ppt"));
    SlidesTest::MakePresentation(file, { QStringLiteral("标题"), QStringLiteral("尾") });
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    // PowerPoint 97 files are OLE compound documents.
    QCOMPARE(saved.read(8), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    QCOMPARE(SlidesTest::ReadSlides(file), QStringList({ "标题|sub 1", "尾|sub 2" }));
}

void TestSlidesHost::slideExportsAtTheAskedSize()
{
    const QString file = path(QStringLiteral("export.ppt"));
    SlidesTest::MakePresentation(file, { QStringLiteral("Head") });
    SlidesTest::KeepOfficeHost host(HostUse::Export);
    auto presentation = host.open(file, OpenMode::Hidden);
    const QString bmp = path(QStringLiteral("slide.bmp"));
    presentation->slide(1)->exportBitmap(bmp, QStringLiteral("bmp"), 720, 405);
    const SlidesTest::BmpInfo info = SlidesTest::ReadBmp(bmp);
    QVERIFY2(info.valid, qPrintable(info.problem));
    QCOMPARE(info.width, 720);
    QCOMPARE(info.height, 405);
    QVERIFY(!QFile::exists(bmp + QStringLiteral(".export.png")));
    // A white slide with a dark title: both appear.
    const QImage image(bmp);
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));
    int dark = 0;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    QVERIFY2(dark > 50, qPrintable(QString::number(dark)));
    presentation->slide(1)->exportBitmap(path(QStringLiteral("small.png")), QStringLiteral("png"), 160, 90);
    QCOMPARE(QImage(path(QStringLiteral("small.png"))).size(), QSize(160, 90));
    QVERIFY_THROWS_EXCEPTION(PresentationError,
        presentation->slide(1)->exportBitmap(path(QStringLiteral("x.gif")), QStringLiteral("gif"), 10, 10));
}

void TestSlidesHost::badFilesAreErrors()
{
    SlidesTest::KeepOfficeHost host(HostUse::Export);
    QVERIFY_THROWS_EXCEPTION(
        PresentationError, host.open(path(QStringLiteral("missing.ppt")), OpenMode::Hidden));
    QFile garbage(path(QStringLiteral("garbage.ppt")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, '\x5a'));
    garbage.close();
    QVERIFY_THROWS_EXCEPTION(PresentationError, host.open(garbage.fileName(), OpenMode::Hidden));
    // The host is still usable afterwards.
    QVERIFY(!host.version().isEmpty());
}

void TestSlidesHost::disconnectKeepsTheOfficeAndDropsPresentations()
{
    SlidesTest::MakePresentation(path(QStringLiteral("drop.ppt")), { QStringLiteral("x") });
    UnoPresentationHost host(HostUse::Export);
    auto presentation = host.open(path(QStringLiteral("drop.ppt")), OpenMode::Hidden);
    host.disconnect();
    QVERIFY(!host.isConnected());
    QVERIFY_THROWS_EXCEPTION(PresentationError, presentation->slidesCount());
    QVERIFY(OfficeRunning());
    // Reconnecting works and finds the office at once.
    QElapsedTimer clock;
    clock.start();
    host.connect();
    QVERIFY(clock.elapsed() < 1000);
    // Nothing was opened through the new attachment.
    QVERIFY_THROWS_EXCEPTION(PresentationError, host.activePresentation());
}

void TestSlidesHost::closingAPresentationIsReportedOnTheUiThread()
{
    SlidesTest::MakePresentation(path(QStringLiteral("close.ppt")), { QStringLiteral("x") });
    UnoPresentationHost watcher(HostUse::Export);
    int closes = 0;
    bool onUiThread = true;
    watcher.setPresentationCloseHandler([&] {
        ++closes;
        onUiThread = onUiThread && QThread::currentThread() == qApp->thread();
    });
    watcher.connect();
    // Another attachment of the same office closes its own presentation.
    SlidesTest::KeepOfficeHost other(HostUse::Export);
    other.open(path(QStringLiteral("close.ppt")), OpenMode::Hidden);
    other.disconnect();
    QTRY_COMPARE(closes, 1);
    QVERIFY(onUiThread);
    // Once disconnected the watcher hears nothing more.
    watcher.disconnect();
    other.open(path(QStringLiteral("close.ppt")), OpenMode::Hidden);
    other.disconnect();
    QTest::qWait(300);
    QCOMPARE(closes, 1);
}

void TestSlidesHost::aPipeOfAnotherUserIsRefused()
{
    // The office's pipes are sockets in /tmp named after the user and the pipe, so another
    // account can make one under the name the client uses before the client's office does.
    const auto socketOf = [](const QString &pipe) {
        return QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::geteuid()).arg(pipe);
    };
    const OfficeProfile working = CurrentOfficeProfile();
    QVERIFY2(QFileInfo(socketOf(working.pipeName)).exists(), "the office keeps its pipe elsewhere");
    const passwd *other = ::getpwnam("qurel-test");
    if (::geteuid() != 0 || !other)
        QSKIP("needs root and the user qurel-test (scripts/setup)");

    OfficeProfile squatted = working;
    squatted.pipeName = QStringLiteral("qurel_squatted_%1").arg(QCoreApplication::applicationPid());
    QLocalServer squatter;
    QLocalServer::removeServer(socketOf(squatted.pipeName));
    QVERIFY(squatter.listen(socketOf(squatted.pipeName)));
    const auto cleanup = qScopeGuard([&] {
        squatter.close();
        QFile::remove(socketOf(squatted.pipeName));
        SetOfficeProfile(working);
    });
    QVERIFY(::chown(QFile::encodeName(socketOf(squatted.pipeName)).constData(), other->pw_uid, other->pw_gid) == 0);
    SetOfficeProfile(squatted);
    try {
        UnoPresentationHost(HostUse::Export).connect();
        QFAIL("the client used another user's pipe");
    } catch (const PresentationError &e) {
        QCOMPARE(e.failure(), PresentationFailure::Unavailable);
    }
    QTest::qWait(200);
    QVERIFY(!squatter.hasPendingConnections());
    QCOMPARE(OfficeTesting::OfficeProcesses(), QList<qint64>());
    QVERIFY(!OfficeRunning());
}

void TestSlidesHost::quitEndsTheOfficeAndStartsNone()
{
    QVERIFY(OfficeRunning());
    UnoPresentationHost host(HostUse::Export);
    host.connect();
    QElapsedTimer clock;
    clock.start();
    host.quit();
    qInfo("quit took %lld ms", clock.elapsed());
    QVERIFY(!host.isConnected());
    QVERIFY(!OfficeRunning());
    clock.restart();
    UnoPresentationHost(HostUse::Export).quit();
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!OfficeRunning());
}

QTEST_GUILESS_MAIN(TestSlidesHost)
#include "tst_slides_host.moc"
