#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_registry;

namespace platform::wayland {

// How long any one call of the program's may wait for the compositor. A
// compositor that does not answer in this time is treated as gone for that
// call.
inline constexpr std::chrono::milliseconds kCompositorTimeout{2000};

// A compositor's global, as the registry announces it.
struct Global
{
    std::uint32_t name = 0;
    std::string interface;
    std::uint32_t version = 0;
};

// A connection of this program's own to the compositor named by
// WAYLAND_DISPLAY, apart from anything Qt does.
//
// Once started, a thread of its own reads and handles the compositor's events
// as they come: a compositor drops a client that lets its events pile up, and
// other programs' windows change titles all the time (the task-bar entry of a
// countdown every second). Every Wayland object of the connection, and
// whatever the event handlers keep, is touched only under the connection's
// lock: by that thread, or by a caller inside call(), which has the
// connection to itself for that long (reading and handling events itself)
// and waits a bounded time.
//
// A vanished compositor or a protocol error ends the connection for good:
// every call after it throws std::runtime_error with what happened.
class WaylandConnection final
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Connects and reads the globals, within the timeout; throws
    // std::runtime_error when the compositor cannot be reached or does not
    // answer. timeout bounds each call on the connection (the tests, which
    // are about what the compositor says rather than how fast, give a loaded
    // machine more).
    explicit WaylandConnection(std::chrono::milliseconds timeout = kCompositorTimeout);
    // Ends the thread (if started), then disconnects. The owner destroys its
    // Wayland objects between stop() and this.
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return m_display; }
    wl_registry* registry() const { return m_registry; }
    const std::vector<Global>& globals() const { return m_globals; }
    const Global* findGlobal(const std::string& interface) const;
    // When a call begun now must have had its answer.
    Deadline deadlineFromNow() const { return std::chrono::steady_clock::now() + m_timeout; }

    // Starts the thread that reads the compositor's events.
    void start();
    // Ends it; the connection's objects are the caller's alone again. Safe to
    // call more than once.
    void stop();

    // Runs task with the connection to itself, after a round trip when
    // afterRoundTrip is set (everything the compositor had to say before is
    // handled by then), and sends what the task queued. Throws
    // std::runtime_error on timeout or when the connection is broken; what
    // the task throws goes through.
    void call(bool afterRoundTrip, const std::function<void()>& task, Deadline deadline);
    // A round trip on its own.
    void roundTrip(Deadline deadline) { call(true, {}, deadline); }

private:
    void release();
    void run();
    bool serve(); // one turn of the thread's loop; false once it must end
    void waitForAnswer(const bool& answered, Deadline deadline);
    void flush(Deadline deadline);
    void wakeReader();
    // What the thread waits for on the connection (EPOLLIN, EPOLLOUT; 0 for
    // nothing).
    void watchConnection(std::uint32_t events);
    void markBroken(std::string reason);
    std::string describeError() const;
    [[noreturn]] void fail(std::string reason);

    const std::chrono::milliseconds m_timeout;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    std::vector<Global> m_globals;
    int m_epoll = -1; // what the thread waits on: the connection and m_wakeRead
    int m_wakeRead = -1;
    int m_wakeWrite = -1;

    std::mutex m_lock;    // the connection's lock, above
    std::string m_broken; // why the connection ended; under m_lock
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_callers{0}; // callers inside call(); the thread stands aside
    std::thread m_thread;
    bool m_wantWrite = false; // the thread's: its last flush left requests unsent
};

} // namespace platform::wayland
