#include "VlcCheck.h"

#include <vlc/vlc.h>

#include <iterator>
#include <memory>

namespace Qurel {

bool IsVlcInstalled()
{
    const char *const args[] = { "--quiet", "--no-video-title-show" };
    std::unique_ptr<libvlc_instance_t, decltype(&libvlc_release)> instance(
        libvlc_new(static_cast<int>(std::size(args)), args), &libvlc_release);
    return instance != nullptr;
}

} // namespace Qurel
