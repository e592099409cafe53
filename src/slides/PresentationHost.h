#pragma once
// The presentation program that edits and exports the head and tail slides,
// seen through the few operations the slides code needs. No office types
// appear here, so another program can sit behind it on another platform.

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace Qurel {

// What went wrong with the presentation program, as the user is told.
enum class PresentationFailure {
    Unavailable, // it cannot be started or reached
    NoAnswer, // a call did not come back within the bound; the program was ended
    Open, // the file cannot be opened as a presentation
    Save, // the presentation cannot be written back
    Export, // a slide cannot be written as a picture
    Lost, // any other failure of a call (the program went away, a bad index)
};

// Every failure of the presentation program arrives as this error: message()
// is the text for the user, detail() the program's own words for the log.
class PresentationError : public std::runtime_error
{
public:
    PresentationError(PresentationFailure failure, const QString &detail);
    explicit PresentationError(const QString &detail);
    PresentationFailure failure() const { return m_failure; }
    QString message() const;
    QString detail() const { return m_detail; }

private:
    PresentationFailure m_failure;
    QString m_detail;
};

// The user's text for a failure.
QString PresentationFailureText(PresentationFailure failure);

// Kinds of placeholder, numbered as the PowerPoint object model numbers them.
enum class PlaceholderKind {
    NotPlaceholder = 0,
    Title = 1,
    Body = 2,
    CenterTitle = 3,
    Subtitle = 4,
    Other = 99,
};

// Slide layouts the client inserts.
enum class SlideLayout {
    Title = 1, // title and subtitle
};

// How a presentation is opened: hidden for exporting, in a window for editing.
enum class OpenMode { Hidden, InWindow };

class PresentationShape
{
public:
    virtual ~PresentationShape() = default;
    // True when the shape is a layout placeholder (PowerPoint's msoPlaceholder).
    virtual bool isPlaceholder() const = 0;
    virtual PlaceholderKind placeholderKind() const = 0;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
};

class PresentationSlide
{
public:
    virtual ~PresentationSlide() = default;
    virtual int shapesCount() const = 0;
    // index counts from 1.
    virtual std::unique_ptr<PresentationShape> shape(int index) const = 0;
    // The title placeholder, or null when the slide has none.
    virtual std::unique_ptr<PresentationShape> titleShape() const = 0;
    // Writes the slide as a picture of exactly width x height pixels; filter
    // names the file format ("bmp", "png").
    virtual void exportBitmap(const QString &file, const QString &filter, int width, int height) = 0;
};

class Presentation
{
public:
    virtual ~Presentation() = default;
    virtual QString fileName() const = 0;
    virtual int slidesCount() const = 0;
    // index counts from 1.
    virtual std::unique_ptr<PresentationSlide> slide(int index) const = 0;
    // Inserts a slide so that it becomes number `index`.
    virtual std::unique_ptr<PresentationSlide> addSlide(int index, SlideLayout layout) = 0;
    // Writes the presentation back to its file, in the format it was read in.
    virtual void save() = 0;
};

// What a host is used for; an office started for export alone needs no display.
enum class HostUse { Edit, Export };

class PresentationHost
{
public:
    virtual ~PresentationHost() = default;

    // Attaches to the running program of this user, or starts one. Every other
    // call attaches first when needed.
    virtual void connect() = 0;
    // Drops the attachment (and every presentation got through it); the
    // program keeps running.
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;

    virtual void setVisible(bool visible) = 0;
    // The program's version text; its leading number is the major version.
    virtual QString version() = 0;

    virtual std::shared_ptr<Presentation> open(const QString &file, OpenMode mode) = 0;
    // The presentation the user works on (the one opened last through this host).
    virtual std::shared_ptr<Presentation> activePresentation() = 0;

    // Native handle of the active document window (an X11 window id here), 0
    // when there is none, and its rectangle on the screen (null when unknown).
    virtual quintptr activeWindowHandle() = 0;
    virtual QRect activeWindowGeometry() = 0;
    // Brings the program's document window to the front.
    virtual void bringToFront() = 0;
    // Opens the program's slide design dialog; returns at once.
    virtual void showDesignDialog() = 0;

    // Ends the program.
    virtual void quit() = 0;

    // Called on the thread that created the host whenever a presentation of
    // the attached program is closing.
    void setPresentationCloseHandler(std::function<void()> handler) { m_closeHandler = std::move(handler); }

protected:
    void notifyPresentationClose()
    {
        if (m_closeHandler)
            m_closeHandler();
    }

private:
    std::function<void()> m_closeHandler;
};

// Makes the host for a use: LibreOffice Impress here. Tests may replace it.
std::unique_ptr<PresentationHost> CreatePresentationHost(HostUse use);
using PresentationHostFactory = std::function<std::unique_ptr<PresentationHost>(HostUse)>;
// An empty factory restores the default.
void SetPresentationHostFactory(PresentationHostFactory factory);

} // namespace Qurel
