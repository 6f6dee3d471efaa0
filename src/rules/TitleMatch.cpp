#include "rules/TitleMatch.h"

#include <algorithm>
#include <cstddef>

namespace {

// Only what a 255-byte title buffer would hold takes part.
constexpr std::size_t kComparedTitleBytes = 254;

// Bytes outside a-z, the bytes of UTF-8 sequences included, stay as they are.
constexpr char foldAsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

} // namespace

bool titleContains(std::string_view title, std::string_view name)
{
    if (name.empty())
        return false;
    title = title.substr(0, std::min(title.size(), kComparedTitleBytes));
    if (name.size() > title.size())
        return false;
    const auto hit =
        std::search(title.begin(), title.end(), name.begin(), name.end(),
                    [](char t, char n) { return foldAsciiUpper(t) == foldAsciiUpper(n); });
    return hit != title.end();
}
