#include "platform/WindowSourceChoice.h"

#include <QCoreApplication>

#include <algorithm>

namespace platform {
namespace {

const WaylandGlobal* findGlobal(const SessionFacts& facts, const std::string& interface)
{
    const auto found = std::find_if(facts.waylandGlobals.begin(), facts.waylandGlobals.end(),
                                    [&](const WaylandGlobal& g) { return g.interface == interface; });
    return found == facts.waylandGlobals.end() ? nullptr : &*found;
}

bool desktopIs(const SessionFacts& facts, const std::string& name)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list ("ubuntu:GNOME").
    std::size_t from = 0;
    while (from <= facts.desktop.size()) {
        const std::size_t colon = std::min(facts.desktop.find(':', from), facts.desktop.size());
        if (facts.desktop.compare(from, colon - from, name) == 0)
            return true;
        from = colon + 1;
    }
    return false;
}

std::string versionText(std::uint32_t v)
{
    return std::to_string(v);
}

} // namespace

WindowSourceChoice chooseWindowSource(const SessionFacts& facts, const std::string& readmePath)
{
    WindowSourceChoice choice;
    if (!facts.waylandDisplaySet) {
        choice.why = "no Wayland session (WAYLAND_DISPLAY is not set): X11 windows";
        return choice;
    }

    // GNOME Shell lists its XWayland windows too, so the extension is the only
    // source then and no window is asked twice.
    if (facts.gnomeExtensionFound && facts.gnomeExtensionDistrust.empty() &&
        facts.gnomeExtensionVersion == kGnomeExtensionVersion) {
        choice.kind = WindowSourceKind::GnomeShell;
        choice.why = "GNOME Shell extension " + std::string(kGnomeExtensionUuid) +
                     " answers on the session bus: native Wayland and XWayland windows";
        return choice;
    }
    // Both compositor protocols list the XWayland windows as well.
    if (const WaylandGlobal* g = findGlobal(facts, "zwlr_foreign_toplevel_manager_v1");
        g && g->version >= kWlrForeignToplevelMinVersion) {
        choice.kind = WindowSourceKind::WlrForeignToplevel;
        choice.why = "the compositor offers zwlr_foreign_toplevel_manager_v1 version " +
                     versionText(g->version) + ": native Wayland and XWayland windows, in the "
                                               "compositor's list order";
        return choice;
    }
    if (const WaylandGlobal* g = findGlobal(facts, "org_kde_plasma_window_management");
        g && g->version >= kKdePlasmaWindowManagementMinVersion) {
        choice.kind = WindowSourceKind::KdePlasma;
        choice.why = "the compositor offers org_kde_plasma_window_management version " +
                     versionText(g->version) + ": native Wayland and XWayland windows, topmost first";
        return choice;
    }

    // Only the X11 windows (through XWayland) are within reach.
    // The operator's language, with the README's place and the extension's
    // name filled in.
    const auto notice = [&readmePath](const char* text) {
        return QCoreApplication::translate("WindowSourceChoice", text)
            .replace(QLatin1String("%2"), QLatin1String(kGnomeExtensionUuid))
            .arg(QString::fromStdString(readmePath))
            .toStdString();
    };
    if (facts.gnomeExtensionFound && !facts.gnomeExtensionDistrust.empty()) {
        choice.why = "the GNOME Shell extension is not trusted (" +
                     facts.gnomeExtensionDistrust + "): X11 windows only";
        choice.operatorNotice = notice(QT_TRANSLATE_NOOP(
            "WindowSourceChoice",
            "Lo que responde en el bus de la sesión como extensión de GNOME Shell de Lurn no es "
            "la extensión instalada con Lurn (puede ser una copia del usuario, en "
            "~/.local/share/gnome-shell/extensions, o de otro programa): al acabar el tiempo "
            "solo se cerrarán los programas X11, no los programas Wayland nativos. Borre la "
            "copia del usuario, salga de la sesión y vuelva a entrar. Vea «GNOME Shell» en "
            "%1."));
    } else if (facts.gnomeExtensionFound) {
        choice.why = "the GNOME Shell extension answers with interface version " +
                     versionText(facts.gnomeExtensionVersion) + ", this program speaks version " +
                     versionText(kGnomeExtensionVersion) + ": X11 windows only";
        choice.operatorNotice = notice(QT_TRANSLATE_NOOP(
            "WindowSourceChoice",
            "La extensión de GNOME Shell de Lurn instalada no es de esta versión de Lurn: "
            "al acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland "
            "nativos. Instale la misma versión de Lurn y de su extensión y vuelva a entrar en "
            "la sesión. Vea «GNOME Shell» en %1."));
    } else if (desktopIs(facts, "GNOME")) {
        choice.why = "GNOME session without the GNOME Shell extension " +
                     std::string(kGnomeExtensionUuid) +
                     (facts.gnomeExtensionError.empty() ? std::string()
                                                        : " (" + facts.gnomeExtensionError + ")") +
                     ": X11 windows only";
        choice.operatorNotice = notice(QT_TRANSLATE_NOOP(
            "WindowSourceChoice",
            "En GNOME, Lurn solo puede cerrar los programas Wayland nativos con su extensión "
            "de GNOME Shell, que no está activa: al acabar el tiempo solo se cerrarán los "
            "programas X11. Actívela con «gnome-extensions enable %2» (GNOME 43 y 44) o "
            "«gnome-extensions enable lurn-windows-45@lurn» (GNOME 45 a 49) "
            "(si acaba de instalarse, salga antes de la sesión y vuelva a entrar) y abra Lurn "
            "de nuevo. Vea «GNOME Shell» en %1."));
    } else if (desktopIs(facts, "KDE")) {
        choice.why = "KWin does not grant org_kde_plasma_window_management to this program: X11 "
                     "windows only";
        choice.operatorNotice = notice(QT_TRANSLATE_NOOP(
            "WindowSourceChoice",
            "KWin no concede a Lurn la lista de ventanas: al acabar el tiempo solo se cerrarán "
            "los programas X11, no los programas Wayland nativos. Inicie Lurn desde su entrada "
            "instalada (lurn.desktop con X-KDE-Wayland-Interfaces). Vea «Wayland desktops» en "
            "%1."));
    } else {
        choice.why = facts.waylandError.empty()
                         ? "the compositor offers no window-management protocol Lurn knows: X11 "
                           "windows only"
                         : "the compositor could not be asked (" + facts.waylandError +
                               "): X11 windows only";
        choice.operatorNotice = notice(QT_TRANSLATE_NOOP(
            "WindowSourceChoice",
            "Este escritorio Wayland no deja a Lurn ver las ventanas de los demás programas: al "
            "acabar el tiempo solo se cerrarán los programas X11, no los programas Wayland "
            "nativos. Vea «Wayland desktops» en %1."));
    }
    return choice;
}

const char* windowSourceName(WindowSourceKind kind)
{
    switch (kind) {
    case WindowSourceKind::X11:
        return "x11";
    case WindowSourceKind::WlrForeignToplevel:
        return "wlr-foreign-toplevel";
    case WindowSourceKind::KdePlasma:
        return "kde-plasma-window-management";
    case WindowSourceKind::GnomeShell:
        return "gnome-shell";
    }
    return "?";
}

std::string describeSession(const SessionFacts& facts, const WindowSourceChoice& choice)
{
    std::string out;
    out += "windows: " + std::string(windowSourceName(choice.kind)) + "\n";
    out += "why: " + choice.why + "\n";
    out += "desktop: " + (facts.desktop.empty() ? std::string("(not set)") : facts.desktop) + "\n";
    if (facts.waylandDisplaySet) {
        if (!facts.waylandError.empty())
            out += "wayland: " + facts.waylandError + "\n";
        out += "wayland globals:";
        for (const WaylandGlobal& g : facts.waylandGlobals)
            out += " " + g.interface + "/" + versionText(g.version);
        out += "\n";
        out += "gnome shell extension: ";
        if (facts.gnomeExtensionFound)
            out += "interface version " + versionText(facts.gnomeExtensionVersion) +
                   (facts.gnomeExtensionDistrust.empty()
                        ? std::string(", trusted")
                        : ", not trusted: " + facts.gnomeExtensionDistrust);
        else
            out += facts.gnomeExtensionError.empty() ? "not found" : facts.gnomeExtensionError;
        out += "\n";
    }
    if (!choice.operatorNotice.empty())
        out += "operator is told: " + choice.operatorNotice + "\n";
    return out;
}

} // namespace platform
