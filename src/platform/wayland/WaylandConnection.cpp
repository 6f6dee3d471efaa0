#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace platform::wayland {

struct WaylandConnection::Sync
{
    WaylandConnection* owner = nullptr;
    wl_callback* proxy = nullptr;
    std::shared_ptr<Job> job;
};

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(WaylandConnection::Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

std::string timeoutText()
{
    return "the compositor did not answer within " +
           std::to_string(kCompositorTimeout.count() / 1000) + " s";
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

void onSetUpSyncDone(void* data, wl_callback*, std::uint32_t)
{
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kSetUpSyncListener = {onSetUpSyncDone};

} // namespace

WaylandConnection::WaylandConnection()
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
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &kRegistryListener, &m_globals);
        roundTrip(Clock::now() + kCompositorTimeout);
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
    {
        std::lock_guard lock(m_mutex);
        m_jobs.clear();
    }
    for (Sync* sync : m_syncs) {
        wl_callback_destroy(sync->proxy);
        delete sync;
    }
    m_syncs.clear();
    m_sent.clear();
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_registry = nullptr;
    if (m_display)
        wl_display_disconnect(m_display);
    m_display = nullptr;
    for (int* fd : {&m_wakeRead, &m_wakeWrite}) {
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

bool WaylandConnection::flush(Deadline deadline)
{
    for (;;) {
        if (wl_display_flush(m_display) >= 0)
            return true;
        if (errno != EAGAIN)
            return false;
        // The compositor is slow to read: wait for room in the socket.
        pollfd fd{wl_display_get_fd(m_display), POLLOUT, 0};
        const int ready = poll(&fd, 1, millisecondsUntil(deadline));
        if (ready == 0)
            throw std::runtime_error(timeoutText());
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

void WaylandConnection::roundTrip(Deadline deadline)
{
    bool answered = false;
    struct Callback
    {
        wl_callback* proxy;
        ~Callback() { wl_callback_destroy(proxy); }
    } callback{wl_display_sync(m_display)};
    wl_callback_add_listener(callback.proxy, &kSetUpSyncListener, &answered);

    while (!answered) {
        while (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0)
                throw std::runtime_error(describeError());
        }
        if (answered) {
            wl_display_cancel_read(m_display);
            break;
        }
        bool flushed = false;
        try {
            flushed = flush(deadline);
        } catch (...) {
            wl_display_cancel_read(m_display);
            throw;
        }
        if (!flushed) {
            wl_display_cancel_read(m_display);
            throw std::runtime_error(describeError());
        }
        pollfd fd{wl_display_get_fd(m_display), POLLIN, 0};
        const int ready = poll(&fd, 1, millisecondsUntil(deadline));
        if (ready <= 0) {
            wl_display_cancel_read(m_display);
            if (ready == 0)
                throw std::runtime_error(timeoutText());
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
            throw std::runtime_error(describeError());
    }
}

void WaylandConnection::start()
{
    m_thread = std::thread([this] { run(); });
}

void WaylandConnection::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    if (m_wakeWrite >= 0) {
        const char byte = 's';
        [[maybe_unused]] const auto written = ::write(m_wakeWrite, &byte, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    m_changed.notify_all();
}

std::string WaylandConnection::brokenReason() const
{
    std::lock_guard lock(m_mutex);
    return m_broken;
}

void WaylandConnection::markBroken(std::string reason)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_broken.empty())
            m_broken = std::move(reason);
    }
    m_changed.notify_all();
}

void WaylandConnection::takeJobs()
{
    std::deque<std::shared_ptr<Job>> jobs;
    {
        std::lock_guard lock(m_mutex);
        jobs.swap(m_jobs);
    }
    for (std::shared_ptr<Job>& job : jobs) {
        if (!job->afterRoundTrip) {
            runTask(std::move(job));
            continue;
        }
        // The task runs when the compositor answers. Events come in the order
        // they were sent, so everything the compositor said before has been
        // handled by then.
        static const wl_callback_listener listener = {
            [](void* data, wl_callback*, std::uint32_t) {
                auto* sync = static_cast<Sync*>(data);
                sync->owner->answered(sync);
            }};
        auto* sync = new Sync{this, wl_display_sync(m_display), std::move(job)};
        m_syncs.push_back(sync);
        wl_callback_add_listener(sync->proxy, &listener, sync);
    }
}

void WaylandConnection::answered(Sync* sync)
{
    std::erase(m_syncs, sync);
    wl_callback_destroy(sync->proxy);
    runTask(std::move(sync->job));
    delete sync;
}

void WaylandConnection::runTask(std::shared_ptr<Job> job)
{
    // Nothing may leave this thread's loop by an exception.
    try {
        job->task();
    } catch (const std::exception& e) {
        job->error = e.what();
    } catch (...) {
        job->error = "unknown error";
    }
    m_sent.push_back(std::move(job));
}

void WaylandConnection::run()
{
    while (serve()) {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
    }
}

bool WaylandConnection::serve()
{
    takeJobs();
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            markBroken(describeError());
            return false;
        }
    }
    bool wantWrite = false;
    if (wl_display_flush(m_display) >= 0) {
        // What the finished tasks sent has left the program.
        {
            std::lock_guard lock(m_mutex);
            for (const std::shared_ptr<Job>& job : m_sent)
                job->done = true;
        }
        if (!m_sent.empty())
            m_changed.notify_all();
        m_sent.clear();
    } else if (errno == EAGAIN) {
        wantWrite = true;
    } else {
        wl_display_cancel_read(m_display);
        markBroken(describeError());
        return false;
    }

    pollfd fds[2] = {{wl_display_get_fd(m_display), short(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                     {m_wakeRead, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
        wl_display_cancel_read(m_display);
        if (errno == EINTR)
            return true;
        markBroken(std::string("poll: ") + std::strerror(errno));
        return false;
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
        if (wl_display_read_events(m_display) < 0) {
            markBroken(describeError());
            return false;
        }
    } else {
        wl_display_cancel_read(m_display);
    }
    if (fds[1].revents & POLLIN) {
        char buffer[64];
        while (::read(m_wakeRead, buffer, sizeof buffer) > 0) {
        }
    }
    if (wl_display_dispatch_pending(m_display) < 0) {
        markBroken(describeError());
        return false;
    }
    return true;
}

void WaylandConnection::submit(const std::shared_ptr<Job>& job, Deadline deadline)
{
    std::unique_lock lock(m_mutex);
    if (!m_broken.empty())
        throw std::runtime_error(m_broken);
    if (m_stopping || !m_thread.joinable())
        throw std::runtime_error("the connection to the compositor is not running");
    m_jobs.push_back(job);
    const char byte = 'j';
    [[maybe_unused]] const auto written = ::write(m_wakeWrite, &byte, 1);
    if (!m_changed.wait_until(lock, deadline, [&] { return job->done || !m_broken.empty(); }))
        throw std::runtime_error(timeoutText());
    if (!job->done)
        throw std::runtime_error(m_broken);
    if (!job->error.empty())
        throw std::runtime_error(job->error);
}

void WaylandConnection::call(std::function<void()> task, Deadline deadline)
{
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    submit(job, deadline);
}

void WaylandConnection::callAfterRoundTrip(std::function<void()> task, Deadline deadline)
{
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    job->afterRoundTrip = true;
    submit(job, deadline);
}

} // namespace platform::wayland
