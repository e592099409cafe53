#pragma once
// The keeper (qureld) a window attached to, as a process: its id, read from the credentials of a
// connection to its socket, so a test can kill it or limit it like any process of its own.

#include <QLocalSocket>
#include <QString>

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

} // namespace QurelTest
