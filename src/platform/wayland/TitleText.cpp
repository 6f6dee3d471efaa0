#include "platform/wayland/TitleText.h"

#include "platform/TopLevelWindows.h"

#include <algorithm>

namespace platform::wayland {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed character at the start of s, or 0 (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t characterLength(std::string_view s)
{
    const auto c0 = static_cast<unsigned char>(s[0]);
    if (c0 < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (c0 >= 0xC2 && c0 <= 0xDF) {
        length = 2;
    } else if (c0 >= 0xE0 && c0 <= 0xEF) {
        length = 3;
        if (c0 == 0xE0)
            low = 0xA0;
        else if (c0 == 0xED)
            high = 0x9F;
    } else if (c0 >= 0xF0 && c0 <= 0xF4) {
        length = 4;
        if (c0 == 0xF0)
            low = 0x90;
        else if (c0 == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length)
        return 0;
    const auto c1 = static_cast<unsigned char>(s[1]);
    if (c1 < low || c1 > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(static_cast<unsigned char>(s[i])))
            return 0;
    return length;
}

} // namespace

std::string repairedTitle(std::string_view raw)
{
    constexpr std::size_t limit = TopLevelWindows::kMaxTitleBytes;
    std::string out;
    out.reserve(std::min(raw.size(), limit));
    while (!raw.empty()) {
        const std::size_t length = characterLength(raw);
        const std::string_view piece = length ? raw.substr(0, length) : kReplacement;
        if (out.size() + piece.size() > limit)
            break;
        out += piece;
        raw.remove_prefix(length ? length : 1);
    }
    return out;
}

} // namespace platform::wayland
