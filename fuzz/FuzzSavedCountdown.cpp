// The kept countdown's file as any bytes at all: it comes from the disk,
// where a torn write, another version or a hand edit may leave anything.
// Whatever parses must format back to itself, and taking it up must stay
// defined at any clock reading.
#include "rules/SavedCountdown.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The file's own seal (64-bit FNV-1a over everything before its last line),
// so that the fuzzer also reaches the entries behind it.
std::string sealed(std::string_view body)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char sum[17];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(body) + "checksum=" + sum + "\n";
}

} // namespace

// The first byte chooses: odd, the rest is a body that gets its right seal;
// even, the rest is the file as it is.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view raw(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string text = (data[0] & 1) ? sealed(raw) : std::string(raw);
    std::string why;
    const std::optional<SavedCountdown> saved = parseSavedCountdown(text, why);
    if (!saved) {
        if (why.empty())
            std::abort(); // a refusal always says why
        return 0;
    }
    const std::string again = formatSavedCountdown(*saved);
    std::string whyAgain;
    const std::optional<SavedCountdown> reparsed = parseSavedCountdown(again, whyAgain);
    if (!reparsed || formatSavedCountdown(*reparsed) != again)
        std::abort();

    // As far from now as a clock could ever read: ten thousand years.
    constexpr std::int64_t big = 10000LL * 366 * 86'400'000;
    for (const ClockReading& now :
         {ClockReading{saved->bootId, saved->seenBootMs, saved->seenUtcMs},
          ClockReading{"another boot", 0, saved->seenUtcMs + 1},
          ClockReading{saved->bootId, big, big}, ClockReading{"", -big, -big}}) {
        const ResumePlan plan = planResume(*saved, now);
        if (plan.verdict != ResumeVerdict::Stale && plan.verdict != ResumeVerdict::FromTheFuture &&
            plan.elapsedMs < 0)
            std::abort();
        (void)firstTickDelayMs(plan.elapsedMs, 1000, 20);
    }
    return 0;
}
