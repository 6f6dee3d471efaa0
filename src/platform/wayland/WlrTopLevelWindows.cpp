#include "platform/wayland/WlrTopLevelWindows.h"

#include "platform/wayland/TitleText.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <stdexcept>

namespace platform::wayland {
namespace {

constexpr const char* kInterface = "zwlr_foreign_toplevel_manager_v1";

} // namespace

// Every event needs a handler, even the ones of no interest here: libwayland
// calls whatever the listener holds.
void WlrTopLevelWindows::onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                    zwlr_foreign_toplevel_handle_v1* proxy)
{
    static const zwlr_foreign_toplevel_handle_v1_listener listener = {
        .title = &WlrTopLevelWindows::onTitle,
        .app_id = [](void*, zwlr_foreign_toplevel_handle_v1*, const char*) {},
        .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
        .state = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_array*) {},
        .done = &WlrTopLevelWindows::onDone,
        .closed = &WlrTopLevelWindows::onClosed,
        .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
    };
    auto* self = static_cast<WlrTopLevelWindows*>(data);
    Toplevel& t = self->m_toplevels.emplace_back();
    t.owner = self;
    t.handle = self->m_nextHandle++;
    t.proxy = proxy;
    self->m_byHandle.emplace(t.handle, std::prev(self->m_toplevels.end()));
    zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &listener, &t);
}

void WlrTopLevelWindows::onFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    auto* self = static_cast<WlrTopLevelWindows*>(data);
    self->m_finished = "the compositor stopped listing windows";
    // The compositor has destroyed its side already.
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self->m_manager = nullptr;
}

void WlrTopLevelWindows::onTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title)
{
    static_cast<Toplevel*>(data)->pendingTitle = repairedTitle(title ? title : "");
}

void WlrTopLevelWindows::onDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    auto* t = static_cast<Toplevel*>(data);
    t->title = t->pendingTitle;
    t->described = true;
}

void WlrTopLevelWindows::onClosed(void* data, zwlr_foreign_toplevel_handle_v1* proxy)
{
    auto* t = static_cast<Toplevel*>(data);
    WlrTopLevelWindows* self = t->owner;
    zwlr_foreign_toplevel_handle_v1_destroy(proxy);
    const auto found = self->m_byHandle.find(t->handle);
    self->m_toplevels.erase(found->second); // t is gone from here on
    self->m_byHandle.erase(found);
}

WlrTopLevelWindows::WlrTopLevelWindows(std::unique_ptr<WaylandConnection> connection,
                                       std::uint32_t newestVersion)
    : m_connection(std::move(connection))
{
    static const zwlr_foreign_toplevel_manager_v1_listener listener = {
        .toplevel = &WlrTopLevelWindows::onToplevel,
        .finished = &WlrTopLevelWindows::onFinished,
    };
    const Global* global = m_connection->findGlobal(kInterface);
    if (!global)
        throw std::runtime_error(std::string("the compositor does not offer ") + kInterface);
    m_version = std::min({global->version, kVersion, std::max(newestVersion, 1u)});
    try {
        m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(m_connection->registry(), global->name,
                             &zwlr_foreign_toplevel_manager_v1_interface, m_version));
        zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &listener, this);
        // The compositor sends every window, with its title and a done
        // event, in answer to the bind.
        m_connection->roundTrip(m_connection->deadlineFromNow());
        if (!m_finished.empty())
            throw std::runtime_error(m_finished);
        m_connection->start();
    } catch (const std::exception& e) {
        const std::size_t listed = m_toplevels.size();
        release();
        throw std::runtime_error(std::string(kInterface) + " version " + std::to_string(m_version) +
                                 " (" + std::to_string(listed) +
                                 " windows listed so far): " + e.what());
    }
}

WlrTopLevelWindows::~WlrTopLevelWindows()
{
    release();
}

void WlrTopLevelWindows::release()
{
    if (!m_connection)
        return;
    // The connection's thread ends first: the objects are this thread's then.
    m_connection->stop();
    for (Toplevel& t : m_toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(t.proxy);
    m_toplevels.clear();
    m_byHandle.clear();
    if (m_manager) {
        zwlr_foreign_toplevel_manager_v1_stop(m_manager);
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
        m_manager = nullptr;
    }
    m_connection.reset();
}

std::vector<TopLevelWindow> WlrTopLevelWindows::stack()
{
    // After a round trip, so that every window opened or closed and every
    // title set before this call is known.
    std::vector<TopLevelWindow> windows;
    m_connection->call(
        true,
        [&] {
            if (!m_finished.empty())
                throw std::runtime_error(m_finished);
            windows.reserve(m_toplevels.size());
            for (const Toplevel& t : m_toplevels)
                if (t.described)
                    windows.push_back({t.handle, t.title});
        },
        m_connection->deadlineFromNow());
    return windows;
}

void WlrTopLevelWindows::requestClose(WindowHandle window)
{
    requestCloseAll({window});
}

void WlrTopLevelWindows::requestCloseAll(const std::vector<WindowHandle>& windows)
{
    if (windows.empty())
        return;
    // A window that has closed meanwhile is no longer known and is skipped.
    m_connection->call(
        false,
        [&] {
            for (WindowHandle window : windows)
                if (const auto found = m_byHandle.find(window); found != m_byHandle.end())
                    zwlr_foreign_toplevel_handle_v1_close(found->second->proxy);
        },
        m_connection->deadlineFromNow());
}

} // namespace platform::wayland
