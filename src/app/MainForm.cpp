// TfrmMain: layout, start-up and shut-down, close guard, external messages.
#include "MainForm.h"

#include "ClientFont.h"
#include "Configs.h"
#include "MessageBoxes.h"
#include "ProgramFolder.h"
#include "UserMessages.h"
#include "VlcCheck.h"
#include "zelmicro.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QToolButton>

TfrmMain *frmMain = nullptr;

TfrmMain::TfrmMain(QWidget *parent)
    : QWidget(parent)
    , FKeeper(new Qurel::KeeperView(Qurel::KeeperView::ForInstance(SDKConfig.KeeperInstance), this))
    , FAutoMode(SDKConfig.AutoRec)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Qurel::kClientCaption);
    setFont(Qurel::ClientFont(14));
    setFixedSize(Qurel::kMainFormSize);
    FUi.setupUi(this);
    WireLayout();
    BuildPlayerControls();
    WireKeeper();
    FormCreate();
}

void TfrmMain::WireLayout()
{
    const std::pair<QToolButton *, void (TfrmMain::*)()> clicks[] = {
        { FUi.btnHeadTail, &TfrmMain::btnHeadTailClick },
        { FUi.btnStartRec, &TfrmMain::btnStartRecClick },
        { FUi.btnEndRec, &TfrmMain::btnEndRecClick },
        { FUi.btnUpload, &TfrmMain::btnUploadClick },
        { FUi.btnSaveAs, &TfrmMain::btnSaveAsClick },
        { FUi.btnDel, &TfrmMain::btnDelClick },
        { FUi.btnSetting, &TfrmMain::btnSettingClick },
    };
    for (const auto &[button, handler] : clicks)
        connect(button, &QToolButton::clicked, this, handler);
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
    if (frmMain == this)
        frmMain = nullptr;
}

void TfrmMain::FormCreate()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    FUi.colourForm();
    FUi.centrePlaySymbol();
    FUi.sizePicFrames();

    if (zms32Init(5555, 0, 1) != 0) {
        LoadPicList();
        Qurel::ShowMsg(this, QStringLiteral("初始化rtsp失败"));
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    }
    FRelayReady = true;
    // The keeper takes the settings first: a copy its journal still holds stays out of the list
    // until finished.
    ApplyKeeperSettings();
    // A keeper that was already running may be in the middle of a lesson: the labels show it.
    KeeperChanged(FKeeper->snapshot());
    LoadPicList();
    FPPTFile = Qurel::EditableFilePath(QStringLiteral("temp.ppt"));
    if (!Qurel::IsVlcInstalled())
        Qurel::ShowMsg(this, QStringLiteral("本机尚未安排VLC播放器，请先下载安装vlc播放器2.0.3版本！"));
    if (!FAutoMode) {
        // Nothing records yet: the status line stays empty until a lesson or a connection.
        FUi.lblStatus->hide();
        FUi.btnStartRec->show();
        FUi.btnEndRec->show();
    }

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmMain::FormDestroy()
{
    // Only a library that was initialised is released.
    if (!FRelayReady)
        return;
    FRelayReady = false;
    // The keeper's threads use the library: they end (finishing any lesson) before it is released.
    delete std::exchange(FKeeper, nullptr);
    if (zms32Uninit() != 0) {
        Qurel::ShowMsg(this, QStringLiteral("销毁rtsp失败"));
        QCoreApplication::exit(1);
    }
}

// Every way of closing (the close button, the window manager) asks while a recording runs that
// ends with the window; the recorder itself goes on recording, only the local copy ends here. A
// keeper the window did not start (a service) goes on recording: the window just closes.
void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (!FKeeper || FKeeper->snapshot().settled || !FKeeper->endsWithWindow() || !FKeeper->isAnswering()) {
        FCloseWhenSettled = false;
        event->accept();
        return;
    }
    // Until the lesson's files are finished the window stays; it closes itself once they are.
    event->ignore();
    if (FCloseWhenSettled)
        return;
    const Qurel::KeeperSnapshot &lesson = FKeeper->snapshot();
    const bool asks = lesson.state == QLatin1String("starting") || lesson.recording();
    if (asks
        && !Qurel::AskMsg(this,
            QStringLiteral("视频正在录制中，关闭软件不会关闭录播机录播状态，但软件生成的视频只会"
                           "记录到此刻，是否确定要关闭？")))
        return;
    // The lesson may have settled while the question was open: this very event closes the window
    // then (a close() from inside closeEvent would do nothing).
    if (FKeeper->snapshot().settled) {
        FCloseWhenSettled = false;
        event->accept();
        return;
    }
    FCloseWhenSettled = true;
    FKeeper->finish();
}

void TfrmMain::DispatchExternalMessage(const Qurel::ExternalMessage &message)
{
    switch (message.msg) {
    case Qurel::kMsgShowAgain:
        ShowAgainMessage(message.wParam);
        break;
    case Qurel::kMsgPlayFrom:
        PlayCurrent(message.lParam);
        break;
    case Qurel::kMsgHotKey: {
        const int key = Qurel::HotKeyVirtualKey(message.lParam);
        if (key == Qurel::kVkF5 || key == Qurel::kVkF6)
            HotKeyRecord(key);
        break;
    }
    default:
        break;
    }
}

void TfrmMain::ShowAgainMessage(qint64 wParam)
{
    if (wParam != 0)
        return;
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}
