#include "PPTEditForm.h"

#include "Configs.h"
#include "HeadTailSlides.h"
#include "HttpIntf.h"
#include "MessageBoxes.h"
#include "PPT.h"
#include "PresentationHost.h"
#include "SkinPainting.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLocale>
#include <QPushButton>
#include <QTimer>

#include <optional>

QPointer<TfrmPPTEdit> frmPPTEdit;

namespace {

constexpr int kClientWidth = 219;
constexpr int kClientHeight = 40;
constexpr int kRightGap = 50;
constexpr int kBottomGap = 70;
const QString kOfficeLostText = QStringLiteral("PowerPoint已关闭,未保存的修改已丢失,请取消后重新编辑!");

QString RecorderUrl(const char *path)
{
    return QStringLiteral("http://%1:%2%3")
        .arg(SDKConfig.Address)
        .arg(SDKConfig.HttpPort)
        .arg(QLatin1String(path));
}

QPushButton *MakeButton(QWidget *parent, const QString &caption, const QRect &geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    return button;
}

} // namespace

TfrmPPTEdit::TfrmPPTEdit(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , pptApp(Qurel::CreatePresentationHost(Qurel::HostUse::Edit))
{
    setObjectName(QStringLiteral("frmPPTEdit"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("片头片尾"));
    setFixedSize(kClientWidth, kClientHeight);
    Qurel::PaintBackground(this, Qt::white);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    btnSubmit = MakeButton(this, QStringLiteral("保存"), QRect(14, 7, 65, 25));
    btnCancel = MakeButton(this, QStringLiteral("取消"), QRect(82, 7, 61, 25));
    btnTemplate = MakeButton(this, QStringLiteral("模板"), QRect(145, 7, 61, 25));
    connect(btnSubmit, &QPushButton::clicked, this, &TfrmPPTEdit::btnSubmitClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPPTEdit::btnCancelClick);
    connect(btnTemplate, &QPushButton::clicked, this, &TfrmPPTEdit::btnTemplateClick);

    tmrShowtop = new QTimer(this);
    tmrShowtop->setInterval(2000);
    connect(tmrShowtop, &QTimer::timeout, this, &TfrmPPTEdit::tmrShowtopTimer);

    pptApp->setPresentationCloseHandler([this] { pptAppPresentationClose(); });
    FormCreate();
}

TfrmPPTEdit::~TfrmPPTEdit()
{
    pptPresentation.reset();
    pptApp.reset();
    if (frmPPTEdit == this)
        frmPPTEdit = nullptr;
}

void TfrmPPTEdit::FormCreate()
{
    ATitle.clear();
    ATeacher.clear();
}

void TfrmPPTEdit::LoadPPTFile(const QString &TemplateFile)
{
    FPPTFile = TemplateFile;
    pptApp->connect();
    pptApp->setVisible(true);
    bool parsed = false;
    pptVersion = QLocale::system().toDouble(pptApp->version(), &parsed);
    if (!parsed)
        pptVersion = 0;

    pptPresentation = pptApp->open(TemplateFile, Qurel::OpenMode::InWindow);
    if (pptPresentation->slidesCount() == 0)
        pptPresentation->addSlide(1, Qurel::SlideLayout::Title);
    if (pptPresentation->slidesCount() == 1)
        pptPresentation->addSlide(2, Qurel::SlideLayout::Title);

    // Every opening puts the default head texts back on slide 1.
    const auto head = pptApp->activePresentation()->slide(1);
    for (int i = 1; i <= head->shapesCount(); ++i) {
        const auto shape = head->shape(i);
        if (!shape->isPlaceholder())
            continue;
        switch (shape->placeholderKind()) {
        case Qurel::PlaceholderKind::CenterTitle:
        case Qurel::PlaceholderKind::Title:
            shape->setText(ATitle.isEmpty() ? Qurel::kHeadTitleText : ATitle);
            break;
        case Qurel::PlaceholderKind::Subtitle:
        case Qurel::PlaceholderKind::Body:
            shape->setText(ATeacher.isEmpty() ? Qurel::kHeadSpeakerText : ATeacher);
            break;
        default:
            break;
        }
    }

    const QRect window = pptApp->activeWindowGeometry();
    if (window.isValid()) {
        const QSize outer = frameGeometry().size();
        move(window.x() + window.width() - outer.width() - kRightGap,
            window.y() + window.height() - outer.height() - kBottomGap);
    }
}

void TfrmPPTEdit::CloseAfterFailedLoad()
{
    // The office may hold other work of the user: it keeps running. The
    // editor was never shown, so it is closed here rather than by the window
    // system.
    Tag = 1;
    FormClose();
    deleteLater();
}

void TfrmPPTEdit::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TfrmPPTEdit::FormShow()
{
    tmrShowtop->start();
}

void TfrmPPTEdit::tmrShowtopTimer()
{
    if (isVisible())
        raise();
}

void TfrmPPTEdit::SetSubmitButtonsVisible(bool visible)
{
    btnSubmit->setVisible(visible);
    btnCancel->setVisible(visible);
}

void TfrmPPTEdit::SetBusy(bool busy)
{
    // Clicks queued while "保存" lets the event loop run must not start
    // another office operation: disabled buttons drop them.
    FBusy = busy;
    btnCancel->setEnabled(!busy);
    btnTemplate->setEnabled(!busy);
}

void TfrmPPTEdit::OfficeFailed(const Qurel::PresentationError &error)
{
    qWarning("qurel: head and tail editor: %s", qPrintable(error.detail()));
    if (!pptApp->isConnected()) {
        // The office was ended (it stopped answering) or went away: the
        // template is no longer open anywhere.
        pptPresentation.reset();
        pptApp->disconnect();
        FOfficeLost = !FTemplateSaved;
    }
    Qurel::ShowMsg(this, error.message());
}

void TfrmPPTEdit::btnSubmitClick()
{
    if (FBusy)
        return;
    if (FOfficeLost) {
        Qurel::ShowMsg(this, kOfficeLostText);
        return;
    }
    SetBusy(true);
    SetSubmitButtonsVisible(false);
    const bool done = SaveTemplate() && ExportAndActivate();
    SetBusy(false);
    if (done) {
        close();
        return;
    }
    // The user can try again or leave.
    SetSubmitButtonsVisible(true);
}

bool TfrmPPTEdit::SaveTemplate()
{
    // After an earlier attempt failed the template is saved and closed
    // already; the retry goes straight to the export.
    if (!pptPresentation)
        return true;
    try {
        if (pptPresentation->slidesCount() < 2) {
            Qurel::ShowMsg(this, QStringLiteral("ERROR: At least 2 slides!"));
            return false;
        }
        pptPresentation->save();
        FTemplateSaved = true;
        pptPresentation.reset();
        pptApp->disconnect();
        pptApp->quit();
    } catch (const Qurel::PresentationError &e) {
        OfficeFailed(e);
        return false;
    }
    return true;
}

bool TfrmPPTEdit::ExportAndActivate()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<Qurel::PresentationError> failure;
    try {
        TPptEdit exporter;
        exporter.SetTitle(QString());
        exporter.SetTeacher(QString());
        exporter.SetPptFile(FPPTFile);
        exporter.SetUploadURL(RecorderUrl("/cgi/UploadServer.isa"));
        exporter.SetUPloadURL_A_Head(RecorderUrl("/cgi-bin/uploadtitlefile.cgi"));
        exporter.SetUploadURL_A_Tail(RecorderUrl("/cgi-bin/uploadcreditfile.cgi"));
        if (!exporter.DoExportAndUpload())
            Qurel::ShowMsg(this, QStringLiteral("上传片头片尾图片失败"));
        else if (!Qurel::SaveCT(
                     SDKConfig.Address, SDKConfig.HttpPort, SDKConfig.Username, SDKConfig.Password))
            Qurel::ShowMsg(this, QStringLiteral("设置片头片尾生效失败"));
    } catch (const Qurel::PresentationError &e) {
        failure = e;
    }
    QApplication::restoreOverrideCursor();
    if (!failure)
        return true;
    qWarning("qurel: head and tail export: %s", qPrintable(failure->detail()));
    Qurel::ShowMsg(this, failure->message());
    return false;
}

void TfrmPPTEdit::btnCancelClick()
{
    if (FBusy)
        return;
    Tag = 0;
    close();
}

void TfrmPPTEdit::pptAppPresentationClose()
{
    // While "保存" runs the template is closed by the editor itself.
    if (FClosed || FBusy)
        return;
    Tag = 1;
    close();
}

void TfrmPPTEdit::btnTemplateClick()
{
    if (FBusy)
        return;
    if (!pptPresentation) {
        // Asking for the dialog would start an office without the template.
        Qurel::ShowMsg(this, kOfficeLostText);
        return;
    }
    hide();
    try {
        // The office opens its slide design dialog itself; no key strokes
        // need to be synthesised, whatever its version.
        pptApp->bringToFront();
        pptApp->showDesignDialog();
    } catch (const Qurel::PresentationError &e) {
        OfficeFailed(e);
    }
    show();
}

void TfrmPPTEdit::closeEvent(QCloseEvent *event)
{
    if (FBusy) {
        event->ignore(); // "保存" finishes first and closes the editor itself
        return;
    }
    if (!FClosed)
        FormClose();
    event->accept();
}

void TfrmPPTEdit::FormClose()
{
    FClosed = true;
    tmrShowtop->stop();
    pptPresentation.reset();
    pptApp->disconnect();
    if (Tag == 0) {
        try {
            pptApp->quit();
        } catch (const Qurel::PresentationError &) {
            // An office that cannot be reached has nothing left to quit.
        }
    }
    if (frmPPTEdit == this)
        frmPPTEdit = nullptr;
    emit ShowMainWindow(0);
}
