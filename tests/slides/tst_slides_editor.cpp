// The head and tail editor and the main window's "片头片尾" command, with a
// real office in windows (under Xvfb) and the simulated recorder.

#include "OfficeTestKit.h"
#include "PPTEditForm.h"
#include "RecorderSim.h"

#include "Configs.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "OfficeProfile.h"
#include "ProgramFolder.h"
#include "UnoPresentationHost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <signal.h>

using namespace Qurel;

namespace {

// A host for the export whose office calls fail, as when the office dies
// during "保存".
class FailingHost final : public PresentationHost
{
public:
    void connect() override { }
    void disconnect() override { }
    bool isConnected() const override { return true; }
    void setVisible(bool) override { }
    QString version() override { return QStringLiteral("7.4"); }
    std::shared_ptr<Presentation> open(const QString &, OpenMode) override
    {
        throw PresentationError(QStringLiteral("the office went away"));
    }
    std::shared_ptr<Presentation> activePresentation() override { return open({}, OpenMode::Hidden); }
    quintptr activeWindowHandle() override { return 0; }
    QRect activeWindowGeometry() override { return {}; }
    void bringToFront() override { }
    void showDesignDialog() override { }
    void quit() override { }
};

} // namespace

class TestSlidesEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void templateOpensWithTheDefaultHeadTexts();
    void fewerThanTwoSlidesAreRefusedThenSaveWorks();
    void closingAnotherPresentationClosesTheEditor();
    void cancelQuitsTheOfficeAndShowsTheMainWindow();
    void failedExportLetsTheUserRetryOrLeave();
    void commandReportsMissingOfficeAndTemplate();
    void templateThatCannotOpenBringsTheMainWindowBack();
    void queuedClicksAreDroppedWhileSaving();
    void designButtonOpensTheOfficesDialog();
    void stoppedOfficeIsEndedAndTheEditorRecovers();

private:
    TfrmPPTEdit *openEditor();
    QString templatePath() const { return m_program.filePath(QStringLiteral("temp.ppt")); }

    QTemporaryDir m_program;
    std::unique_ptr<RecorderSim> m_sim;
    std::unique_ptr<TfrmMain> m_main;
    QStringList m_messages;
    int m_quits = 0;
    bool m_failExport = false;
};

void TestSlidesEditor::initTestCase()
{
    QVERIFY(m_program.isValid());
    SetProgramFolderForTesting(m_program.path() + QLatin1Char('/'));
    SetMsgHandler([this](const MsgRequest &request) {
        m_messages << request.text;
        return true;
    });
    SlidesTest::UsePrivateOffice();
    SetPresentationHostFactory([this](HostUse use) -> std::unique_ptr<PresentationHost> {
        if (use == HostUse::Export && m_failExport)
            return std::make_unique<FailingHost>();
        return std::make_unique<SlidesTest::KeepOfficeHost>(use, &m_quits);
    });
    // Started with windows, as the editor wants it.
    SlidesTest::KeepOfficeHost(HostUse::Edit).connect();

    QString error;
    m_sim = SlidesTest::StartRecorder(QStringLiteral("127.0.0.52"), &error);
    QVERIFY2(m_sim, qPrintable(error));
    SDKConfig.Address = m_sim->address();
    SDKConfig.HttpPort = m_sim->httpPort();
    SDKConfig.Username = m_sim->options().username;
    SDKConfig.Password = m_sim->options().password;
    SDKConfig.AutoRec = false;
    m_main = std::make_unique<TfrmMain>();
    frmMain = m_main.get();
}

void TestSlidesEditor::cleanupTestCase()
{
    m_main.reset();
    frmMain = nullptr;
    m_sim.reset();
    SetPresentationHostFactory({});
    SlidesTest::EndPrivateOffice();
}

void TestSlidesEditor::init()
{
    SlidesTest::MakePresentation(templatePath(), { QStringLiteral("上次的标题"), QStringLiteral("再见") });
    // The window looks for the template in the program folder, which is m_program here.
    QCOMPARE(m_main->PPTFile(), templatePath());
    m_main->show();
    m_sim->clearRecords();
    m_sim->resetReplies();
    m_messages.clear();
    m_quits = 0;
    m_failExport = false;
}

void TestSlidesEditor::cleanup()
{
    if (frmPPTEdit) {
        frmPPTEdit->Tag = 1;
        frmPPTEdit->close();
    }
    QTRY_VERIFY(!frmPPTEdit);
}

TfrmPPTEdit *TestSlidesEditor::openEditor()
{
    m_main->btnHeadTailClick();
    return frmPPTEdit;
}

void TestSlidesEditor::templateOpensWithTheDefaultHeadTexts()
{
    SlidesTest::MakePresentation(templatePath(), { QStringLiteral("任何标题") });
    const QByteArray before = [&] {
        QFile f(templatePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(!m_main->isVisible());
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->windowTitle(), QStringLiteral("片头片尾"));
    QCOMPARE(editor->size(), QSize(219, 40));
    QVERIFY(editor->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(editor->windowFlags() & Qt::Tool);
    QCOMPARE(editor->btnSubmit->text(), QStringLiteral("保存"));
    QCOMPARE(editor->btnSubmit->geometry(), QRect(14, 7, 65, 25));
    QCOMPARE(editor->btnCancel->geometry(), QRect(82, 7, 61, 25));
    QCOMPARE(editor->btnTemplate->geometry(), QRect(145, 7, 61, 25));
    QVERIFY(editor->pptVersion >= 7);
    // The captions are whole with the fonts this desktop has; a picture is left for a look.
    for (QPushButton *button : { editor->btnSubmit, editor->btnCancel, editor->btnTemplate })
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width());
    editor->grab().save(QStringLiteral(QUREL_BINARY_DIR "/testhome/tst_slides_editor/editor.png"));

    // The one slide got a tail slide; slide 1 shows the default head texts.
    const auto presentation = editor->pptPresentation;
    QCOMPARE(presentation->slidesCount(), 2);
    const auto head = presentation->slide(1);
    QCOMPARE(head->shape(1)->text(), QStringLiteral("片头标题"));
    QCOMPARE(head->shape(2)->text(), QStringLiteral("主讲人"));
    // Nothing reaches the file before "保存".
    QFile after(templatePath());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);

    // The editor sits near the bottom-right of the office's document window.
    const QRect window = editor->pptApp->activeWindowGeometry();
    QVERIFY(window.isValid());
    QVERIFY(editor->pptApp->activeWindowHandle() != 0);
    const QRect frame = editor->frameGeometry();
    QVERIFY2(qAbs(frame.right() + 1 - (window.x() + window.width() - 50)) <= 2,
        qPrintable(QStringLiteral("%1 vs %2").arg(frame.right()).arg(window.x() + window.width())));
    QVERIFY(qAbs(frame.bottom() + 1 - (window.y() + window.height() - 70)) <= 2);
}

void TestSlidesEditor::fewerThanTwoSlidesAreRefusedThenSaveWorks()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    OfficeTesting::DeleteSlide(*editor->pptPresentation, 2);
    editor->btnSubmitClick();
    QCOMPARE(m_messages, QStringList({ "ERROR: At least 2 slides!" }));
    QVERIFY(
        editor->btnSubmit->isVisible() && editor->btnCancel->isVisible() && editor->btnTemplate->isVisible());
    QVERIFY(m_sim->uploads().isEmpty());
    QCOMPARE(m_quits, 0);

    editor->pptPresentation->addSlide(2, SlideLayout::Title)->titleShape()->setText(QStringLiteral("谢谢"));
    m_messages.clear();
    editor->btnSubmitClick();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QVERIFY(!frmPPTEdit);
    QVERIFY(m_main->isVisible());
    const QList<SimUpload> uploads = m_sim->uploads();
    QCOMPARE(uploads.size(), 2);
    QCOMPARE(uploads.at(0).kind, QStringLiteral("title"));
    QCOMPARE(uploads.at(1).kind, QStringLiteral("credit"));
    QVERIFY(uploads.at(0).accepted && uploads.at(1).accepted);
    const QList<SimRequest> activations = m_sim->requestsTo(QStringLiteral("plat.cgi"));
    QCOMPARE(activations.size(), 1);
    QCOMPARE(activations.at(0).queryValue(QStringLiteral("action")), QStringLiteral("24687"));
    // The edits were saved into the template; the office was told to quit
    // by the editor and by the export.
    QCOMPARE(SlidesTest::ReadSlides(templatePath()), QStringList({ "片头标题|主讲人", "谢谢|" }));
    QVERIFY(m_quits >= 2);
    QVERIFY(QDir(m_program.path()).entryList({ "*.bmp" }, QDir::Files).isEmpty());
}

void TestSlidesEditor::closingAnotherPresentationClosesTheEditor()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    const QString other = m_program.filePath(QStringLiteral("other.ppt"));
    SlidesTest::MakePresentation(other, { QStringLiteral("other") });
    QVERIFY(frmPPTEdit);
    QVERIFY(!m_main->isVisible());
    SlidesTest::KeepOfficeHost host(HostUse::Edit);
    host.open(other, OpenMode::InWindow);
    host.disconnect(); // closes it
    QTRY_VERIFY(!frmPPTEdit);
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_quits, 0);
    QVERIFY(OfficeRunning());
}

void TestSlidesEditor::cancelQuitsTheOfficeAndShowsTheMainWindow()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    editor->btnCancel->click();
    QVERIFY(!frmPPTEdit);
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_quits, 1);
    QVERIFY(m_sim->uploads().isEmpty());
}

void TestSlidesEditor::failedExportLetsTheUserRetryOrLeave()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    m_failExport = true;
    editor->btnSubmitClick();
    // The user reads the client's own words, not the office layer's.
    QCOMPARE(m_messages, QStringList({ PresentationFailureText(PresentationFailure::Lost) }));
    QVERIFY(frmPPTEdit);
    QVERIFY(editor->isVisible());
    QVERIFY(editor->btnSubmit->isVisible() && editor->btnCancel->isVisible());
    QVERIFY(!m_main->isVisible());
    // The template was saved before the export; the retry exports it.
    m_failExport = false;
    m_messages.clear();
    editor->btnSubmitClick();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QVERIFY(!frmPPTEdit);
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_sim->uploads().size(), 2);
}

void TestSlidesEditor::commandReportsMissingOfficeAndTemplate()
{
    QVERIFY(QFile::rename(templatePath(), templatePath() + ".away"));
    m_main->btnHeadTailClick();
    QVERIFY(QFile::rename(templatePath() + ".away", templatePath()));
    QCOMPARE(m_messages, QStringList({ "程序同目录下未找到模板文件(temp.ppt)!" }));
    QVERIFY(m_main->isVisible());
    QVERIFY(!frmPPTEdit);

    m_messages.clear();
    const OfficeProfile working = CurrentOfficeProfile();
    OfficeProfile broken = working;
    broken.pipeName += QStringLiteral("_none");
    broken.program = QStringLiteral("/nonexistent/soffice");
    SetOfficeProfile(broken);
    m_main->btnHeadTailClick();
    SetOfficeProfile(working);
    QCOMPARE(m_messages, QStringList({ "调用PowerPoint失败,请确定是否已安装!" }));
    QVERIFY(m_main->isVisible());
}

void TestSlidesEditor::templateThatCannotOpenBringsTheMainWindowBack()
{
    QFile broken(templatePath());
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(2048, '\x42'));
    broken.close();
    m_main->btnHeadTailClick();
    QCOMPARE(m_messages,
        QStringList({ QStringLiteral("打开模板文件(temp.ppt)失败！\n")
            + PresentationFailureText(PresentationFailure::Open) }));
    QVERIFY(m_main->isVisible());
    QTRY_VERIFY(!frmPPTEdit);
    QVERIFY(OfficeRunning());
}

void TestSlidesEditor::queuedClicksAreDroppedWhileSaving()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    // Clicks that wait in the queue reach the buttons while "保存" lets the
    // event loop run; they must not start another office operation.
    for (QPushButton *button : { editor->btnCancel, editor->btnTemplate }) {
        const QPointF centre = QRectF(button->rect()).center();
        for (QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease })
            QCoreApplication::postEvent(button,
                new QMouseEvent(type, centre, button->mapToGlobal(centre), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
    }
    editor->btnSubmitClick();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QVERIFY(!frmPPTEdit);
    QCOMPARE(m_sim->uploads().size(), 2);
    // The editor's quit, the export's and the one on closing; none from "取消".
    QCOMPARE(m_quits, 3);
}

void TestSlidesEditor::designButtonOpensTheOfficesDialog()
{
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    editor->btnTemplate->click();
    // The dialog opens in the office while the client stays responsive.
    QVERIFY(editor->isVisible());
    QVERIFY(m_messages.isEmpty());
    QTest::qWait(1500);
    QProcess::execute(QStringLiteral("import"),
        { "-window", "root",
            QStringLiteral(QUREL_BINARY_DIR "/testhome/tst_slides_editor/design-dialog.png") });
    // The dialog would hold the office; the next case starts a new one.
    OfficeTesting::KillOffice();
}

void TestSlidesEditor::stoppedOfficeIsEndedAndTheEditorRecovers()
{
    // A short bound keeps the test short; the client's own is 20 s.
    const OfficeProfile working = CurrentOfficeProfile();
    OfficeProfile bounded = working;
    bounded.callTimeoutMs = 3000;
    SetOfficeProfile(bounded);
    // A headless office left on the pipe (as a failed export once did) is not
    // where the template opens: it is ended and one with windows started.
    UnoPresentationHost(HostUse::Export).connect();
    const QList<qint64> headless = OfficeTesting::OfficeProcesses();
    QVERIFY(!headless.isEmpty());
    TfrmPPTEdit *editor = openEditor();
    QVERIFY(editor);
    QVERIFY(editor->pptApp->activeWindowHandle() != 0);
    const QList<qint64> office = OfficeTesting::OfficeProcesses();
    for (qint64 pid : headless)
        QVERIFY(!office.contains(pid));
    QVERIFY(!office.isEmpty());
    for (qint64 pid : office)
        ::kill(pid_t(pid), SIGSTOP);

    QElapsedTimer clock;
    clock.start();
    editor->btnSubmitClick();
    const qint64 recovered = clock.elapsed();
    qInfo("the editor recovered from a stopped office in %lld ms (bound %d ms)", recovered,
        bounded.callTimeoutMs);
    QVERIFY(recovered < bounded.callTimeoutMs + 2000);
    QCOMPARE(m_messages, QStringList({ PresentationFailureText(PresentationFailure::NoAnswer) }));
    QVERIFY(OfficeTesting::OfficeProcesses().isEmpty());
    // Usable again: its buttons are there and "取消" brings the main window back.
    QVERIFY(frmPPTEdit && editor->isVisible());
    QVERIFY(editor->btnSubmit->isVisible() && editor->btnCancel->isVisible());
    QVERIFY(editor->btnCancel->isEnabled() && editor->btnTemplate->isEnabled());
    m_messages.clear();
    clock.restart();
    editor->btnCancel->click();
    QVERIFY(!frmPPTEdit);
    QVERIFY(m_main->isVisible());
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(m_messages.isEmpty());
    SetOfficeProfile(working);
}

QTEST_MAIN(TestSlidesEditor)
#include "tst_slides_editor.moc"
