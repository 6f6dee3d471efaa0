#include "platform/gnome/GnomeShellWindows.h"

#include <stdexcept>

namespace platform::gnome {

void probeShellExtension(SessionFacts& facts)
{
    facts.gnomeExtensionError = "this build has no GNOME Shell support";
}

std::unique_ptr<TopLevelWindows> openShellWindows()
{
    throw std::runtime_error("this build has no GNOME Shell support");
}

} // namespace platform::gnome
