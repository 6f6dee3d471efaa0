#pragma once

#include <string_view>

// True when name occurs in the first 254 bytes of title, comparing bytes with
// only the ASCII letters a-z folded to upper case. An empty name matches nothing.
bool titleContains(std::string_view title, std::string_view name);
