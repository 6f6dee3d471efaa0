#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Where the closing pass finds other programs' windows.
enum class WindowSourceKind {
    X11,                // the X server (XWayland in a Wayland session)
    WlrForeignToplevel, // zwlr_foreign_toplevel_manager_v1: sway, labwc, Wayfire, Hyprland
    KdePlasma,          // org_kde_plasma_window_management: KWin
    GnomeShell,         // Lurn's own GNOME Shell extension on the session bus
};

struct WaylandGlobal
{
    std::string interface;
    std::uint32_t version = 0;
};

// What the desktop session offers, found once at start.
struct SessionFacts
{
    bool waylandDisplaySet = false; // WAYLAND_DISPLAY names a compositor
    std::string desktop;            // XDG_CURRENT_DESKTOP, as it is
    // The compositor's globals; waylandError says why there are none when the
    // compositor could not be asked.
    std::vector<WaylandGlobal> waylandGlobals;
    std::string waylandError;
    // Lurn's GNOME Shell extension: whether it answered on the session bus,
    // and with which interface version (0 when it did not answer).
    bool gnomeExtensionFound = false;
    std::uint32_t gnomeExtensionVersion = 0;
    std::string gnomeExtensionError;
    // Why what answers there is not to be trusted (not GNOME Shell's own
    // name, or not the extension installed with Lurn); empty when it is.
    std::string gnomeExtensionDistrust;
};

struct WindowSourceChoice
{
    WindowSourceKind kind = WindowSourceKind::X11;
    // One line for standard error and the diagnostics: why this source.
    std::string why;
    // For the operator, once per start, when native Wayland programs are out
    // of reach (UTF-8, in the application's language); empty when all is well.
    std::string operatorNotice;
};

// The oldest protocol versions the sources work with.
inline constexpr std::uint32_t kWlrForeignToplevelMinVersion = 1;
inline constexpr std::uint32_t kKdePlasmaWindowManagementMinVersion = 1;
// The interface version of the GNOME Shell extension this program speaks.
inline constexpr std::uint32_t kGnomeExtensionVersion = 1;
inline constexpr const char* kGnomeExtensionUuid = "lurn-windows@lurn";

// Chooses once, from what the session offers. readmePath names the document
// that explains what to do when native Wayland programs cannot be reached.
WindowSourceChoice chooseWindowSource(const SessionFacts& facts, const std::string& readmePath);

// "x11", "wlr-foreign-toplevel", "kde-plasma-window-management", "gnome-shell".
const char* windowSourceName(WindowSourceKind kind);

// Several lines for `lurn --diagnose`: the source, why, and what was found.
std::string describeSession(const SessionFacts& facts, const WindowSourceChoice& choice);

} // namespace platform
