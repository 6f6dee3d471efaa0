// How long one closing pass takes on GNOME Shell, through Lurn's extension,
// over 20 and 200 real windows (a quarter each: native Wayland matching, native
// Wayland not matching, X11 matching, X11 not matching), against the floor
// measured in the same run: one List call and one batch Close call on the
// extension by a minimal QtDBus client, which matches the titles as it reads
// them. The windows refuse to close, so that every run meets the same windows;
// the shell still sends every close request, and the clients have answered
// all of them before the next run starts.
//
// Needs the session tests/with-gnome-shell.sh starts; bench/run-benchmarks.sh
// runs it there.

#include "platform/gnome/GnomeShellWindows.h"
#include "rules/TitleMatch.h"
#include "station/ClosingPass.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const QString kService = QStringLiteral("org.lurn.WindowControl");
const QString kPath = QStringLiteral("/org/lurn/WindowControl");
const std::string kName = "bench TARGET";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A program with count windows that refuse to close and say so on stdout.
class Client final
{
public:
    Client(bool wayland, const QString& title, int count) : m_ready(wayland ? "shown" : "ready")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString n = QString::number(count);
        if (wayland)
            m_process.start(QStringLiteral(LURN_WAYLAND_CLIENT),
                            {"--title", title, "--count", n, "--refuse"});
        else
            m_process.start(QStringLiteral(LURN_CLOSING_CLIENT),
                            {"--title", title, "--count", n, "--mode", "refuse"});
        m_closeWord = wayland ? "close" : "delete";
    }
    ~Client()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool isReady() { return read(), m_isReady; }
    int closeRequests() { return read(), m_closeRequests; }

private:
    void read()
    {
        m_buffer += m_process.readAllStandardOutput();
        for (qsizetype eol; (eol = m_buffer.indexOf('\n')) >= 0;) {
            const QByteArray line = m_buffer.left(eol);
            m_buffer.remove(0, eol + 1);
            if (line.startsWith(m_ready))
                m_isReady = true;
            else if (line.startsWith(m_closeWord))
                ++m_closeRequests;
        }
        if (m_process.state() == QProcess::NotRunning)
            throw std::runtime_error("a client program ended");
    }

    QProcess m_process;
    QByteArray m_ready;
    QByteArray m_closeWord;
    QByteArray m_buffer;
    bool m_isReady = false;
    int m_closeRequests = 0;
};

template <typename Predicate> void waitFor(const char* what, Predicate done, int ms = 120'000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            throw std::runtime_error(std::string("timed out waiting for ") + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

QDBusMessage extensionCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

// The least a program can do: one List call, the titles matched as they are
// read, one Close call with the matches.
class Floor final
{
public:
    Floor() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "bench-floor"))
    {
        if (!m_bus.isConnected())
            throw std::runtime_error("no session bus");
    }
    ~Floor() { QDBusConnection::disconnectFromBus(QStringLiteral("bench-floor")); }
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    // One pass; returns how many windows it asked.
    int pass(const std::string& name)
    {
        const QDBusMessage listed = m_bus.call(extensionCall(QStringLiteral("List")));
        if (listed.type() != QDBusMessage::ReplyMessage)
            throw std::runtime_error("List: " + listed.errorMessage().toStdString());
        QList<qulonglong> ids;
        const QDBusArgument list = listed.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong id = 0;
            QString title;
            uint pid = 0;
            list.beginStructure();
            list >> id >> title >> pid;
            list.endStructure();
            if (titleContains(title.toStdString(), name))
                ids.append(id);
        }
        list.endArray();
        QDBusMessage close = extensionCall(QStringLiteral("Close"));
        close << QVariant::fromValue(ids);
        const QDBusMessage closed = m_bus.call(close);
        if (closed.type() != QDBusMessage::ReplyMessage)
            throw std::runtime_error("Close: " + closed.errorMessage().toStdString());
        return int(ids.size());
    }

    // How many windows the shell lists.
    int count()
    {
        const QDBusMessage listed = m_bus.call(extensionCall(QStringLiteral("List")));
        if (listed.type() != QDBusMessage::ReplyMessage)
            throw std::runtime_error("List: " + listed.errorMessage().toStdString());
        int n = 0;
        const QDBusArgument list = listed.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong id = 0;
            QString title;
            uint pid = 0;
            list.beginStructure();
            list >> id >> title >> pid;
            list.endStructure();
            ++n;
        }
        list.endArray();
        return n;
    }

private:
    QDBusConnection m_bus;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

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
        struct Size
        {
            int windows;
            int runs;
        };
        const Size sizes[] = {{20, 15}, {200, 9}};
        constexpr double kTarget = 1.5;
        std::printf("Closing pass on GNOME Shell through the extension, half of the windows\n"
                    "matching (native Wayland and X11 alike). Times in ms until the pass has\n"
                    "returned, medians of the runs; the ratio is the median of the ratios within\n"
                    "each run. Floor: one List and one Close call by a minimal QtDBus client.\n\n");
        std::printf("%7s %5s %9s %9s %9s  %s\n", "windows", "runs", "lurn", "floor", "ratio",
                    "target");
        bool met = true;
        Floor floor;
        const std::vector<std::string> names{kName};
        for (const Size& size : sizes) {
            const int quarter = size.windows / 4;
            const int before = floor.count();
            std::vector<std::unique_ptr<Client>> clients;
            clients.push_back(std::make_unique<Client>(true, "Bench target wayland", quarter));
            clients.push_back(std::make_unique<Client>(true, "Bench other wayland", quarter));
            clients.push_back(std::make_unique<Client>(false, "Bench target x11", quarter));
            clients.push_back(std::make_unique<Client>(false, "Bench other x11", quarter));
            waitFor("the windows", [&] {
                return std::all_of(clients.begin(), clients.end(),
                                   [](const auto& c) { return c->isReady(); }) &&
                       floor.count() >= before + size.windows;
            });
            int requests = 0;
            // Every close request has reached its window before the next
            // pass starts.
            const auto settle = [&](int asked) {
                requests += asked;
                waitFor("the close requests", [&] {
                    return clients[0]->closeRequests() + clients[2]->closeRequests() == requests;
                });
            };

            // Both connections warm, and the shell done with showing the
            // new windows.
            const auto lurn = platform::gnome::openShellWindows();
            for (int i = 0; i < 3; ++i) {
                settle(int(runClosingPass(*lurn, names).size()));
                settle(floor.pass(kName));
            }
            std::vector<double> lurnMs;
            std::vector<double> floorMs;
            for (int run = 0; run < size.runs; ++run) {
                // Alternate who goes first, so that what drifts within a run
                // favours neither.
                for (int turn = 0; turn < 2; ++turn) {
                    const auto start = Clock::now();
                    if ((run + turn) % 2 == 0) {
                        const auto asked = runClosingPass(*lurn, names);
                        lurnMs.push_back(msSince(start));
                        if (int(asked.size()) != 2 * quarter)
                            throw std::runtime_error("the pass asked the wrong windows");
                        settle(int(asked.size()));
                    } else {
                        const int asked = floor.pass(kName);
                        floorMs.push_back(msSince(start));
                        settle(asked);
                    }
                }
            }
            const double r = ratio(lurnMs, floorMs);
            met = met && r <= kTarget;
            std::printf("%7d %5d %9.2f %9.2f %8.2fx  %s\n", size.windows, size.runs, median(lurnMs),
                        median(floorMs), r, r <= kTarget ? "<= 1.5x: met" : "<= 1.5x: NOT met");
            std::fflush(stdout);
            clients.clear();
            waitFor("the windows to go", [&] { return floor.count() <= before; });
        }
        if (!met)
            std::printf("\nThe pass is slower than 1.5 times the floor.\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "BenchGnomeClosingPass: %s\n", e.what());
        return 1;
    }
    return 0;
}
