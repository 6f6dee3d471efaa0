#include "platform/wayland/KWinTopLevelWindows.h"

#include "platform/wayland/TitleText.h"

#include "plasma-window-management-client-protocol.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace platform::wayland {
namespace {

constexpr const char* kInterface = "org_kde_plasma_window_management";
// How many windows are asked about at a time. KWin answers each with about
// ten events; a few dozen windows' worth fit easily in a socket's buffer.
constexpr std::size_t kBatch = 32;
// How many round trips a pass waits for new windows to be described.
constexpr int kRoundsForNewWindows = 16;

std::vector<std::string> splitUuids(std::string_view text)
{
    std::vector<std::string> uuids;
    while (!text.empty()) {
        const std::size_t semicolon = std::min(text.find(';'), text.size());
        if (semicolon > 0)
            uuids.emplace_back(text.substr(0, semicolon));
        text.remove_prefix(std::min(semicolon + 1, text.size()));
    }
    return uuids;
}

} // namespace

void KWinTopLevelWindows::onWindow(void* data, org_kde_plasma_window_management*, std::uint32_t id)
{
    auto* self = static_cast<KWinTopLevelWindows*>(data);
    // From version 13 on KWin announces windows by their uuid instead (and
    // may still send this too).
    if (self->m_version >= ORG_KDE_PLASMA_WINDOW_MANAGEMENT_WINDOW_WITH_UUID_SINCE_VERSION)
        return;
    self->announce(id, {});
}

void KWinTopLevelWindows::onWindowWithUuid(void* data, org_kde_plasma_window_management*,
                                           std::uint32_t id, const char* uuid)
{
    static_cast<KWinTopLevelWindows*>(data)->announce(id, uuid ? uuid : "");
}

void KWinTopLevelWindows::announce(std::uint32_t internalId, std::string uuid)
{
    m_announced.push_back({internalId, std::move(uuid)});
    requestAnnounced();
}

void KWinTopLevelWindows::requestAnnounced()
{
    if (m_batchDone || m_announced.empty() || !m_manager)
        return;
    for (std::size_t i = 0; i < kBatch && !m_announced.empty(); ++i) {
        Announced a = std::move(m_announced.front());
        m_announced.pop_front();
        org_kde_plasma_window* proxy =
            a.uuid.empty()
                ? org_kde_plasma_window_management_get_window(m_manager, a.internalId)
                : org_kde_plasma_window_management_get_window_by_uuid(m_manager, a.uuid.c_str());
        add(proxy, a.internalId, std::move(a.uuid));
        m_batch.push_back(m_windows.back().handle);
    }
    // KWin answers requests in order: when it answers this, it has told
    // everything about the batch.
    static const wl_callback_listener listener = {[](void* data, wl_callback*, std::uint32_t) {
        static_cast<KWinTopLevelWindows*>(data)->batchAnswered();
    }};
    m_batchDone = wl_display_sync(m_connection->display());
    wl_callback_add_listener(m_batchDone, &listener, this);
}

void KWinTopLevelWindows::batchAnswered()
{
    wl_callback_destroy(m_batchDone);
    m_batchDone = nullptr;
    for (WindowHandle handle : m_batch)
        if (const auto found = m_byHandle.find(handle); found != m_byHandle.end())
            found->second->described = true;
    m_batch.clear();
    m_orderStale = true;
    requestAnnounced();
}

void KWinTopLevelWindows::onStackingOrder(void* data, org_kde_plasma_window_management*,
                                          wl_array* ids)
{
    auto* self = static_cast<KWinTopLevelWindows*>(data);
    if (self->m_version >=
        ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STACKING_ORDER_UUID_CHANGED_SINCE_VERSION)
        return;
    const auto* first = static_cast<const std::uint32_t*>(ids->data);
    self->m_stackingIds.assign(first, first + ids->size / sizeof(std::uint32_t));
    self->m_orderStale = true;
}

void KWinTopLevelWindows::onStackingOrderUuids(void* data, org_kde_plasma_window_management*,
                                               const char* uuids)
{
    auto* self = static_cast<KWinTopLevelWindows*>(data);
    self->m_stackingUuids = splitUuids(uuids ? uuids : "");
    self->m_orderStale = true;
}

void KWinTopLevelWindows::onStackingOrderChanged(void* data, org_kde_plasma_window_management*)
{
    auto* self = static_cast<KWinTopLevelWindows*>(data);
    if (self->m_stackingOrder)
        self->m_stackingChangedMeanwhile = true;
    else
        self->requestStackingOrder();
}

void KWinTopLevelWindows::requestStackingOrder()
{
    static const org_kde_plasma_stacking_order_listener listener = {
        .window = &KWinTopLevelWindows::onStackingOrderWindow,
        .done = &KWinTopLevelWindows::onStackingOrderDone,
    };
    m_stackingArriving.clear();
    m_stackingOrder = org_kde_plasma_window_management_get_stacking_order(m_manager);
    org_kde_plasma_stacking_order_add_listener(m_stackingOrder, &listener, this);
}

void KWinTopLevelWindows::onStackingOrderWindow(void* data, org_kde_plasma_stacking_order*,
                                                const char* uuid)
{
    static_cast<KWinTopLevelWindows*>(data)->m_stackingArriving.emplace_back(uuid ? uuid : "");
}

void KWinTopLevelWindows::onStackingOrderDone(void* data, org_kde_plasma_stacking_order* order)
{
    auto* self = static_cast<KWinTopLevelWindows*>(data);
    // KWin destroys the object with this event; this side forgets it.
    org_kde_plasma_stacking_order_destroy(order);
    self->m_stackingOrder = nullptr;
    self->m_stackingUuids = std::move(self->m_stackingArriving);
    self->m_stackingArriving.clear();
    self->m_orderStale = true;
    if (std::exchange(self->m_stackingChangedMeanwhile, false))
        self->requestStackingOrder();
}

void KWinTopLevelWindows::onTitle(void* data, org_kde_plasma_window*, const char* title)
{
    auto* w = static_cast<Window*>(data);
    w->title = repairedTitle(title ? title : "");
    w->owner->m_orderStale = true;
}

void KWinTopLevelWindows::onUnmapped(void* data, org_kde_plasma_window* proxy)
{
    auto* w = static_cast<Window*>(data);
    KWinTopLevelWindows* self = w->owner;
    self->destroyProxy(proxy);
    const auto found = self->m_byHandle.find(w->handle);
    self->m_windows.erase(found->second); // w is gone from here on
    self->m_byHandle.erase(found);
    self->m_orderStale = true;
}

void KWinTopLevelWindows::onInitialState(void* data, org_kde_plasma_window*)
{
    // Said from version 4 on; the batch's round trip says it for every version.
    auto* w = static_cast<Window*>(data);
    w->described = true;
    w->owner->m_orderStale = true;
}

void KWinTopLevelWindows::add(org_kde_plasma_window* proxy, std::uint32_t internalId,
                              std::string uuid)
{
    // Every event needs a handler, even the ones of no interest here:
    // libwayland calls whatever the listener holds.
    using W = org_kde_plasma_window;
    static const org_kde_plasma_window_listener listener = {
        .title_changed = &KWinTopLevelWindows::onTitle,
        .app_id_changed = [](void*, W*, const char*) {},
        .state_changed = [](void*, W*, std::uint32_t) {},
        .virtual_desktop_changed = [](void*, W*, std::int32_t) {},
        .themed_icon_name_changed = [](void*, W*, const char*) {},
        .unmapped = &KWinTopLevelWindows::onUnmapped,
        .initial_state = &KWinTopLevelWindows::onInitialState,
        .parent_window = [](void*, W*, W*) {},
        .geometry = [](void*, W*, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t) {},
        .icon_changed = [](void*, W*) {},
        .pid_changed = [](void*, W*, std::uint32_t) {},
        .virtual_desktop_entered = [](void*, W*, const char*) {},
        .virtual_desktop_left = [](void*, W*, const char*) {},
        .application_menu = [](void*, W*, const char*, const char*) {},
        .activity_entered = [](void*, W*, const char*) {},
        .activity_left = [](void*, W*, const char*) {},
        .resource_name_changed = [](void*, W*, const char*) {},
        .client_geometry = [](void*, W*, std::int32_t, std::int32_t, std::uint32_t,
                              std::uint32_t) {},
    };
    Window& w = m_windows.emplace_back();
    w.owner = this;
    w.handle = m_nextHandle++;
    w.proxy = proxy;
    w.internalId = internalId;
    w.uuid = std::move(uuid);
    m_byHandle.emplace(w.handle, std::prev(m_windows.end()));
    org_kde_plasma_window_add_listener(proxy, &listener, &w);
}

void KWinTopLevelWindows::destroyProxy(org_kde_plasma_window* proxy) const
{
    if (m_version >= ORG_KDE_PLASMA_WINDOW_DESTROY_SINCE_VERSION)
        org_kde_plasma_window_destroy(proxy);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(proxy));
}

bool KWinTopLevelWindows::complete() const
{
    return m_announced.empty() && !m_batchDone && !m_stackingOrder;
}

std::uint32_t KWinTopLevelWindows::chosenVersion(std::uint32_t offered, std::uint32_t cap)
{
    const std::uint32_t version =
        cap != 0 ? std::min(cap, kNewestVersion)
                 : (offered >= kStackingObjectVersion ? kNewestVersion : kVersion);
    return std::max(1u, std::min(version, offered));
}

std::vector<TopLevelWindow> KWinTopLevelWindows::snapshot() const
{
    // Ordered again only after KWin has said something that changes it: a
    // pass at a countdown's end mostly finds nothing new since the last one.
    if (m_orderStale) {
        m_ordered = ordered();
        m_orderStale = false;
    }
    return m_ordered;
}

std::vector<TopLevelWindow> KWinTopLevelWindows::ordered() const
{
    // Height in KWin's stacking order: higher is nearer the top. Windows the
    // order does not name yet (just opened) go last, in the order KWin
    // announced them.
    std::unordered_map<std::string_view, std::size_t> heightOfUuid;
    std::unordered_map<std::uint32_t, std::size_t> heightOfId;
    for (std::size_t i = 0; i < m_stackingUuids.size(); ++i)
        heightOfUuid[m_stackingUuids[i]] = i + 1;
    for (std::size_t i = 0; i < m_stackingIds.size(); ++i)
        heightOfId[m_stackingIds[i]] = i + 1;

    struct Entry
    {
        std::size_t height;
        const Window* window;
    };
    std::vector<Entry> entries;
    entries.reserve(m_windows.size());
    for (const Window& w : m_windows) {
        if (!w.described)
            continue;
        std::size_t height = 0;
        if (const auto found = heightOfUuid.find(w.uuid);
            !w.uuid.empty() && found != heightOfUuid.end())
            height = found->second;
        else if (const auto byId = heightOfId.find(w.internalId); byId != heightOfId.end())
            height = byId->second;
        entries.push_back({height, &w});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.height > b.height; });

    std::vector<TopLevelWindow> windows;
    windows.reserve(entries.size());
    for (const Entry& e : entries)
        windows.push_back({e.window->handle, e.window->title});
    return windows;
}

KWinTopLevelWindows::KWinTopLevelWindows(std::unique_ptr<WaylandConnection> connection,
                                         std::uint32_t newestVersion)
    : m_connection(std::move(connection))
{
    static const org_kde_plasma_window_management_listener listener = {
        .show_desktop_changed = [](void*, org_kde_plasma_window_management*, std::uint32_t) {},
        .window = &KWinTopLevelWindows::onWindow,
        .stacking_order_changed = &KWinTopLevelWindows::onStackingOrder,
        .stacking_order_uuid_changed = &KWinTopLevelWindows::onStackingOrderUuids,
        .window_with_uuid = &KWinTopLevelWindows::onWindowWithUuid,
        .stacking_order_changed_2 = &KWinTopLevelWindows::onStackingOrderChanged,
    };
    const Global* global = m_connection->findGlobal(kInterface);
    if (!global)
        throw std::runtime_error(std::string("the compositor does not offer ") + kInterface +
                                 " to this program");
    m_version = chosenVersion(global->version, newestVersion);
    try {
        m_manager = static_cast<org_kde_plasma_window_management*>(
            wl_registry_bind(m_connection->registry(), global->name,
                             &org_kde_plasma_window_management_interface, m_version));
        org_kde_plasma_window_management_add_listener(m_manager, &listener, this);
        // From version 17 KWin sends the order only when asked.
        if (m_version >= ORG_KDE_PLASMA_WINDOW_MANAGEMENT_GET_STACKING_ORDER_SINCE_VERSION)
            requestStackingOrder();
        // KWin announces its windows in answer to the bind, and describes
        // each one in answer to the request for it.
        const auto deadline = m_connection->deadlineFromNow();
        do
            m_connection->roundTrip(deadline);
        while (!complete());
        m_connection->start();
    } catch (const std::exception& e) {
        const std::size_t listed = m_windows.size();
        release();
        throw std::runtime_error(std::string(kInterface) + " version " + std::to_string(m_version) +
                                 " (" + std::to_string(listed) +
                                 " windows listed so far): " + e.what());
    }
}

KWinTopLevelWindows::~KWinTopLevelWindows()
{
    release();
}

void KWinTopLevelWindows::release()
{
    if (!m_connection)
        return;
    // The connection's thread ends first: the objects are this thread's then.
    m_connection->stop();
    if (m_batchDone)
        wl_callback_destroy(m_batchDone);
    m_batchDone = nullptr;
    if (m_stackingOrder)
        org_kde_plasma_stacking_order_destroy(m_stackingOrder);
    m_stackingOrder = nullptr;
    for (Window& w : m_windows)
        destroyProxy(w.proxy);
    m_windows.clear();
    m_byHandle.clear();
    m_orderStale = true;
    if (m_manager) {
        // The manager has no destructor request: forgetting it is all there is.
        org_kde_plasma_window_management_destroy(m_manager);
        m_manager = nullptr;
    }
    m_connection.reset();
}

std::vector<TopLevelWindow> KWinTopLevelWindows::stack()
{
    // After a round trip, so that every window opened or closed and every
    // title set before this call is known. Windows KWin announced meanwhile
    // are described a batch per round trip; a flood of new windows that
    // outlasts the rounds below is left to the next pass.
    const auto deadline = m_connection->deadlineFromNow();
    std::vector<TopLevelWindow> windows;
    bool done = false;
    for (int round = 0; round < kRoundsForNewWindows && !done; ++round) {
        m_connection->call(
            true,
            [&] {
                done = complete();
                windows = snapshot();
            },
            deadline);
    }
    return windows;
}

void KWinTopLevelWindows::requestClose(WindowHandle window)
{
    requestCloseAll({window});
}

void KWinTopLevelWindows::requestCloseAll(const std::vector<WindowHandle>& windows)
{
    if (windows.empty())
        return;
    // A window that has closed meanwhile is no longer known and is skipped.
    m_connection->call(
        false,
        [&] {
            for (WindowHandle window : windows)
                if (const auto found = m_byHandle.find(window); found != m_byHandle.end())
                    org_kde_plasma_window_close(found->second->proxy);
        },
        m_connection->deadlineFromNow());
}

} // namespace platform::wayland
