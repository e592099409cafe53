#include "LessonRecorder.h"

#include "ExternalMessages.h"
#include "HttpIntf.h"
#include "LessonLog.h"
#include "RecordingsStore.h"
#include "SegmentList.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <csignal>

namespace Qurel {

namespace {
    constexpr qint64 kEarlyStopSeconds = 2;
    // The relay's "recording ended before any picture arrived; no file was made".
    constexpr std::int32_t kRelayNoMedia = 7;

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
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &LessonRecorder::attemptStart);
    m_clock.start();
}

LessonRecorder::~LessonRecorder()
{
    if (m_cancel)
        *m_cancel = true;
    m_retryTimer->stop();
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
    qCInfo(lcLesson) << "start requested, title" << title << "while" << StateName(m_state);
    switch (m_state) {
    case State::Idle:
        beginStart(request);
        return;
    case State::Starting:
    case State::Recording:
        // The lesson before it ends here as at a stop; the new one begins once stream 0 is free.
        stop();
        m_pendingStart = request;
        return;
    case State::Stopping:
        m_pendingStart = request;
        return;
    }
}

void LessonRecorder::beginStart(const Pending &request)
{
    m_request = request;
    m_title = request.title;
    m_fileName.clear();
    m_startTime = QDateTime();
    m_attempts = 0;
    setRetryReason(QString());
    setState(State::Starting);
    attemptStart();
}

void LessonRecorder::attemptStart()
{
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_attempting = true;
    ++m_attempts;
    qCInfo(lcLesson) << "start attempt" << m_attempts << "for" << m_title;
    auto steps = m_steps;
    auto cancel = m_cancel;
    const Pending request = m_request;
    const QStringList taken = unfinishedFiles();
    post(m_relayContext, [this, steps, cancel, request, taken] {
        StartOutcome outcome;
        outcome.message = steps->CheckRoomToRecord(request.savePath);
        if (outcome.message.isEmpty()) {
            const RtspUrlResult rtsp = steps->GetRtspUrl(request.login);
            outcome.message = rtsp.message;
            if (rtsp.ok && *cancel) {
                outcome.cancelled = true;
            } else if (rtsp.ok) {
                const QString folder = RecordingsFolder(request.savePath);
                const QString base = FreeBaseName(
                    folder, RecordingBaseName(request.title, QDateTime::currentDateTime()), taken);
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
        outcome.cancelled = outcome.cancelled || *cancel;
        post(this, [this, outcome] { startDone(outcome); });
    });
}

void LessonRecorder::startDone(const StartOutcome &outcome)
{
    m_attempting = false;
    m_cancel.reset();
    if (outcome.stop) {
        // Given up right after the stream began: a relay that had no picture yet made no file,
        // which is what the stop asked for, not a failure.
        qCInfo(lcLesson) << "start given up after the stream began, relay result" << outcome.stop->code;
        RelayStopResult result = *outcome.stop;
        if (result.code == kRelayNoMedia)
            result = RelayStopResult();
        stopDone(result, outcome.mp4Path, outcome.startTime);
        return;
    }
    if (!outcome.started && (outcome.cancelled || m_state == State::Stopping)) {
        qCInfo(lcLesson) << "start given up before the stream began";
        m_title.clear();
        setRetryReason(QString());
        setState(State::Idle);
        takePendingStart();
        checkSettled();
        return;
    }
    if (!outcome.started) {
        retryLater(outcome.message);
        return;
    }
    m_fileName = outcome.mp4Path;
    m_startTime = outcome.startTime;
    setRetryReason(QString());
    qCInfo(lcLesson) << "recording" << m_fileName << "after" << m_attempts << "attempt(s)";
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
    emit filesChanged();
}

void LessonRecorder::retryLater(const QString &reason)
{
    const QList<int> &delays = m_options.retryDelaysMs;
    const int delay = delays.isEmpty() ? 30000 : delays.at(std::min<int>(m_attempts - 1, delays.size() - 1));
    qCWarning(lcLesson).noquote() << "start attempt" << m_attempts << "failed:" << reason << "- next try in"
                                  << delay << "ms";
    setRetryReason(reason);
    m_retryTimer->start(delay);
}

void LessonRecorder::setRetryReason(const QString &reason)
{
    if (reason == m_retryReason)
        return;
    m_retryReason = reason;
    emit retryChanged(reason);
}

void LessonRecorder::takePendingStart()
{
    if (m_pendingStart)
        beginStart(*std::exchange(m_pendingStart, std::nullopt));
}

void LessonRecorder::stop()
{
    qCInfo(lcLesson) << "stop requested while" << StateName(m_state);
    m_pendingStart.reset(); // the last request wins
    if (m_state == State::Starting) {
        if (!m_attempting) {
            // Only a retry was waiting: nothing runs that must be ended.
            m_retryTimer->stop();
            m_title.clear();
            setRetryReason(QString());
            setState(State::Idle);
            checkSettled();
            return;
        }
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
        qCWarning(lcLesson) << "closing the stream failed with" << result.code;
        emit message(result.message);
        emit stopFailed();
    }
    // What the relay wrote stays playable even when it reports a failure, so the lesson still gets
    // its information file and thumbnail.
    if (!mp4Path.isEmpty())
        finishFiles({ mp4Path, startTime }, result.code == 0);
    m_title.clear();
    m_fileName.clear();
    m_startTime = QDateTime();
    setProblem(OutputProblem::None);
    setState(State::Idle);
    emit filesChanged();
    takePendingStart();
    checkSettled();
}

void LessonRecorder::finishOrphan(const LessonFile &lesson)
{
    if (lesson.mp4Path.isEmpty() || SameAsAny(lesson.mp4Path, unfinishedFiles()))
        return;
    qCInfo(lcLesson) << "finishing the files of" << lesson.mp4Path << "begun" << lesson.startTime;
    finishFiles(lesson, false);
    emit filesChanged();
}

QStringList LessonRecorder::unfinishedFiles() const
{
    QStringList files;
    for (const LessonFile &lesson : m_finishing)
        files << lesson.mp4Path;
    if (!m_fileName.isEmpty())
        files << m_fileName;
    return files;
}

void LessonRecorder::finishFiles(const LessonFile &lesson, bool waitForMp4)
{
    m_finishing << lesson;
    auto steps = m_steps;
    post(m_filesContext, [this, steps, lesson, waitForMp4] {
        const QStringList messages = steps->FinishFiles(lesson.mp4Path, lesson.startTime, waitForMp4);
        post(this, [this, path = lesson.mp4Path, messages] { filesDone(path, messages); });
    });
}

void LessonRecorder::filesDone(const QString &mp4Path, const QStringList &messages)
{
    for (int i = 0; i < m_finishing.size(); ++i) {
        if (m_finishing[i].mp4Path == mp4Path) {
            m_finishing.removeAt(i);
            break;
        }
    }
    qCInfo(lcLesson) << "files finished for" << mp4Path;
    emitMessages(messages);
    // Whoever lists the lesson on lessonFinished must already see it as finished.
    emit filesChanged();
    checkSettled();
    emit lessonFinished(mp4Path);
}

void LessonRecorder::probeOutput()
{
    if (m_probing || m_state != State::Recording)
        return;
    m_probing = true;
    const QString mp4 = m_fileName;
    const RecorderLogin login = m_request.login;
    const bool mayRekey = m_lastRekeyMs < 0 || m_clock.elapsed() - m_lastRekeyMs >= m_options.rekeyIntervalMs;
    auto steps = m_steps;
    post(m_relayContext, [this, mp4, steps, login, mayRekey] {
        OutputProbe probe = lookAt(mp4, *steps);
        if (probe.relay.refused && mayRekey) {
            // The recorder restarted its stream server and the old key is refused: a fresh key,
            // stream mode and port let the relay go on into the same file.
            const RtspUrlResult rtsp = steps->GetRtspUrl(login);
            const bool renewed = rtsp.ok && steps->SetRelayUrl(rtsp.url);
            qCInfo(lcRelay).noquote() << "reconnects refused; fresh address"
                                      << (renewed ? QStringLiteral("handed to the relay") : rtsp.message);
            probe.rekeyed = true;
        }
        post(this, [this, mp4, probe] { probeDone(mp4, probe); });
    });
}

void LessonRecorder::probeDone(const QString &mp4Path, const OutputProbe &probe)
{
    m_probing = false;
    if (probe.rekeyed)
        m_lastRekeyMs = m_clock.elapsed();
    if (m_state != State::Recording || mp4Path != m_fileName)
        return;
    if (probe.relay.ended) {
        // The stream came back changed and the relay closed the file: the lesson goes on in a
        // new one under the same title.
        qCWarning(lcRelay) << "the stream changed after a reconnect; recording on into a new file";
        const Pending same = m_request;
        stop();
        m_pendingStart = same;
        return;
    }
    setProblem(m_watch.assess(probe, m_clock.elapsed()));
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
