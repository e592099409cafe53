#include "LessonRecorder.h"

#include "ExternalMessages.h"
#include "HttpIntf.h"
#include "RecordingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <csignal>

namespace Qurel {

namespace {
    constexpr qint64 kEarlyStopSeconds = 2;

    // Runs fn on the thread that owns context, after the jobs posted there before it.
    template <typename Fn>
    void post(QObject *context, Fn &&fn)
    {
        QMetaObject::invokeMethod(context, std::forward<Fn>(fn), Qt::QueuedConnection);
    }

    QThread *startWorker(QObject *owner, const char *name, QObject *&context)
    {
        auto *thread = new QThread(owner);
        thread->setObjectName(QLatin1String(name));
        context = new QObject;
        context->moveToThread(thread);
        QObject::connect(thread, &QThread::finished, context, &QObject::deleteLater);
        thread->start();
        return thread;
    }

    // Lets every job posted so far run, then ends the thread.
    void drainAndStop(QThread *thread, QObject *context)
    {
        post(context, [thread] { thread->quit(); });
        thread->wait();
    }

    OutputProbe lookAt(const QString &mp4Path, const LessonSteps &steps)
    {
        OutputProbe probe;
        probe.relay = steps.RelayStatus();
        const QFileInfo file(mp4Path);
        probe.folderExists = file.dir().exists();
        probe.fileExists = file.exists();
        probe.size = probe.fileExists ? file.size() : 0;
        probe.freeBytes = probe.folderExists ? FreeDiskBytes(file.absolutePath()) : -1;
        return probe;
    }
} // namespace

struct LessonRecorder::StartOutcome
{
    bool started = false;
    bool cancelled = false;
    QString message;
    QString mp4Path;
    QDateTime startTime;
    std::optional<RelayStopResult> stop; // the start was given up after the stream began
};

LessonRecorder::LessonRecorder(RelayCalls relay, QObject *parent)
    : LessonRecorder(std::move(relay), Options(), parent)
{
}

LessonRecorder::LessonRecorder(RelayCalls relay, Options options, QObject *parent)
    : QObject(parent)
    , m_steps(std::make_shared<const LessonSteps>(std::move(relay), options.steps))
    , m_options(options)
    , m_watch(options.watch)
{
#ifdef SIGXFSZ
    // A file-size limit must end only the write that meets it, not the whole client with its lesson.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    m_relayThread = startWorker(this, "lesson-relay", m_relayContext);
    m_filesThread = startWorker(this, "lesson-files", m_filesContext);
    m_watchTimer = new QTimer(this);
    m_watchTimer->setInterval(m_options.watchIntervalMs);
    connect(m_watchTimer, &QTimer::timeout, this, &LessonRecorder::probeOutput);
    m_clock.start();
}

LessonRecorder::~LessonRecorder()
{
    if (m_cancel)
        *m_cancel = true;
    drainAndStop(m_relayThread, m_relayContext);
    // A lesson still recording here (no stop came), or whose stop had not come back, is finished
    // on the way out: its stream closed, its information file and thumbnail made.
    if (m_state == State::Recording && !m_fileName.isEmpty()) {
        const RelayStopResult result = m_steps->StopRelayRecording();
        m_steps->FinishFiles(m_fileName, m_startTime, result.code == 0);
    } else if (m_state == State::Stopping && !m_fileName.isEmpty()) {
        m_steps->FinishFiles(m_fileName, m_startTime, false);
    }
    drainAndStop(m_filesThread, m_filesContext);
}

const char *LessonRecorder::StateName(State state)
{
    switch (state) {
    case State::Idle:
        return "idle";
    case State::Starting:
        return "starting";
    case State::Recording:
        return "recording";
    case State::Stopping:
        return "stopping";
    }
    return "idle";
}

void LessonRecorder::start(const QString &title, const RecorderLogin &login, const QString &savePath)
{
    const Pending request { title, login, savePath };
    if (m_state == State::Stopping) {
        // The next lesson begins as soon as the last one's stream is closed.
        m_pendingStart = request;
        return;
    }
    if (m_state != State::Idle)
        return; // a second start would take stream 0 from the running lesson
    beginStart(request);
}

void LessonRecorder::beginStart(const Pending &request)
{
    m_title = request.title;
    m_fileName.clear();
    m_startTime = QDateTime();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    setState(State::Starting);

    auto steps = m_steps;
    auto cancel = m_cancel;
    post(m_relayContext, [this, steps, cancel, request] {
        StartOutcome outcome;
        outcome.message = steps->CheckRoomToRecord(request.savePath);
        if (outcome.message.isEmpty()) {
            const RtspUrlResult rtsp = steps->GetRtspUrl(request.login);
            outcome.message = rtsp.message;
            if (rtsp.ok && *cancel) {
                outcome.cancelled = true;
            } else if (rtsp.ok) {
                const QString base = RecordingBaseName(request.title, QDateTime::currentDateTime());
                const RelayStartResult relay
                    = steps->StartRelayRecording(rtsp.url, rtsp.rtpMode, request.savePath, base);
                outcome.message = relay.message;
                outcome.started = relay.ok;
                outcome.mp4Path = relay.mp4Path;
                outcome.startTime = QDateTime::currentDateTime();
                if (relay.ok && *cancel)
                    outcome.stop = steps->StopRelayRecording();
            }
        }
        post(this, [this, outcome] { startDone(outcome); });
    });
}

void LessonRecorder::startDone(const StartOutcome &outcome)
{
    m_cancel.reset();
    if (!outcome.message.isEmpty())
        emit message(outcome.message);
    if (outcome.started) {
        m_fileName = outcome.mp4Path;
        m_startTime = outcome.startTime;
    }
    if (outcome.stop) {
        stopDone(*outcome.stop, outcome.mp4Path, outcome.startTime);
        return;
    }
    if (!outcome.started) {
        m_title.clear();
        setState(State::Idle);
        if (m_pendingStart) {
            const Pending next = *std::exchange(m_pendingStart, std::nullopt);
            beginStart(next);
        }
        checkSettled();
        return;
    }
    if (m_state == State::Stopping) {
        // The stop came while the stream was being made; the job saw it too late.
        m_state = State::Recording;
        stop();
        return;
    }
    m_watch.reset(m_clock.elapsed());
    setProblem(OutputProblem::None);
    m_watchTimer->start();
    setState(State::Recording);
}

void LessonRecorder::stop()
{
    if (m_state == State::Starting) {
        *m_cancel = true;
        setState(State::Stopping);
        return;
    }
    if (m_state != State::Recording)
        return;
    m_watchTimer->stop();
    setState(State::Stopping);
    auto steps = m_steps;
    const QString mp4 = m_fileName;
    const QDateTime began = m_startTime;
    post(m_relayContext, [this, steps, mp4, began] {
        if (began.secsTo(QDateTime::currentDateTime()) < kEarlyStopSeconds)
            QThread::msleep(ulong(steps->options().earlyStopWaitMs));
        const RelayStopResult result = steps->StopRelayRecording();
        post(this, [this, result, mp4, began] { stopDone(result, mp4, began); });
    });
}

void LessonRecorder::stopDone(const RelayStopResult &result, const QString &mp4Path, const QDateTime &startTime)
{
    m_watchTimer->stop();
    if (result.code != 0) {
        emit message(result.message);
        emit stopFailed();
    }
    // What the relay wrote stays playable even when it reports a failure, so the lesson still gets
    // its information file and thumbnail.
    finishFiles(mp4Path, startTime, result.code == 0);
    m_title.clear();
    m_fileName.clear();
    m_startTime = QDateTime();
    setProblem(OutputProblem::None);
    setState(State::Idle);
    if (m_pendingStart) {
        const Pending next = *std::exchange(m_pendingStart, std::nullopt);
        beginStart(next);
    }
    checkSettled();
}

QStringList LessonRecorder::unfinishedFiles() const
{
    QStringList files = m_finishing;
    if (!m_fileName.isEmpty())
        files << m_fileName;
    return files;
}

void LessonRecorder::finishFiles(const QString &mp4Path, const QDateTime &startTime, bool waitForMp4)
{
    ++m_filesPending;
    m_finishing << mp4Path;
    auto steps = m_steps;
    post(m_filesContext, [this, steps, mp4Path, startTime, waitForMp4] {
        const QStringList messages = steps->FinishFiles(mp4Path, startTime, waitForMp4);
        post(this, [this, mp4Path, messages] { filesDone(mp4Path, messages); });
    });
}

void LessonRecorder::filesDone(const QString &mp4Path, const QStringList &messages)
{
    --m_filesPending;
    m_finishing.removeOne(mp4Path);
    emitMessages(messages);
    emit lessonFinished(mp4Path);
    checkSettled();
}

void LessonRecorder::probeOutput()
{
    if (m_probing || m_state != State::Recording)
        return;
    m_probing = true;
    const QString mp4 = m_fileName;
    auto steps = m_steps;
    post(m_relayContext, [this, mp4, steps] {
        const OutputProbe probe = lookAt(mp4, *steps);
        post(this, [this, mp4, probe] {
            m_probing = false;
            if (m_state == State::Recording && mp4 == m_fileName)
                setProblem(m_watch.assess(probe, m_clock.elapsed()));
        });
    });
}

void LessonRecorder::setProblem(OutputProblem problem)
{
    if (problem == m_problem)
        return;
    m_problem = problem;
    emit warningChanged(OutputProblemText(problem));
}

void LessonRecorder::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void LessonRecorder::checkSettled()
{
    if (settled())
        emit settledChanged();
}

void LessonRecorder::emitMessages(const QStringList &messages)
{
    for (const QString &text : messages)
        emit message(text);
}

void LessonRecorder::SendRecorderCommand(
    int virtualKey, const RecorderLogin &login, int titleTime, int creditTime)
{
    // The recorder's own commands, one after another in the order the keys came; the local copy
    // follows the notices the recorder then sends.
    static QThreadPool *const commands = [] {
        auto *pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return pool;
    }();
    commands->start([virtualKey, login, titleTime, creditTime] {
        if (virtualKey == kVkF5)
            StartRecord(login.address, login.httpPort, login.username, login.password, 0, 0, titleTime);
        else if (virtualKey == kVkF6)
            StopRecord(login.address, login.httpPort, login.username, login.password, 0, 0, creditTime);
    });
}

} // namespace Qurel
