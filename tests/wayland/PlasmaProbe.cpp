#include "PlasmaProbe.h"

#include "plasma-window-management-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>

struct PlasmaProbe::State
{
    struct Entry
    {
        Window window;
        org_kde_plasma_window* proxy = nullptr;
        bool unmapped = false;
    };
    std::list<Entry> entries;
    std::vector<std::string> stacking; // bottom first
};

namespace {

using W = org_kde_plasma_window;
using M = org_kde_plasma_window_management;

const org_kde_plasma_window_listener kWindowListener = {
    .title_changed =
        [](void* data, W*, const char* title) {
            static_cast<PlasmaProbe::Window*>(data)->title = title ? title : "";
        },
    .app_id_changed = [](void*, W*, const char*) {},
    .state_changed =
        [](void* data, W*, std::uint32_t state) {
            static_cast<PlasmaProbe::Window*>(data)->state = state;
        },
    .virtual_desktop_changed = [](void*, W*, std::int32_t) {},
    .themed_icon_name_changed = [](void*, W*, const char*) {},
    .unmapped = [](void* data, W*) { static_cast<PlasmaProbe::Window*>(data)->uuid.clear(); },
    .initial_state = [](void*, W*) {},
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
    .client_geometry = [](void*, W*, std::int32_t, std::int32_t, std::uint32_t, std::uint32_t) {},
};

const org_kde_plasma_window_management_listener kManagerListener = {
    .show_desktop_changed = [](void*, M*, std::uint32_t) {},
    .window = [](void*, M*, std::uint32_t) {},
    .stacking_order_changed = [](void*, M*, wl_array*) {},
    .stacking_order_uuid_changed =
        [](void* data, M*, const char* uuids) {
            auto* state = static_cast<PlasmaProbe::State*>(data);
            state->stacking.clear();
            std::string all = uuids ? uuids : "";
            std::size_t from = 0;
            while (from < all.size()) {
                const std::size_t end = std::min(all.find(';', from), all.size());
                state->stacking.push_back(all.substr(from, end - from));
                from = end + 1;
            }
        },
    .window_with_uuid =
        [](void* data, M* manager, std::uint32_t, const char* uuid) {
            auto* state = static_cast<PlasmaProbe::State*>(data);
            auto& e = state->entries.emplace_back();
            e.window.uuid = uuid;
            e.proxy = org_kde_plasma_window_management_get_window_by_uuid(manager, uuid);
            org_kde_plasma_window_add_listener(e.proxy, &kWindowListener, &e.window);
        },
    .stacking_order_changed_2 = [](void*, M*) {}, // bound at 13, never sent
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version)
{
    if (std::strcmp(interface, "org_kde_plasma_window_management") == 0 && version >= 13)
        *static_cast<M**>(data) = static_cast<M*>(
            wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface, 13));
}

const wl_registry_listener kRegistryListener = {onGlobal,
                                                [](void*, wl_registry*, std::uint32_t) {}};

} // namespace

PlasmaProbe::PlasmaProbe() : m_state(new State)
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return;
    wl_registry* registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(registry, &kRegistryListener, &m_manager);
    wl_display_roundtrip(m_display);
    wl_registry_destroy(registry);
    if (m_manager)
        org_kde_plasma_window_management_add_listener(m_manager, &kManagerListener, m_state);
    roundTrip();
}

PlasmaProbe::~PlasmaProbe()
{
    if (m_display) {
        for (auto& e : m_state->entries)
            org_kde_plasma_window_destroy(e.proxy);
        if (m_manager)
            org_kde_plasma_window_management_destroy(m_manager);
        wl_display_roundtrip(m_display);
        wl_display_disconnect(m_display);
    }
    delete m_state;
}

void PlasmaProbe::roundTrip()
{
    if (m_display) {
        wl_display_roundtrip(m_display);
        wl_display_roundtrip(m_display);
    }
}

std::vector<PlasmaProbe::Window> PlasmaProbe::windows()
{
    roundTrip();
    std::vector<Window> top;
    for (auto it = m_state->stacking.rbegin(); it != m_state->stacking.rend(); ++it)
        for (const auto& e : m_state->entries)
            if (e.window.uuid == *it)
                top.push_back(e.window);
    return top;
}

bool PlasmaProbe::activate(const std::string& part)
{
    roundTrip();
    for (const auto& e : m_state->entries) {
        if (!e.window.uuid.empty() && e.window.title.find(part) != std::string::npos) {
            org_kde_plasma_window_set_state(e.proxy, 1u, 1u);
            roundTrip();
            return true;
        }
    }
    return false;
}
