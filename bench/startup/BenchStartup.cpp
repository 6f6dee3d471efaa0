// How long lurn takes from its start to a viewable main window, and how much
// memory it holds then, against a window that shows the same controls built
// plainly with nothing behind it (bench_startup_window), started the same way
// and interleaved with lurn in the same run; and, to show what any Qt window
// costs, against a minimal Qt Widgets window (bench_startup_reference).
//   bench_startup [--runs N]
// Each start gets a fresh configuration and runtime directory, as on a first
// login. A window is viewable once it is mapped under the window manager and
// its program has drawn it (the X DAMAGE extension reports the first drawing
// into it): times are from the fork to that moment, and RSS and CPU time are
// read from /proc then. Needs DISPLAY with a window manager;
// bench/run-benchmarks.sh provides both.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

constexpr double kTimeTarget = 1.15;
constexpr double kRssTarget = 1.1;
// A start that takes longer has hung: the run fails rather than waiting on.
constexpr auto kDeadline = std::chrono::seconds(60);

struct Sample
{
    double ms = 0;
    double rssKiB = 0;
    double cpuMs = 0;
};

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    if (!r)
        throw std::runtime_error(std::string("cannot intern ") + name);
    return r->atom;
}

// The kB figure of one line of /proc/<pid>/status.
double statusKiB(pid_t pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').front().toDouble();
    return 0;
}

// CPU time of every thread of the process so far, in ms.
double cpuMs(pid_t pid)
{
    double ns = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly))
            ns += f.readAll().split(' ').front().toDouble();
    }
    return ns / 1e6;
}

class Display final
{
public:
    Display() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            throw std::runtime_error("cannot connect to the display");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_clientList = intern(m_c, "_NET_CLIENT_LIST");
        m_pid = intern(m_c, "_NET_WM_PID");
        m_name = intern(m_c, "_NET_WM_NAME");
        m_utf8 = intern(m_c, "UTF8_STRING");
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!damage || !damage->present)
            throw std::runtime_error("the display has no DAMAGE extension");
        m_damageEvent = damage->first_event;
        Reply<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr),
            &std::free);
        if (!version)
            throw std::runtime_error("cannot use the DAMAGE extension");
        // Every new top-level window is watched for its first drawing from
        // its creation on, long before it can be mapped and drawn.
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~Display() { xcb_disconnect(m_c); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Starts the program and returns once its window titled title is
    // viewable and drawn, with what it cost so far; the program is killed
    // afterwards.
    Sample start(const char* program, const char* argument, const std::vector<std::string>& env,
                 const char* title)
    {
        drain();
        m_drawn.clear();
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};

        // What the programs say on stderr is no part of the measurement.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const Clock::time_point t0 = Clock::now();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            throw std::runtime_error(std::string("cannot start ") + program);
        std::set<xcb_window_t> watched;
        Sample s;
        try {
            for (;;) {
                if (Clock::now() - t0 > kDeadline)
                    throw std::runtime_error(std::string(program) + " showed no window");
                for (xcb_window_t w : clients()) {
                    if (watched.contains(w) || pidOf(w) != pid || nameOf(w) != title)
                        continue;
                    watched.insert(w);
                    // Ask for its map first, then look: it may be mapped already.
                    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                    xcb_change_window_attributes(m_c, w, XCB_CW_EVENT_MASK, &mask);
                }
                if (std::any_of(watched.begin(), watched.end(),
                                [&](xcb_window_t w) {
                                    return m_drawn.contains(w) && viewable(w);
                                })) {
                    s.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                    s.rssKiB = statusKiB(pid, "VmRSS:");
                    s.cpuMs = cpuMs(pid);
                    break;
                }
                waitForEvent();
            }
        } catch (...) {
            stop(pid);
            throw;
        }
        stop(pid);
        return s;
    }

private:
    static void stop(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }

    void drain()
    {
        while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(m_c), &std::free})
            handle(*e);
    }

    // Whatever comes: new windows get a damage object, drawn windows are noted.
    void handle(const xcb_generic_event_t& e)
    {
        const uint8_t type = e.response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto& created = reinterpret_cast<const xcb_create_notify_event_t&>(e);
            xcb_damage_create(m_c, xcb_generate_id(m_c), created.window,
                              XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        } else if (type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            m_drawn.insert(reinterpret_cast<const xcb_damage_notify_event_t&>(e).drawable);
        }
    }

    void waitForEvent()
    {
        // Poll with a short timeout: a window may become ours by a property
        // set after the client list changed.
        xcb_flush(m_c);
        if (Reply<xcb_generic_event_t> e{xcb_poll_for_event(m_c), &std::free}) {
            handle(*e);
            return;
        }
        pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
        ::poll(&fd, 1, 2);
        if (xcb_connection_has_error(m_c))
            throw std::runtime_error("lost the display");
    }

    std::vector<xcb_window_t> clients()
    {
        Reply<xcb_get_property_reply_t> r(
            xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 0, m_root, m_clientList, XCB_ATOM_WINDOW, 0, 1 << 16),
                nullptr),
            &std::free);
        if (!r)
            return {};
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
        return {ids, ids + xcb_get_property_value_length(r.get()) / 4};
    }

    pid_t pidOf(xcb_window_t w)
    {
        Reply<xcb_get_property_reply_t> r(
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, m_pid, XCB_ATOM_CARDINAL, 0, 1),
                                   nullptr),
            &std::free);
        if (!r || xcb_get_property_value_length(r.get()) != 4)
            return 0;
        return pid_t(*static_cast<const uint32_t*>(xcb_get_property_value(r.get())));
    }

    std::string nameOf(xcb_window_t w)
    {
        Reply<xcb_get_property_reply_t> r(
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, w, m_name, m_utf8, 0, 256),
                                   nullptr),
            &std::free);
        if (!r)
            return {};
        return {static_cast<const char*>(xcb_get_property_value(r.get())),
                std::size_t(xcb_get_property_value_length(r.get()))};
    }

    bool viewable(xcb_window_t w)
    {
        Reply<xcb_get_window_attributes_reply_t> r(
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, w), nullptr),
            &std::free);
        return r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_atom_t m_clientList = 0;
    xcb_atom_t m_pid = 0;
    xcb_atom_t m_name = 0;
    xcb_atom_t m_utf8 = 0;
    uint8_t m_damageEvent = 0;
    std::set<xcb_window_t> m_drawn;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Where a desktop keeps XDG_RUNTIME_DIR: logind mounts it as tmpfs, so that
// what is written there (the one-instance lock is synced to its file) never
// waits for a disk. /dev/shm is tmpfs too; elsewhere the temporary directory.
QString runtimeBase()
{
    const QString shm = QStringLiteral("/dev/shm");
    if (QStorageInfo(shm).fileSystemType() == "tmpfs" && QFileInfo(shm).isWritable())
        return shm;
    return QDir::tempPath();
}

// The environment of a first login: fresh directories for the settings, the
// session records, the running countdown and the one-instance lock.
std::vector<std::string> freshEnvironment(const QTemporaryDir& config, const QTemporaryDir& runtime)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("XDG_DATA_HOME=", 0) != 0 &&
            entry.rfind("XDG_RUNTIME_DIR=", 0) != 0)
            env.push_back(entry);
    }
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.push_back("XDG_CONFIG_HOME=" + config.path().toStdString());
    env.push_back("XDG_DATA_HOME=" + config.path().toStdString() + "/data");
    env.push_back("XDG_RUNTIME_DIR=" + runtime.path().toStdString());
    return env;
}

// The programs compared, each started the same way.
struct Program
{
    const char* name;
    const char* path;
    const char* argument; // or nullptr
};

const Program kPrograms[] = {
    {"lurn", LURN_EXECUTABLE, nullptr},
    {"the same window, plain", LURN_STARTUP_WINDOW, nullptr},
    {"minimal Qt window", LURN_STARTUP_REFERENCE, nullptr},
};
constexpr std::size_t kLurn = 0;
constexpr std::size_t kSameWindow = 1;
constexpr std::size_t kMinimal = 2;

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 15;
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--runs"))
        runs = std::max(1, args[2].toInt());
    try {
        Display display;
        const auto start = [&](const Program& p) {
            QTemporaryDir config;
            QTemporaryDir runtime(runtimeBase() + QStringLiteral("/lurn-bench-XXXXXX"));
            return display.start(p.path, p.argument, freshEnvironment(config, runtime), "Lurn");
        };
        // One start of each that is not counted: the first exec of a program
        // after a build reads it from disk, the first text builds caches.
        for (const Program& p : kPrograms)
            start(p);
        std::vector<Sample> samples[std::size(kPrograms)];
        // Lurn's time, RSS and CPU time over the plain window's, and over the
        // minimal window's, within each run.
        double Sample::*const fields[] = {&Sample::ms, &Sample::rssKiB, &Sample::cpuMs};
        std::vector<double> ratios[2][std::size(fields)];
        std::printf("Every run (lurn / the same window, plain):\n%4s %20s %20s %20s\n", "run",
                    "time ms", "RSS KiB", "CPU ms");
        for (int run = 0; run < runs; ++run) {
            // Rotate who goes first, so that what drifts favours none.
            Sample s[std::size(kPrograms)];
            for (std::size_t i = 0; i < std::size(kPrograms); ++i) {
                const std::size_t k = (i + std::size_t(run)) % std::size(kPrograms);
                s[k] = start(kPrograms[k]);
            }
            for (std::size_t k = 0; k < std::size(kPrograms); ++k)
                samples[k].push_back(s[k]);
            for (std::size_t f = 0; f < std::size(fields); ++f) {
                ratios[0][f].push_back(s[kLurn].*fields[f] / s[kSameWindow].*fields[f]);
                ratios[1][f].push_back(s[kLurn].*fields[f] / s[kMinimal].*fields[f]);
            }
            std::printf("%4d %8.1f / %-8.1f %8.0f / %-8.0f %8.1f / %-8.1f\n", run + 1,
                        s[kLurn].ms, s[kSameWindow].ms, s[kLurn].rssKiB, s[kSameWindow].rssKiB,
                        s[kLurn].cpuMs, s[kSameWindow].cpuMs);
        }
        const auto column = [](const std::vector<Sample>& v, double Sample::*field) {
            std::vector<double> out;
            for (const Sample& s : v)
                out.push_back(s.*field);
            return median(out);
        };
        std::printf("\nStart-up to a viewable main window, %d runs, medians; ratios are medians of\n"
                    "the ratios within each run.\n\n",
                    runs);
        std::printf("%-24s %10s %10s %10s\n", "", "time ms", "RSS KiB", "CPU ms");
        for (std::size_t k = 0; k < std::size(kPrograms); ++k)
            std::printf("%-24s %10.1f %10.0f %10.1f\n", kPrograms[k].name,
                        column(samples[k], &Sample::ms), column(samples[k], &Sample::rssKiB),
                        column(samples[k], &Sample::cpuMs));
        const double timeRatio = median(ratios[0][0]);
        const double rssRatio = median(ratios[0][1]);
        std::printf("\n%-24s %9.2fx %9.2fx %9.2fx   (target: time <= %.2fx, RSS <= %.2fx)\n",
                    "lurn / the same window", timeRatio, rssRatio, median(ratios[0][2]),
                    kTimeTarget, kRssTarget);
        std::printf("%-24s %9.2fx %9.2fx %9.2fx\n", "lurn / minimal window", median(ratios[1][0]),
                    median(ratios[1][1]), median(ratios[1][2]));
        std::printf("\ntime %s its target, RSS %s its target\n",
                    timeRatio <= kTimeTarget ? "meets" : "is ABOVE",
                    rssRatio <= kRssTarget ? "meets" : "is ABOVE");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_startup: %s\n", e.what());
        return 1;
    }
}
