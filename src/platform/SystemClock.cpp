#include "platform/SystemClock.h"

#include <QDateTime>

#include <ctime>

namespace platform {

DayFraction SystemClock::now() const
{
    // CLOCK_BOOTTIME is CLOCK_MONOTONIC plus the time spent suspended: a
    // customer's time goes on while the machine sleeps.
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const std::int64_t ms = std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
    return double(ms) / kMillisecondsPerDay;
}

std::int64_t SystemClock::utcMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace platform
