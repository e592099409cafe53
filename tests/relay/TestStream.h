// Starts the RTSP test stream the way the relay's tests use it.
#pragma once

#include "RtspTestServer.h"

namespace Qurel::Test {

inline bool startTestStream(RtspTestServer &server, const char *address, const char *key, bool sliced = false,
    int keyframeInterval = 0)
{
    RtspTestServerOptions options;
    options.address = address;
    options.key = key;
    options.slicedKeyframes = sliced;
    options.keyframeInterval = keyframeInterval;
    return server.start(options);
}

} // namespace Qurel::Test
