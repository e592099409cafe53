#include "PlatformSim.h"

#include "PlatformServer.h"

#include <QThread>

namespace Qurel {

struct PlatformSim::Runner
{
    QThread thread;
    PlatformServer *server = nullptr;
    QHostAddress address;
    quint16 port = 0;
};

PlatformSim::PlatformSim(const PlatformSimOptions &options)
    : m_state(std::make_shared<State>())
    , m_runner(std::make_unique<Runner>())
{
    m_state->options = options;
    m_runner->thread.setObjectName(QStringLiteral("platform-sim"));
}

PlatformSim::~PlatformSim()
{
    stop();
}

bool PlatformSim::start(QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_runner->server)
        return true;
    const PlatformSimOptions options = m_state->snapshot();
    if (!options.address.isLoopback())
        return fail(QStringLiteral("%1 is not a loopback address").arg(options.address.toString()));
    {
        QMutexLocker lock(&m_state->mutex);
        if (options.storageDir.isEmpty()) {
            m_state->tempDir = std::make_unique<QTemporaryDir>();
            if (!m_state->tempDir->isValid())
                return fail(QStringLiteral("cannot create a storage folder"));
            m_state->storageDir = m_state->tempDir->path();
        } else {
            m_state->storageDir = options.storageDir;
        }
    }
    m_runner->thread.start();
    auto *server = new PlatformServer(m_state);
    server->moveToThread(&m_runner->thread);
    bool listening = false;
    QString reason;
    QMetaObject::invokeMethod(
        server,
        [&] {
            listening = server->listen(options.address, options.port);
            reason = server->errorString();
            m_runner->port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        server->deleteLater();
        m_runner->thread.quit();
        m_runner->thread.wait();
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(options.address.toString())
                        .arg(options.port)
                        .arg(reason));
    }
    m_runner->server = server;
    m_runner->address = options.address;
    return true;
}

void PlatformSim::stop()
{
    if (!m_runner->server)
        return;
    PlatformServer *server = m_runner->server;
    QMetaObject::invokeMethod(
        server,
        [server] {
            server->close();
            server->deleteLater();
        },
        Qt::BlockingQueuedConnection);
    m_runner->thread.quit();
    m_runner->thread.wait();
    m_runner->server = nullptr;
}

QHostAddress PlatformSim::address() const
{
    return m_runner->address;
}

quint16 PlatformSim::port() const
{
    return m_runner->port;
}

QString PlatformSim::baseUrl() const
{
    return QStringLiteral("http://%1:%2").arg(m_runner->address.toString()).arg(m_runner->port);
}

QString PlatformSim::storageDir() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->storageDir;
}

void PlatformSim::queueVerdict(const UploadVerdict &verdict)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->verdicts.enqueue(verdict);
}

void PlatformSim::setDefaultVerdict(const UploadVerdict &verdict)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->defaultVerdict = verdict;
}

void PlatformSim::setReplyDelay(int ms)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->options.replyDelayMs = ms;
}

void PlatformSim::setFinishQuery(const QString &query)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->options.finishQuery = query;
}

QList<ReceivedUpload> PlatformSim::uploads() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->uploads;
}

QList<LoginVisit> PlatformSim::logins() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->logins;
}

void PlatformSim::clearRecords()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->uploads.clear();
    m_state->logins.clear();
    m_state->verdicts.clear();
}

void PlatformSim::setUploadObserver(std::function<void(const ReceivedUpload &)> observer)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->observer = std::move(observer);
}

} // namespace Qurel
