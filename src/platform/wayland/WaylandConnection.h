#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_registry;

namespace platform::wayland {

// How long any one call may wait for the compositor. A compositor that does
// not answer in this time is treated as gone for that call.
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
// It is used in two phases. While it is being set up, the thread that created
// it talks to the compositor directly (roundTrip(), registry, binding). Then
// start() hands it to a thread of its own, which reads the compositor's events
// as they come: a compositor kills a client that lets its events pile up, and
// other programs' windows change titles all the time (the task-bar entry of a
// countdown every second). From then on every Wayland object is touched only
// on that thread; other threads reach it through call() and callAfterRoundTrip(),
// which wait for a bounded time.
//
// A vanished compositor or a protocol error ends the connection for good:
// every call after it throws std::runtime_error with what happened.
class WaylandConnection final
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Connects and reads the globals, within the timeout; throws
    // std::runtime_error when the compositor cannot be reached or does not
    // answer.
    WaylandConnection();
    // Ends the thread (if started), then disconnects. The owner destroys its
    // Wayland objects between stop() and this.
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return m_display; }
    wl_registry* registry() const { return m_registry; }
    const std::vector<Global>& globals() const { return m_globals; }
    const Global* findGlobal(const std::string& interface) const;

    // Set-up phase only: sends what is queued and handles every event the
    // compositor sends until it has answered everything asked so far.
    // Throws on timeout or a broken connection.
    void roundTrip(Deadline deadline);

    // Hands the connection to its own thread.
    void start();
    // Ends the thread; the connection's objects belong to the caller again.
    // Safe to call more than once.
    void stop();

    // Runs task on the connection's thread and waits until it has run and
    // what it sent has left the program. Throws std::runtime_error on timeout
    // or when the connection is broken. The task may outlive the wait (on a
    // timeout), so it must not refer to the caller's stack.
    void call(std::function<void()> task, Deadline deadline);
    // The same, but task runs only once the compositor has answered a round
    // trip started now: everything it had to say before is handled by then.
    void callAfterRoundTrip(std::function<void()> task, Deadline deadline);

    // On the connection's thread: why it broke, or empty while it works.
    std::string brokenReason() const;

private:
    struct Job
    {
        std::function<void()> task;
        bool afterRoundTrip = false;
        bool done = false;  // guarded by m_mutex
        std::string error;  // what the task threw, if it did
    };
    struct Sync; // a round trip a job waits for

    void release();
    void run();
    bool serve(); // one turn of the thread's loop; false once the connection broke
    void takeJobs();
    void runTask(std::shared_ptr<Job> job);
    void answered(Sync* sync);
    void submit(const std::shared_ptr<Job>& job, Deadline deadline);
    void markBroken(std::string reason);
    std::string describeError() const;
    // Sends what is queued, waiting for room in the socket until the
    // deadline; false when the connection broke.
    bool flush(Deadline deadline);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    std::vector<Global> m_globals;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<Job>> m_jobs;
    std::string m_broken; // why the connection ended, empty while it works
    bool m_stopping = false;
    std::thread m_thread;

    // The connection's thread only (its owner before start() and after stop()).
    std::vector<Sync*> m_syncs;              // round trips not answered yet
    std::vector<std::shared_ptr<Job>> m_sent; // tasks run, waiting for the flush
};

} // namespace platform::wayland
