#pragma once

#include "platform/TopLevelWindows.h"
#include "platform/wayland/WaylandConnection.h"

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct org_kde_plasma_window_management;
struct org_kde_plasma_window;
struct org_kde_plasma_stacking_order;
struct wl_array;
struct wl_callback;

namespace platform::wayland {

// Other programs' windows as KWin lists them through
// org_kde_plasma_window_management: native Wayland and XWayland windows
// alike, topmost first by KWin's stacking order.
//
// KWin offers the protocol only to programs it trusts (see the README's
// "Wayland desktops"); without it this source cannot be opened.
//
// The list is kept current from KWin's events by the connection's own
// thread; stack() and requestCloseAll() wait for KWin at most
// the connection's timeout each (kCompositorTimeout unless it was given
// another), and throw std::runtime_error when it does not answer or is gone.
class KWinTopLevelWindows final : public TopLevelWindows
{
public:
    // The version bound where KWin offers no version with the stacking order
    // as an object of its own (KWin 5). From version 12 to 16 KWin sends its
    // whole stacking order in one event as a string of uuids, 39 bytes a
    // window, and a Wayland message holds at most 4096 bytes: past about a
    // hundred windows KWin drops the client. Version 11 sends 32-bit ids,
    // enough for about a thousand windows.
    static constexpr std::uint32_t kVersion = 11;
    // From this version on KWin hands the stacking order over one uuid per
    // event, with no limit on the windows. KWin 6 must be spoken to at 13 or
    // later: at 11 it announces every window as already unmapped (and KWin
    // 6.3 crashes once such windows close).
    static constexpr std::uint32_t kStackingObjectVersion = 17;
    // The newest version this code can speak, bound wherever it is offered.
    static constexpr std::uint32_t kNewestVersion = 18;

    // The version bound for what the compositor offers: the newest both
    // sides know where that includes the stacking order object, else
    // kVersion (or what is offered, when older). A cap other than 0 asks for
    // that version instead, or what is offered when older (tests).
    static std::uint32_t chosenVersion(std::uint32_t offered, std::uint32_t cap = 0);

    // Binds the window management on the connection and reads every window
    // with its title. Throws std::runtime_error when the compositor does not
    // offer the protocol or does not answer in time.
    // newestVersion, when not 0, caps the version bound (tests try the others).
    explicit KWinTopLevelWindows(std::unique_ptr<WaylandConnection> connection,
                                 std::uint32_t newestVersion = 0);
    ~KWinTopLevelWindows() override;
    KWinTopLevelWindows(const KWinTopLevelWindows&) = delete;
    KWinTopLevelWindows& operator=(const KWinTopLevelWindows&) = delete;

    std::vector<TopLevelWindow> stack() override;
    void requestClose(WindowHandle window) override;
    void requestCloseAll(const std::vector<WindowHandle>& windows) override;

    // The protocol version bound.
    std::uint32_t version() const { return m_version; }

private:
    struct Window
    {
        KWinTopLevelWindows* owner = nullptr;
        WindowHandle handle = 0;
        org_kde_plasma_window* proxy = nullptr;
        std::uint32_t internalId = 0; // KWin's, before version 12
        std::string uuid;             // KWin's, from version 13
        std::string title;
        bool described = false; // KWin has sent everything it knows about the window
    };
    // A window KWin has announced and this side has not asked about yet.
    struct Announced
    {
        std::uint32_t internalId = 0;
        std::string uuid;
    };

    static void onWindow(void* data, org_kde_plasma_window_management*, std::uint32_t id);
    static void onWindowWithUuid(void* data, org_kde_plasma_window_management*, std::uint32_t id,
                                 const char* uuid);
    static void onStackingOrder(void* data, org_kde_plasma_window_management*, wl_array* ids);
    static void onStackingOrderUuids(void* data, org_kde_plasma_window_management*,
                                     const char* uuids);
    static void onStackingOrderChanged(void* data, org_kde_plasma_window_management*);
    static void onStackingOrderWindow(void* data, org_kde_plasma_stacking_order*, const char* uuid);
    static void onStackingOrderDone(void* data, org_kde_plasma_stacking_order*);
    static void onTitle(void* data, org_kde_plasma_window*, const char* title);
    static void onUnmapped(void* data, org_kde_plasma_window*);
    static void onInitialState(void* data, org_kde_plasma_window*);

    void announce(std::uint32_t internalId, std::string uuid);
    void requestAnnounced();
    void batchAnswered();
    void requestStackingOrder();
    void add(org_kde_plasma_window* proxy, std::uint32_t internalId, std::string uuid);
    void destroyProxy(org_kde_plasma_window* proxy) const;
    bool complete() const;
    std::vector<TopLevelWindow> snapshot() const;
    std::vector<TopLevelWindow> ordered() const;
    void release();

    std::unique_ptr<WaylandConnection> m_connection;
    org_kde_plasma_window_management* m_manager = nullptr;
    std::uint32_t m_version = 0;
    // On the connection's thread once it runs.
    std::list<Window> m_windows; // in the order KWin announced them
    std::unordered_map<WindowHandle, std::list<Window>::iterator> m_byHandle;
    WindowHandle m_nextHandle = 1;
    // Windows are asked about a batch at a time, the next batch once KWin has
    // answered the last: KWin drops a client that lets its answers pile up.
    std::deque<Announced> m_announced;
    std::vector<WindowHandle> m_batch; // asked about, answer not complete yet
    wl_callback* m_batchDone = nullptr;
    // KWin's stacking order, bottom first: uuids from version 12, internal
    // ids in version 11; older versions give none.
    std::vector<std::string> m_stackingUuids;
    // From version 17: the order being handed over, and where to. A change
    // that comes meanwhile asks again once this one is done.
    org_kde_plasma_stacking_order* m_stackingOrder = nullptr;
    std::vector<std::string> m_stackingArriving;
    bool m_stackingChangedMeanwhile = false;
    std::vector<std::uint32_t> m_stackingIds;
    // What snapshot() last gave, topmost first, until an event changes it.
    mutable std::vector<TopLevelWindow> m_ordered;
    mutable bool m_orderStale = true;
};

} // namespace platform::wayland
