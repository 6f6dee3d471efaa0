// A station's writing through the server's own functions (lurn_write_station,
// lurn_write_session: every value checked, the station taken from the role)
// against the plain upserts they replace, for 100 stations, each on its own
// connection, every station writing its row and its running session once a
// round. Both are measured in the same run, interleaved (plain, functions,
// plain, …), and the ratio of the medians is printed.
//
// Run under tests/with-postgres.sh. Fails when the functions take more than
// 1.3 times the plain writes.
#include "records/PostgresRecordStore.h"

#include <QByteArray>
#include <QString>

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kStations = 100;
constexpr int kRounds = 20;
constexpr int kPasses = 5;

// What the station wrote before version 3.
const char* const kPlainStation =
    "WITH written AS ("
    " INSERT INTO stations (station, host, lurn_version, state, session_id, started_at,"
    "  planned_seconds, ends_at, rate_per_hour, cost, updated_at)"
    " VALUES ($1, $2, $3, $4, $5::uuid, $6::timestamptz, $7::integer,"
    "  now() + make_interval(secs => $8::double precision), $9::integer, $10::bigint, now())"
    " ON CONFLICT (station) DO UPDATE SET host = excluded.host,"
    "  lurn_version = excluded.lurn_version, state = excluded.state,"
    "  session_id = excluded.session_id, started_at = excluded.started_at,"
    "  planned_seconds = excluded.planned_seconds, ends_at = excluded.ends_at,"
    "  rate_per_hour = excluded.rate_per_hour, cost = excluded.cost, updated_at = now()"
    " RETURNING station)"
    " SELECT pg_notify('lurn_stations', station) FROM written";
const char* const kPlainSession =
    "INSERT INTO sessions (id, station, started_at, ended_at, planned_seconds, rate_per_hour,"
    " cost, end_reason, last_seen_at) VALUES ($1::uuid, $2, $3::timestamptz, $4::timestamptz,"
    " $5::integer, $6::integer, $7::bigint, $8, $9::timestamptz)"
    " ON CONFLICT (id) DO UPDATE SET station = excluded.station, ended_at = excluded.ended_at,"
    " planned_seconds = excluded.planned_seconds, rate_per_hour = excluded.rate_per_hour,"
    " cost = excluded.cost, end_reason = excluded.end_reason,"
    " last_seen_at = excluded.last_seen_at";

// What it writes now (remote/LinkWorker, records/PostgresRecordStore).
const char* const kFunctionStation =
    "SELECT lurn_write_station($1, $2, $3, $4, $5::uuid, $6::timestamptz, $7::integer,"
    " $8::double precision, $9::integer, $10::bigint)";
const char* const kFunctionSession =
    "SELECT lurn_write_session($1::uuid, $2, $3::timestamptz, $4::timestamptz, $5::integer,"
    " $6::integer, $7::bigint, $8, $9::timestamptz)";

struct Station
{
    PGconn* conn = nullptr;
    std::string name, plainSession, functionSession;
};

bool exec(PGconn* conn, const char* sql, const std::vector<std::string>& values)
{
    std::vector<const char*> params;
    for (const std::string& v : values)
        params.push_back(v.empty() ? nullptr : v.c_str()); // "" for NULL
    PGresult* r =
        PQexecParams(conn, sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0);
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok)
        std::fprintf(stderr, "%s", PQresultErrorMessage(r));
    PQclear(r);
    return ok;
}

// One round of every station writing its row and its session; seconds taken.
double pass(std::vector<Station>& stations, bool functions, int& cost)
{
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) {
        ++cost;
        const std::string c = std::to_string(cost);
        for (Station& s : stations) {
            const std::string& session = functions ? s.functionSession : s.plainSession;
            if (!exec(s.conn, functions ? kFunctionStation : kPlainStation,
                      {s.name, "bench", "3", "running", session, "2025-12-10 10:00+00", "86399",
                       "3600", "500", c}) ||
                !exec(s.conn, functions ? kFunctionSession : kPlainSession,
                      {session, s.name, "2025-12-10 10:00+00", "", "86399", "500", c, "running",
                       "2025-12-10 10:05+00"}))
                return -1;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    const QString uri = QString::fromLocal8Bit(qgetenv("LURN_PG_URI"));
    if (uri.isEmpty()) {
        std::fprintf(stderr, "run under tests/with-postgres.sh\n");
        return 2;
    }
    {
        // The shared-role mode: Lurn's own migration makes the tables and
        // the functions (the same ones the set-up script installs).
        PostgresRecordStore store(uri);
        StoreProblem problem;
        if (!store.open(problem)) {
            std::fprintf(stderr, "%s\n", qPrintable(problem.detail));
            return 1;
        }
    }
    const QByteArray info = "host='" + qgetenv("LURN_PG_HOST") + "' dbname='cafe' user='lurn'";
    std::vector<Station> stations(kStations);
    for (int i = 0; i < kStations; ++i) {
        Station& s = stations[std::size_t(i)];
        s.conn = PQconnectdb(info.constData());
        if (PQstatus(s.conn) != CONNECTION_OK) {
            std::fprintf(stderr, "%s", PQerrorMessage(s.conn));
            return 1;
        }
        char id[40];
        std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", i);
        s.plainSession = id;
        std::snprintf(id, sizeof id, "00000000-0000-4000-9000-%012d", i);
        s.functionSession = id;
        s.name = "B" + std::to_string(1000 + i).substr(1);
    }
    int plainCost = 0, functionCost = 0;
    // Warm both paths (plans, caches) before measuring.
    if (pass(stations, false, plainCost) < 0 || pass(stations, true, functionCost) < 0)
        return 1;
    std::vector<double> plain, functions;
    for (int p = 0; p < kPasses; ++p) {
        plain.push_back(pass(stations, false, plainCost));
        functions.push_back(pass(stations, true, functionCost));
        if (plain.back() < 0 || functions.back() < 0)
            return 1;
    }
    const double writes = double(kStations) * kRounds * 2;
    const double plainMs = median(plain) * 1000 / writes;
    const double functionMs = median(functions) * 1000 / writes;
    const double ratio = functionMs / std::max(plainMs, 1e-9);
    std::printf("stations  plain per write  functions per write  ratio\n");
    std::printf("%8d  %12.3f ms  %16.3f ms  %5.2f\n", kStations, plainMs, functionMs, ratio);
    for (Station& s : stations)
        PQfinish(s.conn);
    if (ratio > 1.3) {
        std::printf("  over the target (1.3x the plain writes)\n");
        return 1;
    }
    return 0;
}
