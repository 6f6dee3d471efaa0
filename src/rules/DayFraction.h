#pragma once

// Timestamps and durations are counted in days: 1.0 is 24 hours, one
// millisecond is 1/86'400'000. A timestamp is the local date and time as days
// since 30 December 1899, so differences between two readings of the local
// clock follow any change of that clock.
using DayFraction = double;

inline constexpr double kMillisecondsPerDay = 86'400'000.0;
