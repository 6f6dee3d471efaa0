#include "platform/wayland/WaylandWindows.h"

#include <stdexcept>

namespace platform::wayland {

void probeCompositor(SessionFacts& facts)
{
    facts.waylandError = "this build has no Wayland support";
}

std::unique_ptr<TopLevelWindows> openCompositorWindows(WindowSourceKind)
{
    throw std::runtime_error("this build has no Wayland support");
}

} // namespace platform::wayland
