// The counter link end to end: two real lurn stations (the executable, each
// with its own settings, data and runtime directories) under Xvfb and
// openbox, a private PostgreSQL server (tests/with-postgres.sh), and the
// counter's "Sala" window driven in-process, as the operator's clicks drive
// it. The stations are seen from outside only: their task-bar titles and
// windows through X11, their rows and answers on the server.
//
// The slots run in order and share the two stations, as one afternoon in a
// café would.
#include "LurnRun.h"
#include "X11Probe.h"
#include "console/CommandLog.h"
#include "console/ConsoleWindow.h"
#include "console/RoomModel.h"
#include "console/StartDialog.h"
#include "records/PostgresRecordStore.h"
#include "remote/RemoteTestSupport.h"
#include "rules/KeyScramble.h"

#include "PrivateServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int kWaitMs = 60000;
// Above the stations' 15 s heartbeat with room for a loaded machine, below
// the 45 s the counter waits in the café.
constexpr int kTestOfflineAfterMs = 25000;

const QString kFirst = QStringLiteral("PC01");
const QString kSecond = QStringLiteral("PC02");

// The seconds in an "h:mm:ss" title, or -1.
int secondsIn(const QString& title)
{
    static const QRegularExpression hms(QStringLiteral("^(\\d+):(\\d+):(\\d+)$"));
    const QRegularExpressionMatch m = hms.match(title);
    return m.hasMatch()
               ? m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt()
               : -1;
}

// One café PC: its own desktop session's directories, the operator's saved
// settings (password "abc", rates, the server and the station's name), and
// the running program.
class Station final
{
public:
    explicit Station(const QString& name, const QString& server = env("LURN_PG_URI")) : m_name(name)
    {
        QDir().mkpath(config());
        QDir().mkpath(data());
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSettings s(config() + QStringLiteral("/Lurn.conf"), QSettings::IniFormat);
        s.setValue("Tarifes/Tarifa1", "3600");
        s.setValue("Tarifes/Tarifa2", "1000");
        s.setValue("Claus/Clau", QString::fromLatin1(ScrambleKey("abc").c_str()));
        s.setValue("Registro/Servidor", server);
        s.setValue("Registro/Puesto", name);
    }

    void start()
    {
        m_run = std::make_unique<LurnRun>();
        m_run->start({{QStringLiteral("XDG_CONFIG_HOME"), config()},
                      {QStringLiteral("XDG_DATA_HOME"), data()},
                      {QStringLiteral("XDG_RUNTIME_DIR"), runtime()}});
    }

    // As a customer would end it: SIGKILL, nothing saved on the way out.
    bool killHard()
    {
        ::kill(pid_t(m_run->pid()), SIGKILL);
        return m_run->endsWithin(10000);
    }

    LurnRun& run() { return *m_run; }
    const QString& name() const { return m_name; }

    // Its viewable managed window with this name, once there; 0 after ms.
    xcb_window_t window(X11Probe& probe, const QString& title, int ms = kWaitMs)
    {
        return probe.waitForClientOfPid(m_run->pid(), title, ms, true);
    }

    // The text of its one task-bar entry.
    QString title(X11Probe& probe)
    {
        for (xcb_window_t w : probe.clientsOfPid(m_run->pid()))
            if (!probe.states(w).contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")))
                return probe.netWmName(w);
        return {};
    }

private:
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString data() const { return m_dir.path() + QStringLiteral("/data"); }
    QString runtime() const { return m_dir.path() + QStringLiteral("/runtime"); }

    QString m_name;
    QTemporaryDir m_dir;
    std::unique_ptr<LurnRun> m_run;
};

} // namespace

class TestRoomEndToEnd final : public QObject
{
    Q_OBJECT

    std::unique_ptr<Station> first;
    std::unique_ptr<Station> second;
    std::unique_ptr<ConsoleWindow> console;
    std::unique_ptr<X11Probe> probe;

    QString query(const QString& sql)
    {
        Sql owner(QStringLiteral("lurn"), QStringLiteral("cafe"));
        return owner.value(sql);
    }

    QString stationColumn(const QString& station, const char* column)
    {
        return query(QStringLiteral("SELECT coalesce(%1::text, '') FROM stations"
                                    " WHERE station = '%2'")
                         .arg(QLatin1String(column), station));
    }

    // The console's words for the station's state.
    QString look(const QString& station) const
    {
        const RoomModel& model = console->model();
        const int row = model.rowOf(station);
        return row < 0 ? QString() : model.index(row, RoomModel::State).data().toString();
    }

    // When the counter last saw the station's row written (the server's clock).
    qint64 updatedAtMs(const QString& station) const
    {
        const RoomModel& model = console->model();
        const StationRow* row = model.stationAt(model.rowOf(station));
        return row ? row->updatedAtMs : 0;
    }

    QString logLine(int fromTop) const
    {
        auto* log = console->findChild<CommandLog*>(QStringLiteral("commandLog"));
        return log && log->count() > fromTop ? log->item(fromTop)->text() : QString();
    }

    void select(const QString& station)
    {
        console->selectStation(station);
        QCOMPARE(console->selectedStation(), station);
    }

    void click(const char* button)
    {
        auto* b = console->findChild<QPushButton*>(QLatin1String(button));
        QVERIFY(b);
        QVERIFY(b->isEnabled());
        b->click();
    }

    // "Iniciar…" on the selected station, typed as the operator types.
    void startSelected(const QString& hours, const QString& minutes)
    {
        click("startButton");
        StartDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = console->findChild<StartDialog*>()) != nullptr);
        const auto type = [dialog](const char* name, const QString& text) {
            auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(name));
            QVERIFY(edit);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        type("hoursEdit", hours);
        type("minutesEdit", minutes);
        type("secondsEdit", QStringLiteral("0"));
        type("warnEdit", QStringLiteral("0"));
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QTRY_VERIFY(!console->findChild<StartDialog*>());
    }

    void messageSelected(const QString& text)
    {
        click("messageButton");
        MessageDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = console->findChild<MessageDialog*>()) != nullptr);
        QTest::keyClicks(dialog->findChild<QPlainTextEdit*>(QStringLiteral("messageEdit")), text);
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QTRY_VERIFY(!console->findChild<MessageDialog*>());
    }

    // True when the station's title keeps the same text for ms: a stopped
    // countdown no longer counts.
    bool titleStays(Station& station, const QString& text, int ms)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            if (station.title(*probe) != text)
                return false;
            QTest::qWait(100);
        }
        return true;
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

        probe = std::make_unique<X11Probe>();
        first = std::make_unique<Station>(kFirst);
        second = std::make_unique<Station>(kSecond);
        first->start();
        second->start();
        QVERIFY2(first->window(*probe, QStringLiteral("Lurn")), qPrintable(first->run().errors()));
        QVERIFY2(second->window(*probe, QStringLiteral("Lurn")),
                 qPrintable(second->run().errors()));

        console = std::make_unique<ConsoleWindow>(env("LURN_PG_URI"));
        console->setOfflineAfterMs(kTestOfflineAfterMs);
        console->show();
        QTRY_COMPARE_WITH_TIMEOUT(look(kFirst), QStringLiteral("Libre"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(look(kSecond), QStringLiteral("Libre"), kWaitMs);
    }

    void cleanupTestCase()
    {
        console.reset();
        first.reset();
        second.reset();
        probe.reset();
    }

    // A message from the counter comes up on the station in the notice.
    void messageShowsInTheNotice()
    {
        select(kSecond);
        messageSelected(QStringLiteral("Su bocadillo esta listo"));
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        const xcb_window_t notice = second->window(*probe, QStringLiteral("Aviso"));
        QVERIFY2(notice, qPrintable(second->run().errors()));
        // The customer closes it.
        QProcess::execute(QStringLiteral("wmctrl"),
                          {QStringLiteral("-i"), QStringLiteral("-c"), QString::number(notice)});
        QTRY_VERIFY_WITH_TIMEOUT(!probe->isViewable(notice), kWaitMs);
    }

    // A start from the counter runs on the station as after "&Iniciar": the
    // task bar counts down and the lock is up; more time and a stop change it.
    void startAddTimeStop()
    {
        select(kFirst);
        startSelected(QStringLiteral("0"), QStringLiteral("30"));
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        QVERIFY2(first->window(*probe, QStringLiteral("Clave")), qPrintable(first->run().errors()));
        int shown = -1;
        QTRY_VERIFY_WITH_TIMEOUT((shown = secondsIn(first->title(*probe))) > 0, kWaitMs);
        QVERIFY2(shown <= 1800 && shown > 1700, qPrintable(first->title(*probe)));
        QTRY_COMPARE_WITH_TIMEOUT(look(kFirst), QStringLiteral("En uso"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(kFirst, "planned_seconds"), QStringLiteral("1800"),
                                  kWaitMs);

        click("add15Button");
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT((shown = secondsIn(first->title(*probe))) > 1800, kWaitMs);
        QVERIFY2(shown <= 2700, qPrintable(first->title(*probe)));
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(kFirst, "planned_seconds"), QStringLiteral("2700"),
                                  kWaitMs);

        click("stopButton");
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(look(kFirst), QStringLiteral("Parado"), kWaitMs);
        const QString stoppedAt = first->title(*probe);
        QVERIFY2(secondsIn(stoppedAt) > 0, qPrintable(stoppedAt));
        QVERIFY2(titleStays(*first, stoppedAt, 2500), qPrintable(first->title(*probe)));
        // The lock stays up for the operator, as after "&Parar".
        QVERIFY(first->window(*probe, QStringLiteral("Clave"), 1000));
    }

    // A station killed shows "Sin conexión"; orders issued while it is away
    // wait for it: started again, it takes up its countdown, carries out the
    // order still valid once and answers the stale one "expired".
    void killedStationComesBack()
    {
        select(kSecond);
        startSelected(QStringLiteral("1"), QStringLiteral("0"));
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        QVERIFY(second->window(*probe, QStringLiteral("Clave")));
        QTRY_COMPARE_WITH_TIMEOUT(look(kSecond), QStringLiteral("En uso"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(kSecond, "planned_seconds"), QStringLiteral("3600"),
                                  kWaitMs);

        QVERIFY(second->killHard());
        QTRY_COMPARE_WITH_TIMEOUT(look(kSecond), QStringLiteral("Sin conexión"),
                                  kTestOfflineAfterMs + kWaitMs);
        // The first station, alive, stays on line all the while.
        QCOMPARE(look(kFirst), QStringLiteral("Parado"));

        select(kSecond);
        click("add30Button");
        messageSelected(QStringLiteral("Llega tarde"));
        QTRY_COMPARE_WITH_TIMEOUT(
            query(QStringLiteral("SELECT count(*) FROM commands WHERE station = 'PC02'"
                                 " AND state = 'pending'")),
            QStringLiteral("2"), kWaitMs);
        // The message goes stale before the station is back.
        QCOMPARE(query(QStringLiteral("UPDATE commands SET expires_at = now() - interval '1 second'"
                                      " WHERE station = 'PC02' AND kind = 'message'"
                                      " AND state = 'pending'")),
                 QStringLiteral("1"));
        QVERIFY(logLine(0).endsWith(QStringLiteral("→ enviado")));
        QVERIFY(logLine(1).endsWith(QStringLiteral("→ enviado")));

        second->start();
        QVERIFY2(second->window(*probe, QStringLiteral("Clave")),
                 qPrintable(second->run().errors()));
        QTRY_VERIFY2_WITH_TIMEOUT(second->run().errors().contains(QStringLiteral("taking up")),
                                  qPrintable(second->run().errors()), kWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ caducado")),
                                  qPrintable(logLine(0)), kWaitMs);
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(1).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(1)), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(kSecond, "planned_seconds"), QStringLiteral("5400"),
                                  kWaitMs);
        // It counts on from where it was, with the half hour added.
        int shown = -1;
        QTRY_VERIFY_WITH_TIMEOUT((shown = secondsIn(second->title(*probe))) > 3600, kWaitMs);
        QVERIFY2(shown <= 5400, qPrintable(second->title(*probe)));
        QTRY_COMPARE_WITH_TIMEOUT(look(kSecond), QStringLiteral("En uso"), kWaitMs);
        // The stale message was never shown.
        QVERIFY(!second->window(*probe, QStringLiteral("Aviso"), 1000));
    }

    // The server stopped and started again mid-session: the stations go on
    // counting, come back on their own and hear new orders again; the order
    // carried out before is not carried out a second time.
    void serverRestartedMidSession()
    {
        const int before = secondsIn(second->title(*probe));
        QVERIFY(before > 0);
        QVERIFY(serverCtl(QStringLiteral("stop")));
        QTRY_VERIFY2_WITH_TIMEOUT(second->run().errors().contains(QStringLiteral("counter link: ")),
                                  qPrintable(second->run().errors()), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(secondsIn(second->title(*probe)) < before, kWaitMs);
        QVERIFY(serverCtl(QStringLiteral("start")));
        const QString restarted = query(QStringLiteral("SELECT now()::text"));
        const qint64 restartedMs =
            query(QStringLiteral("SELECT (extract(epoch FROM now()) * 1000)::bigint")).toLongLong();

        // Both rows written again after the restart: both links are back.
        QTRY_COMPARE_WITH_TIMEOUT(
            query(QStringLiteral("SELECT count(*) FROM stations WHERE updated_at > '%1'")
                      .arg(restarted)),
            QStringLiteral("2"), kWaitMs);
        QCOMPARE(stationColumn(kSecond, "planned_seconds"), QStringLiteral("5400"));

        // Issued once the counter too has read the room again, the order
        // reaches the station by its LISTEN.
        QTRY_VERIFY_WITH_TIMEOUT(updatedAtMs(kSecond) > restartedMs, kWaitMs);
        QCOMPARE(look(kSecond), QStringLiteral("En uso"));
        select(kSecond);
        click("add15Button");
        QTRY_VERIFY2_WITH_TIMEOUT(logLine(0).endsWith(QStringLiteral("→ hecho")),
                                  qPrintable(logLine(0)), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(kSecond, "planned_seconds"), QStringLiteral("6300"),
                                  kWaitMs);
        QCOMPARE(query(QStringLiteral("SELECT count(*) FROM commands WHERE state = 'pending'")),
                 QStringLiteral("0"));
    }

    // SIGTERM (the session's end, the hand-over) while the server holds the
    // station's row: a lock of the superuser's, with the station's own bounds
    // on the server's waits lifted, so that only cancelling ends its wait.
    // Lurn ends at once, without the lock being let go.
    void endsWhileTheServerHoldsItsRow()
    {
        Station third(
            QStringLiteral("PC03"),
            env("LURN_PG_URI") +
                QStringLiteral("&options=-c%20lock_timeout%3D0%20-c%20statement_timeout%3D0"));
        third.start();
        QVERIFY2(third.window(*probe, QStringLiteral("Lurn")), qPrintable(third.run().errors()));
        QTRY_COMPARE_WITH_TIMEOUT(stationColumn(QStringLiteral("PC03"), "state"),
                                  QStringLiteral("idle"), kWaitMs);
        Sql holder(QStringLiteral("postgres"), QStringLiteral("cafe"));
        holder.value(QStringLiteral("BEGIN"));
        QCOMPARE(holder.value("SELECT station FROM stations WHERE station = 'PC03' FOR UPDATE"),
                 QStringLiteral("PC03"));
        // Its next write (at the latest the heartbeat's, 15 s on) waits.
        QTRY_COMPARE_WITH_TIMEOUT(query("SELECT count(*) FROM pg_stat_activity"
                                        " WHERE wait_event_type = 'Lock'"
                                        " AND query LIKE '%lurn_write_station%'"),
                                  QStringLiteral("1"), kWaitMs);
        ::kill(pid_t(third.run().pid()), SIGTERM);
        const bool ended = third.run().endsWithin(20000);
        holder.value(QStringLiteral("ROLLBACK"));
        QVERIFY2(ended, qPrintable(third.run().errors()));
    }
};

QTEST_MAIN(TestRoomEndToEnd)
#include "TestRoomEndToEnd.moc"
