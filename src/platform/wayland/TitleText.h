#pragma once

#include <string>
#include <string_view>

namespace platform::wayland {

// A window title as a compositor sent it, made fit for the closing pass:
// valid UTF-8 (each byte that does not belong to a well-formed character
// becomes U+FFFD) and at most TopLevelWindows::kMaxTitleBytes bytes, cut at
// the end of a character. Compositors pass on whatever their clients set, and
// not every client sets UTF-8.
std::string repairedTitle(std::string_view raw);

} // namespace platform::wayland
