// The reference for the countdown benchmark: the least a Qt Widgets program
// with one visible window and a one-second timer costs while it waits.
//   bench_idle_qt SECONDS
// Prints "cpu_ns=N span_ns=M" on stdout: the process CPU time used over the
// span, which starts one second in so that start-up is not counted.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

long long cpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool ok = false;
    const int seconds = args.size() == 2 ? args[1].toInt(&ok) : 0;
    if (!ok || seconds < 1) {
        std::fprintf(stderr, "usage: bench_idle_qt SECONDS\n");
        return 2;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("idle"));
    window.resize(160, 80);
    window.show();

    // The same kind of timer as the countdown's, with nothing to do.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &app, [] {});
    tick.start();

    QElapsedTimer span;
    long long cpuStart = 0;
    QTimer::singleShot(1000, Qt::PreciseTimer, &app, [&] {
        span.start();
        cpuStart = cpuNs();
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] {
            std::printf("cpu_ns=%lld span_ns=%lld\n", cpuNs() - cpuStart,
                        static_cast<long long>(span.nsecsElapsed()));
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    });
    return QApplication::exec();
}
