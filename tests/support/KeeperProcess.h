#pragma once
// The keeper (qureld) a window attached to, as a process: its id, read from the credentials of a
// connection to its socket, so a test can kill it or limit it like any process of its own; and
// the qurel-relay processes that record its lessons.

#include <QDir>
#include <QFile>
#include <QList>
#include <QLocalSocket>
#include <QString>
#include <QThread>

#include <csignal>
#include <optional>
#include <sys/socket.h>

namespace QurelTest {

inline qint64 KeeperPid(const QString &socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(2000))
        return 0;
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return 0;
    return credentials.pid;
}

// What /proc says of a process: its name, state letter and parent; nullopt once it is gone.
struct ProcessStat
{
    QByteArray name;
    char state = '?';
    qint64 parent = 0;
};

inline std::optional<ProcessStat> ReadProcessStat(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "pid (comm) state ppid ...": the name may hold spaces, so the fields count from its ')'.
    const QByteArray line = stat.readAll();
    const int open = line.indexOf('(');
    const int close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (open < 0 || close < open || fields.size() < 2 || fields.at(0).isEmpty())
        return std::nullopt;
    return ProcessStat { line.mid(open + 1, close - open - 1), fields.at(0).at(0), fields.at(1).toLongLong() };
}

// The running (not yet reaped) qurel-relay processes the keeper started.
inline QList<qint64> RelayPids(qint64 keeper)
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const std::optional<ProcessStat> stat = ReadProcessStat(entry.toLongLong());
        if (stat && stat->name == "qurel-relay" && stat->state != 'Z' && stat->parent == keeper)
            children << entry.toLongLong();
    }
    return children;
}

// Ends the keeper listening at socketPath (a window the test killed leaves its keeper running):
// SIGTERM finishes its files; true once it is gone or none was there.
inline bool EndKeeper(const QString &socketPath, int timeoutMs = 20000)
{
    const qint64 pid = KeeperPid(socketPath);
    if (pid <= 0 || ::kill(pid_t(pid), SIGTERM) != 0)
        return true;
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        // Gone, or ended and waiting for whoever adopted it to reap it.
        const std::optional<ProcessStat> stat = ReadProcessStat(pid);
        if (!stat || stat->state == 'Z')
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace QurelTest
