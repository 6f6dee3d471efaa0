#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/wayland/WaylandConnection.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace platform::wayland {

// Other programs' windows as a wlroots compositor (sway, labwc, Wayfire,
// Hyprland) lists them through zwlr_foreign_toplevel_manager_v1: native
// Wayland and XWayland windows alike, so no other source is needed beside it.
//
// The protocol tells nothing about stacking. stack() gives the windows in the
// order the compositor announced them (the order they were opened), not
// topmost first; the closing pass asks every matching window all the same.
//
// The list is kept current from the compositor's events by the connection's
// own thread; stack() and requestCloseAll() wait for the compositor at most
// the connection's timeout each (kCompositorTimeout unless it was given
// another), and throw std::runtime_error when it does not answer or is gone.
class WlrTopLevelWindows final : public TopLevelWindows
{
public:
    // The newest version of the protocol this code speaks; an older one the
    // compositor offers is used as it is.
    static constexpr std::uint32_t kVersion = 3;

    // Binds the compositor's manager on the connection and reads the windows
    // it lists. Throws std::runtime_error when the compositor does not offer
    // the protocol or does not answer in time.
    // newestVersion caps the version bound (tests try the older ones).
    explicit WlrTopLevelWindows(std::unique_ptr<WaylandConnection> connection,
                                std::uint32_t newestVersion = kVersion);
    ~WlrTopLevelWindows() override;
    WlrTopLevelWindows(const WlrTopLevelWindows&) = delete;
    WlrTopLevelWindows& operator=(const WlrTopLevelWindows&) = delete;

    std::vector<TopLevelWindow> stack() override;
    void requestClose(WindowHandle window) override;
    void requestCloseAll(const std::vector<WindowHandle>& windows) override;

    // The protocol version bound.
    std::uint32_t version() const { return m_version; }

private:
    struct Toplevel
    {
        WlrTopLevelWindows* owner = nullptr;
        WindowHandle handle = 0;
        zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
        std::string title;        // as of the last done event
        std::string pendingTitle; // sent, not yet done
        bool described = false;   // a done event has come
    };

    static void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                           zwlr_foreign_toplevel_handle_v1* proxy);
    static void onFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager);
    static void onTitle(void* data, zwlr_foreign_toplevel_handle_v1* proxy, const char* title);
    static void onDone(void* data, zwlr_foreign_toplevel_handle_v1* proxy);
    static void onClosed(void* data, zwlr_foreign_toplevel_handle_v1* proxy);
    void release();

    std::unique_ptr<WaylandConnection> m_connection;
    zwlr_foreign_toplevel_manager_v1* m_manager = nullptr;
    std::uint32_t m_version = 0;
    // On the connection's thread once it runs.
    std::list<Toplevel> m_toplevels; // in the compositor's order
    std::unordered_map<WindowHandle, std::list<Toplevel>::iterator> m_byHandle;
    WindowHandle m_nextHandle = 1;
    std::string m_finished; // why the compositor stopped listing windows, if it did
};

} // namespace platform::wayland
