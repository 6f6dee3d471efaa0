#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/WindowSourceChoice.h"

#include <memory>

namespace platform::wayland {

// Asks the compositor named by WAYLAND_DISPLAY for its globals, into facts
// (or says in facts.waylandError why it could not).
void probeCompositor(SessionFacts& facts);

// The windows as the compositor lists them, through the protocol of kind.
// Throws std::runtime_error when the compositor cannot be reached.
std::unique_ptr<TopLevelWindows> openCompositorWindows(WindowSourceKind kind);

} // namespace platform::wayland
