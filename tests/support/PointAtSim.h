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

} // namespace QurelTest
