#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/WindowSourceChoice.h"

#include <memory>

namespace platform::gnome {

// Looks for Lurn's GNOME Shell extension on the session bus, into facts.
void probeShellExtension(SessionFacts& facts);

// The windows as GNOME Shell lists them, through the extension. Throws
// std::runtime_error when the extension cannot be reached.
std::unique_ptr<TopLevelWindows> openShellWindows();

} // namespace platform::gnome
