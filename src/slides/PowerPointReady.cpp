#include "PowerPointReady.h"

#include "PresentationHost.h"

bool IsPowerPointReady()
{
    // An office that did not answer was ended; a fresh one is tried once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            const auto host = Qurel::CreatePresentationHost(Qurel::HostUse::Edit);
            host->connect();
            host->disconnect();
            return true;
        } catch (const Qurel::PresentationError &e) {
            if (e.failure() != Qurel::PresentationFailure::NoAnswer)
                return false;
        }
    }
    return false;
}
