#include "platform/WindowSources.h"

#include "platform/gnome/GnomeShellWindows.h"
#include "platform/wayland/WaylandWindows.h"
#include "platform/x11/X11TopLevelWindows.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QtGlobal>

#include <exception>

namespace platform {

std::string installedReadmePath()
{
    return LURN_README_PATH;
}

SessionFacts probeSession()
{
    SessionFacts facts;
    facts.waylandDisplaySet = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    facts.desktop = qgetenv("XDG_CURRENT_DESKTOP").toStdString();
    // Outside a Wayland session X11 reaches every window: nothing to ask.
    if (facts.waylandDisplaySet) {
        wayland::probeCompositor(facts);
        gnome::probeShellExtension(facts);
    }
    return facts;
}

WindowSource openWindowSource()
{
    WindowSource source;
    source.facts = probeSession();
    source.choice = chooseWindowSource(source.facts, installedReadmePath());
    try {
        switch (source.choice.kind) {
        case WindowSourceKind::X11:
            break;
        case WindowSourceKind::WlrForeignToplevel:
        case WindowSourceKind::KdePlasma:
            source.windows = wayland::openCompositorWindows(source.choice.kind);
            break;
        case WindowSourceKind::GnomeShell:
            source.windows = gnome::openShellWindows();
            break;
        }
    } catch (const std::exception& e) {
        source.choice.why = std::string(windowSourceName(source.choice.kind)) +
                            " could not be opened (" + e.what() + "): X11 windows only";
        source.choice.kind = WindowSourceKind::X11;
        source.choice.operatorNotice =
            QCoreApplication::translate("WindowSources",
                                        "Lurn no ha podido abrir la lista de ventanas del "
                                        "escritorio: al acabar el tiempo solo se cerrarán los "
                                        "programas X11. Vea «Wayland desktops» en %1.")
                .arg(QString::fromStdString(installedReadmePath()))
                .toStdString();
    }
    if (!source.windows)
        source.windows = std::make_unique<x11::X11TopLevelWindows>();
    return source;
}

} // namespace platform
