// Feeds arbitrary bytes to parseInteger and compares every answer with a
// second conversion written the most obvious way, with the standard library
// doing the arithmetic, so that the two share no code and no cleverness.
#include "rules/IntegerText.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

bool allOf(const std::string& text, auto test)
{
    for (char c : text)
        if (!test(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool isHexDigit(unsigned char c)
{
    return std::isxdigit(c) != 0;
}

bool isDecimalDigit(unsigned char c)
{
    return std::isdigit(c) != 0;
}

std::optional<std::int32_t> referenceParse(std::string text)
{
    while (!text.empty() && text[0] == ' ')
        text.erase(0, 1);
    if (text.empty())
        return std::nullopt;

    std::string digits;
    bool hex = false;
    if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
        hex = true;
        digits = text.substr(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        digits = text.substr(2);
    }
    if (hex) {
        if (digits.empty() || digits.size() > 8 || !allOf(digits, isHexDigit))
            return std::nullopt;
        const unsigned long long pattern = std::stoull(digits, nullptr, 16);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(pattern));
    }

    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        text.erase(0, 1);
    }
    if (text.empty() || !allOf(text, isDecimalDigit))
        return std::nullopt;
    while (text.size() > 1 && text[0] == '0')
        text.erase(0, 1);
    if (text.size() > 10)
        return std::nullopt;
    long long value = std::stoll(text);
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> actual = parseInteger(text);
    const std::optional<std::int32_t> expected = referenceParse(text);
    if (actual != expected)
        std::abort();
    return 0;
}
