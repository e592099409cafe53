#include "UserOffice.h"

#include "PresentationHost.h"
#include "UnoOffice.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace SlidesTest {

using namespace com::sun::star;
using uno::Reference;
using uno::UNO_QUERY;

namespace {
    // The user's office on its own pipe; its profile is the user's default one.
    Qurel::OfficeProfile UserProfile(const QString &pipe)
    {
        Qurel::OfficeProfile profile;
        profile.pipeName = pipe;
        profile.callTimeoutMs = 60000;
        return profile;
    }

    template <typename F>
    void ForEachDocument(const Qurel::Uno::OfficeConnection &office, F &&f)
    {
        Reference<container::XEnumeration> documents = office.desktop()->getComponents()->createEnumeration();
        while (documents->hasMoreElements())
            f(Reference<uno::XInterface>(documents->nextElement(), UNO_QUERY));
    }
} // namespace

UserOffice::UserOffice()
    : m_pipe(QStringLiteral("qurel_user_%1").arg(QCoreApplication::applicationPid()))
{
}

UserOffice::~UserOffice()
{
    if (!running())
        return;
    try {
        if (auto office = Qurel::Uno::OfficeConnection::Open(UserProfile(m_pipe), true, false)) {
            ForEachDocument(*office, [](const Reference<uno::XInterface> &document) {
                if (Reference<util::XCloseable> closeable(document, UNO_QUERY); closeable.is())
                    closeable->close(true);
            });
            Reference<frame::XDesktop2> desktop = office->desktop();
            desktop->terminate();
            desktop.clear();
            office->close();
        }
    } catch (const std::exception &) {
    } catch (const uno::Exception &) {
    }
    if (!m_process.waitForFinished(10000)) {
        // The launcher's office process first, then the launcher.
        const QString launcher = QString::number(m_process.processId());
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (stat.open(QIODevice::ReadOnly)) {
                const QByteArray line = stat.readAll();
                if (line.mid(line.lastIndexOf(')') + 2).split(' ').value(1) == launcher.toLatin1())
                    ::kill(pid.toInt(), SIGKILL);
            }
        }
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool UserOffice::start(QString *error)
{
    // Started as the teacher would start it: the launcher, which also restarts the office
    // once when a fresh profile asks for it.
    m_process.setProgram(QStringLiteral("soffice"));
    m_process.setArguments({ QStringLiteral("--headless"), QStringLiteral("--norestore"),
        QStringLiteral("--nologo"), QStringLiteral("--nodefault"),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(m_pipe) });
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("cannot start the user's office: ") + m_process.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    try {
        std::unique_ptr<Qurel::Uno::OfficeConnection> office;
        while (!office && running() && clock.elapsed() < 60000) {
            office = Qurel::Uno::OfficeConnection::Open(UserProfile(m_pipe), true, false);
            if (!office)
                QThread::msleep(100);
        }
        if (!office) {
            *error = QStringLiteral("the user's office never answered");
            return false;
        }
        beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        Reference<frame::XComponentLoader> loader(office->desktop(), uno::UNO_QUERY_THROW);
        Reference<util::XModifiable> document(
            loader->loadComponentFromURL(
                "private:factory/simpress", "_blank", 0, uno::Sequence<beans::PropertyValue>(&hidden, 1)), uno::UNO_QUERY_THROW);
        document->setModified(true);
        document.clear();
        loader.clear();
        office->close();
        return true;
    } catch (const Qurel::PresentationError &e) {
        *error = e.detail();
    } catch (const uno::Exception &e) {
        *error = Qurel::Uno::FromOU(e.Message);
    }
    return false;
}

bool UserOffice::running() const
{
    return m_process.state() == QProcess::Running;
}

bool UserOffice::hasUnsavedDocument() const
{
    bool unsaved = false;
    try {
        auto office = Qurel::Uno::OfficeConnection::Open(UserProfile(m_pipe), true, false);
        if (!office)
            return false;
        ForEachDocument(*office, [&unsaved](const Reference<uno::XInterface> &document) {
            Reference<util::XModifiable> modifiable(document, UNO_QUERY);
            unsaved = unsaved || (modifiable.is() && modifiable->isModified());
        });
        office->close();
    } catch (const Qurel::PresentationError &) {
    } catch (const uno::Exception &) {
    }
    return unsaved;
}

} // namespace SlidesTest
