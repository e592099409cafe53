#include "UnoOffice.h"

#include "PresentationHost.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <rtl/bootstrap.hxx>

#include <csignal>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Qurel::Uno {

using namespace css;

rtl::OUString ToOU(const QString &text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()), text.size());
}

QString FromOU(const rtl::OUString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getStr()), text.getLength());
}

rtl::OUString FileUrl(const QString &path)
{
    return ToOU(QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(path)))
                    .toString(QUrl::FullyEncoded));
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const uno::Exception &e) {
        const QString message = FromOU(e.Message).trimmed();
        const QString type = FromOU(cppu::getCaughtException().getValueTypeName());
        return message.isEmpty() ? type : type + QStringLiteral(": ") + message;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    }
}

namespace {

    constexpr int kRetryMs = 50;

    // The UNO runtime of this process, made once and kept for the whole run (it
    // must outlive every bridge, so it is never torn down).
    Reference<uno::XComponentContext> LocalContext()
    {
        static std::once_flag once;
        static Reference<uno::XComponentContext> *context = nullptr;
        std::call_once(once, [] {
            rtl::Bootstrap::setIniFilename(
                ToOU(QStringLiteral("file://" QUREL_LO_PROGRAM_DIR "/fundamentalrc")));
            context = new Reference<uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
        });
        return *context;
    }

    rtl::OUString ConnectString(const OfficeProfile &profile)
    {
        return ToOU(QStringLiteral("pipe,name=") + profile.pipeName);
    }

    // Offices this process started, by pipe name, so a quit can wait for the
    // process itself to end.
    QHash<QString, qint64> &StartedOffices()
    {
        static QHash<QString, qint64> started;
        return started;
    }

    struct ProcessEntry
    {
        qint64 pid = 0;
        qint64 parent = 0;
        bool zombie = false;
    };

    // A process as /proc shows it; pid 0 when it is gone.
    ProcessEntry ReadProcess(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
            return {};
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 2)
            return {};
        return { pid, fields.at(1).toLongLong(), fields.at(0) == "Z" };
    }

    bool ProcessAlive(qint64 pid)
    {
        if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0)
            return false;
        // A detached office is reaped by whoever adopted it; until then it shows
        // up as a zombie, which is as good as gone.
        const ProcessEntry entry = ReadProcess(pid);
        return entry.pid != 0 && !entry.zombie;
    }

    QByteArray AcceptArgument(const OfficeProfile &profile)
    {
        return "--accept=pipe,name=" + profile.pipeName.toUtf8() + ';';
    }

    QString ProfileUrl(const OfficeProfile &profile)
    {
        return QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(profile.userInstallation)))
            .toString(QUrl::FullyEncoded);
    }

    QByteArray ProfileArgument(const OfficeProfile &profile)
    {
        return "-env:UserInstallation=" + ProfileUrl(profile).toUtf8();
    }

    // Whether a process runs as this user: an office of another user is never touched.
    bool OwnProcess(qint64 pid)
    {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(QStringLiteral("/proc/%1").arg(pid)).constData(), &st) == 0
            && st.st_uid == ::geteuid();
    }

    struct OfficeProcess
    {
        qint64 pid = 0;
        bool headless = false;
    };

    // This user's live processes that accept on the profile's pipe with the
    // profile's folder, and the processes run by the launcher this process
    // started there: the client's own offices, never the user's or another's.
    QList<OfficeProcess> FindOffices(const OfficeProfile &profile)
    {
        const qint64 started = StartedOffices().value(profile.pipeName);
        const QByteArray accept = AcceptArgument(profile);
        const QByteArray ownProfile = ProfileArgument(profile);
        QList<OfficeProcess> found;
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &name : entries) {
            bool number = false;
            const qint64 pid = name.toLongLong(&number);
            if (!number)
                continue;
            const ProcessEntry entry = ReadProcess(pid);
            if (entry.pid == 0 || entry.zombie)
                continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (!cmdline.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            const bool accepts = std::any_of(
                args.begin(), args.end(), [&](const QByteArray &arg) { return arg.startsWith(accept); });
            const bool ours = (accepts && args.contains(ownProfile))
                || (started > 0 && (pid == started || entry.parent == started));
            if (ours && OwnProcess(pid))
                found.append({ pid, args.contains("--headless") });
        }
        return found;
    }

    // How often the offices on each pipe were killed; a connection made
    // before a kill on its pipe is dead. Read by the UI thread, counted up by
    // the watchdog's.
    class KillCounts
    {
    public:
        static quint64 of(const QString &pipe)
        {
            std::lock_guard<std::mutex> lock(mutex());
            return counts().value(pipe);
        }
        static void count(const QString &pipe)
        {
            std::lock_guard<std::mutex> lock(mutex());
            ++counts()[pipe];
        }

    private:
        static std::mutex &mutex()
        {
            static std::mutex m;
            return m;
        }
        static QHash<QString, quint64> &counts()
        {
            static QHash<QString, quint64> c;
            return c;
        }
    };

    Reference<connection::XConnection> TryConnect(const OfficeProfile &profile)
    {
        if (PipeOwner(profile) == PipeOwnership::Foreign)
            return {};
        try {
            return connection::Connector::create(LocalContext())->connect(ConnectString(profile));
        } catch (const connection::NoConnectException &) {
            return {};
        }
    }

    qint64 StartOffice(const OfficeProfile &profile, bool headless)
    {
        QStringList args;
        if (headless)
            args << QStringLiteral("--headless");
        args << QStringLiteral("--norestore") << QStringLiteral("--nologo") << QStringLiteral("--nodefault")
             << QStringLiteral("--nolockcheck")
             << QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(profile.pipeName);
        PrepareProfileFolder(profile.userInstallation);
        args << QString::fromUtf8(ProfileArgument(profile));
        // The office outlives the client; it must not hold the client's output
        // streams open (whoever reads them would wait for the office to end).
        QProcess office;
        office.setProgram(profile.program);
        office.setArguments(args);
        office.setStandardInputFile(QProcess::nullDevice());
        office.setStandardOutputFile(QProcess::nullDevice());
        office.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        if (!office.startDetached(&pid))
            throw PresentationError(
                PresentationFailure::Unavailable, QStringLiteral("cannot start %1").arg(profile.program));
        StartedOffices().insert(profile.pipeName, pid);
        return pid;
    }

} // namespace

void KillOffices(const OfficeProfile &profile)
{
    KillCounts::count(profile.pipeName);
    const qint64 started = StartedOffices().take(profile.pipeName);
    if (ProcessAlive(started))
        ::kill(static_cast<pid_t>(started), SIGKILL);
    // SIGKILL ends a stopped process too.
    for (const OfficeProcess &office : FindOffices(profile))
        ::kill(static_cast<pid_t>(office.pid), SIGKILL);
}

QString PipeSocketPath(const OfficeProfile &profile)
{
    // The office's pipe layer keeps its sockets in /tmp, or in /var/tmp when
    // /tmp cannot be written, named after the user id and the pipe.
    const QString folder = ::access("/tmp", W_OK) == 0 ? QStringLiteral("/tmp") : QStringLiteral("/var/tmp");
    return QStringLiteral("%1/OSL_PIPE_%2_%3").arg(folder).arg(::geteuid()).arg(profile.pipeName);
}

PipeOwnership PipeOwner(const OfficeProfile &profile)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(PipeSocketPath(profile)).constData(), &st) != 0)
        return PipeOwnership::Missing;
    return S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid() ? PipeOwnership::Own : PipeOwnership::Foreign;
}

void RefuseForeignPipe(const OfficeProfile &profile)
{
    if (PipeOwner(profile) == PipeOwnership::Foreign)
        throw PresentationError(PresentationFailure::Unavailable,
            QStringLiteral("%1 is not an office pipe of this user; it is not used").arg(PipeSocketPath(profile)));
}

QList<qint64> OfficeProcesses(const OfficeProfile &profile)
{
    QList<qint64> pids;
    for (const OfficeProcess &office : FindOffices(profile))
        pids.append(office.pid);
    return pids;
}

namespace {

    // One thread for all watchdogs; calls into the office are made on one
    // thread at a time, so one deadline is watched at a time.
    class WatchdogThread
    {
    public:
        static WatchdogThread &instance()
        {
            // Never destroyed: it may still be waiting when the process exits.
            static auto *watchdog = new WatchdogThread;
            return *watchdog;
        }

        void arm(const OfficeProfile &profile)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_profile = profile;
            m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(profile.callTimeoutMs);
            m_armed = true;
            m_fired = false;
            m_wake.notify_all();
        }
        void disarm()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_armed = false;
            m_wake.notify_all();
        }
        bool fired()
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_fired;
        }

    private:
        WatchdogThread()
        {
            std::thread([this] { run(); }).detach();
        }

        void run()
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            for (;;) {
                if (!m_armed) {
                    m_wake.wait(lock);
                    continue;
                }
                if (m_wake.wait_until(lock, m_deadline) != std::cv_status::timeout || !m_armed)
                    continue;
                if (std::chrono::steady_clock::now() < m_deadline)
                    continue;
                m_armed = false;
                m_fired = true;
                const OfficeProfile profile = m_profile;
                lock.unlock();
                qWarning("office on pipe %s did not answer within %d ms; ending it",
                    qPrintable(profile.pipeName), profile.callTimeoutMs);
                KillOffices(profile);
                lock.lock();
            }
        }

        std::mutex m_mutex;
        std::condition_variable m_wake;
        OfficeProfile m_profile;
        std::chrono::steady_clock::time_point m_deadline;
        bool m_armed = false;
        bool m_fired = false;
    };

    thread_local int tWatchdogDepth = 0;

} // namespace

CallWatchdog::CallWatchdog(const OfficeProfile &profile)
    : m_outermost(tWatchdogDepth++ == 0)
{
    if (m_outermost)
        WatchdogThread::instance().arm(profile);
}

CallWatchdog::~CallWatchdog()
{
    --tWatchdogDepth;
    if (m_outermost)
        WatchdogThread::instance().disarm();
}

bool CallWatchdog::expired() const
{
    return WatchdogThread::instance().fired();
}

bool PipeAnswers(const OfficeProfile &profile)
{
    Reference<connection::XConnection> connection = TryConnect(profile);
    if (!connection.is())
        return false;
    connection->close();
    return true;
}

namespace {

    // Starts an office and waits until its pipe answers. An office process that
    // ends without the pipe answering soon after (it handed its request to an
    // office that was just quitting, or it could not open a display) is started
    // again, twice at most.
    Reference<connection::XConnection> StartAndConnect(const OfficeProfile &profile, bool headless)
    {
        constexpr int kMaxStarts = 3;
        constexpr qint64 kGraceMs = 1500;
        QElapsedTimer clock;
        clock.start();
        int starts = 0;
        qint64 pid = 0;
        qint64 endedAt = -1;
        while (clock.elapsed() < profile.startTimeoutMs) {
            if (starts == 0 || (endedAt >= 0 && clock.elapsed() - endedAt > kGraceMs)) {
                if (starts == kMaxStarts) {
                    KillOffices(profile);
                    throw PresentationError(PresentationFailure::Unavailable,
                        QStringLiteral("the office ended before it could be reached"));
                }
                pid = StartOffice(profile, headless);
                ++starts;
                endedAt = -1;
            }
            if (PipeOwner(profile) == PipeOwnership::Foreign) {
                KillOffices(profile); // it cannot have its pipe; it must not linger either
                RefuseForeignPipe(profile);
            }
            if (auto connection = TryConnect(profile); connection.is())
                return connection;
            if (endedAt < 0 && !ProcessAlive(pid))
                endedAt = clock.elapsed();
            QThread::msleep(kRetryMs);
        }
        // What was started must not linger on the pipe, half started.
        KillOffices(profile);
        throw PresentationError(PresentationFailure::Unavailable,
            QStringLiteral("the office did not answer within %1 ms").arg(profile.startTimeoutMs));
    }

    bool HeadlessOfficeOnPipe(const OfficeProfile &profile)
    {
        const QList<OfficeProcess> offices = FindOffices(profile);
        return std::any_of(offices.begin(), offices.end(), [](const OfficeProcess &o) { return o.headless; });
    }

    // Ends the offices on the pipe and waits (bounded) until it is free.
    void EndOfficesOnPipe(const OfficeProfile &profile)
    {
        KillOffices(profile);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < profile.quitTimeoutMs
            && (!OfficeProcesses(profile).isEmpty() || PipeAnswers(profile)))
            QThread::msleep(kRetryMs);
    }

} // namespace

std::unique_ptr<OfficeConnection> OfficeConnection::Open(
    const OfficeProfile &profile, bool headless, bool startIfMissing)
{
#ifdef SIGPIPE
    // An office that dies (or is ended by the watchdog) mid-call leaves a broken pipe: the write
    // must fail with an error the call reports, not end the client with its lesson.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Whoever made the pipe answers every call: one that is not this user's
    // (another account got there first) is neither used nor replaced.
    RefuseForeignPipe(profile);
    try {
        Reference<connection::XConnection> connection = TryConnect(profile);
        if (connection.is() && !headless && HeadlessOfficeOnPipe(profile)) {
            // A headless office (one an export left behind) would open the
            // template where nobody can see it.
            connection->close();
            connection.clear();
            EndOfficesOnPipe(profile);
        }
        if (!connection.is()) {
            if (!startIfMissing)
                return nullptr;
            connection = StartAndConnect(profile, headless);
        }
        return Attach(profile, connection);
    } catch (const uno::Exception &) {
        throw PresentationError(PresentationFailure::Unavailable,
            QStringLiteral("cannot reach the office: ") + CurrentExceptionText());
    }
}

std::unique_ptr<OfficeConnection> OfficeConnection::Attach(
    const OfficeProfile &profile, const Reference<css::connection::XConnection> &connection)
{
    // Starting has its own bound; from here on the office must answer.
    CallWatchdog watchdog(profile);
    try {
        std::unique_ptr<OfficeConnection> office(new OfficeConnection);
        office->m_profile = profile;
        office->m_killsAtOpen = KillCounts::of(profile.pipeName);
        office->m_bridge
            = bridge::BridgeFactory::create(LocalContext())
                  ->createBridge(rtl::OUString(), ToOU(QStringLiteral("urp")), connection, nullptr);
        office->m_context.set(
            office->m_bridge->getInstance(ToOU(QStringLiteral("StarOffice.ComponentContext"))),
            uno::UNO_QUERY_THROW);
        office->m_desktop = frame::Desktop::create(office->m_context);
        return office;
    } catch (const uno::Exception &) {
        const QString detail = QStringLiteral("cannot reach the office: ") + CurrentExceptionText();
        if (watchdog.expired())
            throw PresentationError(PresentationFailure::NoAnswer, detail);
        // A half-made connection to an office that answers wrongly is of no use.
        throw PresentationError(PresentationFailure::Unavailable, detail);
    }
}

bool OfficeConnection::ended() const
{
    return KillCounts::of(m_profile.pipeName) != m_killsAtOpen;
}

OfficeConnection::~OfficeConnection()
{
    close();
}

void OfficeConnection::close()
{
    CallWatchdog watchdog(m_profile);
    m_desktop.clear();
    m_context.clear();
    if (!m_bridge.is())
        return;
    try {
        Reference<lang::XComponent>(m_bridge, uno::UNO_QUERY_THROW)->dispose();
    } catch (const uno::Exception &) {
        // The bridge is gone already when the office ended.
    }
    m_bridge.clear();
}

void OfficeConnection::WaitUntilGone(const OfficeProfile &profile)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 pid = StartedOffices().value(profile.pipeName);
    while (clock.elapsed() < profile.quitTimeoutMs) {
        if (!ProcessAlive(pid) && !PipeAnswers(profile))
            break;
        QThread::msleep(kRetryMs);
    }
    if (ProcessAlive(pid) || !OfficeProcesses(profile).isEmpty())
        KillOffices(profile);
    StartedOffices().remove(profile.pipeName);
}

} // namespace Qurel::Uno
