#pragma once
// One UNO connection to a LibreOffice process: finding or starting the
// office on its pipe, the bridge, and waiting for the office to go away.
// Internal to the LibreOffice host; nothing outside src/slides sees UNO.

#include "OfficeProfile.h"

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QList>
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

// The socket file of the profile's pipe, and whose it is. A socket of another
// user (or anything else in its place) is never connected to.
enum class PipeOwnership { Missing, Own, Foreign };
QString PipeSocketPath(const OfficeProfile &profile);
PipeOwnership PipeOwner(const OfficeProfile &profile);
// Throws PresentationError (Unavailable) when the pipe is another user's.
void RefuseForeignPipe(const OfficeProfile &profile);

// Kills every office process of this user on the profile's pipe and profile:
// the one this process started (with the process its launcher runs) and any
// other, such as one left behind by an earlier run. Offices of other profiles
// (the user's own) and of other users are left alone.
void KillOffices(const OfficeProfile &profile);

// This user's office processes on the profile's pipe and profile that have
// not ended.
QList<qint64> OfficeProcesses(const OfficeProfile &profile);

// Bounds the office calls made while it exists (on this thread; nested
// watchdogs share the outermost one's bound). A call that is still running
// when the bound passes has its office killed: the bridge loses its pipe and
// the call returns with an error.
class CallWatchdog
{
public:
    explicit CallWatchdog(const OfficeProfile &profile);
    ~CallWatchdog();
    CallWatchdog(const CallWatchdog &) = delete;
    CallWatchdog &operator=(const CallWatchdog &) = delete;
    // True when this watchdog (or the outermost one) ended the office.
    bool expired() const;

private:
    bool m_outermost = false;
};

class OfficeConnection
{
public:
    // Attaches to the office on the profile's pipe. When none answers and
    // startIfMissing is set, starts one (headless or with a display) and waits
    // for it; otherwise returns null. An office with a display never attaches
    // to a headless one: that is ended and a visible one started. Throws
    // PresentationError when an office cannot be started or reached; every
    // step is bounded.
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
    // True once the office of this connection was killed.
    bool ended() const;

    // After the office was told to terminate: waits (bounded) until it is gone,
    // so that the next start does not hand its request to the dying process.
    // An office this process started that hangs past the bound is killed.
    static void WaitUntilGone(const OfficeProfile &profile);

private:
    OfficeConnection() = default;
    static std::unique_ptr<OfficeConnection> Attach(
        const OfficeProfile &profile, const Reference<css::connection::XConnection> &connection);
    OfficeProfile m_profile;
    quint64 m_killsAtOpen = 0;
    Reference<css::bridge::XBridge> m_bridge;
    Reference<css::uno::XComponentContext> m_context;
    Reference<css::frame::XDesktop2> m_desktop;
};

} // namespace Qurel::Uno
