#include "rules/Countdown.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kMsPerSecond = 1'000;
constexpr std::int64_t kMsPerMinute = 60'000;
constexpr std::int64_t kMsPerHour = 3'600'000;

DayFraction fromMilliseconds(std::int64_t ms)
{
    return static_cast<double>(ms) / kMillisecondsPerDay;
}

// Nearest integer, halves to the even neighbour, independent of the floating
// point environment's rounding mode.
double roundHalfToEven(double x)
{
    if (std::fabs(x - std::trunc(x)) == 0.5)
        return 2.0 * std::round(x / 2.0);
    return std::round(x);
}

} // namespace

DayFraction countdownElapsed(const CountdownState& state, DayFraction now)
{
    return now - state.CountdownStart;
}

DayFraction countdownLimit(const CountdownState& state)
{
    // Counted in 64 bits: the state may hold any 32-bit values, and the sum of
    // their milliseconds must not overflow before it becomes a day fraction.
    return fromMilliseconds(state.LimitHours * kMsPerHour + state.LimitMinutes * kMsPerMinute +
                            state.LimitSeconds * kMsPerSecond);
}

std::int32_t countdownRate(const CountdownState& state, bool secondRate)
{
    return secondRate ? state.Rate2 : state.Rate1;
}

std::string costText(DayFraction elapsed, std::int32_t rate)
{
    // std::round rounds halves away from zero; adding 0.0 turns -0 into +0 so
    // that a small negative cost shows as "0". The value stays a double all the
    // way to the text, so no finite cost is too large to show. A clock gone
    // wild enough to give no finite cost shows "0" rather than "inf" or "nan".
    const double cost = std::round(elapsed * 24.0 * rate) + 0.0;
    if (!std::isfinite(cost))
        return "0";
    // %.0f of the largest double is 309 digits.
    char text[320];
    const int length = std::snprintf(text, sizeof text, "%.0f", cost);
    return std::string(text, static_cast<std::size_t>(length));
}

bool countdownEnded(DayFraction elapsed, DayFraction limit)
{
    return elapsed >= limit;
}

bool warningDue(const CountdownState& state, DayFraction elapsed, DayFraction limit)
{
    const DayFraction lead = fromMilliseconds(state.WarnMinutes * kMsPerMinute);
    return state.WarningPending && elapsed >= limit - lead;
}

std::string remainingText(DayFraction remaining)
{
    const double totalMs = roundHalfToEven(remaining * kMillisecondsPerDay);
    // Nothing sensible to show for a clock gone wild; converting it would be
    // undefined.
    if (!std::isfinite(totalMs))
        return "0:0:0";
    // Reduce to one day while still a double: fmod is exact, and only then is
    // the value small enough to convert to an integer.
    const double dayMs = std::fmod(std::fabs(totalMs), kMillisecondsPerDay);
    const auto ms = static_cast<std::int64_t>(dayMs);
    const std::int64_t hours = ms / kMsPerHour;
    const std::int64_t minutes = ms / kMsPerMinute % 60;
    const std::int64_t seconds = ms % kMsPerMinute / kMsPerSecond;
    return std::to_string(hours) + ':' + std::to_string(minutes) + ':' + std::to_string(seconds);
}
