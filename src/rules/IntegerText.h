#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The whole text as one signed 32-bit integer, or nothing:
//  - leading blanks (space, code 32, only) are skipped;
//  - "$", "x", "X", "0x" or "0X" then 1 to 8 hexadecimal digits: a 32-bit
//    pattern, so FFFFFFFF is -1;
//  - otherwise an optional "+" or "-" directly followed by decimal digits,
//    within -2147483648 .. 2147483647;
//  - nothing may follow.
std::optional<std::int32_t> parseInteger(std::string_view text);

// The outcome of checking one numeric field of the main window.
enum class FieldVerdict { Accepted, InvalidNumber, OutOfRange };

struct FieldCheck
{
    FieldVerdict verdict = FieldVerdict::InvalidNumber;
    std::int32_t value = 0; // meaningful when Accepted
};

// Converts the text and checks it against min..max (inclusive). The caller
// turns an empty field into "0" first.
FieldCheck checkField(std::string_view text, std::int32_t min, std::int32_t max);
