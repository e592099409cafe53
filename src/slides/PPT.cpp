#include "PPT.h"

#include "HeadTailSlides.h"
#include "HttpTransport.h"
#include "MessageBoxes.h"
#include "PresentationHost.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>

namespace {

const QString kAccepted = QStringLiteral("value='0'");
const QString kTimeoutMessage = QStringLiteral("连接录播机超时，请检查录播机地址是否正确以及网络是否畅通！");
constexpr int kImageWidth = 720;
constexpr int kImageHeight = 405;

void RemoveFiles(const QStringList &files)
{
    for (const QString &file : files)
        QFile::remove(file);
}

} // namespace

TPptEdit::TPptEdit()
    : TPptEdit(Qurel::CreatePresentationHost(Qurel::HostUse::Export))
{
}

TPptEdit::TPptEdit(std::unique_ptr<Qurel::PresentationHost> app)
    : FPptApp(std::move(app))
{
}

TPptEdit::~TPptEdit()
{
    FPptPresentation.reset();
    FPptApp.reset();
}

void TPptEdit::SetPptFile(const QString &value)
{
    if (value != FPptFile)
        FPptFile = value;
}

bool TPptEdit::DoExportAndUpload()
{
    const QString folder = Qurel::WorkFolder();
    const QString slide1 = folder + QStringLiteral("Slide1.bmp");
    const QString slide2 = folder + QStringLiteral("Slide2.bmp");
    const QString head = folder + QStringLiteral("Head.bmp");
    const QString tail = folder + QStringLiteral("Tail.bmp");

    try {
        ExportSlides(slide1, slide2);
    } catch (const Qurel::PresentationError &) {
        // The office started for the export must not linger: a headless office
        // left on the client's pipe would take the next editing session.
        QuitOffice();
        throw;
    }
    QCoreApplication::processEvents();
    QuitOffice();

    RemoveFiles({ head, tail });
    ConvertTo24Bit(slide1, head);
    if (!QFile::exists(head))
        return false;
    ConvertTo24Bit(slide2, tail);
    if (!QFile::exists(tail))
        return false;

    // The tail goes only after the recorder took the head.
    const bool sent = UploadImage(FUploadURL_A_Head, head) && UploadImage(FUploadURL_A_Tail, tail);
    RemoveFiles({ slide1, slide2, tail, head });
    return sent;
}

void TPptEdit::ExportSlides(const QString &slide1, const QString &slide2)
{
    FPptApp->connect();
    FPptPresentation = FPptApp->open(FPptFile, Qurel::OpenMode::Hidden);
    if (Qurel::AddMissingHeadTailSlides(*FPptPresentation))
        FPptPresentation->save();

    {
        // The optional texts reach only the images; they are never saved.
        const auto first = FPptPresentation->slide(1);
        const int shapes = first->shapesCount();
        if (!FTitile.isEmpty() && shapes >= 1)
            first->shape(1)->setText(FTitile);
        if (!FTeacher.isEmpty() && shapes >= 2)
            first->shape(2)->setText(FTeacher);
        first->exportBitmap(slide1, QStringLiteral("bmp"), kImageWidth, kImageHeight);
    }
    FPptPresentation->slide(2)->exportBitmap(slide2, QStringLiteral("bmp"), kImageWidth, kImageHeight);
}

void TPptEdit::QuitOffice()
{
    FPptPresentation.reset();
    FPptApp->disconnect();
    try {
        FPptApp->quit();
    } catch (const Qurel::PresentationError &e) {
        // quit() ends an office that does not answer; what is left to report
        // is only that it could not be reached, and then it is not running.
        qWarning("qurel: quitting the office: %s", qPrintable(e.detail()));
    }
}

bool UploadImage(const QString &url, const QString &fileName)
{
    if (!QFile::exists(fileName))
        return false;
    const Qurel::HttpResult reply
        = Qurel::PostFile(url, QStringLiteral("image"), fileName, Qurel::MimeTypeForFile(fileName));
    if (reply.timedOut) {
        Qurel::ShowMsg(nullptr, kTimeoutMessage);
        return false;
    }
    return reply.ok && QString::fromLatin1(reply.body).contains(kAccepted);
}

void ConvertTo24Bit(const QString &source, const QString &target)
{
    if (!QFile::exists(source))
        return;
    const QImage image(source);
    if (image.isNull())
        return;
    image.convertToFormat(QImage::Format_RGB888).save(target, "BMP");
}
