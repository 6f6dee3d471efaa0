// A station's role in a hostile customer's hands, on a private server set up
// by the script (with-postgres.sh): psql with that role tries each attack and
// the server refuses it, while the other station goes on working and the
// takings stay as they were. Also what a station's own records file can be
// made to send, the records the server refuses for themselves, and the link
// and the records' keeper ending at once while the server holds them up.
#include "records/PostgresRecordStore.h"
#include "records/RecordKeeper.h"
#include "remote/StationLink.h"

#include "records/RecordsTestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "remote/RemoteTestSupport.h"

namespace {

const LinkTiming kQuick{15000, 100, 500};
constexpr RecordKeeperTiming kQuickRecords{1000, 200};
constexpr std::int64_t kStart = 1'765'360'800'000LL; // START: 2025-12-10 10:00 UTC

const QString kDatabase = QStringLiteral("cafe_hostile");

QString stationUri(const QString& role)
{
    return uri(role, kDatabase);
}

// The same, with Lurn's own bounds on the server's waits lifted (as a café's
// options may): only cancelling the statement ends a wait then.
QString unboundedUri(const QString& role)
{
    return stationUri(role) +
           QStringLiteral("&options=-c%20lock_timeout%3D0%20-c%20statement_timeout%3D0");
}

struct PsqlRun
{
    bool finished = false;
    int exitCode = -1;
    QString errors;
};

// psql as a customer would run it with the station's role: each statement in
// turn, stopping at the first error.
PsqlRun psqlAs(const QString& role, const QStringList& statements)
{
    QStringList args{QStringLiteral("-X"), QStringLiteral("-q"),
                     QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                     QStringLiteral("-h"), env("LURN_PG_HOST"),
                     QStringLiteral("-U"), role,
                     QStringLiteral("-d"), kDatabase};
    for (const QString& s : statements)
        args << QStringLiteral("-c") << s;
    QProcess psql;
    psql.start(env("LURN_PG_BIN") + QStringLiteral("/psql"), args);
    PsqlRun run;
    run.finished = psql.waitForFinished(60000);
    run.exitCode = psql.exitCode();
    run.errors = QString::fromUtf8(psql.readAllStandardError()).simplified();
    return run;
}

// What no station may change, as the owner sees it: PC01's rows and the
// takings of both, PC02's session, the commands of PC01.
QString untouchable(Sql& admin)
{
    return admin.value(
        "SELECT (SELECT sum(cost) FROM sessions WHERE station = 'PC01' OR id = '" PC02_SESSION
        "') || ' ' || (SELECT md5(string_agg(s::text, ',' ORDER BY s.id)) FROM sessions s"
        " WHERE station = 'PC01' OR id = '" PC02_SESSION "') || ' ' ||"
        " (SELECT md5(string_agg(s::text, ',' ORDER BY s.station)) FROM stations s"
        " WHERE station <> 'PC02') || ' ' ||"
        " (SELECT md5(string_agg(c::text, ',' ORDER BY c.id)) FROM commands c"
        " WHERE station <> 'PC02') || ' ' ||"
        " (SELECT count(*) FROM pg_locks l JOIN pg_stat_activity a USING (pid)"
        "  WHERE a.usename IN ('lurn_pc01', 'lurn_pc02') AND l.locktype = 'relation'"
        "  AND l.relation IN ('sessions'::regclass, 'stations'::regclass,"
        "   'commands'::regclass, 'schema_version'::regclass))");
}

SessionRecord record(const QString& id, const QString& station, std::int64_t cost,
                     EndReason reason = EndReason::Running)
{
    SessionRecord r;
    r.id = id;
    r.station = station;
    r.startedAtMs = kStart;
    r.plannedSeconds = 3600;
    r.ratePerHour = 60;
    r.cost = cost;
    r.endReason = reason;
    r.lastSeenAtMs = kStart + 60'000;
    if (reason != EndReason::Running)
        r.endedAtMs = kStart + 3'600'000;
    return r;
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Lets go of the holder's lock when the subject of a test has not ended by
// then, so that a link or keeper that would wait for ever fails a check
// rather than hang the test binary.
class LockDeadline final
{
public:
    LockDeadline(Sql& holder, int ms)
        : m_thread([this, &holder, ms] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, std::chrono::milliseconds(ms),
                                   [this] { return m_done; })) {
                  m_passed = true;
                  holder.value(QStringLiteral("ROLLBACK"));
              }
          })
    {
    }
    ~LockDeadline() { finish(); }
    // True when the lock had to be let go.
    bool finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_passed;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_passed = false;
    std::thread m_thread;
};

} // namespace

class TestHostileStation final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (env("LURN_PG_URI").isEmpty())
            QSKIP("needs tests/with-postgres.sh");
        QVERIFY(m_data.isValid());
    }

    void attacks_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("refusal"); // in psql's error; empty: taken, changing nothing
        const QString denied = QStringLiteral("permission denied");
        const QString rule = QStringLiteral("lurn:");
        const auto row = [](const char* tag, std::initializer_list<const char*> sql,
                            const QString& refusal) {
            QStringList statements;
            for (const char* s : sql)
                statements << QString::fromUtf8(s);
            QTest::newRow(tag) << statements << refusal;
        };
        // The tables themselves: no right at all, so no lock either.
        row("its row made endless", {"UPDATE stations SET ends_at = 'infinity'"}, denied);
        row("another's row", {"UPDATE stations SET state = 'idle' WHERE station = 'PC02'"}, denied);
        row("stations locked exclusively",
            {"BEGIN", "LOCK TABLE stations IN ACCESS EXCLUSIVE MODE"}, denied);
        row("sessions locked exclusively",
            {"BEGIN", "LOCK TABLE sessions IN ACCESS EXCLUSIVE MODE"}, denied);
        row("stations locked for reading", {"BEGIN", "LOCK TABLE stations IN ACCESS SHARE MODE"},
            denied);
        row("sessions locked for reading", {"BEGIN", "LOCK TABLE sessions IN ACCESS SHARE MODE"},
            denied);
        row("schema_version locked for reading",
            {"BEGIN", "LOCK TABLE schema_version IN ACCESS SHARE MODE"}, denied);
        row("its row held for update",
            {"BEGIN", "SELECT * FROM stations WHERE station = 'PC01' FOR UPDATE"}, denied);
        row("its commands held for update",
            {"BEGIN", "SELECT * FROM commands WHERE station = 'PC01' FOR UPDATE"}, denied);
        row("sessions truncated", {"TRUNCATE sessions"}, denied);
        row("stations truncated", {"TRUNCATE stations"}, denied);
        row("its sessions deleted", {"DELETE FROM sessions WHERE station = 'PC01'"}, denied);
        row("its cost lowered in place", {"UPDATE sessions SET cost = -50000"}, denied);
        row("its end changed in place", {"UPDATE sessions SET end_reason = 'stopped'"}, denied);
        row("a session inserted",
            {"INSERT INTO sessions VALUES (gen_random_uuid(), 'PC01', now(), NULL, 60, 60, 1,"
             " 'running', now())"},
            denied);
        row("its order answered in place", {"UPDATE commands SET state = 'done'"}, denied);
        row("its order handed to another", {"UPDATE commands SET station = 'PC02'"}, denied);
        row("the role table read", {"SELECT * FROM station_roles"}, denied);
        row("the owner's helper called", {"SELECT lurn_caller_station('PC02')"}, denied);
        row("a station added", {"SELECT lurn_add_station('lurn_pc03', 'PC03')"}, denied);
        row("a function replaced",
            {"CREATE OR REPLACE FUNCTION lurn_station_name() RETURNS text LANGUAGE sql"
             " AS $$SELECT 'PC02'$$"},
            denied); // PUBLIC may not create in public; and it is not the owner
        row("a table made beside them", {"CREATE TABLE public.mine (a int)"}, denied);

        // Its row through the function, with values no station writes.
        row("its row started at infinity",
            {"SELECT lurn_write_station('PC01', 'h', 'v', 'running', NULL, 'infinity', 3600,"
             " 1800, 60, 1)"},
            rule);
        row("its row ending never",
            {"SELECT lurn_write_station('PC01', 'h', 'v', 'running', NULL, now(), 3600,"
             " 'Infinity', 60, 1)"},
            rule);
        row("its row ending at NaN",
            {"SELECT lurn_write_station('PC01', 'h', 'v', 'running', NULL, now(), 3600, 'NaN',"
             " 60, 1)"},
            rule);
        row("its row costing near 2^63",
            {"SELECT lurn_write_station('PC01', 'h', 'v', 'running', NULL, now(), 3600, 1800,"
             " 60, 9223372036854775807)"},
            rule);
        row("its row costing less than nothing",
            {"SELECT lurn_write_station('PC01', 'h', 'v', 'running', NULL, now(), 3600, 1800,"
             " 60, -50000)"},
            rule);
        row("another's row through the function",
            {"SELECT lurn_write_station('PC02', 'h', 'v', 'idle', NULL, NULL, NULL, NULL, NULL,"
             " NULL)"},
            rule);

        // Sessions through the function.
        row("a session started at infinity",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', 'infinity', NULL, 3600, 60, 1,"
             " 'running', 'infinity')"},
            rule);
        row("a session ended at infinity",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), 'infinity', 3600, 60,"
             " 1, 'time_up', now())"},
            rule);
        row("a session started far ahead",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now() + interval '10 days',"
             " NULL, 3600, 60, 1, 'running', now() + interval '10 days')"},
            rule);
        row("a session costing less than nothing",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 3600, 60,"
             " -50000, 'running', now())"},
            rule);
        row("a session costing near 2^63",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 3600, 60,"
             " 9223372036854775807, 'running', now())"},
            rule);
        row("a session costing more than its length",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 3600, 60, 61,"
             " 'running', now())"},
            rule);
        row("a session longer than a day",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 86400, 60, 1,"
             " 'running', now())"},
            rule);
        row("a session at a rate of nothing",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 3600, 0, 0,"
             " 'running', now())"},
            rule);
        row("a session at a rate past the fields'",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 3600, 100001, 1,"
             " 'running', now())"},
            rule);
        row("its cost lowered",
            {"SELECT lurn_write_session('" PC01_SESSION "', 'PC01', '" START "', NULL, 3600, 60,"
             " 29, 'running', '" START "')"},
            QString());
        row("its start moved",
            {"SELECT lurn_write_session('" PC01_SESSION "', 'PC01', timestamptz '" START
             "' - interval '1 hour', NULL, 3600, 60, 30, 'running', '" START "')"},
            rule);
        row("an ended session changed",
            {"SELECT lurn_write_session('" PC01_ENDED "', 'PC01', '" START "', timestamptz '" START
             "' + interval '1 hour', 3600, 60, 60, 'stopped', timestamptz '" START
             "' + interval '1 hour')"},
            rule);
        row("an ended session made cheaper",
            {"SELECT lurn_write_session('" PC01_ENDED "', 'PC01', '" START "', timestamptz '" START
             "' + interval '1 hour', 3600, 60, 0, 'time_up', timestamptz '" START
             "' + interval '1 hour')"},
            QString());
        row("an ended session running again",
            {"SELECT lurn_write_session('" PC01_ENDED "', 'PC01', '" START "', NULL, 3600, 60, 60,"
             " 'running', '" START "')"},
            rule);
        row("a session in another's name",
            {"SELECT lurn_write_session(gen_random_uuid(), 'PC02', now(), NULL, 3600, 60, 1,"
             " 'running', now())"},
            rule);
        row("another's session taken over",
            {"SELECT lurn_write_session('" PC02_SESSION "', 'PC01', '" START "', NULL, 3600, 60,"
             " 30, 'running', '" START "')"},
            rule);
        row("another's order answered",
            {"SELECT lurn_answer_command('PC02', '" PC02_COMMAND "', 'done', NULL)"}, rule);
        row("its order set pending",
            {"SELECT lurn_answer_command('PC01', '" PC01_COMMAND "', 'pending', NULL)"}, rule);
    }

    // Each attack is refused, changes nothing, leaves no lock behind; the
    // other station's link and records go on through it.
    void attacks()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, refusal);
        if (!m_setUp)
            QVERIFY(setUpCafeWithRoles(kDatabase));
        m_setUp = true;
        Sql admin(QStringLiteral("postgres"), kDatabase);
        const QString before = untouchable(admin);

        const PsqlRun run = psqlAs(QStringLiteral("lurn_pc01"), statements);
        QVERIFY(run.finished);
        if (refusal.isEmpty()) {
            // Taken, and changing nothing (a cost is kept at its highest).
            QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        } else {
            QVERIFY2(run.exitCode != 0, "the server let it through");
            QVERIFY2(run.errors.contains(refusal), qPrintable(run.errors));
        }
        QCOMPARE(untouchable(admin), before);

        // The other station, writing as Lurn does.
        static int n = 0;
        ++n;
        StationLink link(stationUri(QStringLiteral("lurn_pc02")), QStringLiteral("PC02"),
                         m_data.filePath(QStringLiteral("pc02.ledger")), kQuick);
        StationStatus s;
        s.state = StationStatus::State::Running;
        s.startedAt = QDateTime::currentDateTimeUtc();
        s.plannedSeconds = 3600;
        s.remainingSeconds = 1800;
        s.ratePerHour = 60;
        s.cost = n;
        link.publish(s);
        QTRY_COMPARE_WITH_TIMEOUT(admin.value("SELECT cost FROM stations WHERE station = 'PC02'"),
                                  QString::number(n), 10000);
        PostgresRecordStore records(stationUri(QStringLiteral("lurn_pc02")));
        StoreProblem problem;
        QVERIFY2(records.open(problem), qPrintable(problem.detail));
        QVERIFY2(records.save({record(newId(), QStringLiteral("PC02"), 1)}, problem),
                 qPrintable(problem.detail));
    }

    // A Puesto renamed under per-station roles: its records are refused for
    // themselves, set aside, and the station's other records go on.
    void recordOfAnotherStationIsSetAside()
    {
        QVERIFY(setUpCafeWithRoles(kDatabase));
        QTemporaryDir dir;
        const QString renamed = newId();
        const QStringList own{newId(), newId(), newId()};
        {
            RecordKeeper keeper(dir.path(), stationUri(QStringLiteral("lurn_pc01")), kQuickRecords);
            keeper.record(record(own[0], QStringLiteral("PC01"), 1));
            keeper.record(record(renamed, QStringLiteral("Puesto nuevo"), 1));
            keeper.record(record(own[1], QStringLiteral("PC01"), 2));
            QVERIFY(keeper.waitUntilSent(60000));
            QCOMPARE(keeper.status().setAside, 1);
            QVERIFY2(keeper.status().setAsideRows.front().contains(renamed),
                     qPrintable(keeper.status().setAsideRows.front()));
            // Later ones too.
            keeper.record(record(own[2], QStringLiteral("PC01"), 3));
            QVERIFY(keeper.waitUntilSent(60000));
            QCOMPARE(keeper.status().setAside, 1);
        }
        Sql admin(QStringLiteral("postgres"), kDatabase);
        for (const QString& id : own)
            QCOMPARE(
                admin.value(QStringLiteral("SELECT station FROM sessions WHERE id = '%1'").arg(id)),
                QStringLiteral("PC01"));
        QCOMPARE(admin.value(
                     QStringLiteral("SELECT count(*) FROM sessions WHERE id = '%1'").arg(renamed)),
                 QStringLiteral("0"));
    }

    // A right the whole role lacks refuses every record: they wait, none is
    // set aside, and they go once the right is back.
    void aRoleWithoutTheRightKeepsItsRecords()
    {
        QVERIFY(setUpCafeWithRoles(kDatabase));
        Sql admin(QStringLiteral("postgres"), kDatabase);
        const QString function = QStringLiteral(
            "lurn_write_session(uuid, text, timestamptz, timestamptz, integer, integer, bigint,"
            " text, timestamptz)");
        QCOMPARE(
            admin.value(
                QStringLiteral("REVOKE EXECUTE ON FUNCTION %1 FROM lurn_station").arg(function)),
            QString());
        QTemporaryDir dir;
        RecordKeeper keeper(dir.path(), stationUri(QStringLiteral("lurn_pc01")), kQuickRecords);
        const QStringList ids{newId(), newId()};
        for (const QString& id : ids)
            keeper.record(record(id, QStringLiteral("PC01"), 1));
        QTRY_VERIFY_WITH_TIMEOUT(keeper.status().link == RecordsStatus::Link::Failing &&
                                     keeper.status().unsent == 2,
                                 20000);
        // Each was tried alone before the keeper gave up: none set aside.
        QCOMPARE(keeper.status().setAside, 0);
        QCOMPARE(keeper.status().unsent, 2);
        QVERIFY2(keeper.status().serverProblem.contains(QLatin1String("lurn_write_session")),
                 qPrintable(keeper.status().serverProblem));

        QCOMPARE(admin.value(
                     QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO lurn_station").arg(function)),
                 QString());
        keeper.sendNow();
        QVERIFY(keeper.waitUntilSent(60000));
        QCOMPARE(keeper.status().setAside, 0);
        QCOMPARE(admin.value(QStringLiteral("SELECT count(*) FROM sessions WHERE id IN ('%1')")
                                 .arg(ids.join(QStringLiteral("', '")))),
                 QStringLiteral("2"));
    }

    // The customer edits the station's own records file and queues the rows
    // again: Lurn's own sending changes nothing the rules forbid, and sets
    // the row aside.
    void editedRecordsFile_data()
    {
        QTest::addColumn<bool>("ended"); // the edited record had ended on the server
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("setAside"); // 0: taken with the cost kept at its highest
        QTest::newRow("cost lowered") << false << "cost = 5" << 0;
        QTest::newRow("cost raised past its length") << false << "cost = 100000" << 1;
        QTest::newRow("start moved") << false << "started_at = '2025-12-10T09:00:00.000Z'" << 1;
        QTest::newRow("another station's name") << false << "station = 'PC02'" << 1;
        QTest::newRow("ended session's end changed") << true << "end_reason = 'stopped'" << 1;
        QTest::newRow("ended session made cheaper") << true << "cost = 1" << 0;
        QTest::newRow("ended session running again")
            << true << "end_reason = 'running', ended_at = NULL" << 1;
    }
    void editedRecordsFile()
    {
        QFETCH(bool, ended);
        QFETCH(QString, change);
        QFETCH(int, setAside);
        QVERIFY(setUpCafeWithRoles(kDatabase));
        QTemporaryDir dir;
        const SessionRecord r = record(newId(), QStringLiteral("PC01"), ended ? 60 : 20,
                                       ended ? EndReason::TimeUp : EndReason::Running);
        {
            RecordKeeper keeper(dir.path(), stationUri(QStringLiteral("lurn_pc01")), kQuickRecords);
            keeper.record(r);
            QVERIFY(keeper.waitUntilSent(60000));
        }
        Sql admin(QStringLiteral("postgres"), kDatabase);
        const QString before = untouchable(admin);
        {
            FileEditor file(dir.filePath(QStringLiteral("records.sqlite")));
            QCOMPARE(
                file.exec(
                    QStringLiteral("UPDATE sessions SET %1 WHERE id = '%2'").arg(change, r.id)),
                QString());
            QCOMPARE(file.exec(QStringLiteral("INSERT INTO unsent (id, revision) SELECT id, 1"
                                              " FROM sessions")),
                     QString());
        }
        {
            RecordKeeper keeper(dir.path(), stationUri(QStringLiteral("lurn_pc01")), kQuickRecords);
            QVERIFY(keeper.waitUntilSent(60000));
            QCOMPARE(keeper.status().setAside, setAside);
        }
        QCOMPARE(untouchable(admin), before);
    }

    // The server holds the station's row (a lock of the superuser's here,
    // with Lurn's own bounds lifted): the link's end cancels the statement
    // and comes at once, without the lock being let go.
    void linkEndsWhileTheServerHoldsItsRow()
    {
        QVERIFY(setUpCafeWithRoles(kDatabase));
        Sql holder(QStringLiteral("postgres"), kDatabase);
        holder.value(QStringLiteral("BEGIN"));
        QCOMPARE(holder.value("SELECT station FROM stations WHERE station = 'PC01' FOR UPDATE"),
                 QStringLiteral("PC01"));
        auto link = std::make_unique<StationLink>(
            unboundedUri(QStringLiteral("lurn_pc01")), QStringLiteral("PC01"),
            m_data.filePath(QStringLiteral("pc01.ledger")), kQuick);
        link->publish(StationStatus{});
        Sql admin(QStringLiteral("postgres"), kDatabase);
        QTRY_COMPARE_WITH_TIMEOUT(admin.value("SELECT count(*) FROM pg_stat_activity"
                                              " WHERE usename = 'lurn_pc01'"
                                              " AND wait_event_type = 'Lock'"),
                                  QStringLiteral("1"), 20000);
        LockDeadline deadline(holder, 30000);
        link.reset();
        QVERIFY2(!deadline.finish(), "the link waited until the lock was let go");
        holder.value(QStringLiteral("ROLLBACK"));
    }

    // The same for the records: the keeper's end cancels the send, and the
    // record waits in the file for the next start.
    void keeperEndsWhileTheServerHoldsARow()
    {
        QVERIFY(setUpCafeWithRoles(kDatabase));
        Sql holder(QStringLiteral("postgres"), kDatabase);
        holder.value(QStringLiteral("BEGIN"));
        QCOMPARE(holder.value("SELECT cost FROM sessions WHERE id = '" PC01_SESSION "' FOR UPDATE"),
                 QStringLiteral("30"));
        QTemporaryDir dir;
        auto keeper = std::make_unique<RecordKeeper>(
            dir.path(), unboundedUri(QStringLiteral("lurn_pc01")), kQuickRecords);
        keeper->record(record(QStringLiteral(PC01_SESSION), QStringLiteral("PC01"), 31));
        Sql admin(QStringLiteral("postgres"), kDatabase);
        QTRY_COMPARE_WITH_TIMEOUT(admin.value("SELECT count(*) FROM pg_stat_activity"
                                              " WHERE usename = 'lurn_pc01'"
                                              " AND wait_event_type = 'Lock'"),
                                  QStringLiteral("1"), 20000);
        {
            LockDeadline deadline(holder, 30000);
            keeper.reset();
            QVERIFY2(!deadline.finish(), "the keeper waited until the lock was let go");
        }
        holder.value(QStringLiteral("ROLLBACK"));
        QCOMPARE(admin.value("SELECT cost FROM sessions WHERE id = '" PC01_SESSION "'"),
                 QStringLiteral("30"));

        // Sent at the next start.
        RecordKeeper again(dir.path(), stationUri(QStringLiteral("lurn_pc01")), kQuickRecords);
        QVERIFY(again.waitUntilSent(60000));
        QCOMPARE(admin.value("SELECT cost FROM sessions WHERE id = '" PC01_SESSION "'"),
                 QStringLiteral("31"));
    }

private:
    QTemporaryDir m_data;
    bool m_setUp = false;
};

QTEST_GUILESS_MAIN(TestHostileStation)
#include "TestHostileStation.moc"
