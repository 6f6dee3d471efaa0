#include "rules/IntegerText.h"

#include <cstdint>

namespace {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Length of the hexadecimal prefix at the start of text, 0 when there is none.
// "0x" wins over a plain "0", so "0x" alone is a prefix without digits.
std::size_t hexPrefixLength(std::string_view text)
{
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))
        return 1;
    if (text.starts_with("0x") || text.starts_with("0X"))
        return 2;
    return 0;
}

std::optional<std::int32_t> parseHex(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t pattern = 0;
    for (char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        pattern = pattern << 4 | static_cast<std::uint32_t>(digit);
    }
    // The digits are a bit pattern, not a magnitude: FFFFFFFF is -1.
    return static_cast<std::int32_t>(pattern);
}

std::optional<std::int32_t> parseDecimal(std::string_view text)
{
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    // One past the largest magnitude, so that the running value can never
    // overflow however many digits follow.
    constexpr std::int64_t kMagnitudeLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMagnitudeLimit)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::optional<std::int32_t> parseInteger(std::string_view text)
{
    const std::size_t firstNonBlank = text.find_first_not_of(' ');
    if (firstNonBlank == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(firstNonBlank);
    if (const std::size_t prefix = hexPrefixLength(text); prefix > 0)
        return parseHex(text.substr(prefix));
    return parseDecimal(text);
}

FieldCheck checkField(std::string_view text, std::int32_t min, std::int32_t max)
{
    const std::optional<std::int32_t> value = parseInteger(text);
    if (!value)
        return {FieldVerdict::InvalidNumber, 0};
    if (*value < min || *value > max)
        return {FieldVerdict::OutOfRange, *value};
    return {FieldVerdict::Accepted, *value};
}
