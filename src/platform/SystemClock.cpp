#include "platform/SystemClock.h"

#include <QDateTime>

#include <cstdio>
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

std::string SystemClock::bootId() const
{
    // A random UUID the kernel makes at every boot; it stays for the life of
    // the process, so it is read once.
    static const std::string id = [] {
        std::string text;
        if (std::FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
            char buffer[64] = {};
            if (std::fgets(buffer, sizeof buffer, f))
                text = buffer;
            std::fclose(f);
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }();
    return id;
}

} // namespace platform
