#pragma once

#include "platform/Clock.h"

namespace platform {

// CLOCK_BOOTTIME for elapsed time, the system's wall clock for dates.
class SystemClock final : public Clock
{
public:
    DayFraction now() const override;
    std::int64_t utcMs() const override;
    // The kernel's boot id, read once.
    std::string bootId() const override;
};

} // namespace platform
