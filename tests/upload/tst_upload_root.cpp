// The upload window of a client run as root, started the way the client
// starts: it refuses to open a browser (whose sandbox cannot run as root)
// with a clear message, and a browser that cannot start at all is reported;
// the client lives on.

#include "Configs.h"
#include "DesktopPlatform.h"
#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "UploadForm.h"
#include "UploadProgressPanel.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

#include <unistd.h>

class TestUploadRoot : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_messages;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        Qurel::SetProgramFolderForTesting(m_dir.path() + QLatin1Char('/'));
        Qurel::SetMsgHandler([this](const Qurel::MsgRequest &request) {
            m_messages << request.text;
            return true;
        });
        // Nobody listens there: the browser shows its error page.
        SDKConfig.UpLoadAddr = QStringLiteral("127.0.0.1");
        SDKConfig.UpLoadPort = 9;
    }

    void rootGetsAClearMessageAndNoBrowser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root");
        // Whatever the session asked for, the browser's sandbox stays on ...
        QVERIFY(qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"));
        QVERIFY(!qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("sandbox")));
        QVERIFY(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--lang=zh-CN")));
        // ... so as root no browser starts, and the user is told why; the client goes on.
        m_messages.clear();
        TfrmUpload window;
        window.show();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(!window.browser());
        QCOMPARE(m_messages,
            QStringList({ QStringLiteral("上传视频需要以普通用户账户运行本程序, 以root身份运行时不能打开上传页面!") }));
        window.show();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(!window.browser());
        QCOMPARE(m_messages.size(), 2);
    }

    void progressStripFitsItsText()
    {
        QWidget window;
        window.resize(470, 24);
        auto *panel = new Qurel::UploadProgressPanel(&window);
        panel->setGeometry(window.rect());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString name = QStringLiteral("/lessons/三年级数学第一单元复习课_20260101080000.mp4");
        panel->showFile(1, 2, name, 12345678, 987654321);
        QVERIFY(panel->text().contains(QStringLiteral("三年级数学第一单元复习课_20260101080000.mp4")));
        const QLabel *label = panel->findChild<QLabel *>();
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QVERIFY(label->text().startsWith(QStringLiteral("正在上传第1/2个文件")));
        QVERIFY(label->text().endsWith(QStringLiteral("/ 941.9 MB")));
        window.grab().save(QStringLiteral(QUREL_BINARY_DIR "/testhome/tst_upload_root/progress.png"));
    }

    void messagesShowPlatformTextsAsTheyAre()
    {
        // A refusal's text comes from the platform: markup in it is shown, never rendered.
        Qurel::SetMsgHandler({});
        const QString refusal = QStringLiteral("<a href='http://x'>课程不存在</a><img src=x>");
        Qt::TextFormat format = Qt::RichText;
        QString shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            format = box->textFormat();
            shown = box->text();
            box->accept();
        });
        Qurel::ShowMsg(nullptr, refusal);
        Qurel::SetMsgHandler([this](const Qurel::MsgRequest &request) {
            m_messages << request.text;
            return true;
        });
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, refusal);
    }

    void browserThatCannotStartIsReported()
    {
        m_messages.clear();
        qputenv("QTWEBENGINE_PROCESS_PATH", "/nonexistent/QtWebEngineProcess");
        TfrmUpload window;
        window.show();
        QTRY_VERIFY(!window.isVisible());
        qunsetenv("QTWEBENGINE_PROCESS_PATH");
        QVERIFY(!window.browser());
        QCOMPARE(m_messages, QStringList({ QStringLiteral("无法打开上传页面,内置浏览器未能启动!") }));
    }
};

int main(int argc, char *argv[])
{
    const QByteArray home = QUREL_BINARY_DIR "/testhome/tst_upload_root";
    qputenv("XDG_DATA_HOME", home + "/data");
    qputenv("XDG_CACHE_HOME", home + "/cache");
    // A session that tries to switch the browser's sandbox off.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --lang=zh-CN --disable-seccomp-filter-sandbox");
    Qurel::PrepareDesktopPlatform();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestUploadRoot test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_upload_root.moc"
