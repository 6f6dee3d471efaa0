#pragma once

#include "rules/DayFraction.h"

namespace platform {

// The local wall clock, to the millisecond.
class Clock
{
public:
    virtual ~Clock() = default;
    // Now, as local date and time.
    virtual DayFraction now() const = 0;
};

} // namespace platform
