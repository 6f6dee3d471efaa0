// "Sala" and the report against what a station's role can write: infinite
// times, numbers out of range, tables locked by another role. Under Xvfb
// against a private PostgreSQL server (tests/with-postgres.sh); the bad values
// are written as the owner, as the shared-role mode or earlier data can hold
// them, and the test plays the stations' answers itself.
#include "RoomTables.h"
#include "console/CommandLog.h"
#include "console/ConsoleWindow.h"
#include "console/RoomModel.h"
#include "platform/Platform.h"
#include "platform/SystemClock.h"
#include "report/ReportModel.h"
#include "report/ReportWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWaitMs = 30000;
const QString kConnected = QStringLiteral("Conectado con el servidor.");
// The station that writes bad values, and one that stays sound.
const QString kBad = QStringLiteral("PC-B");
const QString kSound = QStringLiteral("PC-A");
const char* const kSoundRow = "state = 'running', started_at = now() - interval '10 minutes',"
                              " planned_seconds = 3600, ends_at = now() + interval '50 minutes',"
                              " rate_per_hour = 120, cost = 20, updated_at = now()";

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

} // namespace

class TestRoomUntrustedData final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void aDoubtfulRowIsShownAsSuch_data();
    void aDoubtfulRowIsShownAsSuch();
    void doubtfulSessionsStayOutOfTheTakings();
    void theReportShowsDoubtfulSessions();
    void aLockedRoomIsSaidAndItsOrdersNeverLandLate();
    void anOrderHeldPastItsValidityIsNotStored();

private:
    // Runs SQL as user on a connection of its own (kept open between calls).
    QSqlQuery sql(const QString& text, const QString& user = QStringLiteral("lurn"));
    QString cell(const QString& station, int column, int role = Qt::DisplayRole) const;
    QString connectionText() const;
    QString lastLogLine() const;
    void clickOn(const QString& station, const char* button);
    // The station's side: answers station's pending orders "done" until the
    // log shows the last one so.
    void answerPending(const QString& station);

    std::unique_ptr<ConsoleWindow> m_window;
};

QSqlQuery TestRoomUntrustedData::sql(const QString& text, const QString& user)
{
    QSqlDatabase db = QSqlDatabase::database(user, false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), user);
        db.setHostName(env("LURN_PG_HOST"));
        db.setDatabaseName(QStringLiteral("cafe"));
        db.setUserName(user);
    }
    if (!db.isOpen())
        db.open();
    QSqlQuery q(db);
    if (!q.exec(text))
        qWarning() << "SQL failed:" << text << q.lastError().text();
    return q;
}

QString TestRoomUntrustedData::cell(const QString& station, int column, int role) const
{
    const RoomModel& model = m_window->model();
    const int row = model.rowOf(station);
    return row < 0 ? QString() : model.index(row, column).data(role).toString();
}

QString TestRoomUntrustedData::connectionText() const
{
    return m_window->findChild<QLabel*>(QStringLiteral("connectionLabel"))->text();
}

QString TestRoomUntrustedData::lastLogLine() const
{
    auto* log = m_window->findChild<CommandLog*>(QStringLiteral("commandLog"));
    return log && log->count() > 0 ? log->item(0)->text() : QString();
}

void TestRoomUntrustedData::clickOn(const QString& station, const char* button)
{
    m_window->selectStation(station);
    QCOMPARE(m_window->selectedStation(), station);
    m_window->findChild<QPushButton*>(QLatin1String(button))->click();
}

void TestRoomUntrustedData::answerPending(const QString& station)
{
    // The newest line of the log is the order just given, until answered.
    QTRY_VERIFY2_WITH_TIMEOUT(
        (sql(QStringLiteral("UPDATE commands SET state = 'done', answered_at = now()"
                            " WHERE station = '%1' AND state = 'pending'")
                 .arg(station)),
         lastLogLine().endsWith(QStringLiteral("→ hecho"))),
        qPrintable(lastLogLine()), kWaitMs);
}

void TestRoomUntrustedData::initTestCase()
{
    QVERIFY(!env("LURN_PG_HOST").isEmpty());
    for (const char* statement : kRoomTables)
        QVERIFY(sql(QString::fromUtf8(statement)).isActive());
    for (const QString& station : {kSound, kBad})
        QVERIFY(sql(QStringLiteral("INSERT INTO stations (station, state) VALUES ('%1', 'idle')")
                        .arg(station))
                    .isActive());
    const QString uri = QStringLiteral("postgresql://lurn@/cafe?host=%1").arg(env("LURN_PG_HOST"));
    m_window = std::make_unique<ConsoleWindow>(uri);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestRoomUntrustedData::cleanupTestCase()
{
    m_window.reset();
    for (const QString& user : {QStringLiteral("lurn"), QStringLiteral("postgres")}) {
        QSqlDatabase::database(user, false).close();
        QSqlDatabase::removeDatabase(user);
    }
}

void TestRoomUntrustedData::init()
{
    // Both stations sound again, and the room read with them.
    sql(QStringLiteral("DELETE FROM sessions; DELETE FROM commands"));
    sql(QStringLiteral("UPDATE stations SET %1; NOTIFY lurn_stations")
            .arg(QLatin1String(kSoundRow)));
    QTRY_COMPARE_WITH_TIMEOUT(connectionText(), kConnected, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(cell(kBad, RoomModel::Cost), QStringLiteral("20"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(cell(kBad, RoomModel::State, Qt::ToolTipRole), QString(), kWaitMs);
}

void TestRoomUntrustedData::aDoubtfulRowIsShownAsSuch_data()
{
    QTest::addColumn<QString>("set");    // what the station wrote into its row
    QTest::addColumn<int>("column");     // the cell that says "dudoso", or -1
    QTest::addColumn<QString>("stored"); // the column named in the state's tool tip
    QTest::addColumn<QString>("state");  // the state shown
    const int none = -1;
    QTest::newRow("end infinitely far")
        << "ends_at = 'infinity'" << int(RoomModel::TimeLeft) << "ends_at"
        << "En uso";
    QTest::newRow("end infinitely past")
        << "ends_at = '-infinity'" << int(RoomModel::TimeLeft) << "ends_at"
        << "En uso";
    QTest::newRow("end a year ahead")
        << "ends_at = now() + interval '1 year'" << int(RoomModel::TimeLeft) << "ends_at"
        << "En uso";
    QTest::newRow("start infinite")
        << "started_at = 'infinity'" << int(RoomModel::Started) << "started_at"
        << "En uso";
    QTest::newRow("start infinitely past")
        << "started_at = '-infinity'" << int(RoomModel::Started) << "started_at"
        << "En uso";
    QTest::newRow("cost near 2^63")
        << "cost = 9223372036854775807" << int(RoomModel::Cost) << "cost"
        << "En uso";
    QTest::newRow("cost negative") << "cost = -50000" << int(RoomModel::Cost) << "cost"
                                   << "En uso";
    QTest::newRow("rate negative")
        << "rate_per_hour = -120" << int(RoomModel::Rate) << "rate_per_hour"
        << "En uso";
    QTest::newRow("length negative") << "planned_seconds = -1" << none << "planned_seconds"
                                     << "En uso";
    QTest::newRow("length huge") << "planned_seconds = 2147483647" << none << "planned_seconds"
                                 << "En uso";
    // A row that says it was written for ever more would never go quiet.
    QTest::newRow("written at infinity") << "updated_at = 'infinity'" << none << "updated_at"
                                         << "Sin conexión";
    QTest::newRow("written a year ahead")
        << "updated_at = now() + interval '1 year'" << none << "updated_at"
        << "Sin conexión";
}

void TestRoomUntrustedData::aDoubtfulRowIsShownAsSuch()
{
    QFETCH(QString, set);
    QFETCH(int, column);
    QFETCH(QString, stored);
    QFETCH(QString, state);
    // Written with the server's own hand, as a station's role could.
    QVERIFY(sql(QStringLiteral("UPDATE stations SET %1 WHERE station = '%2'; NOTIFY lurn_stations")
                    .arg(set, kBad))
                .isActive());
    QTRY_VERIFY2_WITH_TIMEOUT(cell(kBad, RoomModel::State, Qt::ToolTipRole).contains(stored),
                              qPrintable(connectionText()), kWaitMs);
    QCOMPARE(cell(kBad, RoomModel::State), state);
    if (column >= 0) {
        QCOMPARE(cell(kBad, column), QStringLiteral("dudoso"));
        QVERIFY(cell(kBad, column, Qt::ToolTipRole).contains(stored));
    }
    // The rest of that row, the other station and the room as a whole read on.
    QCOMPARE(connectionText(), kConnected);
    QCOMPARE(cell(kSound, RoomModel::State), QStringLiteral("En uso"));
    QCOMPARE(cell(kSound, RoomModel::Cost), QStringLiteral("20"));
    QVERIFY(cell(kSound, RoomModel::TimeLeft).startsWith(QStringLiteral("0:")));
    if (column != RoomModel::Cost)
        QCOMPARE(cell(kBad, RoomModel::Cost), QStringLiteral("20"));
    // Orders still go, to either station.
    clickOn(kSound, "add15Button");
    answerPending(kSound);
}

void TestRoomUntrustedData::doubtfulSessionsStayOutOfTheTakings()
{
    // Two costs near 2^63, whose sum overflows 64 bits, one negative, one
    // that never ends, and one sound session at each station.
    QVERIFY(sql(QStringLiteral(
                    "INSERT INTO sessions SELECT gen_random_uuid(), station, now(), ended, 3600,"
                    " 120, cost, 'time_up', now() FROM (VALUES"
                    " ('PC-B', 9223372036854775807, now()), ('PC-B', 9223372036854775806, now()),"
                    " ('PC-B', -50000, now()), ('PC-B', 30, 'infinity'::timestamptz),"
                    " ('PC-B', 100, now()), ('PC-A', 250, now())) v(station, cost, ended);"
                    " NOTIFY lurn_stations"))
                .isActive());
    QTRY_COMPARE_WITH_TIMEOUT(cell(kBad, RoomModel::Takings), QStringLiteral("100 + dudoso"),
                              kWaitMs);
    QVERIFY(cell(kBad, RoomModel::Takings, Qt::ToolTipRole).contains(QStringLiteral(": 4.")));
    QCOMPARE(cell(kSound, RoomModel::Takings), QStringLiteral("250"));
    auto* total = m_window->findChild<QLabel*>(QStringLiteral("totalLabel"));
    QCOMPARE(total->text(), QStringLiteral("Caja de hoy: 350, sin datos dudosos"));
    QCOMPARE(total->toolTip(), QStringLiteral("Datos dudosos de: PC-B"));
    QCOMPARE(connectionText(), kConnected);
    // The counter's orders still go.
    clickOn(kBad, "stopButton");
    answerPending(kBad);
}

void TestRoomUntrustedData::theReportShowsDoubtfulSessions()
{
    QVERIFY(sql(QStringLiteral(
                    "INSERT INTO sessions SELECT gen_random_uuid(), station, now(), ended, 3600,"
                    " 120, cost, reason, last_seen FROM (VALUES"
                    " ('PC-B', 9223372036854775807, now(), 'time_up', now()),"
                    " ('PC-B', 30, 'infinity'::timestamptz, 'stopped', now()),"
                    " ('PC-B', 40, NULL, 'running', 'infinity'::timestamptz),"
                    " ('PC-B', -50000, now(), 'stopped', now()),"
                    " ('PC-A', 250, now(), 'time_up', now()))"
                    " v(station, cost, ended, reason, last_seen)"))
                .isActive());
    // A counter PC whose report reads the server.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config.path().toLocal8Bit());
    {
        QSettings settings(config.filePath(QStringLiteral("Lurn.conf")), QSettings::IniFormat);
        settings.setValue(
            QStringLiteral("Registro/Servidor"),
            QStringLiteral("postgresql://lurn@/cafe?host=%1").arg(env("LURN_PG_HOST")));
    }
    platform::SystemClock clock;
    platform::services().clock = &clock;
    const auto noClock = qScopeGuard([] { platform::services().clock = nullptr; });
    ReportWindow report(nullptr);
    QSignalSpy shown(&report, &ReportWindow::shown);
    report.setFilter(QDate::currentDate(), QDate::currentDate());
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && shown.last().at(0).toInt() == 5, kWaitMs);
    const ReportModel& model = report.model();
    QStringList doubtfulCosts;
    int doubtfulEnds = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString cost = model.index(row, ReportModel::Cost).data().toString();
        if (cost == QLatin1String("dudoso"))
            doubtfulCosts << model.index(row, ReportModel::Cost).data(Qt::ToolTipRole).toString();
        if (model.index(row, ReportModel::End).data().toString() == QLatin1String("dudoso"))
            ++doubtfulEnds;
        const bool doubtful =
            model.index(row, ReportModel::Reason).data().toString().endsWith(u"(dudoso)");
        QCOMPARE(doubtful, cost != QLatin1String("250"));
    }
    QCOMPARE(doubtfulCosts.size(), 2);
    QVERIFY(doubtfulCosts.first().contains(QStringLiteral("cost")));
    QCOMPARE(doubtfulEnds, 1);
    const QString totals = report.findChild<QLabel*>(QStringLiteral("totalsLabel"))->text();
    QVERIFY2(totals.startsWith(QStringLiteral("Total: 5 sesiones, 0 minutos, importe 250. 4 con "
                                              "datos dudosos, sin sumar.")),
             qPrintable(totals));
    // The file for a spreadsheet says no end it cannot know.
    const QString csv = config.filePath(QStringLiteral("report.csv"));
    QSignalSpy exported(&report, &ReportWindow::exported);
    report.exportTo(csv);
    QTRY_VERIFY_WITH_TIMEOUT(!exported.isEmpty(), kWaitMs);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("0000-"));
}

// Another role holds the room's tables (a station's role could, before its
// rights were cut, and the backend keeps the lock after its client is
// killed): the console says it cannot read, and an order clicked meanwhile is
// said not sent and never lands once the tables are free.
void TestRoomUntrustedData::aLockedRoomIsSaidAndItsOrdersNeverLandLate()
{
    m_window->setOrderValidityMs(3000);
    const auto validity = qScopeGuard([this] { m_window->setOrderValidityMs(60'000); });
    sql(QStringLiteral("SELECT 1"), QStringLiteral("postgres"));
    QSqlDatabase locker = QSqlDatabase::database(QStringLiteral("postgres"), false);
    QVERIFY(locker.transaction());
    QVERIFY(sql(QStringLiteral("LOCK TABLE stations, commands IN ACCESS EXCLUSIVE MODE"),
                QStringLiteral("postgres"))
                .isActive());
    auto unlock = qScopeGuard([&locker] { locker.rollback(); });
    QTRY_VERIFY2_WITH_TIMEOUT(
        connectionText().startsWith(QStringLiteral("El servidor no contesta a tiempo")),
        qPrintable(connectionText()), kWaitMs);
    clickOn(kSound, "add30Button");
    QTRY_VERIFY2_WITH_TIMEOUT(lastLogLine().contains(QStringLiteral("→ no enviado: ")),
                              qPrintable(lastLogLine()), kWaitMs);
    // Still locked: the console keeps saying so.
    QVERIFY(connectionText() != kConnected);
    unlock.dismiss();
    QVERIFY(locker.rollback());
    QTRY_COMPARE_WITH_TIMEOUT(connectionText(), kConnected, kWaitMs);
    // An order after the one not sent is stored; the worker sends in order, so
    // the first would have come before it had it been sent late.
    clickOn(kSound, "add60Button");
    QTRY_VERIFY_WITH_TIMEOUT(
        sql(QStringLiteral("SELECT 1 FROM commands WHERE station = 'PC-A' AND add_minutes = 60"))
            .next(),
        kWaitMs);
    QSqlQuery late = sql(QStringLiteral("SELECT count(*) FROM commands WHERE add_minutes = 30"));
    QVERIFY(late.next());
    QCOMPARE(late.value(0).toInt(), 0);
    // Its validity counts from the click: stored with what was left of 3 s.
    QSqlQuery stored = sql(QStringLiteral("SELECT expires_at - issued_at <= interval '3 seconds' "
                                          "FROM commands WHERE add_minutes = 60"));
    QVERIFY(stored.next());
    QVERIFY(stored.value(0).toBool());
    // Answered, so that the console waits on no order any more.
    answerPending(kSound);
}

// A statement held up by a lock, that the statement timeout has not ended
// yet, completes after the order's validity: it stores nothing.
void TestRoomUntrustedData::anOrderHeldPastItsValidityIsNotStored()
{
    // Long enough for the console to start the insert on a loaded machine,
    // well short of the statement timeout.
    m_window->setOrderValidityMs(1500);
    const auto validity = qScopeGuard([this] { m_window->setOrderValidityMs(60'000); });
    sql(QStringLiteral("SELECT 1"), QStringLiteral("postgres"));
    QSqlDatabase locker = QSqlDatabase::database(QStringLiteral("postgres"), false);
    QVERIFY(locker.transaction());
    QVERIFY(sql(QStringLiteral("LOCK TABLE commands IN ACCESS EXCLUSIVE MODE"),
                QStringLiteral("postgres"))
                .isActive());
    auto unlock = qScopeGuard([&locker] { locker.rollback(); });
    clickOn(kSound, "add15Button");
    // The insert waits on the lock for longer than the order is valid, but
    // less than the statement timeout.
    const QString waiting = QStringLiteral(
        "SELECT 1 FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND usename = 'lurn'"
        " AND (query LIKE '%INSERT INTO commands%' OR query LIKE 'EXECUTE%')");
    QTRY_VERIFY2_WITH_TIMEOUT(sql(waiting, QStringLiteral("postgres")).next(),
                              qPrintable(lastLogLine()), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(sql(waiting + QStringLiteral(" AND clock_timestamp() - query_start >"
                                                          " interval '1.8 seconds'"),
                                 QStringLiteral("postgres"))
                                 .next(),
                             kWaitMs);
    unlock.dismiss();
    QVERIFY(locker.rollback());
    QTRY_VERIFY2_WITH_TIMEOUT(lastLogLine().contains(QStringLiteral(
                                  "→ no enviado: no se pudo guardar dentro de sus 1.5 s")),
                              qPrintable(lastLogLine()), kWaitMs);
    QSqlQuery late = sql(QStringLiteral("SELECT count(*) FROM commands"));
    QVERIFY(late.next());
    QCOMPARE(late.value(0).toInt(), 0);
}

QTEST_MAIN(TestRoomUntrustedData)
#include "TestRoomUntrustedData.moc"
