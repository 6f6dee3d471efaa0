// The station's link on a real, private PostgreSQL server (with-postgres.sh):
// its row, the orders handed over once, answers, expiry, restarts of the
// station and of the server, and the rights of a server set up by the script.
#include "records/PostgresRecordStore.h"
#include "remote/CommandLedger.h"
#include "remote/StationLink.h"

#include "PrivateServer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "remote/RemoteTestSupport.h"

namespace {

// Quick retries, so that a server coming back is found in a test's time.
const LinkTiming kQuick{15000, 100, 500};

const char* const kStation = "PC01";

QString issue(Sql& sql, const QString& station, const QString& columns, const QString& values)
{
    return sql.value(QStringLiteral("INSERT INTO commands (station, %1) VALUES ('%2', %3)"
                                    " RETURNING id")
                         .arg(columns, station, values));
}

QString issueStop(Sql& sql, const QString& expires = QStringLiteral("now() + interval '60 s'"))
{
    return issue(sql, QLatin1String(kStation), QStringLiteral("kind, expires_at"),
                 QStringLiteral("'stop', %1").arg(expires));
}

// The ids the spy has seen, in order.
QStringList ids(const QSignalSpy& spy)
{
    QStringList out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).value<RemoteCommand>().id;
    return out;
}

} // namespace

class TestStationLink final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (env("LURN_PG_URI").isEmpty())
            QSKIP("needs tests/with-postgres.sh");
        // The shared-role mode: Lurn's own migration makes the tables.
        PostgresRecordStore store(env("LURN_PG_URI"));
        StoreProblem problem;
        QVERIFY2(store.open(problem), qPrintable(problem.detail));
        Sql owner(QStringLiteral("lurn"), QStringLiteral("cafe"));
        QCOMPARE(owner.value("SELECT version FROM schema_version"), QStringLiteral("3"));
    }

    void init()
    {
        Sql owner(QStringLiteral("lurn"), QStringLiteral("cafe"));
        QVERIFY(!owner.value("DELETE FROM commands").startsWith(QLatin1String("error")));
        QVERIFY(!owner.value("DELETE FROM stations").startsWith(QLatin1String("error")));
        QFile::remove(ledger());
        QVERIFY(m_data.isValid());
    }

    void publishesItsRow()
    {
        StationLink link(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
        StationStatus s;
        s.state = StationStatus::State::Running;
        s.sessionId = QStringLiteral("6f1c1d9e-2f7a-4d1e-9a53-0c8f3e5b7a10");
        s.startedAt = QDateTime::currentDateTimeUtc();
        s.plannedSeconds = 3600;
        s.remainingSeconds = 3600;
        s.ratePerHour = 60;
        s.cost = 0;
        link.publish(s);
        Sql owner(QStringLiteral("lurn"), QStringLiteral("cafe"));
        QTRY_COMPARE_WITH_TIMEOUT(
            owner.value("SELECT state || ' ' || planned_seconds || ' ' || rate_per_hour ||"
                        " ' ' || session_id FROM stations WHERE station = 'PC01'"),
            QStringLiteral("running 3600 60 6f1c1d9e-2f7a-4d1e-9a53-0c8f3e5b7a10"), 10000);
        // ends_at on the server's clock, an hour ahead give or take the writing.
        QCOMPARE(owner.value("SELECT abs(extract(epoch FROM ends_at - now()) - 3600) < 60"
                             " FROM stations"),
                 QStringLiteral("t"));
        // The link's state reaches this thread by a queued signal, maybe
        // after the row.
        QTRY_VERIFY_WITH_TIMEOUT(link.status().connected, 10000);
        QVERIFY(link.status().problem.isEmpty());

        s.state = StationStatus::State::Stopped;
        s.remainingSeconds.reset();
        link.publish(s);
        QTRY_COMPARE_WITH_TIMEOUT(owner.value("SELECT state || ' ' || (ends_at IS NULL)"
                                              " FROM stations"),
                                  QStringLiteral("stopped true"), 10000);
    }

    void handsAnOrderOverOnceAndWritesTheAnswer_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<QString>("why");
        QTest::newRow("carried out") << true << QString();
        QTest::newRow("refused") << false << QStringLiteral("No hay cuenta atrás en marcha");
    }
    void handsAnOrderOverOnceAndWritesTheAnswer()
    {
        QFETCH(bool, done);
        QFETCH(QString, why);
        StationLink link(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
        QSignalSpy arrived(&link, &StationLink::commandArrived);
        QTRY_VERIFY_WITH_TIMEOUT(link.status().connected, 10000);
        Sql counter(QStringLiteral("lurn"), QStringLiteral("cafe"));
        const QString first = issue(counter, QLatin1String(kStation),
                                    QStringLiteral("kind, hours, minutes, seconds, second_rate,"
                                                   " warn_minutes"),
                                    QStringLiteral("'start', 1, 30, 0, true, 5"));
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);
        const RemoteCommand c = arrived.at(0).at(0).value<RemoteCommand>();
        QCOMPARE(c.id, first);
        QCOMPARE(c.kind, QStringLiteral("start"));
        QCOMPARE(c.station, QLatin1String(kStation));
        QCOMPARE(c.hours, 1);
        QCOMPARE(c.minutes, 30);
        QCOMPARE(c.seconds, 0);
        QCOMPARE(c.secondRate, true);
        QCOMPARE(c.warnMinutes, 5);
        QCOMPARE(c.addMinutes, std::nullopt);
        QCOMPARE(c.issuedBy, QStringLiteral("lurn"));
        QVERIFY(c.expiresAt > QDateTime::currentDateTimeUtc().addSecs(50));

        // A wake-up for another station and a second one for this: nothing new.
        counter.value("NOTIFY lurn_commands, 'PC01'");
        issue(counter, QStringLiteral("PC02"), QStringLiteral("kind"), QStringLiteral("'stop'"));
        link.answer(first, done, why);
        QTRY_COMPARE_WITH_TIMEOUT(
            counter.value(QStringLiteral("SELECT state || '|' || coalesce(answer, '') || '|' ||"
                                         " (answered_at IS NOT NULL) FROM commands"
                                         " WHERE id = '%1'")
                              .arg(first)),
            QStringLiteral("%1|%2|true").arg(done ? "done" : "refused", why), 10000);
        const QString second = issueStop(counter);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 2, 10000);
        QCOMPARE(ids(arrived), (QStringList{first, second}));
        QCOMPARE(counter.value("SELECT state FROM commands WHERE station = 'PC02'"),
                 QStringLiteral("pending"));
    }

    void answersExpiredOrdersWithoutHandingThemOver()
    {
        Sql counter(QStringLiteral("lurn"), QStringLiteral("cafe"));
        // Issued while the station was off: one past its time, one not.
        const QString stale = issueStop(counter, QStringLiteral("now() - interval '1 s'"));
        const QString fresh = issueStop(counter);
        StationLink link(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
        QSignalSpy arrived(&link, &StationLink::commandArrived);
        QTRY_COMPARE_WITH_TIMEOUT(
            counter.value(QStringLiteral("SELECT state || '|' || answer FROM commands"
                                         " WHERE id = '%1'")
                              .arg(stale)),
            QStringLiteral("expired|Orden caducada"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);
        QCOMPARE(ids(arrived), QStringList{fresh});
    }

    void neverCarriesOutTwiceAcrossARestart()
    {
        Sql counter(QStringLiteral("lurn"), QStringLiteral("cafe"));
        const QString id = issueStop(counter);
        {
            StationLink link(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
            QSignalSpy arrived(&link, &StationLink::commandArrived);
            QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);
        }
        // The window carried it out and the program died before the server
        // heard: only the ledger knows.
        QString why;
        CommandLedger(ledger()).record(id, false, QStringLiteral("No hay cuenta atrás en marcha"),
                                       why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(
            counter.value(QStringLiteral("SELECT state FROM commands WHERE id = '%1'").arg(id)),
            QStringLiteral("pending"));

        StationLink again(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
        QSignalSpy arrived(&again, &StationLink::commandArrived);
        QTRY_COMPARE_WITH_TIMEOUT(
            counter.value(QStringLiteral("SELECT state || '|' || answer FROM commands"
                                         " WHERE id = '%1'")
                              .arg(id)),
            QStringLiteral("refused|No hay cuenta atrás en marcha"), 10000);
        const QString next = issueStop(counter);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);
        QCOMPARE(ids(arrived), QStringList{next});
    }

    void comesBackWhenTheServerDoes()
    {
        StationLink link(env("LURN_PG_URI"), QLatin1String(kStation), ledger(), kQuick);
        QSignalSpy arrived(&link, &StationLink::commandArrived);
        QTRY_VERIFY_WITH_TIMEOUT(link.status().connected, 10000);
        QString delivered;
        {
            Sql counter(QStringLiteral("lurn"), QStringLiteral("cafe"));
            delivered = issueStop(counter);
        }
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);

        QVERIFY(serverCtl(QStringLiteral("stop")));
        // The window answers while the server is away: kept for later.
        link.answer(delivered, true, QString());
        QTRY_VERIFY_WITH_TIMEOUT(!link.status().connected, 20000);
        QVERIFY(!link.status().problem.isEmpty());
        QVERIFY(serverCtl(QStringLiteral("start")));

        QTRY_VERIFY_WITH_TIMEOUT(link.status().connected, 20000);
        Sql counter(QStringLiteral("lurn"), QStringLiteral("cafe"));
        QTRY_COMPARE_WITH_TIMEOUT(
            counter.value(
                QStringLiteral("SELECT state FROM commands WHERE id = '%1'").arg(delivered)),
            QStringLiteral("done"), 10000);
        // LISTEN is back: a new order wakes the station.
        const QString after = issueStop(counter);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 2, 10000);
        QCOMPARE(ids(arrived), (QStringList{delivered, after}));
    }

    void saysWhyItCannotConnect_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not a postgresql address")
            << QStringLiteral("mysql://caja/cafe") << QStringLiteral("postgresql://");
        QTest::newRow("no such database") << uri(QStringLiteral("lurn"), QStringLiteral("no_such"))
                                          << QStringLiteral("Sin conexión");
        QTest::newRow("tables missing (the reader's database)")
            << uri(QStringLiteral("lurn_reader"), QStringLiteral("postgres"))
            << QStringLiteral("Falta en el servidor la función lurn_pending_commands");
    }
    void saysWhyItCannotConnect()
    {
        QFETCH(QString, uri);
        QFETCH(QString, problem);
        StationLink link(uri, QLatin1String(kStation), ledger(), kQuick);
        QTRY_VERIFY_WITH_TIMEOUT(link.status().problem.contains(problem), 10000);
    }

    // A server set up by the script: each role may do only its part.
    void rights_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        const QString a = QStringLiteral("lurn_pc01"), counter = QStringLiteral("lurn_counter");
        const auto row = [](const char* tag, const QString& role, const char* sql,
                            const char* expected) {
            QTest::newRow(tag) << role << QString::fromUtf8(sql) << QString::fromUtf8(expected);
        };
        row("A reads its commands only", a, "SELECT count(*) FROM lurn_pending_commands('PC01')",
            "1");
        row("A cannot read B's commands", a, "SELECT count(*) FROM lurn_pending_commands('PC02')",
            "denied");
        row("A reads no table", a, "SELECT count(*) FROM commands", "denied");
        row("A answers its command", a,
            "SELECT lurn_answer_command('PC01', '" PC01_COMMAND "', 'done', NULL)", "t");
        row("A cannot answer B's command", a,
            "SELECT lurn_answer_command('PC01', '" PC02_COMMAND "', 'done', NULL)", "f");
        row("A cannot answer as B", a,
            "SELECT lurn_answer_command('PC02', '" PC02_COMMAND "', 'done', NULL)", "denied");
        row("A cannot rewrite its command", a, "UPDATE commands SET kind = 'message'", "denied");
        row("A cannot issue commands", a,
            "INSERT INTO commands (station, kind) VALUES ('PC01', 'stop')", "denied");
        row("A writes its session", a,
            "SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 60, 60, 1,"
            " 'running', now())",
            "");
        row("A cannot write a session for B", a,
            "SELECT lurn_write_session(gen_random_uuid(), 'PC02', now(), NULL, 60, 60, 1,"
            " 'running', now())",
            "denied");
        row("A cannot change B's takings", a, "UPDATE sessions SET cost = 0 WHERE station = 'PC02'",
            "denied");
        row("A cannot delete its session", a, "DELETE FROM sessions", "denied");
        row("A writes its stations row", a,
            "SELECT lurn_write_station('PC01', 'pc01', '1', 'idle', NULL, NULL, NULL, NULL, NULL,"
            " NULL)",
            "");
        row("A cannot write a stations row for B", a,
            "SELECT lurn_write_station('PC02', 'pc01', '1', 'idle', NULL, NULL, NULL, NULL, NULL,"
            " NULL)",
            "denied");
        row("A reads the schema's version", a, "SELECT lurn_schema_version()", "3");
        row("A cannot read the role table", a, "SELECT count(*) FROM station_roles", "denied");
        row("counter reads every command", counter, "SELECT count(*) FROM commands", "2");
        row("counter reads every session", counter, "SELECT count(*) FROM sessions", "3");
        row("counter cannot write as a station", counter,
            "SELECT lurn_write_session(gen_random_uuid(), 'PC01', now(), NULL, 60, 60, 1,"
            " 'running', now())",
            "denied");
        row("counter issues a command", counter,
            "INSERT INTO commands (station, kind) VALUES ('PC02', 'stop')", "1");
        row("counter cannot issue an answered command", counter,
            "INSERT INTO commands (station, kind, state) VALUES ('PC02', 'stop', 'done')",
            "denied");
        row("counter cannot issue in another's name", counter,
            "INSERT INTO commands (station, kind, issued_by) VALUES ('PC02', 'stop', 'boss')",
            "denied");
        row("counter cannot forge a session", counter,
            "INSERT INTO sessions VALUES (gen_random_uuid(), 'PC01', now(), NULL, 60, 60, 1,"
            " 'running', now())",
            "denied");
        row("counter cannot change takings", counter, "UPDATE sessions SET cost = 0", "denied");
        row("counter cannot answer for a station", counter, "UPDATE commands SET state = 'done'",
            "denied");
    }
    void rights()
    {
        QFETCH(QString, role);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        // Each case runs in a transaction rolled back: one set-up serves all.
        if (!m_setUp)
            setUpServer();
        m_setUp = true;
        Sql session(role, QStringLiteral("cafe_roles"));
        QVERIFY(session.ok());
        // Each case alone: nothing it changes stays.
        session.value("BEGIN");
        QCOMPARE(session.value(sql), expected);
        session.value("ROLLBACK");
    }

    void stationOnASetUpServer()
    {
        setUpServer();
        StationLink link(uri(QStringLiteral("lurn_pc01"), QStringLiteral("cafe_roles")),
                         QLatin1String(kStation), ledger(), kQuick);
        QSignalSpy arrived(&link, &StationLink::commandArrived);
        StationStatus s;
        s.state = StationStatus::State::Idle;
        link.publish(s);
        Sql admin(QStringLiteral("postgres"), QStringLiteral("cafe_roles"));
        QTRY_COMPARE_WITH_TIMEOUT(admin.value("SELECT state FROM stations WHERE station = 'PC01'"),
                                  QStringLiteral("idle"), 10000);
        // The existing pending order and one the counter issues now.
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 1, 10000);
        const RemoteCommand seeded = arrived.at(0).at(0).value<RemoteCommand>();
        link.answer(seeded.id, true, QString());
        Sql counter(QStringLiteral("lurn_counter"), QStringLiteral("cafe_roles"));
        const QString id = issueStop(counter);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 2, 10000);
        QCOMPARE(ids(arrived).last(), id);
        QTRY_COMPARE_WITH_TIMEOUT(
            admin.value(
                QStringLiteral("SELECT state FROM commands WHERE id = '%1'").arg(seeded.id)),
            QStringLiteral("done"), 10000);
        QVERIFY(link.status().problem.isEmpty());

        // The records store sees version 2 and creates nothing.
        PostgresRecordStore store(uri(QStringLiteral("lurn_pc01"), QStringLiteral("cafe_roles")));
        StoreProblem problem;
        QVERIFY2(store.open(problem), qPrintable(problem.detail));
    }

    void aStationCannotPassForAnother()
    {
        setUpServer();
        // PC01's role with PC02 in its settings.
        StationLink link(uri(QStringLiteral("lurn_pc01"), QStringLiteral("cafe_roles")),
                         QStringLiteral("PC02"), ledger(), kQuick);
        QSignalSpy arrived(&link, &StationLink::commandArrived);
        link.publish(StationStatus{});
        QTRY_VERIFY_WITH_TIMEOUT(link.status().problem.contains(QLatin1String("otro puesto")),
                                 10000);
        Sql admin(QStringLiteral("postgres"), QStringLiteral("cafe_roles"));
        QCOMPARE(admin.value("SELECT state FROM stations WHERE station = 'PC02'"),
                 QStringLiteral("running"));
        QCOMPARE(arrived.count(), 0);
    }

private:
    QString ledger() const { return m_data.filePath(QStringLiteral("orders.ledger")); }

    void setUpServer() { QVERIFY(setUpCafeWithRoles(QStringLiteral("cafe_roles"))); }

    QTemporaryDir m_data;
    bool m_setUp = false;
};

QTEST_GUILESS_MAIN(TestStationLink)
#include "TestStationLink.moc"
