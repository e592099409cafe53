#include "OfficeProfile.h"

namespace Qurel {

namespace {
    OfficeProfile &profile()
    {
        static OfficeProfile p;
        return p;
    }
} // namespace

OfficeProfile CurrentOfficeProfile()
{
    return profile();
}

void SetOfficeProfile(const OfficeProfile &p)
{
    profile() = p;
}

} // namespace Qurel
