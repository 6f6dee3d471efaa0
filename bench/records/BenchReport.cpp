// A year of a café's records (20 stations, about 200 000 sessions) in SQLite
// and in PostgreSQL: how long the report window takes to show a month and the
// year, and to export the year, each against the same queries run by the
// engines' own command-line clients (sqlite3, psql) in the same run; and the
// longest the window's thread is held up while the year loads.
//   bench_records_report
// Needs DISPLAY (bench/run-benchmarks.sh provides it) and the environment of
// tests/with-postgres.sh (LURN_PG_URI, LURN_PG_HOST, LURN_PG_BIN).

#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "platform/SystemClock.h"
#include "records/PostgresRecordStore.h"
#include "records/RecordsSettings.h"
#include "records/SqliteRecordStore.h"
#include "report/ReportData.h"
#include "report/ReportWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kStations = 20;
constexpr int kSessionsPerDay = 27; // per station
constexpr int kRepeats = 5;
const QDate kFirstDay(2025, 1, 1);
const QDate kLastDay(2025, 12, 31);

// Sessions spread over the opening hours, of 10 to 120 minutes.
std::vector<SessionRecord> aYear()
{
    std::vector<SessionRecord> all;
    all.reserve(std::size_t(kStations) * 365 * kSessionsPerDay);
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    const EndReason reasons[] = {EndReason::TimeUp,  EndReason::TimeUp, EndReason::TimeUp,
                                 EndReason::Stopped, EndReason::Closed, EndReason::Interrupted};
    int n = 0;
    for (QDate day = kFirstDay; day <= kLastDay; day = day.addDays(1)) {
        const std::int64_t opening = LocalTime::dayStartUtcMs(day) + 9 * 3'600'000LL;
        for (int s = 0; s < kStations; ++s) {
            for (int k = 0; k < kSessionsPerDay; ++k) {
                SessionRecord r;
                r.id = QStringLiteral("%1-0000-4000-8000-%2")
                           .arg(++n, 8, 16, QLatin1Char('0'))
                           .arg(s, 12, 16, QLatin1Char('0'));
                r.station = QStringLiteral("Puesto %1").arg(s + 1, 2, 10, QLatin1Char('0'));
                r.startedAtMs = opening + std::int64_t(next(13 * 3600)) * 1000;
                const int minutes = 10 + int(next(111));
                r.plannedSeconds = minutes * 60;
                r.ratePerHour = next(2) ? 500 : 1000;
                r.endReason = reasons[next(6)];
                const int used =
                    r.endReason == EndReason::TimeUp ? minutes * 60 : int(next(minutes * 60));
                r.endedAtMs = r.startedAtMs + used * 1000LL;
                r.lastSeenAtMs = *r.endedAtMs;
                r.cost = (std::int64_t(used) * r.ratePerHour + 1800) / 3600;
                all.push_back(std::move(r));
            }
        }
    }
    return all;
}

QString literal(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace('\'', QLatin1String("''")) + QLatin1Char('\'');
}

// The report's query with the filter's values in place of its ?.
QString withValues(QString sql, const ReportFilter& f)
{
    for (const QString& v : {isoUtcText(f.fromMs), isoUtcText(f.toMs)})
        sql.replace(sql.indexOf(QLatin1Char('?')), 1, literal(v));
    return sql;
}

// The same work the report does: its rows, the stations, and the takings per
// day and station (which the report sums itself from the rows, and a client
// can only get from the engine).
QString referenceSql(bool postgres, const ReportFilter& f)
{
    const QString rows = withValues(
        postgres ? PostgresRecordStore::reportSql(false) : SqliteRecordStore::reportSql(false), f);
    const QString where = QStringLiteral(" WHERE started_at >= %1 AND started_at < %2")
                              .arg(literal(isoUtcText(f.fromMs)), literal(isoUtcText(f.toMs)));
    const QString day = postgres ? QStringLiteral("(started_at AT TIME ZONE 'Europe/Madrid')::date")
                                 : QStringLiteral("date(started_at, 'localtime')");
    return rows + QStringLiteral(";\n") + stationsSql() + QStringLiteral(";\n") +
           QStringLiteral(
               "SELECT %1, station, sum(cost), count(*) FROM sessions%2 GROUP BY 1, 2;\n")
               .arg(day, where);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs the client and returns the wall time, or -1.
double runClient(const QString& program, const QStringList& args, const QString& input,
                 const QString& output)
{
    QProcess p;
    p.setStandardOutputFile(output);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        std::fprintf(stderr, "bench: %s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
        return -1;
    }
    return double(t.nsecsElapsed()) / 1e6;
}

// Times every event the window's thread handles: the longest one is what the
// window itself held the thread for, apart from what the system's load adds.
class TimedApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        QElapsedTimer t;
        t.start();
        const bool done = QApplication::notify(receiver, event);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        if (ms > longestMs) {
            longestMs = ms;
            longestWhat = QStringLiteral("%1, event %2")
                              .arg(QLatin1String(receiver->metaObject()->className()))
                              .arg(int(event->type()));
        }
        return done;
    }

    double longestMs = 0;
    QString longestWhat;
};

struct Figures
{
    double month = 0, year = 0, exportYear = 0;
    double refMonth = 0, refYear = 0, refExport = 0;
    double stallMs = 0;
    double longestEventMs = 0;
    QString longestEvent;
    double refRowsYear = 0; // the rows query alone, for comparison
    int yearRows = 0;
};

// Measures the window: loads (median of kRepeats) and the longest stall.
bool measureWindow(ReportWindow& window, const QString& exportPath, Figures& f)
{
    bool ok = true;
    auto load = [&](const QDate& from, const QDate& to, double& maxGapMs) {
        QElapsedTimer t;
        QElapsedTimer beat;
        double worst = 0;
        QTimer heartbeat;
        heartbeat.setInterval(5);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            worst = std::max(worst, double(beat.nsecsElapsed()) / 1e6);
            beat.restart();
        });
        QEventLoop loop;
        double took = -1;
        const auto c = QObject::connect(&window, &ReportWindow::shown, &loop, [&](int rows) {
            took = double(t.nsecsElapsed()) / 1e6;
            f.yearRows = rows;
            // Let the rows and the chart paint before the stall watch ends.
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        beat.start();
        heartbeat.start();
        t.start();
        window.setFilter(from, to);
        loop.exec();
        QObject::disconnect(c);
        maxGapMs = worst;
        if (took < 0)
            ok = false;
        return took;
    };

    auto* timed = static_cast<TimedApplication*>(qApp);
    timed->longestMs = 0;
    std::vector<double> months, years;
    double stall = 0;
    for (int i = 0; i < kRepeats && ok; ++i) {
        double gap = 0;
        months.push_back(load(QDate(2025, 6, 1), QDate(2025, 6, 30), gap));
        years.push_back(load(kFirstDay, kLastDay, gap));
        stall = std::max(stall, gap);
    }
    f.month = median(months);
    f.year = median(years);
    f.stallMs = stall;
    f.longestEventMs = timed->longestMs;
    f.longestEvent = timed->longestWhat;

    std::vector<double> exports;
    for (int i = 0; i < kRepeats && ok; ++i) {
        QEventLoop loop;
        QElapsedTimer t;
        double took = -1;
        const auto c = QObject::connect(&window, &ReportWindow::exported, &loop,
                                        [&](const QString&, int, const QString& problem) {
                                            if (problem.isEmpty())
                                                took = double(t.nsecsElapsed()) / 1e6;
                                            loop.quit();
                                        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        t.start();
        window.exportTo(exportPath);
        loop.exec();
        QObject::disconnect(c);
        if (took < 0)
            ok = false;
        exports.push_back(took);
    }
    f.exportYear = median(exports);
    return ok;
}

bool measureReference(bool postgres, const QString& sqliteFile, const QString& tmp, Figures& f)
{
    const QString bin = QString::fromLocal8Bit(qgetenv("LURN_PG_BIN"));
    const QString host = QString::fromLocal8Bit(qgetenv("LURN_PG_HOST"));
    auto client = [&](bool csvExport, QStringList& args, QString& program) {
        if (postgres) {
            program = bin + QStringLiteral("/psql");
            args = {"-X", "-q", "-h", host, "-U", "lurn", "-d", "cafe", "-v", "ON_ERROR_STOP=1"};
            args << (csvExport ? QStringList{"--csv"} : QStringList{"-A", "-t", "-F", ","});
        } else {
            program = QStringLiteral("sqlite3");
            args = {"-batch"};
            if (csvExport)
                args << "-csv"
                     << "-header";
            args << sqliteFile;
        }
    };
    const ReportFilter month = ReportRequest{QDate(2025, 6, 1), QDate(2025, 6, 30), {}}.filter();
    const ReportFilter year = ReportRequest{kFirstDay, kLastDay, {}}.filter();
    const QString rows = withValues(postgres ? PostgresRecordStore::reportSql(false)
                                             : SqliteRecordStore::reportSql(false),
                                    year) +
                         QStringLiteral(";\n");
    std::vector<double> m, y, e, r;
    for (int i = 0; i < kRepeats; ++i) {
        QStringList args;
        QString program;
        client(false, args, program);
        m.push_back(runClient(program, args, referenceSql(postgres, month), "/dev/null"));
        y.push_back(runClient(program, args, referenceSql(postgres, year), "/dev/null"));
        r.push_back(runClient(program, args, rows, "/dev/null"));
        client(true, args, program);
        e.push_back(runClient(program, args, rows, tmp + QStringLiteral("/reference.csv")));
    }
    for (const auto* v : {&m, &y, &e, &r})
        if (std::find(v->begin(), v->end(), -1.0) != v->end())
            return false;
    f.refMonth = median(m);
    f.refYear = median(y);
    f.refExport = median(e);
    f.refRowsYear = median(r);
    return true;
}

bool fillPostgres(const std::vector<SessionRecord>& year, const QString& tmp)
{
    PostgresRecordStore store(QString::fromLocal8Bit(qgetenv("LURN_PG_URI")));
    StoreProblem problem;
    if (!store.open(problem)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(problemLogText(problem)));
        return false;
    }
    store.close();
    // COPY is how a year arrives quickly; the program itself sends a few at a time.
    QFile csv(tmp + QStringLiteral("/year.csv"));
    if (!csv.open(QIODevice::WriteOnly))
        return false;
    QByteArray out;
    for (const SessionRecord& r : year) {
        out += (QStringList{r.id, r.station, isoUtcText(r.startedAtMs), isoUtcText(*r.endedAtMs),
                            QString::number(r.plannedSeconds), QString::number(r.ratePerHour),
                            QString::number(r.cost), endReasonKey(r.endReason),
                            isoUtcText(r.lastSeenAtMs)}
                    .join(',') +
                '\n')
                   .toUtf8();
    }
    csv.write(out);
    csv.close();
    const QString bin = QString::fromLocal8Bit(qgetenv("LURN_PG_BIN"));
    return runClient(bin + "/psql",
                     {"-X", "-q", "-h", QString::fromLocal8Bit(qgetenv("LURN_PG_HOST")), "-U",
                      "lurn", "-d", "cafe", "-v", "ON_ERROR_STOP=1"},
                     QStringLiteral("TRUNCATE sessions;\n\\copy sessions FROM '%1' CSV\n"
                                    "VACUUM ANALYZE sessions;\n")
                         .arg(csv.fileName()),
                     "/dev/null") >= 0;
}

void print(const char* engine, const Figures& f)
{
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    std::printf("%s, %d sessions in the year\n", engine, f.yearRows);
    std::printf("  open a month   %8.1f ms   reference %8.1f ms   ratio %.2f (target <= 1.5: %s)\n",
                f.month, f.refMonth, ratio(f.month, f.refMonth),
                verdict(ratio(f.month, f.refMonth) <= 1.5));
    std::printf("  open the year  %8.1f ms   reference %8.1f ms   ratio %.2f (target <= 1.5: %s)\n",
                f.year, f.refYear, ratio(f.year, f.refYear),
                verdict(ratio(f.year, f.refYear) <= 1.5));
    std::printf("  export a year  %8.1f ms   reference %8.1f ms   ratio %.2f (target <= 1.5: %s)\n",
                f.exportYear, f.refExport, ratio(f.exportYear, f.refExport),
                verdict(ratio(f.exportYear, f.refExport) <= 1.5));
    std::printf("  (the year's rows query alone in the client: %.1f ms, ratio %.2f)\n",
                f.refRowsYear, ratio(f.year, f.refRowsYear));
    std::printf(
        "  longest stall of the window's thread while loading: %.1f ms (target < 100: %s)\n",
        f.stallMs, verdict(f.stallMs < 100));
    std::printf("  longest single event it handled meanwhile: %.1f ms (%s)\n", f.longestEventMs,
                qPrintable(f.longestEvent));
}

} // namespace

int main(int argc, char* argv[])
{
    // Days are local days: one zone for the program and the references.
    qputenv("TZ", "Europe/Madrid");
    QTemporaryDir tmp;
    qputenv("XDG_DATA_HOME", QFile::encodeName(tmp.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path()));
    std::string why;
    if (!platform::prepareToStart(argc, argv, why)) {
        std::fprintf(stderr, "bench_records_report: %s\n", why.c_str());
        return 1;
    }
    TimedApplication app(argc, argv);
    platform::SystemClock clock;
    platform::services().clock = &clock;
    if (qEnvironmentVariableIsEmpty("LURN_PG_URI")) {
        std::fprintf(stderr, "bench_records_report: run under tests/with-postgres.sh\n");
        return 1;
    }

    QElapsedTimer made;
    made.start();
    const std::vector<SessionRecord> year = aYear();
    const QString sqliteFile = recordsDirectory() + QStringLiteral("/records.sqlite");
    {
        SqliteRecordStore store(sqliteFile);
        StoreProblem problem;
        if (!store.open(problem) || !store.save(year, problem)) {
            std::fprintf(stderr, "bench: %s\n", qPrintable(problemLogText(problem)));
            return 1;
        }
    }
    if (!fillPostgres(year, tmp.path()))
        return 1;
    std::printf("a year of records made in %.1f s (SQLite and PostgreSQL)\n\n",
                double(made.elapsed()) / 1000);

    int status = 0;
    for (const bool postgres : {false, true}) {
        {
            platform::SettingsStore settings(QStringLiteral("Lurn"));
            saveRecordsSettings(
                settings, {QStringLiteral("Puesto 01"),
                           postgres ? QString::fromLocal8Bit(qgetenv("LURN_PG_URI")) : QString()});
            settings.close();
        }
        Figures f;
        ReportWindow window(nullptr);
        window.show();
        // The first load (today, empty) out of the way.
        QEventLoop settle;
        QObject::connect(&window, &ReportWindow::shown, &settle, &QEventLoop::quit);
        QTimer::singleShot(30000, &settle, &QEventLoop::quit);
        settle.exec();
        const bool ok = measureWindow(window, tmp.path() + QStringLiteral("/year.csv.out"), f) &&
                        measureReference(postgres, sqliteFile, tmp.path(), f);
        if (!ok) {
            std::fprintf(stderr, "bench_records_report: the %s run was not completed\n",
                         postgres ? "PostgreSQL" : "SQLite");
            status = 1;
            continue;
        }
        print(postgres ? "PostgreSQL" : "SQLite", f);
        std::printf("\n");
    }
    platform::services().clock = nullptr;
    return status;
}
