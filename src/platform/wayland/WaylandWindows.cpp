#include "platform/wayland/WaylandWindows.h"

#include "platform/wayland/KWinTopLevelWindows.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WlrTopLevelWindows.h"

#include <exception>
#include <stdexcept>

namespace platform::wayland {

void probeCompositor(SessionFacts& facts)
{
    try {
        const WaylandConnection connection;
        for (const Global& g : connection.globals())
            facts.waylandGlobals.push_back({g.interface, g.version});
    } catch (const std::exception& e) {
        facts.waylandError = e.what();
    }
}

std::unique_ptr<TopLevelWindows> openCompositorWindows(WindowSourceKind kind)
{
    switch (kind) {
    case WindowSourceKind::WlrForeignToplevel:
        return std::make_unique<WlrTopLevelWindows>(std::make_unique<WaylandConnection>());
    case WindowSourceKind::KdePlasma:
        return std::make_unique<KWinTopLevelWindows>(std::make_unique<WaylandConnection>());
    case WindowSourceKind::X11:
    case WindowSourceKind::GnomeShell:
        break;
    }
    throw std::logic_error("not a compositor's window source");
}

} // namespace platform::wayland
