// A real countdown, with the system clock and the program's own timer, as the
// customer sees it on the task bar: is every second shown once, how evenly do
// the ticks come, and what does a tick cost in CPU time against an idle Qt
// program (bench_idle_qt) measured over the same time.
//   bench_countdown [--seconds N] [--log FILE.csv]
// Needs DISPLAY with a window manager; bench/run-benchmarks.sh provides both.

#include "countdown/CountdownTimer.h"
#include "platform/AppShell.h"
#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/WindowPlacement.h"
#include "platform/x11/X11AppShell.h"
#include "station/EventGuard.h"
#include "station/ProgramWindows.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

const QString kPassword = QStringLiteral("bench");

long long cpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

// One line of the log: a tick (the title once the tick has run) or a change of
// the task-bar title.
struct Event
{
    long long ns;
    bool tick;
    QString title;
    bool timerActive;
};

// "h:m:s" as seconds, or -1.
int secondsOf(const QString& title)
{
    static const QRegularExpression hms(QStringLiteral("^(\\d+):(\\d+):(\\d+)$"));
    const QRegularExpressionMatch m = hms.match(title);
    return m.hasMatch()
               ? m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt()
               : -1;
}

QString listed(const std::vector<int>& values)
{
    QStringList out;
    for (int v : values)
        out << QString::number(v);
    return values.empty() ? QStringLiteral("none")
                          : QString::number(values.size()) + ": " + out.join(' ');
}

// min / median / max of values in ms.
QString spread(std::vector<double> ms)
{
    if (ms.empty())
        return QStringLiteral("-");
    std::sort(ms.begin(), ms.end());
    return QStringLiteral("min %1  median %2  max %3")
        .arg(ms.front(), 0, 'f', 3)
        .arg(ms[ms.size() / 2], 0, 'f', 3)
        .arg(ms.back(), 0, 'f', 3);
}

void fillFields(int seconds)
{
    fmFer->edHoras->setText(QString::number(seconds / 3600));
    fmFer->edMinutos->setText(QString::number(seconds / 60 % 60));
    fmFer->edSegundos->setText(QString::number(seconds % 60));
    fmFer->edMinutosAntes->setText(QStringLiteral("0"));
    fmFer->edClave->setText(kPassword);
    fmFer->edRepetirClave->setText(kPassword);
    fmFer->cbVerTiempo->setChecked(true);
}

void unlock()
{
    fmDemanaClau->Edit1->setText(kPassword);
    fmDemanaClau->BitBtn1->click();
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir config;
    if (!config.isValid()) {
        std::fprintf(stderr, "bench_countdown: no temporary directory\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "bench_countdown: %s\n", why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurn"));
    QApplication::setQuitOnLastWindowClosed(false);

    int seconds = 120;
    QString logPath =
        QCoreApplication::applicationDirPath() + QStringLiteral("/countdown-ticks.csv");
    const QStringList args = QCoreApplication::arguments();
    bool usable = args.size() % 2 == 1;
    for (int i = 1; usable && i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toInt(&usable);
        else if (args[i] == QLatin1String("--log"))
            logPath = args[i + 1];
        else
            usable = false;
    }
    // The fields take at most 23:59:59.
    if (!usable || seconds < 2 || seconds >= 24 * 3600) {
        std::fprintf(stderr, "usage: bench_countdown [--seconds 2..86399] [--log FILE]\n");
        return 2;
    }

    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::installBackend();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_countdown: %s\n", e.what());
        return 1;
    }
    auto* shell = dynamic_cast<platform::x11::X11AppShell*>(platform::services().app);
    if (!shell) {
        std::fprintf(stderr, "bench_countdown: needs the X11 backend\n");
        return 1;
    }
    createWindows();
    fillFields(seconds);

    QElapsedTimer clock;
    std::vector<Event> events;
    events.reserve(std::size_t(seconds) * 2 + 16);
    long long cpuStart = 0, cpuFirstTick = 0, cpuEnd = 0;
    bool ended = false;

    QObject::connect(
        shell->ownerWindow(), &QWidget::windowTitleChanged, fmFer, [&](const QString& title) {
            if (clock.isValid())
                events.push_back({clock.nsecsElapsed(), false, title, fmFer->Timer1->isActive()});
        });
    // Queued after the program's own queued tick, so it runs once the tick has
    // set the title. A repeated second leaves the title as it was and emits no
    // change; only this sees it.
    QObject::connect(
        fmFer->Timer1, &CountdownTimer::timeout, fmFer,
        [&] {
            const bool active = fmFer->Timer1->isActive();
            events.push_back({clock.nsecsElapsed(), true, shell->title(), active});
            if (!cpuFirstTick)
                cpuFirstTick = cpuNs();
            if (!active && !ended) {
                ended = true;
                cpuEnd = cpuNs();
                QTimer::singleShot(2000, fmFer, unlock);
            }
        },
        Qt::QueuedConnection);
    // Should the countdown never end, or the lock not open, the run is given up.
    bool stuck = false;
    QTimer::singleShot((seconds + 20) * 1000, fmFer, [&] {
        stuck = true;
        unlock();
        QTimer::singleShot(2000, fmFer, [] { QCoreApplication::exit(1); });
    });

    QProcess idle;
    platform::centreOnScreen(fmFer);
    fmFer->show();
    QTimer::singleShot(500, fmFer, [&] {
        idle.start(QStringLiteral(LURN_BENCH_IDLE_QT), {QString::number(seconds)});
        cpuStart = cpuNs();
        clock.start();
        guarded([] { fmFer->bbIniciarClick(); });
        QApplication::exit(0);
    });
    QApplication::exec();

    destroyWindows();
    backend.reset();

    idle.waitForFinished(30'000);
    const QString idleOut = QString::fromLocal8Bit(idle.readAllStandardOutput());
    const QRegularExpressionMatch idleMatch =
        QRegularExpression(QStringLiteral("cpu_ns=(\\d+) span_ns=(\\d+)")).match(idleOut);

    QFile log(logPath);
    if (log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream out(&log);
        out << "t_ns,event,title,timer_active\n";
        for (const Event& e : events)
            out << e.ns << ',' << (e.tick ? "tick" : "title") << ',' << e.title << ','
                << int(e.timerActive) << '\n';
    } else {
        std::fprintf(stderr, "bench_countdown: cannot write %s\n", qPrintable(logPath));
    }

    // The title is first set by the first tick, one second in: the seconds to
    // see are seconds-1 down to 0.
    std::vector<const Event*> ticks;
    int titleChanges = 0;
    for (const Event& e : events) {
        if (e.tick)
            ticks.push_back(&e);
        else
            ++titleChanges;
    }
    std::map<int, int> shown;
    std::vector<int> repeated, skipped, unexpected;
    QString endingTitle = QStringLiteral("(none)");
    int previous = seconds;
    for (const Event* t : ticks) {
        const int s = secondsOf(t->title);
        if (!t->timerActive) {
            endingTitle = t->title;
            continue;
        }
        if (s < 0 || s >= seconds || s > previous)
            unexpected.push_back(s);
        else if (++shown[s] == 2)
            repeated.push_back(s);
        previous = std::max(s, 0);
    }
    // The first tick, a second in, shows the second below the length with
    // its fraction cut off (0:29:58 for half an hour): every second from
    // there down is due once.
    const int firstShown = seconds - 2;
    for (int s = firstShown; s >= 0; --s)
        if (!shown.count(s) && !(s == 0 && secondsOf(endingTitle) == 0))
            skipped.push_back(s);

    std::vector<double> intervals, lags;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        lags.push_back(double(ticks[i]->ns - (long long)(i + 1) * 1'000'000'000LL) / 1e6);
        if (i > 0)
            intervals.push_back(double(ticks[i]->ns - ticks[i - 1]->ns) / 1e6);
    }
    double mean = 0, sd = 0;
    for (double v : intervals)
        mean += v / double(intervals.size());
    for (double v : intervals)
        sd += (v - mean) * (v - mean) / double(intervals.size());
    sd = std::sqrt(sd);

    const int n = int(ticks.size());
    const double cpuWholeMs = n > 0 ? double(cpuEnd - cpuStart) / 1e6 / n : 0;
    const double cpuSteadyMs = n > 1 ? double(cpuEnd - cpuFirstTick) / 1e6 / (n - 1) : 0;
    const double idleMsPerS = idleMatch.hasMatch() ? idleMatch.captured(1).toDouble() / 1e6 /
                                                         (idleMatch.captured(2).toDouble() / 1e9)
                                                   : 0;
    auto ratio = [&](double v) {
        return idleMsPerS > 0 ? QString::number(v / idleMsPerS, 'f', 2) : QStringLiteral("-");
    };

    QTextStream out(stdout);
    out << "countdown of " << seconds << " s, system clock and the program's timer\n"
        << "ticks                  " << n << " (" << std::max(n - 1, 0)
        << " before the end, then the ending tick)\n"
        << "title changes          " << titleChanges << "\n"
        << "seconds expected       " << firstShown << " down to 0, each once\n"
        << "SKIPPED                " << listed(skipped) << "\n"
        << "REPEATED               " << listed(repeated) << "\n"
        << "out of range or order  " << listed(unexpected) << "\n"
        << "ending tick showed     " << endingTitle << "\n"
        << "tick interval ms       " << spread(intervals) << "  jitter (sd) "
        << QString::number(sd, 'f', 3) << "\n"
        << "tick k after k s, ms   " << spread(lags) << "\n"
        << "Lurn CPU per tick ms   " << QString::number(cpuSteadyMs, 'f', 4)
        << " (first tick to end), " << QString::number(cpuWholeMs, 'f', 4)
        << " (from the start, lock included)\n"
        << "idle Qt CPU per s ms   "
        << (idleMatch.hasMatch() ? QString::number(idleMsPerS, 'f', 4)
                                 : "no answer: " + idleOut.trimmed())
        << "\n"
        << "ratio tick / idle s    " << ratio(cpuSteadyMs) << " (first tick to end), "
        << ratio(cpuWholeMs) << " (from the start)\n"
        << "log                    " << logPath << "\n";
    out.flush();

    if (stuck || !ended || !idleMatch.hasMatch()) {
        std::fprintf(stderr, "bench_countdown: the run was not completed (%s)\n",
                     !ended  ? "the countdown did not end"
                     : stuck ? "the lock did not open"
                             : "the idle reference did not answer");
        return 1;
    }
    return 0;
}
