#pragma once

#include <QDBusConnection>

#include <string>

namespace platform::gnome {

// Lurn's extensions, one per generation of GNOME Shell (43-44, 45-49); a
// shell loads at most the one that names its version.
inline constexpr const char* kGnomeExtensionUuids[] = {"lurn-windows@lurn", "lurn-windows-45@lurn"};

// Why the answers on org.lurn.WindowControl must not be trusted, or empty when
// they may: the name must be owned by GNOME Shell itself (any program of the
// session could own it otherwise), and every extension of Lurn's the shell
// knows must be a system one, from the folder this program installs it in (a
// user's own copy with the same uuid takes the system one's place, and could
// answer that there are no windows; one of the other generation's uuid,
// declaring this shell's version, runs beside the installed one). At least
// one must be enabled. Asks the shell on bus; a shell that does not answer
// within two seconds counts as not trusted.
std::string shellExtensionDistrust(QDBusConnection& bus);

} // namespace platform::gnome
