#include "rules/KeyScramble.h"

namespace {

// Every step works on byte codes 0..255 whatever the signedness of char, and
// wraps modulo 256 through the conversion back to unsigned char.
unsigned code(char c)
{
    return static_cast<unsigned char>(c);
}

char byte(unsigned value)
{
    return static_cast<char>(static_cast<unsigned char>(value & 0xFFu));
}

} // namespace

std::string ScrambleKey(std::string_view plain)
{
    std::string out(plain.size(), '\0');
    if (plain.empty())
        return out;
    const unsigned last = code(plain.back());
    // Positions count from 1; unsigned wrap-around is the intended modulo.
    for (std::size_t i = 0; i < plain.size(); ++i)
        out[i] = byte(last + code(plain[i]) - static_cast<unsigned>(i + 1));
    return out;
}

std::string UnscrambleKey(std::string_view scrambled)
{
    std::string out(scrambled.size(), '\0');
    if (scrambled.empty())
        return out;
    // The length enters the key in full, not reduced to a byte first.
    const std::size_t k = (code(scrambled.back()) + scrambled.size()) / 2;
    for (std::size_t i = 0; i < scrambled.size(); ++i)
        out[i] = byte(static_cast<unsigned>(code(scrambled[i]) + (i + 1) - k));
    return out;
}

bool KeyRoundTrips(std::string_view plain)
{
    return UnscrambleKey(ScrambleKey(plain)) == plain;
}
