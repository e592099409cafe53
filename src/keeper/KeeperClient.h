#pragma once
// The window's end of the wire: attaches to a keeper, sends it the window's commands and re-emits
// its events as signals named as LessonKeeper's, keeping the last snapshot. When the keeper ends
// or restarts, the client tries again until it is attached once more; a keeper that stops answering
// its pings is given up and tried again the same way.

#include "KeeperProtocol.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class QLocalSocket;
class QTimer;

namespace Qurel {

class KeeperClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeeperClient)

public:
    struct Options
    {
        int reconnectMs = 500; // between attempts while no keeper answers
        int pingMs = 2000; // between pings while attached
        int answerTimeoutMs = 5000; // silence after which an attached keeper counts as hung
        bool window = true; // attach as a window (the keeper's status counts it)
    };

    explicit KeeperClient(QObject *parent = nullptr);
    KeeperClient(Options options, QObject *parent = nullptr);
    ~KeeperClient() override;

    // Attaches to the keeper listening at the socket path `path`, now and whenever the
    // connection is lost, until disconnectFromKeeper().
    void connectToKeeper(const QString &path);
    void disconnectFromKeeper();
    QString socketPath() const { return m_path; }

    // Attached to a keeper that answers.
    bool isAnswering() const { return m_answering; }
    // Waits at most timeoutMs, without an event loop, until a keeper answers at the path given to
    // connectToKeeper (a keeper just started needs a moment to listen). True once it answers.
    bool waitForAnswer(int timeoutMs);
    // The keeper's last snapshot; the idle snapshot before the first one came.
    const KeeperSnapshot &snapshot() const { return m_snapshot; }
    // Who started the keeper, and a system instance's recordings folder, as it last said.
    KeeperRole role() const { return m_role; }
    QString recordings() const { return m_recordings; }

    // The window's commands. False when no keeper answers: the command is dropped, never
    // kept for a later keeper.
    bool startLesson();
    bool stopLesson();
    bool hotKey(int virtualKey);
    bool reloadSettings();
    // The keeper's answer is its snapshot with the settings taken: with waitMs, the call waits for
    // it that long at most, without an event loop.
    bool giveSettings(const KeeperSettings &settings, int waitMs = 0);
    bool finish();
    // Sends "finish" and waits at most timeoutMs, without an event loop, until the keeper has
    // finished its lesson's files and its process has ended. True once the keeper has closed the
    // connection; the client then stays detached.
    bool finishAndWait(int timeoutMs);

signals:
    void snapshotChanged(const Qurel::KeeperSnapshot &snapshot);
    void message(const QString &text);
    void lessonFinished(const QString &mp4Path);
    void finished();
    // Attached to an answering keeper, or no longer.
    void answeringChanged(bool answering);
    // The keeper refused a command, and why (a service refuses "finish").
    void refused(const QString &reason);

private:
    void attempt();
    void attached();
    void lost();
    void readLines();
    void handle(const KeeperEvent &event);
    void pingOrGiveUp();
    bool send(const KeeperCommand &command);
    void setAnswering(bool answering);
    // Reads what the keeper sends, without an event loop, while `waiting` holds, the connection
    // stands and timeoutMs have not passed.
    void readWhile(int timeoutMs, const std::function<bool()> &waiting);

    Options m_options;
    QLocalSocket *m_socket = nullptr;
    QTimer *m_reconnect = nullptr;
    QTimer *m_ping = nullptr;
    QElapsedTimer m_lastHeard;
    QString m_path;
    bool m_wanted = false;
    bool m_answering = false;
    KeeperSnapshot m_snapshot;
    quint64 m_snapshotsHeard = 0;
    KeeperRole m_role = KeeperRole::User;
    QString m_recordings;
};

// One command and its answer without an event loop, waiting at most timeoutMs in all: qurelctl's
// status and ping, and the window's question whether a keeper answers before it starts one.
// The answer is the keeper's "pong" or "status" event; nullopt with `error` when nobody listens,
// no answer comes in time or the keeper refused the command.
std::optional<KeeperEvent> AskKeeper(
    const QString &path, const KeeperCommand &command, int timeoutMs, QString *error);
// A keeper listens at `path` and answers a ping within timeoutMs.
bool KeeperAnswers(const QString &path, int timeoutMs);

} // namespace Qurel
