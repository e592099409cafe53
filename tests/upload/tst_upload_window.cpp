// The upload window in a real Qt WebEngine against the simulated platform:
// login through the page, the upload pass, refusals, transport failures.
#include "Configs.h"
#include "MessageBoxes.h"
#include "PlatformSim.h"
#include "ProgramFolder.h"
#include "UploadAddress.h"
#include "UploadForm.h"
#include "WebEngineTestMain.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace Qurel;

namespace {
const QString kHost = QStringLiteral("127.0.0.60");

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestUploadWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void browserStartsWithFirstShowing();
    void loginThenBothFilesOfEachRecording();
    void refusalsKeepWindowOpenUntilNextFinish();
    void capitalFinishRecognised();
    void closingWithoutFinishingUploadsNothing();
    void transportFailureAndMissingFileAreReported();
    void progressShownWhileWindowStaysResponsive();
    void rightButtonNeverReachesThePage();
    void pageStaysOnThePlatform();

private:
    // Shows the window and waits until the login page has loaded.
    bool showLoginPage();
    void submitLogin();
    QString pageText();
    QVariant runScript(const QString &script);

    QTemporaryDir m_dir;
    std::unique_ptr<PlatformSim> m_sim;
    std::unique_ptr<TfrmUpload> m_window;
    TFileInfoList m_recordings;
    QStringList m_messages;
};

void TestUploadWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SetProgramFolderForTesting(m_dir.path());
    SetMsgHandler([this](const MsgRequest &request) {
        m_messages << request.text;
        return true;
    });
    QDir(m_dir.path()).mkpath(QStringLiteral("Image"));
    const QStringList titles { QStringLiteral("数学_20150301093000"),
        QStringLiteral("Unit 3_20150302100000") };
    const QStringList guids { QStringLiteral("{0A1B2C3D-4E5F-6789-ABCD-EF0123456789}"),
        QStringLiteral("{11111111-2222-3333-4444-555555555555}") };
    for (int i = 0; i < titles.size(); ++i) {
        TFileInfo info;
        info.FGuid = guids[i];
        info.FVideoName = m_dir.filePath(titles[i] + QStringLiteral(".mp4"));
        info.FPicName = m_dir.filePath(QStringLiteral("Image/") + titles[i] + QStringLiteral(".jpg"));
        QVERIFY(writeFile(info.FVideoName, randomBytes(1500000 + i * 1000, i + 1)));
        QVERIFY(writeFile(info.FPicName, randomBytes(40000 + i, i + 10)));
        m_recordings << info;
    }
    PlatformSimOptions options;
    options.address = QHostAddress(kHost);
    m_sim = std::make_unique<PlatformSim>(options);
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    SDKConfig.UpLoadAddr = kHost;
    SDKConfig.UpLoadPort = m_sim->port();
    m_window = std::make_unique<TfrmUpload>();
}

void TestUploadWindow::init()
{
    m_sim->clearRecords();
    m_sim->setDefaultVerdict(UploadVerdict::Accept());
    m_sim->setFinishQuery(QStringLiteral("finish=1"));
    m_sim->setReplyDelay(0);
    m_messages.clear();
    m_window->FileLst = m_recordings;
}

void TestUploadWindow::cleanup()
{
    if (m_window->isVisible())
        m_window->reject();
}

void TestUploadWindow::cleanupTestCase()
{
    m_window.reset();
    m_sim.reset();
    SetMsgHandler({});
}

bool TestUploadWindow::showLoginPage()
{
    const int visits = m_sim->logins().size();
    m_window->show();
    if (!m_window->browser())
        return false;
    QSignalSpy loaded(m_window->browser(), &QWebEngineView::loadFinished);
    return loaded.wait(20000) && loaded.last().value(0).toBool() && m_sim->logins().size() == visits + 1;
}

QVariant TestUploadWindow::runScript(const QString &script)
{
    QVariant result;
    bool done = false;
    m_window->browser()->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(20);
    return result;
}

void TestUploadWindow::submitLogin()
{
    m_window->browser()->page()->runJavaScript(
        QStringLiteral("document.getElementById('btnLogin').click();"));
}

QString TestUploadWindow::pageText()
{
    return runScript(QStringLiteral("document.body.innerText")).toString();
}

void TestUploadWindow::browserStartsWithFirstShowing()
{
    TfrmUpload fresh;
    QCOMPARE(fresh.windowTitle(), QStringLiteral("视频上传"));
    QCOMPARE(fresh.size(), QSize(470, 268));
    QVERIFY(!fresh.browser());
}

void TestUploadWindow::loginThenBothFilesOfEachRecording()
{
    QVERIFY(showLoginPage());
    // The address went into log.txt and the page shows the decoded names.
    const QString address = LoginAddress(kHost, m_sim->port(), m_recordings);
    QCOMPARE(readFile(m_dir.filePath(QStringLiteral("log.txt"))), address.toUtf8() + "\r\n");
    QVERIFY(address.endsWith(QStringLiteral("&NAME=%E6%95%B0%E5%AD%A6|Unit+3")));
    const LoginVisit visit = m_sim->logins().last();
    QCOMPARE(visit.names, QStringList({ QStringLiteral("数学"), QStringLiteral("Unit 3") }));
    QCOMPARE(visit.guids,
        QStringList({ QStringLiteral("0a1b2c3d4e5f6789abcdef0123456789"),
            QStringLiteral("11111111222233334444555555555555") }));
    const QString text = pageText();
    QVERIFY2(
        text.contains(QStringLiteral("数学")) && text.contains(QStringLiteral("Unit 3")), qPrintable(text));

    QSignalSpy finished(m_window.get(), &QDialog::finished);
    submitLogin();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().value(0).toInt(), int(QDialog::Accepted));
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_window->ErrorString.isEmpty());
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));

    const QList<ReceivedUpload> uploads = m_sim->uploads();
    QCOMPARE(uploads.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const TFileInfo &recording = m_recordings[i / 2];
        const QString sent = i % 2 == 0 ? recording.FVideoName : recording.FPicName;
        QCOMPARE(uploads[i].guid, GuidKey(recording.FGuid));
        QCOMPARE(uploads[i].fileType, i % 2 + 1);
        QCOMPARE(uploads[i].fieldName, QByteArray("file1"));
        QCOMPARE(uploads[i].fileName, QFileInfo(sent).fileName());
        QCOMPARE(uploads[i].contentType, i % 2 == 0 ? QByteArray("video/mpeg") : QByteArray("image/jpeg"));
        QVERIFY(uploads[i].complete);
        QVERIFY2(readFile(uploads[i].savedPath) == readFile(sent), qPrintable(sent));
    }
}

void TestUploadWindow::refusalsKeepWindowOpenUntilNextFinish()
{
    m_sim->queueVerdict(UploadVerdict::Refuse(QStringLiteral("A")));
    m_sim->queueVerdict(UploadVerdict::Refuse(QStringLiteral("B")));
    QVERIFY(showLoginPage());
    QSignalSpy pass(m_window.get(), &TfrmUpload::passFinished);
    submitLogin();
    QVERIFY(pass.wait(30000));
    QCOMPARE(m_window->ErrorString, QStringLiteral("A;\r\nB"));
    QVERIFY(m_window->isVisible());
    // Refused videos take their thumbnails with them.
    QCOMPARE(m_sim->uploads().size(), 2);
    QCOMPARE(m_sim->uploads()[1].fileType, 1);

    // The page reloads its finish address: a whole new pass, this time accepted.
    QSignalSpy finished(m_window.get(), &QDialog::finished);
    m_window->browser()->reload();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().value(0).toInt(), int(QDialog::Accepted));
    QVERIFY(m_window->ErrorString.isEmpty());
    QCOMPARE(m_sim->uploads().size(), 6);
}

void TestUploadWindow::capitalFinishRecognised()
{
    m_sim->setFinishQuery(QStringLiteral("FINISH=1"));
    m_window->FileLst = { m_recordings.first() };
    QVERIFY(showLoginPage());
    QSignalSpy finished(m_window.get(), &QDialog::finished);
    submitLogin();
    QVERIFY(finished.wait(30000));
    QVERIFY(m_window->browser()->url().toString().contains(QStringLiteral("FINISH=1")));
    QCOMPARE(finished.first().value(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(m_sim->uploads().size(), 2);
}

void TestUploadWindow::closingWithoutFinishingUploadsNothing()
{
    QVERIFY(showLoginPage());
    QSignalSpy finished(m_window.get(), &QDialog::finished);
    m_window->close();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().value(0).toInt(), int(QDialog::Rejected));
    QVERIFY(m_window->ErrorString.isEmpty());
    QTest::qWait(200);
    QVERIFY(m_sim->uploads().isEmpty());
    QVERIFY(m_messages.isEmpty());
}

void TestUploadWindow::transportFailureAndMissingFileAreReported()
{
    TFileInfo missing = m_recordings.last();
    missing.FPicName = m_dir.filePath(QStringLiteral("Image/none.jpg"));
    m_window->FileLst = { m_recordings.first(), missing };
    m_sim->queueVerdict(UploadVerdict::Drop());
    QVERIFY(showLoginPage());
    QSignalSpy pass(m_window.get(), &TfrmUpload::passFinished);
    submitLogin();
    QVERIFY(pass.wait(30000));
    // The dropped connection is shown with its kind and text ...
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(
        m_messages.first().startsWith(QStringLiteral("ConnectionLost: ")), qPrintable(m_messages.first()));
    // ... and neither failure passes for a success.
    QCOMPARE(m_window->ErrorString,
        QStringLiteral("上传文件失败：数学_20150301093000.mp4;\r\n文件不存在：") + missing.FPicName);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_sim->uploads().size(), 2); // the dropped video, the second video
}

void TestUploadWindow::progressShownWhileWindowStaysResponsive()
{
    m_window->FileLst = { m_recordings.first() };
    m_sim->setReplyDelay(600);
    QVERIFY(showLoginPage());
    int ticksDuringPass = 0;
    QStringList texts;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        if (!m_window->passRunning())
            return;
        ++ticksDuringPass;
        texts << m_window->progressText();
    });
    sampler.start(50);
    QSignalSpy finished(m_window.get(), &QDialog::finished);
    submitLogin();
    QVERIFY(finished.wait(30000));
    // Two replies held back for 0.6 s each: the event loop kept running meanwhile.
    QVERIFY2(ticksDuringPass >= 10, qPrintable(QString::number(ticksDuringPass)));
    QVERIFY(
        texts.contains(QStringLiteral("正在上传第1/2个文件 数学_20150301093000.mp4 已发送 1.4 MB / 1.4 MB")));
    QVERIFY(std::any_of(texts.cbegin(), texts.cend(),
        [](const QString &t) { return t.startsWith(QStringLiteral("正在上传第2/2个文件")); }));
}

void TestUploadWindow::rightButtonNeverReachesThePage()
{
    QVERIFY(showLoginPage());
    runScript(QStringLiteral("window.downs = []; document.addEventListener('mousedown', "
                             "function (e) { window.downs.push(e.button); }); true"));
    QWidget *surface = m_window->browser()->focusProxy();
    QVERIFY(surface);
    const QPoint at(100, 100);
    QTest::mouseClick(surface, Qt::RightButton, {}, at);
    QTest::mouseClick(surface, Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(
        runScript(QStringLiteral("window.downs.join(',')")).toString(), QStringLiteral("0"), 5000);
}

void TestUploadWindow::pageStaysOnThePlatform()
{
    // Another server on another loopback address, whose page would even end on "finish=1".
    PlatformSimOptions options;
    options.address = QHostAddress(QStringLiteral("127.0.0.64"));
    PlatformSim elsewhere(options);
    QVERIFY(elsewhere.start());
    QVERIFY(showLoginPage());
    const QUrl platformPage = m_window->browser()->url();
    const QStringList targets {
        QStringLiteral("http://127.0.0.64:%1/Tools/QuRelClient/ClientLogin.aspx?GUID=x&finish=1").arg(elsewhere.port()),
        QStringLiteral("http://%1:%2/Tools/QuRelClient/ClientLogin.aspx?finish=1").arg(kHost).arg(elsewhere.port()),
        QStringLiteral("file:///etc/hostname?finish=1"),
    };
    for (const QString &target : targets) {
        runScript(QStringLiteral("window.location.href = '%1'; 1").arg(target));
        QTest::qWait(1000);
        QCOMPARE(m_window->browser()->url(), platformPage);
    }
    QVERIFY(elsewhere.logins().isEmpty());
    QVERIFY(m_sim->uploads().isEmpty());
    QVERIFY(m_window->isVisible());
    m_window->close();
}

QUREL_WEBENGINE_TEST_MAIN(TestUploadWindow, "tst_upload_window")

#include "tst_upload_window.moc"
