#pragma once
// The window's end of the wire: attaches to a keeper, sends it the window's commands and re-emits
// its events as signals named as LessonKeeper's, keeping the last snapshot. When the keeper ends
// or restarts, the client tries again until it is attached once more; a keeper that stops answering
// its pings is given up and tried again the same way.

#include "KeeperProtocol.h"

#include <QElapsedTimer>
#include <QObject>

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
    // The keeper's last snapshot; the idle snapshot before the first one came.
    KeeperSnapshot snapshot() const { return m_snapshot; }

    // The window's commands. False when no keeper answers: the command is dropped, never
    // kept for a later keeper.
    bool startLesson();
    bool stopLesson();
    bool hotKey(int virtualKey);
    bool reloadSettings();
    bool finish();

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

    Options m_options;
    QLocalSocket *m_socket = nullptr;
    QTimer *m_reconnect = nullptr;
    QTimer *m_ping = nullptr;
    QElapsedTimer m_lastHeard;
    QString m_path;
    bool m_wanted = false;
    bool m_answering = false;
    KeeperSnapshot m_snapshot;
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
