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

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <mutex>

#include <signal.h>

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

    bool ProcessAlive(qint64 pid)
    {
        if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0)
            return false;
        // A detached office is reaped by whoever adopted it; until then it shows
        // up as a zombie, which is as good as gone.
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        return close < 0 || close + 2 >= line.size() || line.at(close + 2) != 'Z';
    }

    Reference<connection::XConnection> TryConnect(const OfficeProfile &profile)
    {
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
        if (!profile.userInstallation.isEmpty())
            args << QStringLiteral("-env:UserInstallation=")
                    + QUrl::fromLocalFile(profile.userInstallation).toString(QUrl::FullyEncoded);
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
            throw PresentationError(QStringLiteral("cannot start %1").arg(profile.program));
        StartedOffices().insert(profile.pipeName, pid);
        return pid;
    }

    // Ends a started office that hangs while quitting: its launcher and the
    // office process the launcher runs.
    void KillOffice(qint64 pid)
    {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &entry : entries) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields.at(1).toLongLong() == pid)
                ::kill(static_cast<pid_t>(entry.toLongLong()), SIGKILL);
        }
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

} // namespace

void KillStartedOffice(const OfficeProfile &profile)
{
    const qint64 pid = StartedOffices().take(profile.pipeName);
    if (ProcessAlive(pid))
        KillOffice(pid);
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
                if (starts == kMaxStarts)
                    throw PresentationError(QStringLiteral("the office ended before it could be reached"));
                pid = StartOffice(profile, headless);
                ++starts;
                endedAt = -1;
            }
            if (auto connection = TryConnect(profile); connection.is())
                return connection;
            if (endedAt < 0 && !ProcessAlive(pid))
                endedAt = clock.elapsed();
            QThread::msleep(kRetryMs);
        }
        throw PresentationError(
            QStringLiteral("the office did not answer within %1 ms").arg(profile.startTimeoutMs));
    }

} // namespace

std::unique_ptr<OfficeConnection> OfficeConnection::Open(
    const OfficeProfile &profile, bool headless, bool startIfMissing)
{
    try {
        Reference<connection::XConnection> connection = TryConnect(profile);
        if (!connection.is()) {
            if (!startIfMissing)
                return nullptr;
            connection = StartAndConnect(profile, headless);
        }
        std::unique_ptr<OfficeConnection> office(new OfficeConnection);
        office->m_bridge
            = bridge::BridgeFactory::create(LocalContext())
                  ->createBridge(rtl::OUString(), ToOU(QStringLiteral("urp")), connection, nullptr);
        office->m_context.set(
            office->m_bridge->getInstance(ToOU(QStringLiteral("StarOffice.ComponentContext"))),
            uno::UNO_QUERY_THROW);
        office->m_desktop = frame::Desktop::create(office->m_context);
        return office;
    } catch (const uno::Exception &) {
        throw PresentationError(QStringLiteral("cannot reach the office: ") + CurrentExceptionText());
    }
}

OfficeConnection::~OfficeConnection()
{
    close();
}

void OfficeConnection::close()
{
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
    if (ProcessAlive(pid))
        KillOffice(pid);
    StartedOffices().remove(profile.pipeName);
}

} // namespace Qurel::Uno
