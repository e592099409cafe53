// Placeholder relay: initialisation works, recording is not available yet.
#include "zelmicro.h"

namespace {
bool g_initialised = false;
}

int32_t zms32Init(int32_t, int32_t, int32_t)
{
    if (g_initialised)
        return 1;
    g_initialised = true;
    return 0;
}

int32_t zms32Uninit(void)
{
    if (!g_initialised)
        return 1;
    g_initialised = false;
    return 0;
}

int32_t zms32CreateDispatchStream(int32_t, const void *) { return -1; }
int32_t zms32StartDispatchStreamRecord(int32_t) { return -1; }
int32_t zms32DestroyDispatchStream(int32_t) { return -1; }
int32_t zms32StopDispatchStreamRecord(int32_t) { return -1; }
