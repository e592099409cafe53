#pragma once
// LessonRecorder: the local copy of the recorder's lessons as one state machine (idle, starting,
// recording, stopping). Start and stop requests are taken at once on the calling thread; the slow
// steps (recorder queries, the relay's connect, the information file and the thumbnail) run on
// worker threads in their usual order, so nothing waits for the recorder. The last request wins:
// a start while a lesson records finishes that lesson and records the new one into a file of its
// own; a stop drops any start still waiting. A start that fails is tried again, with growing
// pauses, until it succeeds or a stop comes. Failures come out as messages; nothing here needs a
// window.

#include "LessonSteps.h"
#include "OutputWatch.h"

#include <QDateTime>
#include <QList>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class QThread;
class QTimer;

namespace Qurel {

class LessonRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LessonRecorder)

public:
    enum class State { Idle, Starting, Recording, Stopping };
    Q_ENUM(State)

    struct Options
    {
        LessonSteps::Options steps;
        OutputWatch::Limits watch;
        int watchIntervalMs = 1000; // how often the growing MP4 is looked at
        // Pauses before the second, third ... try of a failed start; the last one repeats.
        QList<int> retryDelaysMs { 5000, 10000, 20000, 30000 };
        // Least time between two fresh login keys for a relay whose reconnects are refused.
        int rekeyIntervalMs = 3000;
    };


    explicit LessonRecorder(RelayCalls relay, QObject *parent = nullptr);
    LessonRecorder(RelayCalls relay, Options options, QObject *parent = nullptr);
    // Waits for the step in progress and for the files still being finished.
    ~LessonRecorder() override;

    // A lesson starts (a "start_record" notice, or the button with an empty title). A lesson that
    // starts or records meanwhile is ended first (finished like at a stop); the new one begins as
    // soon as stream 0 is free.
    void start(const QString &title, const RecorderLogin &login, const QString &savePath);
    // The lesson ends. A stop while starting ends that start cleanly: whatever was written is
    // finished like any lesson; a start waiting behind a stop is dropped. Nothing happens when idle.
    void stop();
    // Finishes the files of a lesson whose copy ended elsewhere (a keeper that was killed): its
    // information file with that start time, and its thumbnail.
    void finishOrphan(const LessonFile &lesson);

    State state() const { return m_state; }
    static const char *StateName(State state);
    // A lesson's stream records (FRecording).
    bool recording() const { return m_state == State::Recording || m_state == State::Stopping; }
    // The recording's MP4 (FRecFileName) and when it began (FRecStartTime); empty when idle.
    QString fileName() const { return m_fileName; }
    QDateTime startTime() const { return m_startTime; }
    // The MP4s not finished yet: the one recording and those whose stop is still writing their
    // information file and thumbnail. Until lessonFinished they belong to the lesson alone.
    QStringList unfinishedFiles() const;
    // The same with their start times: the lessons a restarted keeper must still finish.
    QList<LessonFile> finishing() const { return m_finishing; }
    QString title() const { return m_title; }
    // Why the start is being tried again (the failed step's message), empty when no retry waits.
    QString retryReason() const { return m_retryReason; }
    // The current warning about the growing MP4, empty when all is well.
    QString warning() const { return OutputProblemText(m_problem); }
    // Nothing runs: idle, and every finished lesson has its files.
    bool settled() const { return m_state == State::Idle && m_finishing.isEmpty() && !m_pendingStart; }

    // The recorder's own start and stop commands (the F5 and F6 hot keys), sent off the UI thread.
    static void SendRecorderCommand(int virtualKey, const RecorderLogin &login, int titleTime, int creditTime);

signals:
    void stateChanged(Qurel::LessonRecorder::State state);
    // A failure the user must see, in the client's words.
    void message(const QString &text);
    // The stream could not be destroyed cleanly (the status line reads "结束录制失败").
    void stopFailed();
    // A lesson's information file and thumbnail are done (or it had none to make).
    void lessonFinished(const QString &mp4Path);
    void warningChanged(const QString &text);
    // retryReason() changed.
    void retryChanged(const QString &reason);
    // The lesson's file, start time or the files being finished changed (for the journal).
    void filesChanged();
    // settled() became true.
    void settledChanged();

private:
    struct StartOutcome;
    struct Pending
    {
        QString title;
        RecorderLogin login;
        QString savePath;
    };

    void setState(State state);
    void beginStart(const Pending &request);
    void attemptStart();
    void startDone(const StartOutcome &outcome);
    void retryLater(const QString &reason);
    void setRetryReason(const QString &reason);
    void takePendingStart();
    void stopDone(const RelayStopResult &result, const QString &mp4Path, const QDateTime &startTime);
    void finishFiles(const LessonFile &lesson, bool waitForMp4);
    void filesDone(const QString &mp4Path, const QStringList &messages);
    void probeOutput();
    void probeDone(const QString &mp4Path, const OutputProbe &probe);
    void setProblem(OutputProblem problem);
    void checkSettled();
    void emitMessages(const QStringList &messages);

    std::shared_ptr<const LessonSteps> m_steps;
    Options m_options;
    QThread *m_relayThread = nullptr; // recorder queries and relay calls, one after another
    QThread *m_filesThread = nullptr; // information files and thumbnails
    QObject *m_relayContext = nullptr;
    QObject *m_filesContext = nullptr;
    QTimer *m_watchTimer = nullptr;
    QTimer *m_retryTimer = nullptr;

    State m_state = State::Idle;
    QString m_title;
    QString m_fileName;
    QDateTime m_startTime;
    std::shared_ptr<std::atomic<bool>> m_cancel; // the start in progress is to be given up
    Pending m_request; // of the lesson starting or recording
    bool m_attempting = false; // a start job runs on the relay thread
    int m_attempts = 0; // failed tries of this start so far
    QString m_retryReason;
    std::optional<Pending> m_pendingStart; // begins once the lesson before it is closed
    QList<LessonFile> m_finishing; // lessons whose files are being finished
    bool m_probing = false;
    qint64 m_lastRekeyMs = -1;
    QElapsedTimer m_clock;
    OutputWatch m_watch;
    OutputProblem m_problem = OutputProblem::None;
};

} // namespace Qurel
