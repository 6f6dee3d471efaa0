// One PostgreSQL server for a whole café: a private server started by
// tests/with-postgres.sh, stopped and started again by the tests themselves.
#include "RecordsTestSupport.h"
#include "records/DriverLibraries.h"
#include "records/PostgresRecordStore.h"
#include "records/RecordKeeper.h"
#include "report/ReportLoader.h"

#include "PrivateServer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

namespace {

constexpr std::int64_t kTen = 1'765'360'800'000LL; // 2025-12-10 10:00 UTC
// Short waits, so that "a minute later" comes within the test.
constexpr RecordKeeperTiming kQuick{1000, 200};

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString uriFor(const QString& user, const QString& database)
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, database, env("LURN_PG_HOST"));
}

// The server as an owner's own tool sees it.
class Server final
{
public:
    explicit Server(const QString& user = QStringLiteral("lurn"))
        : m_name(QStringLiteral("test-server-%1").arg(++count()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(env("LURN_PG_HOST"));
        db.setDatabaseName(QStringLiteral("cafe"));
        db.setUserName(user);
        db.open();
    }
    ~Server()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool exec(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql);
    }
    // The server's SQLSTATE and message when it refuses; empty when it does not.
    QString refusal(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        if (q.exec(sql))
            return QString();
        return q.lastError().nativeErrorCode() + QLatin1Char(' ') + q.lastError().databaseText();
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
    // Every row as RecordsTestSupport's rowText() writes it.
    QStringList rows()
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        QStringList out;
        q.exec(QStringLiteral(
            "SELECT id::text, station,"
            " to_char(started_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'),"
            " coalesce(to_char(ended_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
            "''),"
            " planned_seconds, rate_per_hour, cost, end_reason,"
            " to_char(last_seen_at AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')"
            " FROM sessions ORDER BY started_at, station"));
        while (q.next()) {
            QStringList columns;
            for (int i = 0; i < 9; ++i)
                columns << q.value(i).toString();
            out << columns.join(QLatin1Char('|'));
        }
        return out;
    }

private:
    static int& count()
    {
        static int n = 0;
        return n;
    }
    QString m_name;
};

QString uuid(int station, int n)
{
    return QStringLiteral("00000000-0000-4000-8%1-%2")
        .arg(station, 3, 10, QLatin1Char('0'))
        .arg(n, 12, 10, QLatin1Char('0'));
}

void setPassword(const char* password)
{
    if (password)
        qputenv("PGPASSWORD", password);
    else
        qunsetenv("PGPASSWORD");
}

} // namespace

Q_DECLARE_METATYPE(StoreProblem::Kind)

class TestPostgresRecords final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (env("LURN_PG_URI").isEmpty())
            QFAIL("run under tests/with-postgres.sh");
        qunsetenv("PGPASSWORD");
        qunsetenv("PGPASSFILE");
    }

    void init()
    {
        // Every case starts from an empty server.
        Server server;
        QVERIFY(server.exec("DROP TABLE IF EXISTS sessions, schema_version"));
    }

    // Two stations start at once on an empty server: one creates the table,
    // both write, and the report lists both.
    void twoStationsAtOnce()
    {
        QTemporaryDir a, b;
        std::vector<SessionRecord> last;
        {
            RecordKeeper first(a.path(), env("LURN_PG_URI"), kQuick);
            RecordKeeper second(b.path(), env("LURN_PG_URI"), kQuick);
            // Each station changes its records many times while the other
            // does the same.
            auto run = [](RecordKeeper& keeper, int station, std::vector<SessionRecord>& out) {
                for (int n = 0; n < 5; ++n) {
                    SessionRecord r =
                        sessionRecord(uuid(station, n), QStringLiteral("Puesto %1").arg(station),
                                      kTen + n * 600'000 + station * 1000);
                    for (int cost = 0; cost <= 20; ++cost) {
                        r.cost = cost;
                        r.lastSeenAtMs = r.startedAtMs + cost * 1000;
                        keeper.record(r);
                    }
                    r.endReason = EndReason::TimeUp;
                    r.endedAtMs = r.lastSeenAtMs;
                    keeper.record(r);
                    out.push_back(r);
                }
            };
            std::vector<SessionRecord> one, two;
            std::thread t1([&] { run(first, 1, one); });
            std::thread t2([&] { run(second, 2, two); });
            t1.join();
            t2.join();
            QVERIFY(first.waitUntilSent(30000));
            QVERIFY(second.waitUntilSent(30000));
            last = one;
            last.insert(last.end(), two.begin(), two.end());
        }
        std::sort(last.begin(), last.end(),
                  [](const auto& x, const auto& y) { return x.startedAtMs < y.startedAtMs; });
        QStringList expected;
        for (const SessionRecord& r : last)
            expected << rowText(r);
        Server server;
        QCOMPARE(server.rows(), expected);
        QCOMPARE(server.value("SELECT version FROM schema_version").toInt(), 3);

        ReportLoader loader;
        QSignalSpy loaded(&loader, &ReportLoader::loaded);
        loader.load({env("LURN_PG_URI"), a.path(), QString()},
                    {QDate(2025, 12, 10), QDate(2025, 12, 10), QString()});
        QVERIFY(loaded.wait(10000));
        const auto result = loaded.front().front().value<LoadResult>();
        QVERIFY2(result.fromServer, qPrintable(result.problem));
        QCOMPARE(result.stations, QStringList({"Puesto 1", "Puesto 2"}));
        QCOMPARE(result.content.sessions, 10);
        QCOMPARE(result.content.cost, 200);
        // Read through the libpq Qt's driver loaded, not through Qt's values.
        QVERIFY(loadedPq());
    }

    // The server goes away in the middle of a session and comes back: every
    // record arrives once, none twice, none lost; also across a restart of
    // the program while the server is away.
    void serverAwayMidSession()
    {
        QTemporaryDir dir;
        SessionRecord running = sessionRecord(uuid(1, 1), "Puesto 1", kTen);
        SessionRecord other =
            sessionRecord(uuid(1, 2), "Puesto 1", kTen + 1000, 3, EndReason::Stopped);
        SessionRecord afterRestart =
            sessionRecord(uuid(1, 3), "Puesto 1", kTen + 2000, 4, EndReason::Closed);
        {
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), kQuick);
            keeper.record(running);
            QVERIFY(keeper.waitUntilSent(15000));

            QVERIFY(serverCtl("stop"));
            for (int cost = 1; cost <= 5; ++cost) {
                running.cost = cost;
                running.lastSeenAtMs += 1000;
                keeper.record(running);
            }
            keeper.record(other);
            QVERIFY(keeper.waitUntilWritten(10000));
            QTRY_COMPARE_WITH_TIMEOUT(keeper.status().link, RecordsStatus::Link::Failing, 15000);
            QTRY_COMPARE_WITH_TIMEOUT(keeper.status().unsent, 2, 15000);
            QVERIFY(!keeper.status().serverProblem.isEmpty());

            QVERIFY(serverCtl("start"));
            // The next change goes, with everything still waiting.
            running.cost = 6;
            running.lastSeenAtMs += 1000;
            keeper.record(running);
            QVERIFY(keeper.waitUntilSent(20000));
            Server after;
            QCOMPARE(after.rows(), QStringList({rowText(running), rowText(other)}));

            QVERIFY(serverCtl("stop"));
            keeper.record(afterRestart);
            QVERIFY(keeper.waitUntilWritten(10000));
        }
        // The program ended with a record unsent; it goes at the next start.
        QVERIFY(serverCtl("start"));
        {
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), kQuick);
            QVERIFY(keeper.waitUntilSent(20000));
        }
        Server after;
        QCOMPARE(after.rows(),
                 QStringList({rowText(running), rowText(other), rowText(afterRestart)}));
        QCOMPARE(after.value("SELECT count(*) FROM sessions").toInt(), 3);
    }

    // A server set in the report window gets the station's earlier records.
    void serverSetLater()
    {
        QTemporaryDir dir;
        const SessionRecord early =
            sessionRecord(uuid(4, 1), "Puesto 4", kTen, 7, EndReason::TimeUp);
        const SessionRecord later =
            sessionRecord(uuid(4, 2), "Puesto 4", kTen + 5000, 8, EndReason::Stopped);
        RecordKeeper keeper(dir.path(), QString(), kQuick);
        keeper.record(early);
        QVERIFY(keeper.waitUntilWritten(10000));
        QCOMPARE(keeper.status().link, RecordsStatus::Link::NotSet);
        keeper.setServer(env("LURN_PG_URI"));
        keeper.record(later);
        QVERIFY(keeper.waitUntilSent(20000));
        Server server;
        QCOMPARE(server.rows(), QStringList({rowText(early), rowText(later)}));
    }

    void poisonedRowSetAside_data()
    {
        QTest::addColumn<QString>("change");     // SQL that spoils the row in the file
        QTest::addColumn<QString>("serverRule"); // run on the server first; empty for none
        QTest::addColumn<int>("after");          // good records after it
        QTest::addColumn<QString>("says");       // in the reason kept with it
        QTest::newRow("id that is not a UUID") << "id = 'no-es-un-uuid'"
                                               << "" << 3 << "uuid";
        QTest::newRow("id that is not a UUID, before more than a batch") << "id = 'no-es-un-uuid'"
                                                                         << "" << 250 << "uuid";
        QTest::newRow("empty id") << "id = ''"
                                  << "" << 3 << "uuid";
        QTest::newRow("start that is not a time") << "started_at = 'ayer a las diez'"
                                                  << "" << 3 << "no se puede leer";
        QTest::newRow("end that is not a time") << "ended_at = '31/12/2025 10:00'"
                                                << "" << 3 << "no se puede leer";
        QTest::newRow("rate the server's own rule refuses")
            << "rate_per_hour = 99999"
            << "ALTER TABLE sessions ADD CONSTRAINT rate_sane CHECK (rate_per_hour < 50000)" << 3
            << "rate_sane";
        QTest::newRow("cost past the countdown's length") << "cost = 99999999"
                                                          << "" << 3 << "lurn: cost 99999999";
    }

    // One row the server refuses (or that cannot be read here) is set aside
    // with the reason, kept in the file, and named in the status; every row
    // after it arrives.
    void poisonedRowSetAside()
    {
        QFETCH(QString, change);
        QFETCH(QString, serverRule);
        QFETCH(int, after);
        QFETCH(QString, says);
        {
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(owner.open(problem));
        }
        if (!serverRule.isEmpty())
            QVERIFY(Server().exec(serverRule));

        QTemporaryDir dir;
        const SessionRecord before =
            sessionRecord(uuid(5, 0), "Puesto 5", kTen, 1, EndReason::TimeUp);
        const SessionRecord poisoned =
            sessionRecord(uuid(5, 1), "Puesto 5", kTen + 1000, 2, EndReason::TimeUp);
        QStringList expected{rowText(before)};
        {
            RecordKeeper keeper(dir.path(), QString(), kQuick);
            keeper.record(before);
            keeper.record(poisoned);
            for (int n = 0; n < after; ++n) {
                const SessionRecord r = sessionRecord(uuid(5, 2 + n), "Puesto 5",
                                                      kTen + 2000 + n * 1000, n, EndReason::TimeUp);
                keeper.record(r);
                expected << rowText(r);
            }
            QVERIFY(keeper.waitUntilWritten(10000));
        }
        {
            // Spoiled by hand, and waiting for a server as after "Ajustes".
            FileEditor file(dir.filePath("records.sqlite"));
            QCOMPARE(file.exec(QStringLiteral("UPDATE sessions SET %1 WHERE id = '%2'")
                                   .arg(change, poisoned.id)),
                     QString());
            QCOMPARE(file.exec("INSERT INTO unsent (id, revision) SELECT id, 1 FROM sessions"),
                     QString());
        }
        {
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), kQuick);
            QVERIFY(keeper.waitUntilSent(60000));
            const RecordsStatus status = keeper.status();
            QCOMPARE(status.setAside, 1);
            QCOMPARE(status.setAsideRows.size(), 1);
            QVERIFY2(status.setAsideRows.front().contains(says),
                     qPrintable(status.setAsideRows.front()));
        }
        QCOMPARE(Server().rows(), expected);
        RecordsFile file(dir.filePath("records.sqlite"));
        QCOMPARE(file.value("SELECT count(*) FROM sessions").toInt(), after + 2);
        QVERIFY(file.value("SELECT reason FROM set_aside").toString().contains(says));

        // Tried once more at the next start, and set aside again.
        {
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), kQuick);
            QVERIFY(keeper.waitUntilSent(20000));
            QCOMPARE(keeper.status().setAside, 1);
        }
        QCOMPARE(Server().rows(), expected);

        // The owner lifts the rule: the next start sends it.
        if (!serverRule.isEmpty()) {
            QVERIFY(Server().exec("ALTER TABLE sessions DROP CONSTRAINT rate_sane"));
            {
                RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), kQuick);
                QVERIFY(keeper.waitUntilSent(20000));
                QCOMPARE(keeper.status().setAside, 0);
            }
            QCOMPARE(Server()
                         .value(QStringLiteral("SELECT rate_per_hour FROM sessions WHERE id = '%1'")
                                    .arg(poisoned.id))
                         .toInt(),
                     99999);
            QCOMPARE(RecordsFile(dir.filePath("records.sqlite"))
                         .value("SELECT count(*) FROM set_aside")
                         .toInt(),
                     0);
        }
    }

    // Sent, but the file here refuses to mark it so (a full disk, a file
    // system gone read-only: here a trigger of the test's, which fails only
    // that): the keeper sends once per attempt, never in a loop, shows why,
    // and goes on by itself when the file takes writes again.
    void sentButNotMarkedWaits()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("records.sqlite");
        const SessionRecord a = sessionRecord(uuid(6, 1), "Puesto 6", kTen, 3, EndReason::TimeUp);
        const SessionRecord b =
            sessionRecord(uuid(6, 2), "Puesto 6", kTen + 1000, 4, EndReason::Stopped);
        {
            RecordKeeper keeper(dir.path(), QString(), kQuick);
            keeper.record(a);
            keeper.record(b);
            QVERIFY(keeper.waitUntilWritten(10000));
        }
        {
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(owner.open(problem));
        }
        Server server;
        // Every record the server is sent, counted.
        QVERIFY(server.exec("DROP TABLE IF EXISTS sends"));
        QVERIFY(server.exec("CREATE TABLE sends (n bigint NOT NULL)"));
        QVERIFY(server.exec("INSERT INTO sends VALUES (0)"));
        QVERIFY(server.exec("CREATE OR REPLACE FUNCTION count_send() RETURNS trigger"
                            " LANGUAGE plpgsql AS $$BEGIN UPDATE sends SET n = n + 1;"
                            " RETURN NEW; END$$"));
        QVERIFY(server.exec("CREATE TRIGGER counted BEFORE INSERT ON sessions"
                            " FOR EACH ROW EXECUTE FUNCTION count_send()"));
        const auto sends = [&server] { return server.value("SELECT n FROM sends").toInt(); };
        const QString refuse = QStringLiteral("CREATE TRIGGER refuse_mark BEFORE DELETE ON unsent"
                                              " BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
        const QString queueAll = QStringLiteral(
            "INSERT OR REPLACE INTO unsent (id, revision) SELECT id, 1 FROM sessions");
        {
            FileEditor file(path);
            QCOMPARE(file.exec(queueAll), QString());
            QCOMPARE(file.exec(refuse), QString());
        }
        {
            // Nothing is retried by time within the test: every attempt is
            // one the test asks for.
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"),
                                RecordKeeperTiming{3'600'000, 3'600'000, 1000});
            QTRY_VERIFY_WITH_TIMEOUT(
                keeper.status().serverProblem.contains("Enviado, pero no se puede anotar"), 15000);
            QCOMPARE(keeper.status().link, RecordsStatus::Link::Failing);
            QCOMPARE(keeper.status().unsent, 2);
            QCOMPARE(sends(), 2);
            for (int attempt = 2; attempt <= 4; ++attempt) {
                keeper.sendNow();
                QTRY_COMPARE_WITH_TIMEOUT(sends(), 2 * attempt, 15000);
            }
            QVERIFY(FileEditor(path).exec("DROP TRIGGER refuse_mark").isEmpty());
            keeper.sendNow();
            QVERIFY(keeper.waitUntilSent(15000));
            // The fourth attempt may have marked them once the trigger was gone.
            QVERIFY2(sends() == 8 || sends() == 10, qPrintable(QString::number(sends())));
            QVERIFY(keeper.status().serverProblem.isEmpty());
        }
        QCOMPARE(server.rows(), QStringList({rowText(a), rowText(b)}));

        // With the usual retry, sending goes on by itself once the file
        // takes writes again.
        {
            FileEditor file(path);
            QCOMPARE(file.exec(queueAll), QString());
            QCOMPARE(file.exec(refuse), QString());
        }
        {
            RecordKeeper keeper(dir.path(), env("LURN_PG_URI"), RecordKeeperTiming{300, 100, 100});
            QTRY_VERIFY_WITH_TIMEOUT(
                keeper.status().serverProblem.contains("Enviado, pero no se puede anotar"), 15000);
            QVERIFY(FileEditor(path).exec("DROP TRIGGER refuse_mark").isEmpty());
            QVERIFY(keeper.waitUntilSent(15000));
            QCOMPARE(keeper.status().unsent, 0);
        }
        QCOMPARE(server.rows(), QStringList({rowText(a), rowText(b)}));
        QVERIFY(server.exec("DROP TABLE sends"));
    }

    // The shared-role mode gets the station's functions, and their checks,
    // from Lurn's own migration: a café that trusts its stations still gets
    // sound takings.
    void sharedRoleChecks_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("refused"); // the SQLSTATE's class; empty when accepted
        const auto row = [](const char* tag, const char* values, const char* refused) {
            QTest::newRow(tag)
                << QStringLiteral("SELECT lurn_write_session(%1)").arg(QString::fromUtf8(values))
                << QString::fromUtf8(refused);
        };
        // The session on the server: uuid(7, 1), "Puesto 7", started at ten,
        // 1800 s at 500 an hour, cost 100, running.
#define KNOWN "'00000000-0000-4000-8007-000000000001', 'Puesto 7', '2025-12-10 10:00+00'"
        row("a new session",
            "gen_random_uuid(), 'Puesto 7', now(), NULL, 1800, 500, 1,"
            " 'running', now()",
            "");
        row("its cost going up", KNOWN ", NULL, 1800, 500, 101, 'running', now()", "");
        row("its end", KNOWN ", '2025-12-10 10:30+00', 1800, 500, 250, 'time_up', now()", "");
        // Kept at 100, not refused: the operator may choose the cheaper rate.
        row("its cost going down", KNOWN ", NULL, 1800, 500, 99, 'running', now()", "");
        row("its start moved",
            "'00000000-0000-4000-8007-000000000001', 'Puesto 7', '2025-12-10 09:00+00', NULL,"
            " 1800, 500, 100, 'running', now()",
            "23");
        row("in another station's name",
            "'00000000-0000-4000-8007-000000000001', 'Puesto 8', '2025-12-10 10:00+00', NULL,"
            " 1800, 500, 100, 'running', now()",
            "42");
        row("a cost past its length", KNOWN ", NULL, 1800, 500, 251, 'running', now()", "22");
        row("a negative cost",
            "gen_random_uuid(), 'Puesto 7', now(), NULL, 1800, 500, -5,"
            " 'running', now()",
            "22");
        row("an endless end", KNOWN ", 'infinity', 1800, 500, 100, 'time_up', now()", "22");
        row("a start at minus infinity",
            "gen_random_uuid(), 'Puesto 7', '-infinity', NULL, 1800,"
            " 500, 1, 'running', now()",
            "22");
        row("a rate out of range", KNOWN ", NULL, 1800, 100001, 100, 'running', now()", "22");
        row("an end that is not one", KNOWN ", now(), 1800, 500, 100, 'finished', now()", "22");
#undef KNOWN
    }
    void sharedRoleChecks()
    {
        QFETCH(QString, call);
        QFETCH(QString, refused);
        {
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY2(owner.open(problem), qPrintable(problem.detail));
            QVERIFY2(owner.save({sessionRecord(uuid(7, 1), "Puesto 7", kTen, 100)}, problem),
                     qPrintable(problem.detail));
        }
        Server server;
        const QStringList before = server.rows();
        const QString refusal = server.refusal(call);
        if (refused.isEmpty()) {
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            // Whatever was taken, the known session's cost never went down.
            QCOMPARE(server.value(QStringLiteral("SELECT cost >= 100 FROM sessions WHERE id = '%1'")
                                      .arg(uuid(7, 1)))
                         .toBool(),
                     true);
            return;
        }
        QVERIFY2(refusal.startsWith(refused) && refusal.contains(QLatin1String("lurn: ")),
                 qPrintable(refusal));
        QCOMPARE(server.rows(), before);
    }

    // A server an earlier Lurn left at version 2 is brought to 3, and a
    // newer one is left alone.
    void migratesFromVersionTwo()
    {
        {
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(owner.open(problem));
        }
        Server server;
        QVERIFY(server.exec(
            "DROP FUNCTION lurn_write_session, lurn_write_station, lurn_pending_commands,"
            " lurn_answer_command, lurn_schema_version, lurn_caller_station, lurn_check_numbers,"
            " lurn_check_time, lurn_station_name"));
        QVERIFY(server.exec("DROP TABLE station_roles"));
        QVERIFY(server.exec("UPDATE schema_version SET version = 2"));
        {
            PostgresRecordStore store(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY2(store.open(problem), qPrintable(problem.detail));
            QVERIFY2(store.save({sessionRecord(uuid(7, 2), "Puesto 7", kTen, 3)}, problem),
                     qPrintable(problem.detail));
        }
        QCOMPARE(server.value("SELECT version FROM schema_version").toInt(), 3);
        QCOMPARE(server.value("SELECT to_regprocedure('lurn_pending_commands(text)') IS NOT NULL")
                     .toBool(),
                 true);

        QVERIFY(server.exec("UPDATE schema_version SET version = 4"));
        PostgresRecordStore store(env("LURN_PG_URI"));
        StoreProblem problem;
        QVERIFY(!store.open(problem));
        QCOMPARE(problem.kind, StoreProblem::Kind::NewerSchema);
        QVERIFY(server.exec("UPDATE schema_version SET version = 3"));
    }

    // What another role can lock holds up no station: the version is read
    // without a lock, a migration serialises on a lock of the table's (which
    // only its owner can take), and a wait ends within lock_timeout with the
    // server's reason, to be tried again.
    void locksHoldUpNoStation()
    {
        {
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(owner.open(problem));
        }
        // An advisory lock needs no right: a reader holds the key earlier
        // Lurns migrated under.
        Server reader(QStringLiteral("lurn_reader"));
        QVERIFY(reader.exec("SELECT pg_advisory_lock(1282765422)"));
        Server server;
        for (int version : {3, 2}) {
            QVERIFY(
                server.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version)));
            PostgresRecordStore store(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY2(store.open(problem), qPrintable(problem.detail));
        }
        QCOMPARE(server.value("SELECT version FROM schema_version").toInt(), 3);

        // A migration stuck on the table (here its owner's lock): the station
        // is told why, and gets through once it is gone.
        Server holder;
        QVERIFY(holder.exec("BEGIN"));
        QVERIFY(holder.exec("LOCK TABLE schema_version IN ACCESS EXCLUSIVE MODE"));
        {
            PostgresRecordStore store(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(!store.open(problem));
            QVERIFY2(problem.detail.contains(QLatin1String("lock timeout")),
                     qPrintable(problem.detail));
        }
        QVERIFY(holder.exec("ROLLBACK"));
        PostgresRecordStore store(env("LURN_PG_URI"));
        StoreProblem problem;
        QVERIFY2(store.open(problem), qPrintable(problem.detail));
    }

    void refusedConnections_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("password"); // PGPASSWORD; "-" for none
        QTest::addColumn<bool>("passFile");    // the password in a ~/.pgpass file instead
        QTest::addColumn<StoreProblem::Kind>("kind");
        QTest::addColumn<QString>("says");
        using Kind = StoreProblem::Kind;
        QTest::newRow("wrong password") << uriFor("lurn_secret", "cafe") << "malo" << false
                                        << Kind::LoginRefused << "contraseña";
        QTest::newRow("no password")
            << uriFor("lurn_secret", "cafe") << "-" << false << Kind::LoginRefused << "contraseña";
        QTest::newRow("missing database")
            << uriFor("lurn", "nada") << "-" << false << Kind::NoDatabase << "no existe";
        QTest::newRow("role without privileges")
            << uriFor("lurn_reader", "cafe") << "-" << false << Kind::NoPrivileges << "permiso";
        QTest::newRow("nobody listening")
            << QStringLiteral("postgresql://lurn@/cafe?host=/nonexistent") << "-" << false
            << Kind::Unreachable << "conectar";
        QTest::newRow("address that does not parse")
            << QStringLiteral("postgresql:/caja/cafe") << "-" << false << Kind::BadAddress
            << "postgresql://";
        QTest::newRow("right password")
            << uriFor("lurn_secret", "cafe") << "secreto" << false << Kind::None << "";
        QTest::newRow("password from a pgpass file")
            << uriFor("lurn_secret", "cafe") << "-" << true << Kind::None << "";
    }

    // A clear message at once, never a hang; and the record waits here.
    void refusedConnections()
    {
        QFETCH(QString, uri);
        QFETCH(QString, password);
        QFETCH(bool, passFile);
        QFETCH(StoreProblem::Kind, kind);
        QFETCH(QString, says);
        {
            // The table exists, made by its owner, as in a café.
            PostgresRecordStore owner(env("LURN_PG_URI"));
            StoreProblem problem;
            QVERIFY(owner.open(problem));
        }
        QTemporaryDir dir;
        const QString passPath = dir.filePath("pgpass");
        if (passFile) {
            QFile pass(passPath);
            QVERIFY(pass.open(QIODevice::WriteOnly));
            pass.write("*:*:*:lurn_secret:secreto\n");
            pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            qputenv("PGPASSFILE", QFile::encodeName(passPath));
        }
        setPassword(password == "-" ? nullptr : qPrintable(password));

        QElapsedTimer took;
        took.start();
        PostgresRecordStore store(uri);
        StoreProblem problem;
        const bool opened = store.open(problem);
        QVERIFY2(took.elapsed() < 10000, "a refused connection must not hang");
        QCOMPARE(problem.kind, kind);
        QCOMPARE(opened, kind == StoreProblem::Kind::None);
        QVERIFY2(problemText(problem).contains(says), qPrintable(problemText(problem)));

        // The same through the keeper: said in its state, and the record kept.
        {
            RecordKeeper keeper(dir.path(), uri, kQuick);
            keeper.record(sessionRecord(uuid(3, 1), "Puesto 3", kTen, 5, EndReason::TimeUp));
            QVERIFY(keeper.waitUntilWritten(10000));
            if (kind == StoreProblem::Kind::None) {
                QVERIFY(keeper.waitUntilSent(15000));
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(keeper.status().link, RecordsStatus::Link::Failing,
                                          15000);
                QVERIFY(keeper.status().serverProblem.contains(says));
                QCOMPARE(keeper.status().unsent, 1);
            }
        }
        setPassword(nullptr);
        qunsetenv("PGPASSFILE");
    }
};

QTEST_GUILESS_MAIN(TestPostgresRecords)
#include "TestPostgresRecords.moc"
