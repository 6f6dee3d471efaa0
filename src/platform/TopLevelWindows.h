#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A top-level window of any program on the display; 0 is no window. Wide
// enough for every source: X11 window ids are 32 bits, GNOME Shell counts its
// windows from 2^32 up.
using WindowHandle = std::uint64_t;

struct TopLevelWindow
{
    WindowHandle handle = 0;
    // UTF-8, at most kMaxTitleBytes bytes of it; empty when the window has no title.
    std::string title;
};

// Reach into every program's top-level windows.
class TopLevelWindows
{
public:
    static constexpr std::size_t kMaxTitleBytes = 254;

    virtual ~TopLevelWindows() = default;
    // Every top-level window of the display, visible or not, topmost first,
    // read in one go. Windows that vanish while they are read are left out.
    virtual std::vector<TopLevelWindow> stack() = 0;
    // Asks the window to close, as a press on its close box would, without
    // waiting for an answer. The request has left the program when this returns.
    virtual void requestClose(WindowHandle window) = 0;
    // The same for several windows, in order; all have left the program when
    // this returns.
    virtual void requestCloseAll(const std::vector<WindowHandle>& windows)
    {
        for (WindowHandle window : windows)
            requestClose(window);
    }
};

} // namespace platform
