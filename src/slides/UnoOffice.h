#pragma once
// One UNO connection to a LibreOffice process: finding or starting the
// office on its pipe, the bridge, and waiting for the office to go away.
// Internal to the LibreOffice host; nothing outside src/slides sees UNO.

#include "OfficeProfile.h"

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QString>

#include <memory>

namespace Qurel::Uno {

namespace css = com::sun::star;
using css::uno::Reference;

rtl::OUString ToOU(const QString &text);
QString FromOU(const rtl::OUString &text);
// file:// URL of a local path, as the office expects it.
rtl::OUString FileUrl(const QString &path);

// The readable text of the UNO exception in flight; call inside a catch block.
QString CurrentExceptionText();

// Whether an office answers on the profile's pipe.
bool PipeAnswers(const OfficeProfile &profile);

// Kills the office this process started on the profile's pipe, if any.
void KillStartedOffice(const OfficeProfile &profile);

class OfficeConnection
{
public:
    // Attaches to the office on the profile's pipe. When none answers and
    // startIfMissing is set, starts one (headless or with a display) and waits
    // for it; otherwise returns null. Throws PresentationError when an office
    // cannot be started or reached.
    static std::unique_ptr<OfficeConnection> Open(
        const OfficeProfile &profile, bool headless, bool startIfMissing);
    ~OfficeConnection();
    OfficeConnection(const OfficeConnection &) = delete;
    OfficeConnection &operator=(const OfficeConnection &) = delete;

    const Reference<css::uno::XComponentContext> &context() const { return m_context; }
    const Reference<css::frame::XDesktop2> &desktop() const { return m_desktop; }

    // Disposes the bridge. Every remote reference must be released first, or
    // a later bridge hands back the dead objects.
    void close();

    // After the office was told to terminate: waits (bounded) until it is gone,
    // so that the next start does not hand its request to the dying process.
    // An office this process started that hangs past the bound is killed.
    static void WaitUntilGone(const OfficeProfile &profile);

private:
    OfficeConnection() = default;
    Reference<css::bridge::XBridge> m_bridge;
    Reference<css::uno::XComponentContext> m_context;
    Reference<css::frame::XDesktop2> m_desktop;
};

} // namespace Qurel::Uno
