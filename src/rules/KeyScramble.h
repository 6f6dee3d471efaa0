#pragma once

#include <string>
#include <string_view>

// The stored form of the password: bytes, each result taken modulo 256.
// ScrambleKey: L = last byte; out[i] = L + s[i] - i (i from 1).
// UnscrambleKey: k = (t[n] + n) div 2; out[i] = t[i] + i - k.
// Both return an empty text for an empty text.
std::string ScrambleKey(std::string_view plain);
std::string UnscrambleKey(std::string_view scrambled);

// True when the password comes back unchanged from its stored form.
bool KeyRoundTrips(std::string_view plain);
