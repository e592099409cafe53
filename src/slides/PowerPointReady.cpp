#include "PowerPointReady.h"

#include "PresentationHost.h"

bool IsPowerPointReady()
{
    try {
        const auto host = Qurel::CreatePresentationHost(Qurel::HostUse::Edit);
        host->connect();
        host->disconnect();
        return true;
    } catch (const Qurel::PresentationError &) {
        return false;
    }
}
