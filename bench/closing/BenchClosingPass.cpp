// How long one closing pass takes over many real top-level windows under
// openbox, half of them matching, against two references measured in the
// same run:
//  - the floor: the least any program can do over xcb for the same job (one
//    read of the stacking client list, every title in one batch, a close
//    message for every match, topmost first, one flush);
//  - `wmctrl -c NAME` in a loop until nothing matches, as an administrator
//    would script it: one process per window closed.
// Two times each: until everything is sent, and until every matching window
// is gone from the manager's client list. The windows are made anew for
// every measurement, and openbox has dealt with them before the clock starts.
//
// Needs DISPLAY with openbox; bench/run-benchmarks.sh provides both.

#include "platform/x11/X11TopLevelWindows.h"
#include "rules/TitleMatch.h"
#include "station/ClosingPass.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

const std::string kTarget = "Bench target";
const std::string kOther = "Bench other";
const std::string kName = "bench TARGET";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

xcb_atom_t intern(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    if (!r)
        throw std::runtime_error(std::string("cannot intern ") + name);
    return r->atom;
}

// A connection of the benchmark's own, for the floor and for watching.
class Display final
{
public:
    Display() : m_c(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_c))
            throw std::runtime_error("cannot connect to the display");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_clientList = intern(m_c, "_NET_CLIENT_LIST");
        m_netWmName = intern(m_c, "_NET_WM_NAME");
        m_utf8 = intern(m_c, "UTF8_STRING");
        m_closeWindow = intern(m_c, "_NET_CLOSE_WINDOW");
        m_stacking = intern(m_c, "_NET_CLIENT_LIST_STACKING");
        m_requestExtents = intern(m_c, "_NET_REQUEST_FRAME_EXTENTS");
        m_frameExtents = intern(m_c, "_NET_FRAME_EXTENTS");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_probe = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_probe, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        xcb_flush(m_c);
    }
    ~Display() { xcb_disconnect(m_c); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    std::vector<xcb_window_t> clients(bool stacking = false)
    {
        Reply<xcb_get_property_reply_t> r(
            xcb_get_property_reply(m_c,
                                   xcb_get_property(m_c, 0, m_root,
                                                    stacking ? m_stacking : m_clientList,
                                                    XCB_ATOM_WINDOW, 0, 1 << 20),
                                   nullptr),
            &std::free);
        if (!r)
            return {};
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
        return {ids, ids + xcb_get_property_value_length(r.get()) / 4};
    }

    // The floor: what the closing pass cannot do with less.
    void floorPass(const std::string& name)
    {
        std::vector<xcb_window_t> windows = clients(true);
        std::reverse(windows.begin(), windows.end());
        std::vector<xcb_get_property_cookie_t> cookies;
        cookies.reserve(windows.size());
        for (xcb_window_t w : windows)
            cookies.push_back(xcb_get_property(m_c, 0, w, m_netWmName, m_utf8, 0, 64));
        for (std::size_t i = 0; i < windows.size(); ++i) {
            Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(m_c, cookies[i], nullptr),
                                              &std::free);
            if (!r)
                continue;
            const std::string_view title(static_cast<const char*>(xcb_get_property_value(r.get())),
                                         xcb_get_property_value_length(r.get()));
            if (!titleContains(title, name))
                continue;
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = windows[i];
            event.type = m_closeWindow;
            event.data.data32[1] = 2; // a pager's or user's request
            xcb_send_event(m_c, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                           reinterpret_cast<const char*>(&event));
        }
        xcb_flush(m_c);
    }

    // Returns once openbox has handled everything sent to it so far: it answers
    // a frame extents request with a property change, after all before it.
    // A request that comes while openbox is still starting (it announces
    // itself before it listens to clients) goes unanswered, so it is sent
    // again every second. False when it has not answered by the deadline.
    bool syncWithManager(int deadlineMs)
    {
        const QDeadlineTimer deadline(deadlineMs);
        for (;;) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = m_probe;
            event.type = m_requestExtents;
            xcb_send_event(m_c, 0, m_root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                           reinterpret_cast<const char*>(&event));
            xcb_flush(m_c);
            const QDeadlineTimer again(std::min<qint64>(deadline.remainingTime(), 1000));
            for (;;) {
                Reply<xcb_generic_event_t> e(xcb_poll_for_event(m_c), &std::free);
                if (e) {
                    const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e.get());
                    if ((e->response_type & 0x7F) == XCB_PROPERTY_NOTIFY && p->window == m_probe &&
                        p->atom == m_frameExtents && p->state == XCB_PROPERTY_NEW_VALUE)
                        return true;
                    continue;
                }
                if (xcb_connection_has_error(m_c))
                    throw std::runtime_error("lost the display");
                if (again.hasExpired())
                    break;
                pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
                ::poll(&fd, 1, int(again.remainingTime()));
            }
            if (deadline.hasExpired())
                return false;
        }
    }

    bool listsAny(const std::set<xcb_window_t>& windows)
    {
        const std::vector<xcb_window_t> listed = clients();
        return std::any_of(listed.begin(), listed.end(),
                           [&](xcb_window_t w) { return windows.contains(w); });
    }

    // Blocks until none of the windows is in the manager's client list.
    void waitUntilGone(const std::set<xcb_window_t>& windows)
    {
        for (;;) {
            if (!listsAny(windows))
                return;
            // Sleep until something changes, then look again.
            Reply<xcb_generic_event_t> event(xcb_wait_for_event(m_c), &std::free);
            if (!event)
                throw std::runtime_error("lost the display");
            while (Reply<xcb_generic_event_t> more{xcb_poll_for_event(m_c), &std::free}) {
            }
        }
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_atom_t m_clientList = 0;
    xcb_atom_t m_netWmName = 0;
    xcb_atom_t m_utf8 = 0;
    xcb_atom_t m_closeWindow = 0;
    xcb_atom_t m_stacking = 0;
    xcb_atom_t m_requestExtents = 0;
    xcb_atom_t m_frameExtents = 0;
    xcb_window_t m_probe = 0;
};

// How long a client may take to show its windows. On a cold machine the
// first start of a program, and a window manager still building its font
// cache, take far longer than any measured run; a deadline is there only so
// that a hang ends the benchmark.
constexpr int kReadyDeadlineMs = 300'000;

// count windows of one program, all titled title #i.
class Client final
{
public:
    Client(const std::string& title, int count)
    {
        m_process.setProgram(QStringLiteral(LURN_CLOSING_CLIENT));
        m_process.setArguments(
            {"--title", QString::fromStdString(title), "--count", QString::number(count)});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        // waitForReadyRead() also returns false at once when the process has
        // ended: tell that apart from a slow start.
        QByteArray line;
        const QDeadlineTimer deadline(kReadyDeadlineMs);
        while (!line.endsWith('\n')) {
            if (m_process.state() == QProcess::NotRunning && !m_process.bytesAvailable())
                throw std::runtime_error(
                    "closing_client ended before its windows were shown (" +
                    (m_process.error() == QProcess::FailedToStart
                         ? m_process.errorString().toStdString()
                         : "exit status " + std::to_string(m_process.exitCode())) +
                    ")");
            if (deadline.hasExpired())
                throw std::runtime_error("closing_client did not show its windows within " +
                                         std::to_string(kReadyDeadlineMs / 1000) + " s");
            m_process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
            line += m_process.readAllStandardOutput();
        }
        const QList<QByteArray> words = line.trimmed().split(' ');
        for (qsizetype i = 1; i < words.size(); ++i)
            m_windows.insert(words[i].toUInt());
    }
    ~Client()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    const std::set<xcb_window_t>& windows() const { return m_windows; }

private:
    QProcess m_process;
    std::set<xcb_window_t> m_windows;
};

struct Sample
{
    double sent = 0;
    double gone = 0;
};

enum class Method { Lurn, Floor, Wmctrl };

Sample measure(Method method, int windows, platform::x11::X11TopLevelWindows& lurn,
               Display& display)
{
    Client target(kTarget, windows / 2);
    Client other(kOther, windows - windows / 2);
    if (!display.syncWithManager(kReadyDeadlineMs))
        throw std::runtime_error("the window manager stopped answering");

    Sample s;
    const Clock::time_point start = Clock::now();
    switch (method) {
    case Method::Lurn:
        runClosingPass(lurn, {kName});
        break;
    case Method::Floor:
        display.floorPass(kName);
        break;
    case Method::Wmctrl:
        // As a script would: close by name until nothing matches. wmctrl
        // closes one window per run, finds a window that is closing but not
        // gone yet again, and dies of an X error when a window vanishes under
        // it, so whether anything matches is asked of the client list.
        for (int runs = 0; display.listsAny(target.windows()); ++runs) {
            if (runs > 20 * windows)
                throw std::runtime_error("wmctrl does not get to the end");
            QProcess wmctrl;
            wmctrl.setStandardOutputFile(QProcess::nullDevice());
            wmctrl.setStandardErrorFile(QProcess::nullDevice());
            wmctrl.start(QStringLiteral("wmctrl"), {"-c", QString::fromStdString(kName)});
            if (!wmctrl.waitForFinished(-1))
                throw std::runtime_error("cannot run wmctrl");
        }
        break;
    }
    s.sent = msSince(start);
    display.waitUntilGone(target.windows());
    s.gone = msSince(start);
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Times of one method over the runs of one size.
struct Series
{
    std::vector<double> sent;
    std::vector<double> gone;
};

// The ratio of two methods taken run by run, so that both sides of a ratio
// were measured close together.
double ratio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> r;
    for (std::size_t i = 0; i < a.size(); ++i)
        r.push_back(a[i] / b[i]);
    return median(r);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        platform::x11::X11TopLevelWindows lurn;
        Display display;
        // Not measured: the window manager may still be starting (on a cold
        // machine it may take long), and the first start of the client
        // program reads it from disk. Wait for both, generously.
        if (!display.syncWithManager(kReadyDeadlineMs))
            throw std::runtime_error("the window manager did not answer within " +
                                     std::to_string(kReadyDeadlineMs / 1000) + " s");
        {
            const Client warmUp(kOther, 1);
        }
        struct Size
        {
            int windows;
            int runs;
        };
        const Size sizes[] = {{20, 9}, {200, 7}, {1000, 5}};
        std::fputs(R"(Closing pass under openbox, half of the windows matching. Times in ms, medians
of the runs; ratios are medians of the ratios within each run (below 1 is faster).
  floor:  one-pass xcb reference (stacking client list, all titles in one batch,
          close messages topmost first, one flush)
  wmctrl: `wmctrl -c NAME` in a loop until nothing matches (its X errors on
          windows that vanish under it silenced)

)",
                   stdout);
        std::printf("%14s| %-47s| %s\n", "", "time to send everything",
                    "time until every match is gone");
        const char* columns = "    lurn    floor   wmctrl  vs floor vs wmctrl ";
        std::printf("%7s %5s | %s| %s\n", "windows", "runs", columns, columns);
        for (const Size& size : sizes) {
            Series series[3];
            for (int run = 0; run < size.runs; ++run) {
                // Alternate who goes first, so that what drifts within a run
                // favours neither.
                const Method order[2][3] = {{Method::Lurn, Method::Floor, Method::Wmctrl},
                                            {Method::Floor, Method::Lurn, Method::Wmctrl}};
                for (Method m : order[run % 2]) {
                    const Sample s = measure(m, size.windows, lurn, display);
                    series[int(m)].sent.push_back(s.sent);
                    series[int(m)].gone.push_back(s.gone);
                }
            }
            const auto row = [&](std::vector<double> Series::*times) {
                const auto& l = series[int(Method::Lurn)].*times;
                const auto& f = series[int(Method::Floor)].*times;
                const auto& w = series[int(Method::Wmctrl)].*times;
                std::printf("%8.2f %8.2f %8.1f %8.2fx %8.3fx ", median(l), median(f), median(w),
                            ratio(l, f), ratio(l, w));
            };
            std::printf("%7d %5d | ", size.windows, size.runs);
            row(&Series::sent);
            std::printf("| ");
            row(&Series::gone);
            std::printf("\n");
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "BenchClosingPass: %s\n", e.what());
        return 1;
    }
    return 0;
}
