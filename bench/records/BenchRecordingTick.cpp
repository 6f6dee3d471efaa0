// What recording costs the countdown's tick. The tick runs as the timer runs
// it (Timer1Timer), on a clock stepped a second at a time, in alternating
// blocks with and without the session recorder; the rate is the highest, so
// that every tick changes the cost and hands a record over. Measured: the
// window thread's CPU time and wall time per tick, and, apart, what the
// writing thread spends per record.
//   bench_records_tick
// Needs DISPLAY with a window manager; bench/run-benchmarks.sh provides both.

#include "countdown/CountdownTimer.h"
#include "platform/Backend.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "records/RecordKeeper.h"
#include "records/SessionRecorder.h"
#include "station/EventGuard.h"
#include "station/ProgramWindows.h"
#include "station/Ufer.h"
#include "station/uDemanaClau.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kBlocks = 20; // half of them recording
constexpr int kTicksPerBlock = 150;

class SteppedClock final : public platform::Clock
{
public:
    DayFraction now() const override { return m_now; }
    std::int64_t utcMs() const override { return m_utcMs; }
    void advanceMs(int ms)
    {
        m_now += double(ms) / kMillisecondsPerDay;
        m_utcMs += ms;
    }

private:
    DayFraction m_now = 46'000.25;
    std::int64_t m_utcMs = 1'765'360'800'000LL;
};

long long cpuNs(clockid_t which)
{
    timespec ts{};
    clock_gettime(which, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

struct Sample
{
    double threadUs;
    double wallUs;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.path()));
    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "bench_records_tick: %s\n", why.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<platform::Backend> backend;
    try {
        backend = platform::installBackend();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_records_tick: %s\n", e.what());
        return 1;
    }
    SteppedClock clock;
    platform::services().clock = &clock;
    createWindows();

    fmFer->edHoras->setText(QStringLiteral("23"));
    fmFer->edMinutos->setText(QStringLiteral("0"));
    fmFer->edSegundos->setText(QStringLiteral("0"));
    fmFer->edMinutosAntes->setText(QStringLiteral("0"));
    fmFer->edTarifa1->setText(QStringLiteral("100000"));
    fmFer->edClave->setText(QStringLiteral("bench"));
    fmFer->edRepetirClave->setText(QStringLiteral("bench"));
    fmFer->cbVerTiempo->setChecked(true);
    fmFer->Timer1->setInterval(24 * 3600 * 1000); // the ticks come from here
    fmFer->show();

    // "&Iniciar", and the lock opened as soon as it is up.
    QTimer opener;
    QObject::connect(&opener, &QTimer::timeout, [&] {
        if (fmDemanaClau->isVisible()) {
            fmDemanaClau->Edit1->setText(QStringLiteral("bench"));
            fmDemanaClau->BitBtn1->click();
        }
    });
    opener.start(10);
    QTimer::singleShot(300, fmFer, [] {
        guarded([] { fmFer->bbIniciarClick(); });
        QApplication::exit(0);
    });
    QApplication::exec();
    opener.stop();
    if (!fmFer->Timer1->isActive()) {
        std::fprintf(stderr, "bench_records_tick: the countdown did not start\n");
        return 1;
    }

    std::vector<double> withCpu, withoutCpu, withWall, withoutWall;
    std::vector<double> withoutFirst, withoutSecond; // the same condition twice: the noise
    long long writerNs = 0;
    int handedOver = 0;
    for (int b = 0; b < kBlocks; ++b) {
        const bool recording = b % 2 == 1;
        std::unique_ptr<RecordKeeper> keeper;
        std::unique_ptr<SessionRecorder> recorder;
        if (recording) {
            keeper =
                std::make_unique<RecordKeeper>(tmp.path() + QStringLiteral("/Lurn"), QString());
            recorder =
                std::make_unique<SessionRecorder>(fmFer->countdown(), *keeper, QStringLiteral("Puesto 1"));
            QCoreApplication::processEvents();
            keeper->waitUntilWritten(10000);
        }
        const long long processBefore = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
        long long threadInBlock = 0;
        for (int t = 0; t < kTicksPerBlock; ++t) {
            clock.advanceMs(1000);
            const long long c0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
            QElapsedTimer wall;
            wall.start();
            guarded([] { fmFer->Timer1Timer(); });
            const double wallUs = double(wall.nsecsElapsed()) / 1e3;
            const long long spent = cpuNs(CLOCK_THREAD_CPUTIME_ID) - c0;
            threadInBlock += spent;
            (recording ? withCpu : withoutCpu).push_back(double(spent) / 1e3);
            (recording ? withWall : withoutWall).push_back(wallUs);
            if (!recording)
                (b < kBlocks / 2 ? withoutFirst : withoutSecond).push_back(double(spent) / 1e3);
            QCoreApplication::processEvents();
        }
        if (recording) {
            keeper->waitUntilWritten(10000);
            // All that the process spent beyond the window's thread: the
            // writing thread's work for this block's records.
            writerNs += cpuNs(CLOCK_PROCESS_CPUTIME_ID) - processBefore - threadInBlock;
            handedOver += kTicksPerBlock;
            recorder.reset();
            keeper.reset();
        }
    }
    if (!fmFer->Timer1->isActive()) {
        std::fprintf(stderr, "bench_records_tick: the countdown ended early\n");
        return 1;
    }

    // The hand-over alone, as a tick makes it: one record, a tick apart
    // (shortened to 2 ms).
    std::vector<double> handOver;
    {
        RecordKeeper keeper(tmp.path() + QStringLiteral("/Lurn"), QString());
        SessionRecord r;
        r.id = QStringLiteral("00000000-0000-4000-8000-000000000001");
        r.station = QStringLiteral("Puesto 1");
        for (int i = 0; i < 1000; ++i) {
            r.cost = i;
            const long long c0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
            keeper.record(r);
            handOver.push_back(double(cpuNs(CLOCK_THREAD_CPUTIME_ID) - c0) / 1e3);
            const long long w0 = cpuNs(CLOCK_MONOTONIC);
            while (cpuNs(CLOCK_MONOTONIC) - w0 < 2'000'000) {
            }
        }
    }
    destroyWindows();
    backend.reset();
    platform::services().clock = nullptr;

    const double without = median(withoutCpu), with = median(withCpu);
    const double noise = std::abs(median(withoutFirst) - median(withoutSecond));
    const double difference = with - without;
    std::printf("the tick (Timer1Timer), %d ticks each way, a record handed over on every "
                "recorded tick\n",
                int(withCpu.size()));
    std::printf("  window thread CPU per tick  without %7.1f us   with %7.1f us   ratio %.3f"
                "   (means %.1f / %.1f us)\n",
                without, with, without > 0 ? with / without : 0, mean(withoutCpu), mean(withCpu));
    std::printf("  wall time per tick          without %7.1f us   with %7.1f us\n",
                median(withoutWall), median(withWall));
    std::printf("  the same condition measured twice differs by %.1f us (the noise)\n", noise);
    std::printf("  the hand-over itself (SessionRecorder to RecordKeeper): %.1f us median\n",
                median(handOver));
    std::printf("  writing thread CPU per record: %.1f us, off the tick\n",
                handedOver ? double(writerNs) / 1e3 / handedOver : 0.0);
    const bool met = difference <= std::max(noise, 0.05 * without) + 2.0;
    std::printf("  target: no measurable change on the tick: %s (difference %.1f us)\n",
                met ? "met" : "MISSED", difference);
    return 0;
}
