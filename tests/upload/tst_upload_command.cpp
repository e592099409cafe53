// The main window's "上传" command: the ticked frames' recordings go to the
// upload window in frame order, and its outcome becomes the main window's message.
#include "Configs.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "PictureFrame.h"
#include "PlatformSim.h"
#include "ProgramFolder.h"
#include "RecordingFixture.h"
#include "RecordingsStore.h"
#include "TestMedia.h"
#include "UploadAddress.h"
#include "UploadForm.h"
#include "WebEngineTestMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace Qurel;

namespace {
const QString kHost = QStringLiteral("127.0.0.65");
}

class TestUploadCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void nothingTickedShowsMessage();
    void tickedFramesUploadInFrameOrder();
    void refusalShownAfterClosing();
    void closingWithoutFinishingShowsNothing();
    void emptiedTickedFrameIsIgnored();

private:
    void makeRecordings(int count);
    void tick(std::initializer_list<int> numbers);
    // Runs the command; `onPage` acts once the login page has loaded in the modal window.
    void runCommand(const std::function<void()> &onPage);
    void clickLogin();

    QTemporaryDir m_program;
    QTemporaryDir m_media;
    QString m_store;
    QStringList m_messages;
    std::unique_ptr<PlatformSim> m_sim;
    std::unique_ptr<TfrmMain> m_form;
};

void TestUploadCommand::makeRecordings(int count)
{
    QDir(m_store).removeRecursively();
    QVERIFY(QDir().mkpath(m_store + QStringLiteral("/Image")));
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    for (int i = 1; i <= count; ++i) {
        QurelTest::TestRecording rec;
        rec.base = QStringLiteral("课%1_20260101%2").arg(i).arg(80000 + i, 6, 10, QChar('0'));
        rec.video = QByteArray(100000 + i, char('a' + i));
        rec.modified = base.addSecs(60 * i);
        rec.colour = QColor(40 * i, 0, 0);
        QVERIFY(!QurelTest::MakeRecording(m_store, rec).isEmpty());
        QTest::qWait(5); // distinct creation times where the file system keeps them
    }
}

void TestUploadCommand::tick(std::initializer_list<int> numbers)
{
    for (int n = 1; n <= 6; ++n)
        m_form->GetPicFrame(n)->chkSel->setChecked(false);
    for (int n : numbers)
        m_form->GetPicFrame(n)->chkSel->setChecked(true);
}

void TestUploadCommand::initTestCase()
{
    QVERIFY(m_program.isValid() && m_media.isValid());
    QVERIFY(QurelTest::MakeTestPicture(m_program.filePath(QStringLiteral("WithoutPic.jpg")), Qt::darkGreen));
    SetProgramFolderForTesting(m_program.path());
    SetMsgHandler([this](const MsgRequest &request) {
        m_messages << request.text;
        return true;
    });
    PlatformSimOptions options;
    options.address = QHostAddress(kHost);
    m_sim = std::make_unique<PlatformSim>(options);
    QVERIFY(m_sim->start());
    SDKConfig.AutoRec = false;
    SDKConfig.UpLoadAddr = kHost;
    SDKConfig.UpLoadPort = m_sim->port();
    m_store = m_media.filePath(QStringLiteral("store"));
    makeRecordings(4);
    SDKConfig.SavePath = m_store + QLatin1Char('/');
    m_form = std::make_unique<TfrmMain>();
    frmMain = m_form.get();
    QVERIFY(!frmUpload); // made by the program entry; the command makes it when missing
}

void TestUploadCommand::init()
{
    m_messages.clear();
    m_sim->clearRecords();
    m_sim->setDefaultVerdict(UploadVerdict::Accept());
}

void TestUploadCommand::cleanupTestCase()
{
    m_form.reset();
    QVERIFY(!frmUpload); // went with its owner
    m_sim.reset();
    SetMsgHandler({});
}

void TestUploadCommand::runCommand(const std::function<void()> &onPage)
{
    // The window is modal: everything below happens inside its own loop.
    bool acted = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (acted || !frmUpload || !frmUpload->isVisible() || !frmUpload->browser())
            return;
        acted = true;
        QWebEngineView *view = frmUpload->browser();
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(view, &QWebEngineView::loadFinished, this, [connection, onPage](bool) {
            disconnect(*connection);
            onPage();
        });
    });
    watch.start(0);
    QTimer::singleShot(30000, this, [] {
        if (frmUpload)
            frmUpload->reject(); // never hang the suite
    });
    m_form->btnUploadClick();
}

void TestUploadCommand::clickLogin()
{
    frmUpload->browser()->page()->runJavaScript(
        QStringLiteral("document.getElementById('btnLogin').click();"));
}

void TestUploadCommand::nothingTickedShowsMessage()
{
    tick({});
    m_form->btnUploadClick();
    QCOMPARE(m_messages, QStringList({ QStringLiteral("没有勾选任何视频！") }));
    QVERIFY(!frmUpload);
}

void TestUploadCommand::tickedFramesUploadInFrameOrder()
{
    tick({ 3, 1 });
    runCommand([this] { clickLogin(); });
    QCOMPARE(m_messages, QStringList({ QStringLiteral("上传成功！") }));
    QVERIFY(frmUpload && frmUpload->parent() == m_form.get());
    QCOMPARE(frmUpload->FileLst.size(), 2);
    const QList<ReceivedUpload> uploads = m_sim->uploads();
    QCOMPARE(uploads.size(), 4);
    const int frames[] = { 1, 3 };
    for (int i = 0; i < 2; ++i) {
        const Qurel::Recording &recording = m_form->Segments().at(frames[i] - 1);
        const TFileInfo &entry = frmUpload->FileLst[i];
        QCOMPARE(entry.FGuid, recording.guid);
        QCOMPARE(entry.FVideoName, recording.videoPath);
        QCOMPARE(entry.FPicName, recording.thumbnailPath);
        QVERIFY(!entry.FGuid.isEmpty());
        QCOMPARE(uploads[2 * i].guid, GuidKey(recording.guid));
        QCOMPARE(uploads[2 * i].fileName, QFileInfo(recording.videoPath).fileName());
        QCOMPARE(uploads[2 * i + 1].fileName, QFileInfo(recording.thumbnailPath).fileName());
        QCOMPARE(uploads[2 * i].size, QFileInfo(recording.videoPath).size());
    }
}

void TestUploadCommand::refusalShownAfterClosing()
{
    m_sim->setDefaultVerdict(UploadVerdict::Refuse(QStringLiteral("没有权限")));
    tick({ 2 });
    runCommand([this] {
        connect(
            frmUpload, &TfrmUpload::passFinished, frmUpload, &TfrmUpload::reject, Qt::SingleShotConnection);
        clickLogin();
    });
    QCOMPARE(m_messages, QStringList({ QStringLiteral("没有权限") }));
    QCOMPARE(m_sim->uploads().size(), 1);
    // The previous list is gone.
    QCOMPARE(frmUpload->FileLst.size(), 1);
    QCOMPARE(frmUpload->FileLst[0].FVideoName, m_form->Segments().at(1).videoPath);
}

void TestUploadCommand::closingWithoutFinishingShowsNothing()
{
    tick({ 1 });
    runCommand([] { frmUpload->reject(); });
    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_sim->uploads().isEmpty());
}

void TestUploadCommand::emptiedTickedFrameIsIgnored()
{
    // Frames 5 and 6 hold nothing (four recordings); a tick there ticks no recording.
    tick({ 1, 5 });
    QCOMPARE(m_form->GetCheckedNums(), QStringList({ QStringLiteral("1") }));
    runCommand([this] { clickLogin(); });
    QCOMPARE(m_messages, QStringList({ QStringLiteral("上传成功！") }));
    QCOMPARE(frmUpload->FileLst.size(), 1);
    QCOMPARE(frmUpload->FileLst[0].FVideoName, m_form->Segments().at(0).videoPath);
    QCOMPARE(m_sim->uploads().size(), 2);

    // Every recording gone: the reload empties the frames and the tick stays, hidden.
    m_messages.clear();
    tick({ 2 });
    QDir(m_store).removeRecursively();
    m_form->LoadPicList();
    QVERIFY(m_form->GetCheckedNums().isEmpty());
    m_form->btnUploadClick();
    QCOMPARE(m_messages, QStringList({ QStringLiteral("没有勾选任何视频！") }));
}

QUREL_WEBENGINE_TEST_MAIN(TestUploadCommand, "tst_upload_command")

#include "tst_upload_command.moc"
