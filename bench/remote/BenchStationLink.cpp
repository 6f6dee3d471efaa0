// The time from a counter's order being inserted to the station's answer, for
// 1, 20 and 100 stations listening at once, against a floor measured in the
// same run: a minimal libpq client per station (LISTEN, read, UPDATE).
//
// Every station is a real StationLink in this one process, each with its own
// thread and connection as on a real PC; the window's part is an immediate
// answer from a slot on the main thread's event loop, which is where a real
// station carries an order out. The floor's clients get a thread each too, so
// the two differ only by what the link does. Times are the server's own
// (answered_at - issued_at), so no clock of this process enters them.
//
// Run under tests/with-postgres.sh. Fails when the link's mean is over 1.5
// times the floor's or any answer takes over a second.
#include "records/PostgresRecordStore.h"
#include "remote/StationLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

QString uri()
{
    return QString::fromLocal8Bit(qgetenv("LURN_PG_URI"));
}

QByteArray conninfo()
{
    return "host='" + qgetenv("LURN_PG_HOST") + "' dbname='cafe' user='lurn'";
}

QString stationName(int i)
{
    return QStringLiteral("B%1").arg(i, 3, 10, QLatin1Char('0'));
}

struct Connection
{
    PGconn* conn = PQconnectdb(conninfo().constData());
    ~Connection() { PQfinish(conn); }
    QByteArray value(const char* sql) const
    {
        PGresult* r = PQexec(conn, sql);
        QByteArray out;
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0)
            out = PQgetvalue(r, 0, 0);
        else if (PQresultStatus(r) != PGRES_COMMAND_OK)
            std::fprintf(stderr, "%s: %s", sql, PQresultErrorMessage(r));
        PQclear(r);
        return out;
    }
};

// The floor: LISTEN, and on a notification for this station read its pending
// orders and mark them done.
class MinimalClient final
{
public:
    explicit MinimalClient(QString station)
        : m_station(std::move(station)), m_thread([this] { run(); })
    {
    }
    ~MinimalClient()
    {
        m_stop = true;
        m_thread.join();
    }
    bool ready() const { return m_ready; }

private:
    void run()
    {
        Connection c;
        c.value("LISTEN lurn_commands");
        m_ready = true;
        const QByteArray station = m_station.toUtf8();
        while (!m_stop) {
            pollfd fd{PQsocket(c.conn), POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0)
                continue;
            PQconsumeInput(c.conn);
            answerPending(c, station);
        }
    }

    // Notifications that came in while a request ran wait in libpq's queue,
    // where poll() cannot see them: they are taken until none is left.
    static void answerPending(Connection& c, const QByteArray& station)
    {
        const char* params[] = {station.constData()};
        for (;;) {
            bool mine = false;
            while (PGnotify* n = PQnotifies(c.conn)) {
                mine = mine || station == n->extra;
                PQfreemem(n);
            }
            if (!mine)
                return;
            PGresult* r = PQexecParams(
                c.conn, "SELECT id FROM commands WHERE station = $1 AND state = 'pending'", 1,
                nullptr, params, nullptr, nullptr, 0);
            for (int row = 0; row < PQntuples(r); ++row) {
                const char* id[] = {PQgetvalue(r, row, 0)};
                PQclear(PQexecParams(c.conn,
                                     "UPDATE commands SET state = 'done', answered_at = now(),"
                                     " answer = '' WHERE id = $1::uuid AND state = 'pending'",
                                     1, nullptr, id, nullptr, nullptr, 0));
            }
            PQclear(r);
        }
    }

    QString m_station;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ready{false};
    std::thread m_thread;
};

// Lets the links' answers run on this thread's event loop meanwhile.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Figures
{
    double meanMs = 0;
    double maxMs = 0;
};

// Rounds of one order per station, issued together; waits for every answer.
// The counter issues and waits on a thread of its own: the main thread is
// the stations' windows', which answer from its event loop, and a station's
// window is not held up by the counter's queries (it runs on another PC).
Figures measure(int stations, int rounds, const std::function<bool()>& allReady)
{
    QElapsedTimer wait;
    wait.start();
    while (!allReady() && wait.elapsed() < 60000)
        pause(10);
    Figures figures;
    QEventLoop loop;
    std::thread counterThread([&] {
        Connection counter;
        counter.value("DELETE FROM commands");
        const QByteArray insert =
            "INSERT INTO commands (station, kind) SELECT 'B' || lpad(i::text, 3, '0'), 'stop'"
            " FROM generate_series(0, " +
            QByteArray::number(stations - 1) + ") i";
        for (int round = 0; round < rounds; ++round) {
            counter.value(insert.constData());
            QElapsedTimer t;
            t.start();
            while (counter.value("SELECT count(*) FROM commands WHERE state = 'pending'") != "0" &&
                   t.elapsed() < 30000)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        figures = {counter
                       .value("SELECT avg(extract(epoch FROM answered_at - issued_at)) * 1000"
                              " FROM commands")
                       .toDouble(),
                   counter
                       .value("SELECT coalesce(max(extract(epoch FROM answered_at - issued_at)),"
                              " 1e9) * 1000 FROM commands")
                       .toDouble()};
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    counterThread.join();
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (uri().isEmpty()) {
        std::fprintf(stderr, "run under tests/with-postgres.sh\n");
        return 2;
    }
    {
        PostgresRecordStore store(uri());
        StoreProblem problem;
        if (!store.open(problem)) {
            std::fprintf(stderr, "%s\n", qPrintable(problem.detail));
            return 1;
        }
    }
    // At least 200 answers for each figure: a lone station's 20 were too few
    // to tell it from the floor on a busy machine.
    constexpr int kAnswers = 200;
    bool pass = true;
    std::printf("stations  floor mean  floor max  link mean  link max  ratio\n");
    for (int stations : {1, 20, 100}) {
        const int rounds = std::max(20, kAnswers / stations);
        Figures floor;
        {
            std::vector<std::unique_ptr<MinimalClient>> clients;
            for (int i = 0; i < stations; ++i)
                clients.push_back(std::make_unique<MinimalClient>(stationName(i)));
            floor = measure(stations, rounds, [&] {
                for (const auto& c : clients)
                    if (!c->ready())
                        return false;
                return true;
            });
        }
        Figures link;
        {
            QTemporaryDir ledgers;
            std::vector<std::unique_ptr<StationLink>> links;
            for (int i = 0; i < stations; ++i) {
                auto l = std::make_unique<StationLink>(
                    uri(), stationName(i), ledgers.filePath(stationName(i) + ".ledger"));
                StationLink* raw = l.get();
                QObject::connect(raw, &StationLink::commandArrived, raw,
                                 [raw](const RemoteCommand& c) { raw->answer(c.id, true, {}); });
                links.push_back(std::move(l));
            }
            link = measure(stations, rounds, [&] {
                for (const auto& l : links)
                    if (!l->status().connected)
                        return false;
                return true;
            });
        }
        const double ratio = link.meanMs / std::max(floor.meanMs, 0.001);
        std::printf("%8d  %8.2f ms  %6.2f ms  %7.2f ms  %5.2f ms  %5.2f\n", stations, floor.meanMs,
                    floor.maxMs, link.meanMs, link.maxMs, ratio);
        if (ratio > 1.5 || link.maxMs > 1000) {
            std::printf("  over the target (1.5x the floor, every answer within 1 s)\n");
            pass = false;
        }
    }
    return pass ? 0 : 1;
}
