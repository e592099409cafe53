#pragma once
// TPptEdit turns the first two slides of a presentation into the recorder's
// head and tail images: exports them, makes them 24-bit Windows bitmaps and
// posts them to the recorder's title and credit uploads.

#include <QString>

#include <memory>

namespace Qurel {
class Presentation;
class PresentationHost;
} // namespace Qurel

class TPptEdit
{
public:
    TPptEdit();
    // The host to export through (tests pass their own).
    explicit TPptEdit(std::unique_ptr<Qurel::PresentationHost> app);
    ~TPptEdit();
    TPptEdit(const TPptEdit &) = delete;
    TPptEdit &operator=(const TPptEdit &) = delete;

    QString Title() const { return FTitile; }
    void SetTitle(const QString &value) { FTitile = value; }
    QString Teacher() const { return FTeacher; }
    void SetTeacher(const QString &value) { FTeacher = value; }
    QString PptFile() const { return FPptFile; }
    void SetPptFile(const QString &value);
    QString UploadURL() const { return FUploadURL; }
    void SetUploadURL(const QString &value) { FUploadURL = value; }
    QString UPloadURL_A_Head() const { return FUploadURL_A_Head; }
    void SetUPloadURL_A_Head(const QString &value) { FUploadURL_A_Head = value; }
    QString UploadURL_A_Tail() const { return FUploadURL_A_Tail; }
    void SetUploadURL_A_Tail(const QString &value) { FUploadURL_A_Tail = value; }

    // Exports slides 1 and 2 and uploads them; true only when the recorder
    // accepted both images. A failure of the presentation program throws
    // Qurel::PresentationError: nothing is sent then and no work file removed.
    // Either way the program is told to quit (and ended if it does not).
    bool DoExportAndUpload();

private:
    // Steps up to the export of both slides.
    void ExportSlides(const QString &slide1, const QString &slide2);
    void QuitOffice();

    std::unique_ptr<Qurel::PresentationHost> FPptApp;
    std::shared_ptr<Qurel::Presentation> FPptPresentation;
    QString FTitile;
    QString FTeacher;
    QString FPptFile;
    QString FUploadURL;
    QString FUploadURL_A_Head;
    QString FUploadURL_A_Tail;
};

// Posts one image to the recorder (multipart field "image"); true when the
// reply contains "value='0'". A connection time-out tells the user.
bool UploadImage(const QString &url, const QString &fileName);

// Rewrites `source` as a 24-bit Windows bitmap named `target`; does nothing
// when `source` does not exist.
void ConvertTo24Bit(const QString &source, const QString &target);
