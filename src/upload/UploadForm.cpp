#include "UploadForm.h"

#include "BrowserStart.h"
#include "Configs.h"
#include "MessageBoxes.h"
#include "PlatformPage.h"
#include "PlatformUpload.h"
#include "ProgramFolder.h"
#include "UploadPass.h"
#include "UploadProgressPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <atomic>
#include <thread>

TfrmUpload *frmUpload = nullptr;

namespace {
const QString kNoBrowserText = QStringLiteral("无法打开上传页面,内置浏览器未能启动!");
const QString kRootText
    = QStringLiteral("上传视频需要以普通用户账户运行本程序, 以root身份运行时不能打开上传页面!");
} // namespace

TfrmUpload::TfrmUpload(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , FLayout(new QVBoxLayout(this))
    , pnlProgress(new Qurel::UploadProgressPanel(this))
{
    setWindowTitle(QStringLiteral("视频上传"));
    setFixedSize(470, 268);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(0);
    FLayout->addWidget(pnlProgress);
    pnlProgress->hide();
    // Sees every event of the application while the window exists, to keep
    // right-button clicks away from the browser.
    qApp->installEventFilter(this);
}

TfrmUpload::~TfrmUpload()
{
    qApp->removeEventFilter(this);
    if (frmUpload == this)
        frmUpload = nullptr;
}

QString TfrmUpload::progressText() const
{
    return pnlProgress->text();
}

// The browser (and with it the whole web engine) starts only when the window
// is first shown, so the client itself starts light.
void TfrmUpload::createBrowser()
{
    wbMain = new QWebEngineView(this);
    wbMain->setPage(new Qurel::PlatformPage(wbMain));
    wbMain->setContextMenuPolicy(Qt::NoContextMenu);
    FLayout->insertWidget(0, wbMain, 1);
    connect(wbMain, &QWebEngineView::loadStarted, this, [this] { FBusy = true; });
    connect(wbMain, &QWebEngineView::loadFinished, this, [this](bool ok) {
        FBusy = false;
        wbMainNavigateComplete2(ok);
    });
    // A page whose process dies leaves the client running; the window says so.
    connect(wbMain->page(), &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            if (status == QWebEnginePage::NormalTerminationStatus)
                return;
            FBusy = false;
            Qurel::ShowMsg(this, kNoBrowserText);
            reject();
        });
}

void TfrmUpload::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return; // restored from minimised, not a new showing
    if (!wbMain) {
        const Qurel::BrowserStartCheck check = Qurel::CheckBrowserStart();
        if (check.block != Qurel::BrowserBlock::None) {
            qWarning("qurel: the upload window's browser cannot start: %s", qPrintable(check.detail));
            Qurel::ShowMsg(this, check.block == Qurel::BrowserBlock::Root ? kRootText : kNoBrowserText);
            QMetaObject::invokeMethod(this, &TfrmUpload::reject, Qt::QueuedConnection);
            return;
        }
        createBrowser();
    }
    FormShow();
}

void TfrmUpload::FormShow()
{
    ErrorString.clear();
    const QString address = Qurel::LoginAddress(SDKConfig.UpLoadAddr, SDKConfig.UpLoadPort, FileLst);
    // The last login address is kept for whoever has to find out what the
    // platform was asked.
    QFile log(Qurel::WorkFilePath(QStringLiteral("log.txt")));
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        log.write(address.toLocal8Bit() + "\r\n");
    static_cast<Qurel::PlatformPage *>(wbMain->page())->setPlatform(SDKConfig.UpLoadAddr, SDKConfig.UpLoadPort);
    if (FBusy)
        wbMain->stop();
    wbMain->load(QUrl(address));
}

bool TfrmUpload::eventFilter(QObject *watched, QEvent *event)
{
    if (ApplicationEvents1Message(watched, event))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TfrmUpload::ApplicationEvents1Message(QObject *target, QEvent *event) const
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
        || type == QEvent::MouseButtonDblClick;
    if (!wbMain || !(mouse || type == QEvent::ContextMenu) || !target->isWidgetType())
        return false;
    if (mouse && static_cast<QMouseEvent *>(event)->button() != Qt::RightButton)
        return false;
    auto *widget = static_cast<QWidget *>(target);
    return widget == wbMain || wbMain->isAncestorOf(widget);
}

void TfrmUpload::wbMainNavigateComplete2(bool ok)
{
    if (!ok || FPassRunning || !isVisible())
        return;
    // The page's own address, not the one of a frame inside it.
    if (!Qurel::IsFinishAddress(wbMain->url().toString()))
        return;
    runUploadPass();
}

void TfrmUpload::runUploadPass()
{
    FPassRunning = true;
    FFileNumber = 0;
    FFileCount = static_cast<int>(FileLst.size()) * 2;
    ErrorString.clear();
    pnlProgress->show();
    ErrorString = Qurel::RunUploadPass(FileLst, SDKConfig.UpLoadAddr, SDKConfig.UpLoadPort,
        [this](const QString &url, const QString &fileName, QString &message) {
            return UploadFile(url, fileName, message);
        });
    pnlProgress->hide();
    FPassRunning = false;
    emit passFinished();
    if (ErrorString.isEmpty())
        accept();
}

bool TfrmUpload::UploadFile(const QString &url, const QString &fileName, QString &message)
{
    message.clear();
    ++FFileNumber;
    const QString shortName = QFileInfo(fileName).fileName();
    if (!QFileInfo(fileName).isFile()) {
        message = QStringLiteral("文件不存在：") + fileName;
        return false;
    }
    std::atomic<std::int64_t> sent { 0 };
    std::atomic<std::int64_t> total { QFileInfo(fileName).size() };
    const auto refresh = [&] { pnlProgress->showFile(FFileNumber, FFileCount, fileName, sent, total); };
    refresh();

    // The file goes out on a worker thread while this one waits in a local
    // loop that repaints and shows the progress; the uploads still run one
    // after the other and the user cannot act on the window meanwhile.
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(100);
    connect(&tick, &QTimer::timeout, this, refresh);
    Qurel::PlatformUploadResult result;
    std::thread worker([&] {
        result = Qurel::PostToPlatform(url, fileName, [&](std::int64_t now, std::int64_t all) {
            sent = now;
            if (all > 0)
                total = all;
            return true;
        });
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    tick.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    tick.stop();
    refresh();

    if (result.transportFailed)
        Qurel::ShowMsg(this, result.errorKind + QStringLiteral(": ") + result.errorText);
    if (result.reply.accepted)
        return true;
    // A refusal that says nothing still has to keep the window from reporting success.
    message = result.reply.message.isEmpty() ? QStringLiteral("上传文件失败：") + shortName
                                             : result.reply.message;
    return false;
}

void TfrmUpload::closeEvent(QCloseEvent *event)
{
    if (FPassRunning) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmUpload::reject()
{
    if (!FPassRunning)
        QDialog::reject();
}
