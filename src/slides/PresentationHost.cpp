#include "PresentationHost.h"

#include "UnoPresentationHost.h"

namespace Qurel {

PresentationError::PresentationError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace {
    PresentationHostFactory &factory()
    {
        static PresentationHostFactory f;
        return f;
    }
} // namespace

std::unique_ptr<PresentationHost> CreatePresentationHost(HostUse use)
{
    if (factory())
        return factory()(use);
    return std::make_unique<UnoPresentationHost>(use);
}

void SetPresentationHostFactory(PresentationHostFactory f)
{
    factory() = std::move(f);
}

} // namespace Qurel
