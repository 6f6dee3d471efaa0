#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace platform::wayland {
namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(WaylandConnection::Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

std::runtime_error timedOut(std::chrono::milliseconds timeout)
{
    return std::runtime_error("the compositor did not answer within " +
                              std::to_string(timeout.count() / 1000) + " s");
}

std::string compositorName()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name && *name ? name : "wayland-0";
}

void onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
              std::uint32_t version)
{
    auto* globals = static_cast<std::vector<Global>*>(data);
    globals->push_back({name, interface ? interface : "", version});
}

void onGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    auto* globals = static_cast<std::vector<Global>*>(data);
    std::erase_if(*globals, [name](const Global& g) { return g.name == name; });
}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

void onSyncDone(void* data, wl_callback*, std::uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSyncListener = {onSyncDone};

} // namespace

WaylandConnection::WaylandConnection(std::chrono::milliseconds timeout) : m_timeout(timeout)
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        throw std::runtime_error("cannot connect to the Wayland compositor \"" + compositorName() +
                                 "\": " + std::strerror(errno));
    try {
        int wake[2];
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
        m_wakeRead = wake[0];
        m_wakeWrite = wake[1];
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0)
            throw std::runtime_error(std::string("cannot create an epoll set: ") +
                                     std::strerror(errno));
        for (int fd : {wl_display_get_fd(m_display), m_wakeRead}) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = fd;
            if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0)
                throw std::runtime_error(std::string("cannot watch the connection: ") +
                                         std::strerror(errno));
        }
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &kRegistryListener, &m_globals);
        roundTrip(deadlineFromNow());
    } catch (...) {
        release();
        throw;
    }
}

WaylandConnection::~WaylandConnection()
{
    release();
}

void WaylandConnection::release()
{
    stop();
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_registry = nullptr;
    if (m_display)
        wl_display_disconnect(m_display);
    m_display = nullptr;
    for (int* fd : {&m_epoll, &m_wakeRead, &m_wakeWrite}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

const Global* WaylandConnection::findGlobal(const std::string& interface) const
{
    const auto found = std::find_if(m_globals.begin(), m_globals.end(),
                                    [&](const Global& g) { return g.interface == interface; });
    return found == m_globals.end() ? nullptr : &*found;
}

std::string WaylandConnection::describeError() const
{
    const int error = wl_display_get_error(m_display);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
        return "the compositor reported protocol error " + std::to_string(code) + " on " +
               (interface ? interface->name : "an unknown object") + "@" + std::to_string(id);
    }
    if (error == 0 || error == EPIPE || error == ECONNRESET)
        return "the compositor closed the connection";
    return std::string("the connection to the compositor failed: ") + std::strerror(error);
}

void WaylandConnection::markBroken(std::string reason)
{
    if (m_broken.empty())
        m_broken = std::move(reason);
}

void WaylandConnection::fail(std::string reason)
{
    markBroken(std::move(reason));
    throw std::runtime_error(m_broken);
}

void WaylandConnection::wakeReader()
{
    const char byte = 'w';
    [[maybe_unused]] const auto written = ::write(m_wakeWrite, &byte, 1);
}

void WaylandConnection::watchConnection(std::uint32_t events)
{
    epoll_event event{};
    event.events = events;
    event.data.fd = wl_display_get_fd(m_display);
    // Cannot fail for a descriptor in the set; were it to, the thread would
    // only wake more or later than it should, and callers read anyway.
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, event.data.fd, &event);
}

void WaylandConnection::start()
{
    m_thread = std::thread([this] { run(); });
}

void WaylandConnection::stop()
{
    m_stopping = true;
    m_callers.notify_all();
    if (m_wakeWrite >= 0)
        wakeReader();
    if (m_thread.joinable())
        m_thread.join();
}

void WaylandConnection::flush(Deadline deadline)
{
    for (;;) {
        if (wl_display_flush(m_display) >= 0)
            return;
        if (errno != EAGAIN)
            fail(describeError());
        // The compositor is slow to read: wait for room in the socket.
        pollfd fd{wl_display_get_fd(m_display), POLLOUT, 0};
        const int ready = poll(&fd, 1, millisecondsUntil(deadline));
        if (ready == 0)
            throw timedOut(m_timeout);
        if (ready < 0 && errno != EINTR)
            fail(std::string("poll: ") + std::strerror(errno));
    }
}

void WaylandConnection::waitForAnswer(const bool& answered, Deadline deadline)
{
    for (;;) {
        if (wl_display_dispatch_pending(m_display) < 0)
            fail(describeError());
        if (answered)
            return;
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        pollfd fd{wl_display_get_fd(m_display), POLLIN, 0};
        const int ready = poll(&fd, 1, millisecondsUntil(deadline));
        if (ready <= 0) {
            wl_display_cancel_read(m_display);
            if (ready == 0)
                throw timedOut(m_timeout);
            if (errno == EINTR)
                continue;
            fail(std::string("poll: ") + std::strerror(errno));
        }
        if (wl_display_read_events(m_display) < 0)
            fail(describeError());
    }
}

void WaylandConnection::call(bool afterRoundTrip, const std::function<void()>& task,
                             Deadline deadline)
{
    // While callers are inside, the thread does not watch the connection:
    // the answer a caller waits for would wake it too, only to stand aside,
    // and that wake costs the caller more than the answer itself. Taking the
    // connection out of the thread's set does not wake the thread. The
    // caller that leaves last puts it back (at once, when events came
    // meanwhile that no caller read): every caller takes it out before it
    // leaves, so the last one to leave comes after them all.
    ++m_callers;
    watchConnection(0);
    struct Leave
    {
        WaylandConnection& connection;
        ~Leave()
        {
            if (--connection.m_callers == 0) {
                connection.watchConnection(EPOLLIN);
                connection.m_callers.notify_all();
            }
        }
    } leave{*this};
    std::lock_guard lock(m_lock);
    if (!m_broken.empty())
        throw std::runtime_error(m_broken);
    if (afterRoundTrip) {
        bool answered = false;
        struct Callback
        {
            wl_callback* proxy;
            ~Callback() { wl_callback_destroy(proxy); }
        } callback{wl_display_sync(m_display)};
        wl_callback_add_listener(callback.proxy, &kSyncListener, &answered);
        flush(deadline);
        waitForAnswer(answered, deadline);
    }
    if (task)
        task();
    flush(deadline);
}

void WaylandConnection::run()
{
    while (serve()) {
    }
}

bool WaylandConnection::serve()
{
    // Waits for events without preparing to read: whoever reads does so under
    // the lock, so that a caller inside call() never waits for this thread.
    epoll_event events[2];
    const int ready = epoll_wait(m_epoll, events, 2, -1);
    if (ready < 0 && errno != EINTR) {
        std::lock_guard lock(m_lock);
        markBroken(std::string("epoll_wait: ") + std::strerror(errno));
        return false;
    }
    for (int i = 0; i < ready; ++i) {
        if (events[i].data.fd != m_wakeRead)
            continue;
        char buffer[64];
        while (::read(m_wakeRead, buffer, sizeof buffer) > 0) {
        }
    }
    // A caller inside call() reads what woke this thread; no need to
    // compete with it for the lock, nor to take it afterwards when the caller
    // has left nothing to read.
    for (int callers = m_callers; callers > 0; callers = m_callers)
        m_callers.wait(callers);
    if (!m_stopping && !m_wantWrite) {
        pollfd fd{wl_display_get_fd(m_display), POLLIN, 0};
        if (poll(&fd, 1, 0) == 0)
            return true;
    }

    std::lock_guard lock(m_lock);
    if (m_stopping || !m_broken.empty())
        return false;
    // Everything there is to read now (a caller may have read it already).
    for (;;) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            markBroken(describeError());
            return false;
        }
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        pollfd fd{wl_display_get_fd(m_display), POLLIN, 0};
        if (poll(&fd, 1, 0) <= 0) {
            wl_display_cancel_read(m_display);
            break;
        }
        if (wl_display_read_events(m_display) < 0) {
            markBroken(describeError());
            return false;
        }
    }
    // What the handlers sent (KWin's windows asked about); when the socket
    // is full, the thread waits for room as well as for events. A caller
    // sends everything before it leaves, and puts back only the wait for
    // events.
    const bool wantedWrite = m_wantWrite;
    m_wantWrite = false;
    if (wl_display_flush(m_display) < 0) {
        if (errno != EAGAIN) {
            markBroken(describeError());
            return false;
        }
        m_wantWrite = true;
    }
    if (m_wantWrite != wantedWrite)
        watchConnection(EPOLLIN | (m_wantWrite ? std::uint32_t(EPOLLOUT) : 0u));
    return true;
}

} // namespace platform::wayland
