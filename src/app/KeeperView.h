#pragma once
// KeeperView: the lesson keeper as the window sees it. The keeper is a process of its own
// (qureld), so an office export, a slide upload, a modal dialog, the player or a crash of the
// window never touches a lesson. The window attaches to it over its socket, hands it the buttons,
// the hot keys and its settings, and keeps the last snapshot it reported.
// With no keeper answering for the user, the view starts one (qureld --for-window) and starts it
// again should it die; it then resumes the lesson from its journal. A system instance (named by
// a setting) is only attached to: systemd starts it and it keeps its own settings.

#include "KeeperClient.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class QTimer;

namespace Qurel {

class KeeperView final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeeperView)

public:
    struct Options
    {
        QString socketPath; // where the keeper listens
        QString program; // the qureld to start when none answers; empty: attach only
        int startPatienceMs = 5000; // a started keeper has this long to answer before another try
        int endWaitMs = 30000; // how long the window waits for its keeper to finish as it goes
    };
    // The user's own keeper (started when needed), or with `instance` the system instance's.
    static Options ForInstance(const QString &instance);
    // qureld beside the client, or the one $QUREL_KEEPER names.
    static QString KeeperProgram();

    explicit KeeperView(Options options, QObject *parent = nullptr);
    // A keeper started for a window ends with it, its lesson finished first; any other goes on.
    ~KeeperView() override;

    // The settings to keep lessons by: handed to the keeper now and whenever it (re)attaches. A
    // system instance keeps its own and is not sent them.
    void applySettings(const KeeperSettings &settings);
    // The buttons and hot keys. One pressed while no keeper answers (it is being started again)
    // reaches the keeper as soon as it answers, if within kPressKeptMs; the last press wins.
    void startLesson();
    void stopLesson();
    void hotKey(int virtualKey);
    static constexpr int kPressKeptMs = 10000;
    // Ends a keeper started for a window, its lesson's files finished first.
    void finish();

    const KeeperSnapshot &snapshot() const { return m_client.snapshot(); }
    bool isAnswering() const { return m_client.isAnswering(); }
    // True for a keeper a window started: closing the window ends it.
    bool endsWithWindow() const { return m_client.role() == KeeperRole::Window; }
    KeeperRole role() const { return m_client.role(); }
    // A system instance's recordings folder, else empty.
    QString recordings() const { return m_client.recordings(); }

signals:
    void snapshotChanged(const Qurel::KeeperSnapshot &snapshot);
    void message(const QString &text);
    void lessonFinished(const QString &mp4Path);
    void finished();
    void answeringChanged(bool answering);
    // The keeper the window starts does not come up (twice in a row): lessons are not being kept.
    // Said once until a keeper answers again; `why` is the keeper's last word, if any.
    void keeperMissing(const QString &why);

private:
    void keepOneRunning();
    bool startKeeper();
    QString lastKeeperWords() const;
    // The file the keeper the window starts writes its standard error to.
    static QString keeperOutputPath();
    void attached(bool answering);
    void press(std::function<bool()> command);

    Options m_options;
    KeeperClient m_client;
    QTimer *m_watch = nullptr;
    QElapsedTimer m_lastStart;
    bool m_answeredSinceStart = true;
    int m_unansweredStarts = 0; // starts in a row after which no keeper answered
    bool m_missingSaid = false;
    std::optional<KeeperSettings> m_settings;
    std::function<bool()> m_pendingPress; // pressed while no keeper answered
    QElapsedTimer m_pressedAt;
    bool m_ending = false;
};

} // namespace Qurel
