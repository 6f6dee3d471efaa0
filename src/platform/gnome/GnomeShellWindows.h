#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/WindowSourceChoice.h"
#include "platform/gnome/ShellExtensionBus.h"

#include <memory>

namespace platform::gnome {

// Looks for Lurn's GNOME Shell extension on the session bus and asks its
// interface version, into facts; a shell that does not answer within a
// couple of seconds counts as without it.
void probeShellExtension(SessionFacts& facts);

// Every window GNOME Shell manages, native Wayland and XWayland alike, topmost
// first, through the extension: one call lists them, one asks a pass's
// windows to close. Nothing is opened here; the first use connects to the
// session bus, on the thread that uses it (the closing worker's). A shell or
// bus that does not answer within timeoutMs makes the call throw
// std::runtime_error (the tests, which are about what the shell says rather
// than how fast, give a loaded machine more).
std::unique_ptr<TopLevelWindows> openShellWindows(int timeoutMs = kShellCallTimeoutMs);

} // namespace platform::gnome
