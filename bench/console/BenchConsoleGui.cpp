// The GUI thread's CPU time of "Sala" over a room of 100 stations that all
// change every second (a writer thread updates their rows and notifies), as a
// share of one core and against a reference in the same run: a plain table
// of 100 rows whose one column is rewritten once a second.
//   bench_console_gui [--seconds N]   (under with-postgres.sh and with-x.sh)
#include "RoomTables.h"
#include "console/ConsoleWindow.h"
#include "console/RoomModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

constexpr int kStations = 100;

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

QSqlDatabase openOwner(const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(qEnvironmentVariable("LURN_PG_HOST"));
    db.setDatabaseName(QStringLiteral("cafe"));
    db.setUserName(QStringLiteral("lurn"));
    db.open();
    return db;
}

// The GUI thread's CPU time, in ms, while the event loop runs for ms.
double busyWhileRunning(int ms)
{
    const double before = threadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return threadCpuMs() - before;
}

} // namespace

int main(int argc, char* argv[])
{
    int seconds = 20;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atoi(argv[i + 1]);
    }
    QApplication app(argc, argv);
    {
        QSqlDatabase db = openOwner(QStringLiteral("setup"));
        QSqlQuery q(db);
        for (const char* statement : kRoomTables) {
            if (!q.exec(QString::fromUtf8(statement))) {
                std::fprintf(stderr, "bench_console_gui: %s\n", qPrintable(q.lastError().text()));
                return 1;
            }
        }
        q.exec(QStringLiteral(
                   "INSERT INTO stations (station, state, started_at, planned_seconds, ends_at,"
                   " rate_per_hour, cost) SELECT 'PC-' || lpad(i::text, 3, '0'), 'running', now(), "
                   "7200,"
                   " now() + interval '2 hours', 120, 0 FROM generate_series(1, %1) i"
                   " ON CONFLICT DO NOTHING")
                   .arg(kStations));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));

    // Every station writes its row once a second and notifies, as live
    // stations with a changing cost would.
    std::atomic<bool> writing{true};
    std::thread writer([&writing] {
        {
            QSqlDatabase db = openOwner(QStringLiteral("writer"));
            QSqlQuery q(db);
            while (writing) {
                q.exec(QStringLiteral("UPDATE stations SET cost = cost + 1, updated_at = now()"));
                q.exec(QStringLiteral("SELECT pg_notify('lurn_stations', station) FROM stations"));
                for (int i = 0; i < 10 && writing; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    });

    const int ms = seconds * 1000;
    double reference = 0;
    {
        QStandardItemModel model(kStations, 7);
        for (int r = 0; r < kStations; ++r)
            for (int c = 0; c < 7; ++c)
                model.setItem(r, c, new QStandardItem(QStringLiteral("PC-%1").arg(r)));
        QTableView view;
        view.setModel(&model);
        view.verticalHeader()->hide();
        view.resize(1100, 900);
        view.show();
        int tick = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &view, [&] {
            ++tick;
            for (int r = 0; r < kStations; ++r)
                model.item(r, 2)->setText(
                    QStringLiteral("1:%1:00").arg(59 - tick % 60, 2, 10, QLatin1Char('0')));
        });
        timer.start(1000);
        busyWhileRunning(2000); // shown and settled
        reference = busyWhileRunning(ms);
    }
    double console = 0;
    int rows = 0;
    {
        ConsoleWindow window(QStringLiteral("postgresql://lurn@/cafe?host=%1")
                                 .arg(qEnvironmentVariable("LURN_PG_HOST")));
        window.resize(1100, 900);
        window.show();
        busyWhileRunning(3000); // connected and the room read
        rows = window.model().rowCount();
        console = busyWhileRunning(ms);
    }
    writing = false;
    writer.join();

    const double share = console / ms * 100.0;
    std::printf("console GUI thread, %d stations changing every second, %d s: %.0f ms CPU "
                "(%.2f%% of a core; rows shown %d)\n",
                kStations, seconds, console, share, rows);
    std::printf("reference (plain table of %d rows, one column rewritten each second): "
                "%.0f ms CPU (%.2f%% of a core)\n",
                kStations, reference, reference / ms * 100.0);
    std::printf("ratio console/reference: %.2f\n", reference > 0 ? console / reference : 0.0);
    const bool ok = rows == kStations && share < 10.0;
    std::printf("%s: GUI thread below 10%% of a core\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
