#pragma once
// LessonRecorder: the local copy of the recorder's lessons as one state machine (idle, starting,
// recording, stopping). Start and stop requests are taken at once on the calling (UI) thread; the
// slow steps (recorder queries, the relay's connect, the information file and the thumbnail) run
// on worker threads in their usual order, so no window ever waits for the recorder. Failures come
// out as messages for the window to show; nothing here needs a window.

#include "LessonSteps.h"
#include "OutputWatch.h"

#include <QDateTime>
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
    };

    explicit LessonRecorder(RelayCalls relay, QObject *parent = nullptr);
    LessonRecorder(RelayCalls relay, Options options, QObject *parent = nullptr);
    // Waits for the step in progress and for the files still being finished.
    ~LessonRecorder() override;

    // A lesson starts (a "start_record" notice, or the button with an empty title). Ignored while a
    // lesson starts or records; a start during a stop is taken up as soon as the stop is done.
    void start(const QString &title, const RecorderLogin &login, const QString &savePath);
    // The lesson ends. A stop while starting ends that start cleanly: whatever was written is
    // finished like any lesson. Nothing happens when idle.
    void stop();

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
    QString title() const { return m_title; }
    // The current warning about the growing MP4, empty when all is well.
    QString warning() const { return OutputProblemText(m_problem); }
    // Nothing runs: idle, and every finished lesson has its files.
    bool settled() const { return m_state == State::Idle && m_filesPending == 0 && !m_pendingStart; }

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
    void startDone(const StartOutcome &outcome);
    void stopDone(const RelayStopResult &result, const QString &mp4Path, const QDateTime &startTime);
    void finishFiles(const QString &mp4Path, const QDateTime &startTime, bool waitForMp4);
    void filesDone(const QString &mp4Path, const QStringList &messages);
    void probeOutput();
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

    State m_state = State::Idle;
    QString m_title;
    QString m_fileName;
    QDateTime m_startTime;
    std::shared_ptr<std::atomic<bool>> m_cancel; // the start in progress is to be given up
    std::optional<Pending> m_pendingStart;
    int m_filesPending = 0;
    QStringList m_finishing; // MP4s whose files are being finished
    bool m_probing = false;
    QElapsedTimer m_clock;
    OutputWatch m_watch;
    OutputProblem m_problem = OutputProblem::None;
};

} // namespace Qurel
