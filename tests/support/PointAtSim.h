#pragma once
// Points the client's configuration at a simulated recorder (its address,
// HTTP port and user) with a given recordings folder and start-up mode.

#include "Configs.h"
#include "RecorderSim.h"

namespace QurelTest {

inline void PointClientAt(const Qurel::RecorderSim &sim, const QString &savePath, bool autoRec)
{
    SDKConfig.Address = sim.address();
    SDKConfig.HttpPort = sim.httpPort();
    SDKConfig.Username = sim.options().username;
    SDKConfig.Password = sim.options().password;
    SDKConfig.SavePath = savePath;
    SDKConfig.AutoRec = autoRec;
}

// The lines that control client number `client` (1 = the first to connect) sent the recorder.
inline QList<QByteArray> ControlLinesOf(const Qurel::RecorderSim &sim, int client)
{
    QList<QByteArray> lines;
    for (const Qurel::ControlLine &line : sim.controlLines())
        if (line.client == client)
            lines << line.line;
    return lines;
}

} // namespace QurelTest
