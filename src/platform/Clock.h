#pragma once

#include "rules/DayFraction.h"

#include <cstdint>
#include <string>

namespace platform {

// The two clocks the program reads. Elapsed time is measured on one that only
// moves forward and goes on while the machine sleeps, so that neither a change
// of the local time (daylight saving, an administrator, NTP) nor a suspend
// bends a countdown; the wall clock is only for dates.
class Clock
{
public:
    virtual ~Clock() = default;
    // A reading for measuring elapsed time, in days, to the millisecond. Its
    // zero means nothing (the machine's start): only differences count.
    virtual DayFraction now() const = 0;
    // The wall clock: milliseconds since 1970-01-01 00:00 UTC.
    virtual std::int64_t utcMs() const = 0;
    // Names the boot whose start now() counts from: two readings of now()
    // can be compared only when they carry the same boot id. Empty when it
    // cannot be told.
    virtual std::string bootId() const { return {}; }
};

} // namespace platform
