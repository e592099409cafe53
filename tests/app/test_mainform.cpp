// The main window offscreen: layout, colours, start-up modes, close guard, external messages.
#include "Configs.h"
#include "ClickableImage.h"
#include "FormParts.h"
#include "SkinImageButton.h"
#include "FullPlayForm.h"
#include "MainForm.h"
#include "MessageBoxes.h"
#include "ProgramFolder.h"

#include <QAbstractSocket>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <memory>

class TestMainForm : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_program;
    QStringList m_texts;
    bool m_answer = false;

    std::unique_ptr<TfrmMain> create(bool autoRec)
    {
        SDKConfig.AutoRec = autoRec;
        SDKConfig.Address = QStringLiteral("127.0.0.80");
        auto form = std::make_unique<TfrmMain>();
        frmMain = form.get();
        return form;
    }

    static QColor background(QWidget *widget) { return widget->palette().color(QPalette::Window); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_program.isValid());
        Qurel::SetProgramFolderForTesting(m_program.path());
        Qurel::SetMsgHandler([this](const Qurel::MsgRequest &request) {
            m_texts << request.title + QLatin1Char('|') + request.text;
            return m_answer;
        });
    }

    void init()
    {
        m_texts.clear();
        m_answer = false;
    }

    void windowAndRegions()
    {
        auto form = create(true);
        QCOMPARE(form->size(), QSize(972, 642));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(form->windowTitle(), QStringLiteral("Qurel助手"));
        QCOMPARE(form->font().pixelSize(), 14);

        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlTop")->geometry(), QRect(0, 0, 972, 80));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "imgLogo")->geometry(), QurelTest::Part<QWidget>(*form, "pnlTop")->rect());
        QVERIFY(!QurelTest::Part<QLabel>(*form, "imgLogo")->pixmap().isNull());
        QCOMPARE(QurelTest::Part<QToolButton>(*form, "btnMin")->geometry(), QRect(922, 3, 23, 25));
        QCOMPARE(QurelTest::Part<QToolButton>(*form, "btnClose")->geometry(), QRect(950, 3, 23, 25));
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlFunction")->height(), 35);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlFunction")->mapTo(form.get(), QPoint(0, 0)), QPoint(1, 80));
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlLeftB")->width(), 21);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlCursor")->width(), 9);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnl2")->width(), 228);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnl2")->mapTo(form.get(), QPoint(228, 0)).x(), 971);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnl4")->height(), 43);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlPlayer")->height(), 427);
        QCOMPARE(QurelTest::Part<QWidget>(*form, "pnlPlayer")->mapTo(form.get(), QPoint(0, 427)).y() + 36 + 1, 642);
        for (QFrame *edge : { QurelTest::Part<QFrame>(*form, "shpLeft"), QurelTest::Part<QFrame>(*form, "shpRight") })
            QCOMPARE(edge->width(), 1);
        QCOMPARE(QurelTest::Part<QFrame>(*form, "shp4")->geometry(), QRect(0, 641, 972, 1));
        QCOMPARE(QurelTest::Part<TMlSkinImageButton>(*form, "MlSkinImageButton1")->text(), QStringLiteral("加载更多片段"));
    }

    void coloursAfterFormCreate()
    {
        auto form = create(true);
        QCOMPARE(background(QurelTest::Part<QWidget>(*form, "pnlTop")), QColor(20, 111, 164));
        QCOMPARE(background(QurelTest::Part<QWidget>(*form, "pnlFunction")), QColor(0x33, 0x33, 0x33));
        QCOMPARE(background(QurelTest::Part<QWidget>(*form, "pnl1")), QColor(Qt::white));
        QCOMPARE(background(QurelTest::Part<QFrame>(*form, "shp6")), QColor(0xF3, 0x98, 0x01));
        QCOMPARE(QurelTest::Part<QFrame>(*form, "shp6")->width(), 5);
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblLookBack")->palette().color(QPalette::WindowText), QColor(20, 111, 164));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblSection")->palette().color(QPalette::WindowText), QColor(20, 111, 164));
        for (QWidget *filled : { QurelTest::Part<QWidget>(*form, "pnlTop"), QurelTest::Part<QWidget>(*form, "pnlFunction"), QurelTest::Part<QWidget>(*form, "pnl1") })
            QVERIFY(filled->autoFillBackground());
    }

    void framesAreSizedFromThePlayerArea()
    {
        auto form = create(true);
        const QList<int> expected { 1, 72, 143, 214, 285, 356 };
        const TPicFrame *frames[] = { QurelTest::Part<TPicFrame>(*form, "fraPicture1"), QurelTest::Part<TPicFrame>(*form, "fraPicture2"), QurelTest::Part<TPicFrame>(*form, "fraPicture3"),
            QurelTest::Part<TPicFrame>(*form, "fraPicture4"), QurelTest::Part<TPicFrame>(*form, "fraPicture5"), QurelTest::Part<TPicFrame>(*form, "fraPicture6") };
        QList<int> tops;
        for (const TPicFrame *frame : frames) {
            tops << frame->y();
            QCOMPARE(frame->height(), 68);
            QCOMPARE(frame->parentWidget(), QurelTest::Part<QWidget>(*form, "pnlPicList"));
            QCOMPARE(background(const_cast<TPicFrame *>(frame)), QColor(0xDC, 0xDC, 0xDC));
            auto *right = frame->findChild<QWidget *>(QStringLiteral("pnlRight"));
            QVERIFY(right);
            QCOMPARE(background(right), QColor(20, 111, 164));
        }
        QCOMPARE(tops, expected);
        QCOMPARE(QurelTest::Part<TPicFrame>(*form, "fraPicture1")->objectName(), QStringLiteral("fraPicture1"));
    }

    void labelsAndPlaySymbol()
    {
        // Manual mode: in the automatic mode the connection attempt rewrites lblStatus at once.
        auto form = create(false);
        for (QLabel *heading : { QurelTest::Part<QLabel>(*form, "lblLookBack"), QurelTest::Part<QLabel>(*form, "lblSection") }) {
            QCOMPARE(heading->geometry(), QRect(3, 24, 41, 21));
            QVERIFY(heading->alignment() & Qt::AlignRight);
            QVERIFY(heading->font().bold());
            QCOMPARE(heading->font().pixelSize(), 16);
        }
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblLookBack")->text(), QStringLiteral("回放"));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblSection")->text(), QStringLiteral("片段"));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblStatus")->pos(), QPoint(214, 28));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblTiming")->pos(), QPoint(364, 28));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblStatus")->text(), QStringLiteral("正在录制中，已录制时长："));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblTiming")->text(), QStringLiteral("00:00:00"));
        // Nothing records and nothing connects in the manual mode: the status line says nothing.
        QVERIFY(!QurelTest::Part<QLabel>(*form, "lblStatus")->isVisibleTo(form.get()));
        QVERIFY(!QurelTest::Part<QLabel>(*form, "lblTiming")->isVisibleTo(form.get()));
        QCOMPARE(QurelTest::Part<QLabel>(*form, "lblStatus")->font().pixelSize(), 12);

        const QWidget *panel = QurelTest::Part<QWidget>(*form, "pnlVideoPic");
        QCOMPARE(QurelTest::Part<Qurel::ClickableImage>(*form, "imgPlay")->size(), QSize(110, 111));
        QCOMPARE(QurelTest::Part<Qurel::ClickableImage>(*form, "imgPlay")->pos(), QPoint(panel->width() / 2 - 110 / 2, panel->height() / 2 - 111 / 2));
    }

    void functionBarButtons()
    {
        auto form = create(true);
        struct Expected
        {
            QToolButton *button;
            const char *caption;
            int left;
            int width;
        };
        const Expected buttons[] = {
            { QurelTest::Part<QToolButton>(*form, "btnHeadTail"), "片头片尾", 6, 102 },
            { QurelTest::Part<QToolButton>(*form, "btnStartRec"), "开始录制", 358, 102 },
            { QurelTest::Part<QToolButton>(*form, "btnEndRec"), "停止录制", 466, 102 },
            { QurelTest::Part<QToolButton>(*form, "btnUpload"), "上传", 608, 75 },
            { QurelTest::Part<QToolButton>(*form, "btnSaveAs"), "另存为", 690, 92 },
            { QurelTest::Part<QToolButton>(*form, "btnDel"), "删除", 792, 75 },
            { QurelTest::Part<QToolButton>(*form, "btnSetting"), "系统设置", 876, 85 },
        };
        for (const Expected &e : buttons) {
            QCOMPARE(e.button->text(), QString::fromUtf8(e.caption));
            QCOMPARE(e.button->geometry(), QRect(e.left, 3, e.width, 30));
            QCOMPARE(e.button->parentWidget(), QurelTest::Part<QWidget>(*form, "pnlFunction"));
            QVERIFY(!e.button->icon().isNull());
        }
        for (QToolButton *shown :
            { QurelTest::Part<QToolButton>(*form, "btnHeadTail"), QurelTest::Part<QToolButton>(*form, "btnUpload"), QurelTest::Part<QToolButton>(*form, "btnSaveAs"), QurelTest::Part<QToolButton>(*form, "btnDel"), QurelTest::Part<QToolButton>(*form, "btnSetting") })
            QVERIFY(shown->isVisibleTo(form.get()));
    }

    void automaticModeHidesTheRecordButtons()
    {
        auto form = create(true);
        QVERIFY(!QurelTest::Part<QToolButton>(*form, "btnStartRec")->isVisibleTo(form.get()));
        QVERIFY(!QurelTest::Part<QToolButton>(*form, "btnEndRec")->isVisibleTo(form.get()));
    }

    void manualModeShowsTheButtonsAndConnectsNothing()
    {
        auto form = create(false);
        QVERIFY(QurelTest::Part<QToolButton>(*form, "btnStartRec")->isVisibleTo(form.get()));
        QVERIFY(QurelTest::Part<QToolButton>(*form, "btnEndRec")->isVisibleTo(form.get()));
        QTest::qWait(100);
        for (const QAbstractSocket *socket : form->findChildren<QAbstractSocket *>())
            QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }

    void formCreateState()
    {
        auto form = create(true);
        QVERIFY(form->RelayReady());
        QCOMPARE(form->PPTFile(), Qurel::ProgramFolder() + QStringLiteral("temp.ppt"));
        QVERIFY(form->PPTFile().startsWith(m_program.path()));
        QCOMPARE(form->FRecording(), false);
        QCOMPARE(form->FullScreen(), false);
        QVERIFY(!m_texts.contains(QStringLiteral("Qurel助手|初始化rtsp失败")));
        // libvlc is installed here, so the check passes silently.
        QCOMPARE(m_texts, QStringList());
    }

    void showAgainMessageFollowsWParam()
    {
        auto form = create(true);
        QVERIFY(!form->isVisible());
        form->DispatchExternalMessage({ 0x40B, 1, 0 });
        QVERIFY(!form->isVisible());
        form->DispatchExternalMessage({ 0x40B, 0, 0 });
        QVERIFY(form->isVisible());
        form->hide();
        form->ShowAgainMessage(2);
        QVERIFY(!form->isVisible());
        // Other messages and unknown hot keys change nothing.
        form->DispatchExternalMessage({ 0x312, 0, 0x700000 });
        form->DispatchExternalMessage({ 0x401, 0, 0 });
        QVERIFY(!form->isVisible());
        QCOMPARE(m_texts, QStringList());
    }

    void closeWhileNotRecordingAsksNothing()
    {
        auto form = create(true);
        form->show();
        QurelTest::Part<QToolButton>(*form, "btnClose")->click();
        QVERIFY(!form->isVisible());
        QCOMPARE(m_texts, QStringList());
    }

    void fullScreenWindowIsBorderlessAndBlack()
    {
        TfrmFullPlay full;
        QVERIFY(full.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(full.autoFillBackground());
        QCOMPARE(background(&full), QColor(Qt::black));
        QVERIFY(!full.isVisible());
        QVERIFY(full.children().isEmpty() || full.findChildren<QWidget *>().isEmpty());
    }

    void minimiseAndDrag()
    {
        auto form = create(true);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTest::mousePress(QurelTest::Part<QLabel>(*form, "imgLogo"), Qt::LeftButton); // starts a system move; harmless offscreen
        QTest::mouseRelease(QurelTest::Part<QLabel>(*form, "imgLogo"), Qt::LeftButton);
        QurelTest::Part<QToolButton>(*form, "btnMin")->click();
        QTRY_VERIFY(form->windowState() & Qt::WindowMinimized);
        form->DispatchExternalMessage({ 0x40B, 0, 0 });
        QTRY_VERIFY(!(form->windowState() & Qt::WindowMinimized));
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
