#include "KeeperView.h"

#include "KeeperSocket.h"
#include "ProgramFolder.h"
#include "RuntimeFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

namespace Qurel {

namespace {
    Q_LOGGING_CATEGORY(lcView, "qurel.view")

    // How often the view looks whether its keeper still answers, once it has lost it.
    constexpr int kWatchMs = 1000;
    // A first look for a running keeper; a keeper that answers at all answers a ping at once.
    constexpr int kFirstAskMs = 500;
    // The wait for a keeper just started before the window goes on (it then attaches later).
    constexpr int kFirstAnswerMs = 5000;
    // The wait for the keeper's answer to the window's settings.
    constexpr int kSettingsAnswerMs = 2000;
} // namespace

KeeperView::Options KeeperView::ForInstance(const QString &instance)
{
    Options options;
    if (instance.isEmpty()) {
        options.socketPath = UserKeeperSocketPath();
        options.program = KeeperProgram();
    } else if (IsKeeperInstanceName(instance)) {
        options.socketPath = SystemKeeperSocketPath(instance);
    } else {
        qCWarning(lcView).noquote() << "KeeperInstance" << instance << "is no instance name:" << KeeperInstanceNameRule();
    }
    return options;
}

QString KeeperView::KeeperProgram()
{
    const QString named = qEnvironmentVariable("QUREL_KEEPER");
    if (!named.isEmpty())
        return named;
    for (const QString &folder : { ProgramFolder(), QCoreApplication::applicationDirPath() + QLatin1Char('/') }) {
        const QFileInfo beside(folder + QStringLiteral("qureld"));
        if (beside.isExecutable())
            return beside.absoluteFilePath();
    }
    return QStringLiteral("qureld");
}

KeeperView::KeeperView(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_watch(new QTimer(this))
{
    connect(&m_client, &KeeperClient::snapshotChanged, this, &KeeperView::snapshotChanged);
    connect(&m_client, &KeeperClient::message, this, &KeeperView::message);
    connect(&m_client, &KeeperClient::lessonFinished, this, &KeeperView::lessonFinished);
    connect(&m_client, &KeeperClient::finished, this, &KeeperView::finished);
    connect(&m_client, &KeeperClient::answeringChanged, this, &KeeperView::attached);
    connect(&m_client, &KeeperClient::refused, this,
        [](const QString &reason) { qCWarning(lcView).noquote() << "the keeper refused:" << reason; });
    m_watch->setInterval(kWatchMs);
    connect(m_watch, &QTimer::timeout, this, &KeeperView::keepOneRunning);
    if (m_options.socketPath.isEmpty()) {
        qCWarning(lcView) << "there is no socket path for a keeper: lessons are not kept";
        return;
    }
    const bool running = KeeperAnswers(m_options.socketPath, kFirstAskMs);
    const bool started = !running && !m_options.program.isEmpty() && startKeeper();
    m_client.connectToKeeper(m_options.socketPath);
    // The window shows the keeper's state from the start: wait a moment for it to answer.
    if (running || started)
        m_client.waitForAnswer(kFirstAnswerMs);
    m_watch->start();
}

KeeperView::~KeeperView()
{
    m_watch->stop();
    // Whoever listened is going away too.
    blockSignals(true);
    if (!m_client.isAnswering() || !endsWithWindow())
        return;
    // The keeper a window started ends with it, as the copy ended with the window before.
    m_ending = true;
    if (!m_client.finishAndWait(m_options.endWaitMs))
        qCWarning(lcView) << "the keeper did not end within" << m_options.endWaitMs << "ms";
}

void KeeperView::applySettings(const KeeperSettings &settings)
{
    m_settings = settings;
    // The labels show the keeper with these settings from the start (the mode, the connection).
    if (m_client.isAnswering() && m_client.role() != KeeperRole::Service)
        m_client.giveSettings(settings, kSettingsAnswerMs);
}

void KeeperView::startLesson()
{
    press([this] { return m_client.startLesson(); });
}

void KeeperView::stopLesson()
{
    press([this] { return m_client.stopLesson(); });
}

void KeeperView::hotKey(int virtualKey)
{
    press([this, virtualKey] { return m_client.hotKey(virtualKey); });
}

void KeeperView::press(std::function<bool()> command)
{
    if (command()) {
        m_pendingPress = nullptr;
        return;
    }
    qCInfo(lcView) << "no keeper answers: the press is kept until one does";
    m_pendingPress = std::move(command);
    m_pressedAt.start();
}

void KeeperView::finish()
{
    if (!endsWithWindow())
        return;
    m_ending = true;
    m_client.finish();
}

void KeeperView::attached(bool answering)
{
    if (answering) {
        qCInfo(lcView).noquote() << "attached to the keeper at" << m_options.socketPath;
        m_answeredSinceStart = true;
        m_unansweredStarts = 0;
        m_missingSaid = false;
        if (m_settings && m_client.role() != KeeperRole::Service)
            m_client.giveSettings(*m_settings);
        // After the settings, so a start is made with them.
        if (m_pendingPress && !m_pressedAt.hasExpired(kPressKeptMs))
            m_pendingPress();
        m_pendingPress = nullptr;
    } else {
        qCInfo(lcView).noquote() << "the keeper at" << m_options.socketPath << "does not answer";
    }
    emit answeringChanged(answering);
}

// A keeper that ended or died is started again (it resumes its lesson from its journal), unless
// the window asked it to end. The client attaches to it by itself once it listens.
void KeeperView::keepOneRunning()
{
    if (m_client.isAnswering() || m_ending || m_options.program.isEmpty())
        return;
    if (m_lastStart.isValid() && !m_lastStart.hasExpired(m_options.startPatienceMs))
        return;
    if (KeeperAnswers(m_options.socketPath, kFirstAskMs))
        return;
    if (m_lastStart.isValid() && !m_answeredSinceStart)
        ++m_unansweredStarts;
    if (m_unansweredStarts >= 2 && !m_missingSaid) {
        m_missingSaid = true;
        const QString why = lastKeeperWords();
        qCWarning(lcView).noquote() << "the keeper" << m_options.program << "does not come up:" << why;
        emit keeperMissing(why);
    }
    startKeeper();
}

// The last line the keeper wrote to its standard error before it ended.
QString KeeperView::lastKeeperWords() const
{
    QFile output(keeperOutputPath());
    if (output.fileName().isEmpty() || !output.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = output.readAll().trimmed().split('\n');
    return QString::fromUtf8(lines.last()).left(500);
}

QString KeeperView::keeperOutputPath()
{
    const QString runtime = RuntimeFolder();
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/qureld.out");
}

bool KeeperView::startKeeper()
{
    m_lastStart.start();
    m_answeredSinceStart = false;
    QProcess keeper;
    keeper.setProgram(m_options.program);
    keeper.setArguments({ QStringLiteral("--for-window") });
    // The keeper outlives the window: its output goes to a file of the session, never to a pipe
    // that closes with the window.
    keeper.setStandardInputFile(QProcess::nullDevice());
    keeper.setStandardOutputFile(QProcess::nullDevice());
    const QString output = keeperOutputPath();
    keeper.setStandardErrorFile(output.isEmpty() ? QProcess::nullDevice() : output);
    qint64 pid = 0;
    if (!keeper.startDetached(&pid)) {
        qCWarning(lcView).noquote() << "cannot start the keeper" << m_options.program << ":" << keeper.errorString();
        return false;
    }
    qCInfo(lcView).noquote() << "started the keeper" << m_options.program << "pid" << pid;
    return true;
}

} // namespace Qurel
