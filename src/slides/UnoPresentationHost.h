#pragma once
// The presentation host on LibreOffice Impress, driven through UNO over a
// pipe. The office keeps one page in every presentation; a presentation whose
// only page is untouched (nothing but empty placeholders) counts as having no
// slide, and adding slide 1 to it takes that page over.

#include "PresentationHost.h"

#include <QList>

#include <memory>

namespace Qurel {

class UnoPresentationHost final : public PresentationHost
{
public:
    explicit UnoPresentationHost(HostUse use);
    ~UnoPresentationHost() override;
    UnoPresentationHost(const UnoPresentationHost &) = delete;
    UnoPresentationHost &operator=(const UnoPresentationHost &) = delete;

    void connect() override;
    void disconnect() override;
    bool isConnected() const override;
    void setVisible(bool visible) override;
    QString version() override;
    std::shared_ptr<Presentation> open(const QString &file, OpenMode mode) override;
    std::shared_ptr<Presentation> activePresentation() override;
    quintptr activeWindowHandle() override;
    QRect activeWindowGeometry() override;
    void bringToFront() override;
    void showDesignDialog() override;
    // Tells the office to terminate and waits (bounded) until it has gone; an
    // office that does not answer within the call bound is killed. An office
    // that is not running is not started just to be ended.
    void quit() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Whether an office answers on the pipe of the current office profile.
bool OfficeRunning();

// What tests do to presentations besides what the client does.
namespace OfficeTesting {
    // Closes the presentation without saving it.
    void ClosePresentation(Presentation &presentation);
    // Removes slide `index` (from 1).
    void DeleteSlide(Presentation &presentation, int index);
    // Kills the office on the current pipe (one stuck in a dialog).
    void KillOffice();
    // The live office processes on the current pipe.
    QList<qint64> OfficeProcesses();
} // namespace OfficeTesting

} // namespace Qurel
