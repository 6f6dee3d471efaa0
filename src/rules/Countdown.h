#pragma once

#include "rules/DayFraction.h"

#include <cstdint>
#include <string>

// The numbers of the running (or last) countdown. The field checks write the
// limits, the warning lead and the rates; starting a countdown writes the
// start and arms the warning.
struct CountdownState
{
    DayFraction CountdownStart = 0.0;
    std::int32_t LimitHours = 0;
    std::int32_t LimitMinutes = 0;
    std::int32_t LimitSeconds = 0;
    std::int32_t WarnMinutes = 0;
    std::int32_t Rate1 = 0;
    std::int32_t Rate2 = 0;
    bool WarningPending = false;
};

// now - CountdownStart.
DayFraction countdownElapsed(const CountdownState& state, DayFraction now);
// The countdown's length: hours, minutes and seconds as a day fraction.
DayFraction countdownLimit(const CountdownState& state);
// The hourly rate in force: Rate2 when the second rate is selected.
std::int32_t countdownRate(const CountdownState& state, bool secondRate);
// The cost so far, elapsed x 24 x rate, as a whole number, halves away from zero.
std::string costText(DayFraction elapsed, std::int32_t rate);
// True once the countdown has run its length.
bool countdownEnded(DayFraction elapsed, DayFraction limit);
// True when the armed warning is due: elapsed >= limit - WarnMinutes minutes.
bool warningDue(const CountdownState& state, DayFraction elapsed, DayFraction limit);
// limit - elapsed as "h:m:s" without leading zeros (0:4:58): milliseconds
// rounded to nearest (ties to even), absolute value, modulo one day, seconds
// truncated.
std::string remainingText(DayFraction remaining);
