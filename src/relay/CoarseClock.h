// A monotonic clock read without the timer hardware (a few milliseconds fine): the relay asks
// for the time thousands of times a second, for deadlines that are seconds long.
#pragma once

#include <chrono>
#include <ctime>

namespace Qurel {

struct CoarseClock
{
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<CoarseClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept
    {
        timespec ts {};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
        return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
    }
};

} // namespace Qurel
