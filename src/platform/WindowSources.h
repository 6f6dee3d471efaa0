#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/WindowSourceChoice.h"

#include <memory>

namespace platform {

// The one place where the closing pass's window source is chosen.
struct WindowSource
{
    SessionFacts facts;
    WindowSourceChoice choice;
    std::unique_ptr<TopLevelWindows> windows;
};

// Looks at what the session offers (bounded in time: a compositor or a shell
// that does not answer counts as absent), chooses, and opens the source. A
// chosen source that fails to open falls back to X11, and the choice says why.
// Throws std::runtime_error only when not even the X display can be reached.
WindowSource openWindowSource();

// What the session offers, without opening anything (for --diagnose).
SessionFacts probeSession();

// Where the installed README explains the Wayland desktops.
std::string installedReadmePath();

} // namespace platform
