#pragma once
// What the slides tests share: one private office per test executable, a
// host that keeps that office running across cases, presentations made to
// order, and a reader for BMP headers.

#include "PresentationHost.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace Qurel {
class RecorderSim;
}

namespace SlidesTest {

// A simulated recorder without a stream on `address`; its start error, if
// any, lands in `error` and the result is null.
std::unique_ptr<Qurel::RecorderSim> StartRecorder(const QString &address, QString *error);

// The client's own office with its default profile and pipe, which lie in
// the test's data folder, so no user profile is ever touched.
void UsePrivateOffice();
// Ends the private office (at the end of a test executable).
void EndPrivateOffice();

// Wraps the real host but only counts "quit" and closes the presentations it
// opened, so one office start serves every case of an executable.
class KeepOfficeHost final : public Qurel::PresentationHost
{
public:
    explicit KeepOfficeHost(Qurel::HostUse use, int *quits = nullptr);
    ~KeepOfficeHost() override;

    void connect() override { m_inner->connect(); }
    void disconnect() override;
    bool isConnected() const override { return m_inner->isConnected(); }
    void setVisible(bool visible) override { m_inner->setVisible(visible); }
    QString version() override { return m_inner->version(); }
    std::shared_ptr<Qurel::Presentation> open(const QString &file, Qurel::OpenMode mode) override;
    std::shared_ptr<Qurel::Presentation> activePresentation() override
    {
        return m_inner->activePresentation();
    }
    quintptr activeWindowHandle() override { return m_inner->activeWindowHandle(); }
    QRect activeWindowGeometry() override { return m_inner->activeWindowGeometry(); }
    void bringToFront() override { m_inner->bringToFront(); }
    void showDesignDialog() override { m_inner->showDesignDialog(); }
    void quit() override;

private:
    void closeOpened();
    std::unique_ptr<Qurel::PresentationHost> m_inner;
    std::vector<std::shared_ptr<Qurel::Presentation>> m_opened;
    int *m_quits;
};

// A presentation file with one slide per title (title layout, the title set,
// the subtitle set to "sub N"); no titles gives an empty file, which the
// office reads as a presentation without slides.
void MakePresentation(const QString &path, const QStringList &titles);

// Texts of every shape of every slide, "a|b" per slide.
QStringList ReadSlides(const QString &path);

struct BmpInfo
{
    bool valid = false;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    QString problem;
};
// Reads and checks a Windows bitmap's headers against the file itself.
BmpInfo ReadBmp(const QString &path);

} // namespace SlidesTest
