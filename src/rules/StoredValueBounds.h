#pragma once

#include <cstdint>

// What a sound station can have written in the server's tables. A station's
// role is only as secret as the customer's account it runs in, so anything
// outside these bounds is read as doubtful: shown as such and never added to
// the takings.

// A countdown is at most 23:59:59, however much time is added.
constexpr std::int64_t kMaxStoredSeconds = 23 * 3600 + 59 * 60 + 59;
// A day at the highest rate a station can be given (its rates are 32-bit);
// the sum of a day's sessions of every station stays far inside 64 bits.
constexpr std::int64_t kMaxStoredCost = 24 * std::int64_t(INT32_MAX);
// A row's end may lie at most this far ahead of the server's clock, and its
// last write at most a little (the station's and the server's clocks agree
// through now(), but a write may land while the counter reads).
constexpr std::int64_t kMaxEndAheadMs = (kMaxStoredSeconds + 60) * 1000;
constexpr std::int64_t kMaxWriteAheadMs = 60'000;

// a + b, held at the ends of 64 bits instead of wrapping.
constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}
