#include "KeeperDaemon.h"

#include "DaemonSettings.h"
#include "InstanceGuard.h"
#include "LessonKeeper.h"
#include "zelmicro.h"

#include <QDir>
#include <QLoggingCategory>

namespace Qurel {

namespace {
    Q_LOGGING_CATEGORY(lcKeeperd, "qurel.keeperd")

    const char *const kServiceFinish
        = "this keeper runs as a system service and keeps recording when windows close; "
          "systemctl stop ends it";
} // namespace

// The relay calls made ready for this run (each lesson is then recorded by a qurel-relay process)
// and released at its end, after the last relay process has finished its file.
class RelayLibrary
{
public:
    RelayLibrary() = default;
    RelayLibrary(const RelayLibrary &) = delete;
    RelayLibrary &operator=(const RelayLibrary &) = delete;
    ~RelayLibrary()
    {
        if (m_ready && zms32Uninit() != 0)
            qCWarning(lcKeeperd) << "销毁rtsp失败";
    }

    bool init()
    {
        // The arguments the client has always passed; the library ignores them.
        m_ready = zms32Init(5555, 0, 1) == 0;
        return m_ready;
    }

private:
    bool m_ready = false;
};

KeeperDaemon::KeeperDaemon(DaemonOptions options, KeeperPlace place, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_place(std::move(place))
    , m_guard(std::make_unique<InstanceGuard>(m_place.lockName, m_place.lockFolder))
{
    if (m_place.service)
        m_server.setFinishRefusal(QString::fromLatin1(kServiceFinish));
    m_server.setRole(m_place.service ? KeeperRole::Service
            : m_options.forWindow    ? KeeperRole::Window
                                     : KeeperRole::User);
}

KeeperDaemon::~KeeperDaemon() = default;

bool KeeperDaemon::start(QString *error, ExitStatus *status)
{
    const auto fail = [error, status](ExitStatus why, const QString &text) {
        *error = text;
        *status = why;
        return false;
    };
    if (m_place.socketPath.isEmpty() || m_place.lockFolder.isEmpty())
        return fail(CannotStart, QStringLiteral("there is no private runtime folder for the keeper's socket"));
    QDir().mkpath(m_place.lockFolder);
    if (!m_guard->tryAcquire()) {
        return fail(CannotStart,
            m_guard->failed() ? QStringLiteral("cannot make the lock %1: %2").arg(m_guard->lockFileName(), m_guard->errorString())
                              : QStringLiteral("another keeper runs here (%1)").arg(m_guard->lockFileName()));
    }
    QString why;
    if (!m_place.prepare(&why))
        return fail(CannotStart, why);
    // A window's keeper follows no recorder before the window hands over its settings.
    std::optional<KeeperSettings> settings;
    if (!m_options.forWindow) {
        settings = ReadKeeperSettings(m_options.settingsFile, m_place.recordingsFolder, &why);
        if (!settings)
            return fail(BadSettings, why);
    }
    m_relay = std::make_unique<RelayLibrary>();
    if (!m_relay->init())
        return fail(CannotStart, QStringLiteral("初始化rtsp失败"));
    if (!m_server.listen(m_place.socketPath, m_place.access, &why))
        return fail(CannotStart, why);

    // ---- The lesson keeper: made here, served on the socket, started by its settings. ----
    m_keeper = std::make_unique<LessonKeeper>(m_place.paths);
    ServeKeeper(m_server, *m_keeper);
    connect(m_keeper.get(), &LessonKeeper::finished, this, [this] { end(Finished); });
    connect(&m_server, &KeeperServer::reloadRequested, this, &KeeperDaemon::reload);
    connect(&m_server, &KeeperServer::settingsGiven, this, &KeeperDaemon::take);
    connect(&m_server, &KeeperServer::attachedWindowsChanged, this,
        [](int windows) { qCInfo(lcKeeperd) << "windows attached:" << windows; });
    // The keeper opens the lesson log as it takes its first settings: what follows is in it too.
    if (settings) {
        // A service's windows list the folder it keeps lessons in (its group may write there).
        if (m_place.service)
            m_server.setRole(KeeperRole::Service, settings->savePath);
        m_keeper->applySettings(*settings);
    }
    qCInfo(lcKeeperd).noquote() << "serving on" << m_place.socketPath << "with the journal" << m_place.paths.journal;
    return true;
}

void KeeperDaemon::stop(int signalNumber)
{
    if (m_stopping) {
        qCInfo(lcKeeperd) << "signal" << signalNumber << "while finishing: the files are still being made";
        return;
    }
    m_stopping = true;
    qCInfo(lcKeeperd) << "signal" << signalNumber << ": finishing the lesson's files, then ending";
    m_keeper->finish();
}

void KeeperDaemon::take(const KeeperSettings &settings)
{
    if (m_stopping)
        return;
    qCInfo(lcKeeperd).noquote() << "settings from a window; recorder" << settings.address;
    m_keeper->applySettings(settings);
}

void KeeperDaemon::reload()
{
    if (m_stopping || m_options.forWindow)
        return;
    QString error;
    const auto settings = ReadKeeperSettings(m_options.settingsFile, m_place.recordingsFolder, &error);
    if (!settings) {
        qCWarning(lcKeeperd).noquote() << "the settings were not read again, the old ones stay:" << error;
        return;
    }
    qCInfo(lcKeeperd).noquote() << "settings read again; recorder" << settings->address;
    m_keeper->applySettings(*settings);
}

void KeeperDaemon::end(ExitStatus status)
{
    // The views hear "finished" before the socket goes.
    m_server.close();
    emit done(status);
}

} // namespace Qurel
