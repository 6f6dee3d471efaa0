#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <vector>

// Looks at the display as a task bar or a pager would, through a connection
// of its own.
class X11Probe final
{
public:
    X11Probe();
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    // The window manager's list of managed windows (_NET_CLIENT_LIST).
    std::vector<xcb_window_t> clients();
    // The entries a task bar shows: clients without _NET_WM_STATE_SKIP_TASKBAR.
    std::vector<xcb_window_t> taskBarEntries();
    // Atom names in the window's _NET_WM_STATE.
    QStringList states(xcb_window_t window);
    QString netWmName(xcb_window_t window);
    // The first managed window with exactly this _NET_WM_NAME, or 0.
    xcb_window_t clientNamed(const QString& name);
    // Top-level window ids of the process with this pid (_NET_WM_PID).
    std::vector<xcb_window_t> clientsOfPid(qint64 pid);
    // The managed window of that process with exactly this _NET_WM_NAME (and
    // viewable, when asked), once it is there; 0 after ms.
    xcb_window_t waitForClientOfPid(qint64 pid, const QString& name, int ms,
                                    bool viewableOnly = false);
    // The window's geometry as the window manager placed it, in root coordinates.
    QRect geometry(xcb_window_t window);
    // Mapped, and every ancestor mapped: on screen unless covered.
    bool isViewable(xcb_window_t window);
    // The window manager's active window (_NET_ACTIVE_WINDOW), or 0.
    xcb_window_t activeWindow();
    // True when a lies above b in the manager's stacking order
    // (_NET_CLIENT_LIST_STACKING).
    bool isAbove(xcb_window_t a, xcb_window_t b);
    // The child of the root that holds the window: its frame under a window
    // manager, the window itself without one.
    xcb_window_t frameOf(xcb_window_t window);
    xcb_connection_t* connection() const { return m_c; }
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char* name);

private:
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
};
