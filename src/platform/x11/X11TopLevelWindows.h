#pragma once

#include "platform/TopLevelWindows.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>

struct xcb_connection_t;

namespace platform::x11 {

// The top-level windows of an X11 display, over a connection of its own so
// that reading other programs' windows never mixes with Qt's event traffic.
//
// With an EWMH window manager the stack is the manager's clients, topmost
// first (_NET_CLIENT_LIST_STACKING reversed), followed by the root's other
// children (withdrawn and never shown windows, popups), also topmost first
// (the root's child list reversed); windows the manager itself created (its
// frames, which carry no title) are left out. Without a manager it is the
// root's children, topmost first.
//
// Titles are _NET_WM_NAME, or else WM_NAME: STRING read as Latin-1,
// COMPOUND_TEXT as far as it is ASCII, Latin-1 or UTF-8. Everything is read
// in a fixed number of round trips whatever the number of windows.
//
// A close request goes the way of the window's close box: to a managed
// window through the manager (_NET_CLOSE_WINDOW), which sends WM_DELETE_WINDOW
// or kills a client that does not take it; to any other window as
// WM_DELETE_WINDOW, only if the window lists that protocol (with nobody to
// decide for it, a window without it is left alone).
class X11TopLevelWindows final : public TopLevelWindows
{
public:
    // Connects to the default display; throws std::runtime_error when it cannot.
    X11TopLevelWindows();
    ~X11TopLevelWindows() override;
    X11TopLevelWindows(const X11TopLevelWindows&) = delete;
    X11TopLevelWindows& operator=(const X11TopLevelWindows&) = delete;

    std::vector<TopLevelWindow> stack() override;
    void requestClose(WindowHandle window) override;
    void requestCloseAll(const std::vector<WindowHandle>& windows) override;

private:
    struct Ewmh;
    struct Disconnect
    {
        void operator()(xcb_connection_t* connection) const;
    };

    void post(WindowHandle window); // queued, not yet sent
    void closeUnknown(WindowHandle window);
    void sendDelete(WindowHandle window);
    void sendManagerClose(WindowHandle window);
    void flush();

    std::unique_ptr<xcb_connection_t, Disconnect> m_connection;
    std::unique_ptr<Ewmh> m_ewmh; // the EWMH atoms and helpers, over m_connection
    int m_screen = 0;
    std::uint32_t m_root = 0;
    std::uint32_t m_deleteWindow = 0; // WM_DELETE_WINDOW
    std::uint32_t m_compoundText = 0; // COMPOUND_TEXT
    // Bits of a window id that a connection chooses; the rest names the
    // connection that created the window.
    std::uint32_t m_idMask = 0;
    // What the last stack() learnt, so that closing needs no further questions.
    std::unordered_set<WindowHandle> m_managed;
    std::unordered_map<WindowHandle, bool> m_takesDelete;
};

} // namespace platform::x11
