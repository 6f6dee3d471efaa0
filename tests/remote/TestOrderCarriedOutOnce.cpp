// An order from the counter is carried out once, whatever kills the station
// on the way: a real lurn station (the executable, under Xvfb and openbox) on
// a private PostgreSQL server (tests/with-postgres.sh), its writes held up by
// row locks the test takes as the superuser, and SIGKILL at each step
// between the countdown's change and the counter having the answer. The
// station is started again each time and must neither lose the added time
// nor add it twice.
#include "LurnRun.h"
#include "records/PostgresRecordStore.h"
#include "remote/RemoteTestSupport.h"
#include "rules/KeyScramble.h"
#include "rules/SavedCountdown.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <ctime>
#include <memory>
#include <optional>

namespace {

constexpr int kWaitMs = 60000;
const QString kStation = QStringLiteral("PC01");
const QString kSuperuser = QStringLiteral("postgres");
const QString kDatabase = QStringLiteral("cafe");
// 1:15 before the order, 2:15 after it; 3:15 would be the order twice.
constexpr int kPlannedBefore = 75 * 60;
constexpr int kPlannedAfter = kPlannedBefore + 60 * 60;

std::int64_t bootMs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::string bootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toStdString() : std::string();
}

// A countdown of 1:15 started five minutes ago on this boot, its lock open,
// at one unit an hour (so that its cost, and with it the station's row,
// does not change while the test holds the row).
SavedCountdown runningCountdown()
{
    SavedCountdown s;
    s.id = "5b0c3a9e-7d21-4f6a-8e3b-2c1d0f9e8a77";
    s.running = true;
    s.hours = 1;
    s.minutes = 15;
    s.rate1 = 1;
    s.rate2 = 2;
    s.hoursText = "1";
    s.minutesText = "15";
    s.secondsText = s.warnText = "0";
    s.rate1Text = "1";
    s.rate2Text = "2";
    s.costText = "0";
    s.title = "lurn";
    s.password = "abc";
    s.bootId = bootId();
    s.startBootMs = bootMs() - 5 * 60'000;
    s.seenBootMs = s.startBootMs + 60'000;
    s.startUtcMs = QDateTime::currentMSecsSinceEpoch() - 5 * 60'000;
    s.seenUtcMs = s.startUtcMs + 60'000;
    return s;
}

// A superuser's session that holds a row lock in an open transaction, as a
// station's role could before its writes went through the server's
// functions; rolled back when released or gone.
class RowLock final
{
public:
    explicit RowLock(const QString& select) : m_sql(kSuperuser, kDatabase)
    {
        m_sql.value(QStringLiteral("BEGIN"));
        m_held = m_sql.value(select);
    }
    ~RowLock() { release(); }
    RowLock(const RowLock&) = delete;
    RowLock& operator=(const RowLock&) = delete;

    // What the locking SELECT returned ("no rows" or an error when it holds nothing).
    const QString& held() const { return m_held; }
    void release()
    {
        if (!m_released)
            m_sql.value(QStringLiteral("ROLLBACK"));
        m_released = true;
    }

private:
    Sql m_sql;
    QString m_held;
    bool m_released = false;
};

// Where the test kills the station.
enum class KillPoint {
    RowWriteHeld, // countdown changed and kept; its row write blocked, the answer behind it
    AnswerHeld,   // countdown changed, kept and in the row; the answer blocked
    Answered,     // all done; nothing may happen again
};

} // namespace

class TestOrderCarriedOutOnce final : public QObject
{
    Q_OBJECT

    QString query(const QString& sql)
    {
        Sql su(kSuperuser, kDatabase);
        return su.value(sql);
    }

    QString commandState(const QString& id)
    {
        return query(QStringLiteral("SELECT state || '|' || coalesce(answer, '') ||"
                                    " (answered_at IS NOT NULL)::text FROM commands"
                                    " WHERE id = '%1'")
                         .arg(id));
    }

    // What every session on the server is doing: why a station waits.
    QString serverActivity()
    {
        return query(QStringLiteral(
            "SELECT string_agg(format('%s %s %s: %s', usename, state, wait_event_type,"
            " left(query, 70)), E'\\n') FROM pg_stat_activity WHERE datname = 'cafe'"
            " AND pid <> pg_backend_pid()"));
    }

    QString plannedInRow()
    {
        return query(QStringLiteral("SELECT coalesce(planned_seconds, 0) FROM stations"
                                    " WHERE station = '%1'")
                         .arg(kStation));
    }

private slots:
    void initTestCase()
    {
        if (env("LURN_PG_URI").isEmpty())
            QSKIP("needs tests/with-postgres.sh");
        // The tables, as the first station's records would make them.
        PostgresRecordStore store(env("LURN_PG_URI"));
        StoreProblem problem;
        QVERIFY2(store.open(problem), qPrintable(problem.detail));
    }

    void addedTimeCountsOnce_data()
    {
        QTest::addColumn<KillPoint>("killPoint");
        QTest::newRow("killed while its row write waits, before the answer")
            << KillPoint::RowWriteHeld;
        QTest::newRow("killed while its answer waits, after the row") << KillPoint::AnswerHeld;
        QTest::newRow("killed after the answer") << KillPoint::Answered;
    }

    void addedTimeCountsOnce()
    {
        QFETCH(KillPoint, killPoint);
        QCOMPARE(query(QStringLiteral("DELETE FROM commands")).startsWith("error"), false);
        QCOMPARE(query(QStringLiteral("DELETE FROM stations")).startsWith("error"), false);

        // One café PC with its settings and a running countdown of 1:15.
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("config"));
        const QString runtime = dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(config);
        QDir().mkpath(dir.filePath(QStringLiteral("data")));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        {
            QSettings s(config + QStringLiteral("/Lurn.conf"), QSettings::IniFormat);
            s.setValue("Tarifes/Tarifa1", "1");
            s.setValue("Tarifes/Tarifa2", "2");
            s.setValue("Claus/Clau", QString::fromLatin1(ScrambleKey("abc").c_str()));
            s.setValue("Registro/Servidor", env("LURN_PG_URI"));
            s.setValue("Registro/Puesto", kStation);
        }
        const QString statePath = config + QStringLiteral("/Lurn.countdown");
        {
            QFile f(statePath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::fromStdString(formatSavedCountdown(runningCountdown())));
        }
        const auto kept = [&statePath]() -> std::optional<SavedCountdown> {
            QFile f(statePath);
            if (!f.open(QIODevice::ReadOnly))
                return std::nullopt;
            std::string why;
            return parseSavedCountdown(f.readAll().toStdString(), why);
        };
        const auto keptPlanned = [&kept] {
            const std::optional<SavedCountdown> s = kept();
            return s ? s->hours * 3600 + s->minutes * 60 + s->seconds : -1;
        };
        const auto start = [&] {
            auto run = std::make_unique<LurnRun>();
            run->start({{QStringLiteral("XDG_CONFIG_HOME"), config},
                        {QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data"))},
                        {QStringLiteral("XDG_RUNTIME_DIR"), runtime}});
            return run;
        };

        auto station = start();
        QTRY_VERIFY2_WITH_TIMEOUT(plannedInRow() == QString::number(kPlannedBefore),
                                  qPrintable(station->errors()), kWaitMs);

        // The station's row held: its next write waits, and the answer
        // behind it. Then +60 min from the counter, valid long enough for
        // every restart below.
        auto rowLock = std::make_unique<RowLock>(
            QStringLiteral("SELECT station FROM stations WHERE station = '%1' FOR UPDATE")
                .arg(kStation));
        QCOMPARE(rowLock->held(), kStation);
        const QString id =
            query(QStringLiteral("INSERT INTO commands (station, kind, add_minutes, expires_at)"
                                 " VALUES ('%1', 'add_time', 60, now() + interval '10 minutes')"
                                 " RETURNING id")
                      .arg(kStation));
        QVERIFY2(!id.startsWith(QLatin1String("error")), qPrintable(id));

        // Carried out: the kept countdown has the new length and names the
        // order, in the one write; the counter has no answer yet.
        QTRY_VERIFY2_WITH_TIMEOUT(keptPlanned() == kPlannedAfter, qPrintable(station->errors()),
                                  kWaitMs);
        const std::optional<SavedCountdown> changed = kept();
        QVERIFY(changed);
        QCOMPARE(changed->orders.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(changed->orders.front().id), id);
        QVERIFY(changed->orders.front().done);
        QCOMPARE(commandState(id), QStringLiteral("pending|false"));

        std::unique_ptr<RowLock> answerLock;
        switch (killPoint) {
        case KillPoint::RowWriteHeld:
            break;
        case KillPoint::AnswerHeld:
            // The order's row held instead: the station's row goes through
            // (with the new length), its answer waits.
            answerLock = std::make_unique<RowLock>(
                QStringLiteral("SELECT id FROM commands WHERE id = '%1' FOR UPDATE").arg(id));
            QCOMPARE(answerLock->held(), id);
            rowLock->release();
            QTRY_COMPARE_WITH_TIMEOUT(plannedInRow(), QString::number(kPlannedAfter), kWaitMs);
            QCOMPARE(commandState(id), QStringLiteral("pending|false"));
            break;
        case KillPoint::Answered:
            rowLock->release();
            QTRY_COMPARE_WITH_TIMEOUT(commandState(id), QStringLiteral("done|true"), kWaitMs);
            break;
        }
        ::kill(pid_t(station->pid()), SIGKILL);
        QVERIFY(station->endsWithin(10000));
        station.reset();

        // Started again; the locks go once it runs, as a killed client's
        // locks go with its rolled-back transaction.
        station = start();
        QVERIFY2(!station->waitForErrorLine("lurn: taking up countdown").isEmpty(),
                 qPrintable(station->errors()));
        if (killPoint == KillPoint::AnswerHeld) {
            // The order is still pending for the new run, which reads it
            // past the held row and answers it (its answer was on its way,
            // so the link's ledger has it): that answer waits beside the
            // killed run's.
            QTRY_VERIFY2_WITH_TIMEOUT(
                query(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = 'cafe'"
                                     " AND wait_event_type = 'Lock' AND usename <> 'postgres'")) ==
                    QLatin1String("2"),
                qPrintable(station->errors() + serverActivity()), kWaitMs);
            answerLock->release();
        }
        rowLock->release();

        // Answered done, once; the length grew by the hour exactly once, in
        // the kept countdown and in the row the new run writes.
        QTRY_COMPARE_WITH_TIMEOUT(commandState(id), QStringLiteral("done|true"), kWaitMs);
        const QString restarted = query(QStringLiteral("SELECT now()"));
        QTRY_VERIFY2_WITH_TIMEOUT(
            query(QStringLiteral("SELECT updated_at > '%1' FROM stations WHERE station = '%2'")
                      .arg(restarted, kStation)) == QLatin1String("t"),
            qPrintable(station->errors()), kWaitMs);
        QCOMPARE(plannedInRow(), QString::number(kPlannedAfter));
        QCOMPARE(keptPlanned(), kPlannedAfter);
        QCOMPARE(query(QStringLiteral("SELECT count(*) FROM commands")), QStringLiteral("1"));
        // Killed before its answer left, the run left the order's outcome in
        // the kept countdown alone: the new run answered from there.
        if (killPoint == KillPoint::RowWriteHeld)
            QVERIFY2(station->waitForErrorLine("lurn: order " + id.toUtf8())
                         .contains("was carried out before"),
                     qPrintable(station->errors()));
        QVERIFY(station->process().state() == QProcess::Running);
        station->kill();
    }
};

QTEST_MAIN(TestOrderCarriedOutOnce)
#include "TestOrderCarriedOutOnce.moc"
