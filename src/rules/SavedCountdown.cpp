#include "rules/SavedCountdown.h"

#include "rules/KeyScramble.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

namespace {

constexpr std::string_view kHeader = "lurn-countdown 1";
constexpr std::string_view kHeaderWord = "lurn-countdown ";
constexpr std::string_view kChecksumKey = "checksum=";

// Clock readings in milliseconds: far beyond any real reading, small enough
// that differences of two cannot overflow.
constexpr std::int64_t kMaxMs = 1'000'000'000'000'000LL;
// A field's text: QLineEdit's own limit.
constexpr std::size_t kMaxTextBytes = 32767;
// As many names as the settings file ever loads.
constexpr std::int64_t kMaxNames = 10000;
// Far more orders than a countdown keeps (the keeper bounds its list).
constexpr std::size_t kMaxOrders = 1000;

// 64-bit FNV-1a: enough to tell a damaged file from a whole one.
std::uint64_t checksum(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string hex64(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Texts keep one entry to a line and survive any byte: everything outside
// printable ASCII, and "%" itself, as %XX.
std::string encode(std::string_view text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '%') {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0xF];
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> decode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte <= 0x20 || byte >= 0x7F)
            return std::nullopt;
        if (byte != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}

std::optional<std::int64_t> decimal(std::string_view text)
{
    // Plain digits with an optional minus: no "+", no blanks, no leading zeros
    // beyond a lone "0".
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 19 ||
        (text[digits] == '0' && text.size() > digits + 1))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string durationText(std::int64_t ms)
{
    const std::int64_t minutes = ms / 60'000;
    if (minutes >= 120)
        return std::to_string(minutes / 60) + " h";
    if (minutes >= 1)
        return std::to_string(minutes) + " min";
    return std::to_string(ms / 1000) + " s";
}

// The entries of a file, each read once and checked as it is taken.
class Entries final
{
public:
    // Fills the map; false with why on a malformed or repeated line.
    bool read(std::string_view body, std::string& why)
    {
        while (!body.empty()) {
            const std::size_t eol = body.find('\n');
            if (eol == std::string_view::npos) {
                why = "a line is not complete";
                return false;
            }
            const std::string_view line = body.substr(0, eol);
            body.remove_prefix(eol + 1);
            const std::size_t equals = line.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                why = "a line is not an entry";
                return false;
            }
            const std::string key(line.substr(0, equals));
            const std::string_view value = line.substr(equals + 1);
            if (key == "name") {
                m_names.push_back(value);
            } else if (key == "order") {
                m_orders.push_back(value);
            } else if (!m_entries.emplace(key, value).second) {
                why = "the entry \"" + key + "\" is there twice";
                return false;
            }
        }
        return true;
    }

    // Each take removes the entry; a missing or bad one sets why.
    bool integer(const char* key, std::int64_t min, std::int64_t max, std::int64_t& out)
    {
        const auto raw = take(key);
        if (!raw)
            return false;
        const auto value = decimal(*raw);
        if (!value || *value < min || *value > max)
            return fail(std::string("the entry \"") + key + "\" is not a number from " +
                        std::to_string(min) + " to " + std::to_string(max));
        out = *value;
        return true;
    }

    bool integer32(const char* key, std::int32_t min, std::int32_t max, std::int32_t& out)
    {
        std::int64_t value = 0;
        if (!integer(key, min, max, value))
            return false;
        out = static_cast<std::int32_t>(value);
        return true;
    }

    bool flag(const char* key, bool& out)
    {
        std::int64_t value = 0;
        if (!integer(key, 0, 1, value))
            return false;
        out = value == 1;
        return true;
    }

    bool text(const char* key, std::string& out)
    {
        const auto raw = take(key);
        if (!raw)
            return false;
        return decodeInto(key, *raw, out);
    }

    bool names(std::int64_t count, std::vector<std::string>& out)
    {
        if (std::int64_t(m_names.size()) != count)
            return fail("the list of programs holds " + std::to_string(m_names.size()) +
                        " names where it says " + std::to_string(count));
        for (const std::string_view raw : m_names) {
            out.emplace_back();
            if (!decodeInto("name", raw, out.back()))
                return false;
        }
        return true;
    }

    // Each "order=<id> <done|refused> <expires-utc-ms> <answer>", its texts
    // encoded (so without blanks); none at all in a state written before
    // orders were kept.
    bool orders(std::vector<KeptOrder>& out)
    {
        if (m_orders.size() > kMaxOrders)
            return fail("it keeps " + std::to_string(m_orders.size()) + " orders, more than " +
                        std::to_string(kMaxOrders));
        for (std::string_view raw : m_orders) {
            std::string_view parts[4];
            for (int i = 0; i < 3; ++i) {
                const std::size_t blank = raw.find(' ');
                if (blank == std::string_view::npos)
                    return fail("an order is not complete");
                parts[i] = raw.substr(0, blank);
                raw.remove_prefix(blank + 1);
            }
            parts[3] = raw;
            KeptOrder order;
            const std::optional<std::int64_t> expires = decimal(parts[2]);
            if (!decodeInto("order", parts[0], order.id) || order.id.empty() ||
                (parts[1] != "done" && parts[1] != "refused") || !expires || *expires < -kMaxMs ||
                *expires > kMaxMs || !decodeInto("order", parts[3], order.answer))
                return fail("the entry \"order\" is not a valid order");
            order.done = parts[1] == "done";
            order.expiresUtcMs = *expires;
            out.push_back(std::move(order));
        }
        return true;
    }

    // After every take: nothing may be left over.
    bool allTaken()
    {
        if (m_entries.empty())
            return true;
        return fail("the entry \"" + m_entries.begin()->first + "\" is not known");
    }

    std::string why;

private:
    std::optional<std::string_view> take(const char* key)
    {
        const auto found = m_entries.find(key);
        if (found == m_entries.end()) {
            fail(std::string("the entry \"") + key + "\" is missing");
            return std::nullopt;
        }
        const std::string_view value = found->second;
        m_entries.erase(found);
        return value;
    }

    bool decodeInto(const char* key, std::string_view raw, std::string& out)
    {
        auto value = decode(raw);
        if (!value || value->size() > kMaxTextBytes)
            return fail(std::string("the entry \"") + key + "\" is not a valid text");
        out = std::move(*value);
        return true;
    }

    bool fail(std::string reason)
    {
        if (why.empty())
            why = std::move(reason);
        return false;
    }

    std::map<std::string, std::string_view> m_entries;
    std::vector<std::string_view> m_names;
    std::vector<std::string_view> m_orders;
};

} // namespace

std::string formatSavedCountdown(const SavedCountdown& s)
{
    std::string body;
    body.reserve(512);
    const auto line = [&](const char* key, const std::string& value) {
        body.append(key).append("=").append(value).append("\n");
    };
    const auto number = [&](const char* key, std::int64_t value) {
        line(key, std::to_string(value));
    };
    body.append(kHeader).append("\n");
    line("id", encode(s.id));
    number("running", s.running);
    number("locked", s.locked);
    line("boot-id", encode(s.bootId));
    number("start-boot-ms", s.startBootMs);
    number("start-utc-ms", s.startUtcMs);
    number("seen-boot-ms", s.seenBootMs);
    number("seen-utc-ms", s.seenUtcMs);
    number("hours", s.hours);
    number("minutes", s.minutes);
    number("seconds", s.seconds);
    number("warn-minutes", s.warnMinutes);
    number("warning-pending", s.warningPending);
    number("rate1", s.rate1);
    number("rate2", s.rate2);
    number("second-rate", s.secondRate);
    number("show-time", s.showTime);
    line("hours-text", encode(s.hoursText));
    line("minutes-text", encode(s.minutesText));
    line("seconds-text", encode(s.secondsText));
    line("warn-text", encode(s.warnText));
    line("rate1-text", encode(s.rate1Text));
    line("rate2-text", encode(s.rate2Text));
    line("cost-text", encode(s.costText));
    line("title", encode(s.title));
    // Scrambled as in the settings file: not in plain sight.
    line("password", encode(ScrambleKey(s.password)));
    number("names", std::int64_t(s.names.size()));
    for (const std::string& name : s.names)
        line("name", encode(name));
    for (const KeptOrder& order : s.orders)
        line("order", encode(order.id) + (order.done ? " done " : " refused ") +
                          std::to_string(order.expiresUtcMs) + " " + encode(order.answer));
    const std::string sum = hex64(checksum(body));
    body.append(kChecksumKey).append(sum).append("\n");
    return body;
}

std::optional<SavedCountdown> parseSavedCountdown(std::string_view text, std::string& why)
{
    if (text.empty()) {
        why = "the file is empty";
        return std::nullopt;
    }
    const std::string_view header = text.substr(0, text.find('\n'));
    if (header != kHeader) {
        why = header.substr(0, kHeaderWord.size()) == kHeaderWord
                  ? "its format (" + std::string(header.substr(kHeaderWord.size(), 20)) +
                        ") is not one this version of Lurn reads"
                  : "it is not a Lurn countdown state";
        return std::nullopt;
    }
    // The checksum line comes last and ends the file: without it the write
    // that made the file did not finish.
    const std::size_t last = text.size() >= 2 ? text.rfind('\n', text.size() - 2) : 0;
    if (text.back() != '\n' || last == std::string_view::npos ||
        text.substr(last + 1, kChecksumKey.size()) != kChecksumKey) {
        why = "it is incomplete (torn)";
        return std::nullopt;
    }
    const std::string_view body = text.substr(0, last + 1);
    const std::string_view stored =
        text.substr(last + 1 + kChecksumKey.size(), text.size() - last - 2 - kChecksumKey.size());
    if (stored != hex64(checksum(body))) {
        why = "its checksum does not match its contents (damaged or torn)";
        return std::nullopt;
    }

    Entries entries;
    if (!entries.read(body.substr(header.size() + 1), why))
        return std::nullopt;
    SavedCountdown s;
    std::int64_t nameCount = 0;
    const bool ok =
        entries.text("id", s.id) && entries.flag("running", s.running) &&
        entries.flag("locked", s.locked) && entries.text("boot-id", s.bootId) &&
        entries.integer("start-boot-ms", -kMaxMs, kMaxMs, s.startBootMs) &&
        entries.integer("start-utc-ms", -kMaxMs, kMaxMs, s.startUtcMs) &&
        entries.integer("seen-boot-ms", -kMaxMs, kMaxMs, s.seenBootMs) &&
        entries.integer("seen-utc-ms", -kMaxMs, kMaxMs, s.seenUtcMs) &&
        entries.integer32("hours", 0, 23, s.hours) &&
        entries.integer32("minutes", 0, 59, s.minutes) &&
        entries.integer32("seconds", 0, 59, s.seconds) &&
        entries.integer32("warn-minutes", 0, 59, s.warnMinutes) &&
        entries.flag("warning-pending", s.warningPending) &&
        entries.integer32("rate1", 1, 100000, s.rate1) &&
        entries.integer32("rate2", 1, 100000, s.rate2) &&
        entries.flag("second-rate", s.secondRate) && entries.flag("show-time", s.showTime) &&
        entries.text("hours-text", s.hoursText) && entries.text("minutes-text", s.minutesText) &&
        entries.text("seconds-text", s.secondsText) && entries.text("warn-text", s.warnText) &&
        entries.text("rate1-text", s.rate1Text) && entries.text("rate2-text", s.rate2Text) &&
        entries.text("cost-text", s.costText) && entries.text("title", s.title) &&
        entries.text("password", s.password) && entries.integer("names", 0, kMaxNames, nameCount) &&
        entries.names(nameCount, s.names) && entries.orders(s.orders) && entries.allTaken();
    if (!ok) {
        why = entries.why;
        return std::nullopt;
    }
    s.password = UnscrambleKey(s.password);
    if (s.id.empty()) {
        why = "the countdown has no identity";
        return std::nullopt;
    }
    if (!s.running && !s.locked) {
        why = "it holds neither a running countdown nor a lock";
        return std::nullopt;
    }
    if (s.seenBootMs < s.startBootMs) {
        why = "it was written before its countdown started";
        return std::nullopt;
    }
    return s;
}

ResumePlan planResume(const SavedCountdown& saved, const ClockReading& now, std::int64_t lifetimeMs)
{
    ResumePlan plan;
    plan.sameBoot = !saved.bootId.empty() && saved.bootId == now.bootId;
    std::int64_t sinceSeen = 0;
    if (plan.sameBoot) {
        // This boot's elapsed-time clock: whatever the wall clock did
        // meanwhile, it does not count.
        sinceSeen = now.bootMs - saved.seenBootMs;
        plan.elapsedMs = now.bootMs - saved.startBootMs;
    } else {
        // The machine was started again: up to the last save its own clock
        // counted, since then only the wall clock can tell.
        sinceSeen = now.utcMs - saved.seenUtcMs;
        plan.elapsedMs = saved.elapsedAtSeenMs() + sinceSeen;
    }
    if (sinceSeen < 0 && !plan.sameBoot) {
        // A countdown that was running or locked is never dropped for a
        // clock that is wrong: that would be free time.
        plan.verdict = ResumeVerdict::ResumeOffTimeUnknown;
        plan.elapsedMs = saved.elapsedAtSeenMs();
        plan.why = "the wall clock stands " + durationText(-sinceSeen) +
                   " behind its last save; the time the computer was off is not counted";
    } else if (sinceSeen < 0) {
        plan.verdict = ResumeVerdict::FromTheFuture;
        plan.why = "it was written " + durationText(-sinceSeen) + " later than now, by " +
                   (plan.sameBoot ? "this boot's clock" : "the wall clock");
    } else if (sinceSeen > lifetimeMs && !plan.sameBoot) {
        // A day by the wall clock since the last save: the clock was set
        // wrong, or the PC was off that long. Either way the countdown's end
        // has passed by it; never dropped, which would leave the PC free.
        plan.verdict = ResumeVerdict::EndedClockAhead;
        plan.elapsedMs = saved.elapsedAtSeenMs() + lifetimeMs;
        plan.why = "the wall clock stands " + durationText(sinceSeen) +
                   " past its last save, more than " + durationText(lifetimeMs) +
                   "; the countdown has ended by it";
    } else if (sinceSeen > lifetimeMs) {
        plan.verdict = ResumeVerdict::Stale;
        plan.why = "it was last written " + durationText(sinceSeen) + " ago, more than " +
                   durationText(lifetimeMs);
    }
    return plan;
}

std::int64_t firstTickDelayMs(std::int64_t elapsedMs, std::int64_t intervalMs, std::int64_t lateMs)
{
    if (intervalMs <= 0)
        return lateMs;
    // The next whole interval k (never before the first) at which a tick is
    // due, lateMs after it.
    std::int64_t k = 1;
    if (elapsedMs - lateMs >= 0)
        k = std::max<std::int64_t>(1, (elapsedMs - lateMs) / intervalMs + 1);
    return k * intervalMs + lateMs - elapsedMs;
}
