// "Sala" under Xvfb against a private PostgreSQL server
// (tests/with-postgres.sh): the test writes the stations' rows and plays the
// stations' answers itself.
#include "RoomTables.h"
#include "console/CommandLog.h"
#include "console/ConsoleWindow.h"
#include "console/RoomModel.h"
#include "console/StartDialog.h"
#include "platform/Platform.h"
#include "platform/SystemClock.h"
#include "report/ReportWindow.h"

#include "PrivateServer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWaitMs = 15000;

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString stationName(int i)
{
    return QStringLiteral("PC-%1").arg(i, 3, 10, QLatin1Char('0'));
}

} // namespace

class TestConsoleWindow final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void noServerSaysSo();
    void theReportOpensTheRoom();
    void aRoleWithoutRightsIsSaid();
    void hundredStationsAppear();
    void aChangedRowShows();
    void aQuietStationShowsOffline();
    void commandsCarryTheirNumbers_data();
    void commandsCarryTheirNumbers();
    void badNumbersStayInTheDialog();
    void anUnansweredCommandExpires();
    void aStoppedServerIsSaidAndComesBack();
    void aCommandOnALostConnectionIsSentOnce();
    void onlyAPickedStationIsTargeted();

private:
    // Runs SQL as the server's owner; the connection is opened again after
    // the server has been restarted.
    QSqlQuery sql(const QString& text);
    QString cell(const QString& station, int column) const;
    QString lastLogLine() const;
    void select(const QString& station);

    std::unique_ptr<ConsoleWindow> m_window;
};

QSqlQuery TestConsoleWindow::sql(const QString& text)
{
    QSqlDatabase db = QSqlDatabase::database(QStringLiteral("owner"), false);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("owner"));
        db.setHostName(env("LURN_PG_HOST"));
        db.setDatabaseName(QStringLiteral("cafe"));
        db.setUserName(QStringLiteral("lurn"));
    }
    if (!db.isOpen() || !QSqlQuery(db).exec(QStringLiteral("SELECT 1")))
        db.close(), db.open();
    QSqlQuery q(db);
    if (!q.exec(text))
        qWarning() << "SQL failed:" << text << q.lastError().text();
    return q;
}

QString TestConsoleWindow::cell(const QString& station, int column) const
{
    const RoomModel& model = m_window->model();
    const int row = model.rowOf(station);
    return row < 0 ? QString() : model.index(row, column).data().toString();
}

QString TestConsoleWindow::lastLogLine() const
{
    auto* log = m_window->findChild<CommandLog*>(QStringLiteral("commandLog"));
    return log && log->count() > 0 ? log->item(0)->text() : QString();
}

void TestConsoleWindow::select(const QString& station)
{
    m_window->selectStation(station);
    QCOMPARE(m_window->selectedStation(), station);
}

void TestConsoleWindow::initTestCase()
{
    QVERIFY(!env("LURN_PG_HOST").isEmpty());
    for (const char* statement : kRoomTables)
        QVERIFY(sql(QString::fromUtf8(statement)).isActive());
    // 100 stations: a third running, some warned, some free.
    for (int i = 1; i <= 100; ++i) {
        const QString state = i % 3 == 0    ? QStringLiteral("idle")
                              : i % 10 == 1 ? QStringLiteral("warning")
                                            : QStringLiteral("running");
        QVERIFY(sql(QStringLiteral(
                        "INSERT INTO stations (station, host, state, started_at, planned_seconds,"
                        " ends_at, rate_per_hour, cost) VALUES ('%1', 'host%2', '%3',"
                        " now() - interval '%2 minutes', 7200,"
                        " now() - interval '%2 minutes' + interval '2 hours', 120, %2 * 2)")
                        .arg(stationName(i))
                        .arg(i)
                        .arg(state))
                    .isActive());
    }
    QVERIFY(sql(QStringLiteral(
                    "INSERT INTO sessions VALUES (gen_random_uuid(), 'PC-001', now(), NULL, 3600,"
                    " 120, 150, 'running', now()), (gen_random_uuid(), 'PC-002', now(), now(),"
                    " 3600, 120, 250, 'stopped', now()), (gen_random_uuid(), 'PC-002',"
                    " now() - interval '3 days', now(), 3600, 120, 9999, 'stopped', now())"))
                .isActive());
    const QString uri = QStringLiteral("postgresql://lurn@/cafe?host=%1").arg(env("LURN_PG_HOST"));
    m_window = std::make_unique<ConsoleWindow>(uri);
    m_window->resize(1100, 900);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestConsoleWindow::cleanupTestCase()
{
    m_window.reset();
    QSqlDatabase::database(QStringLiteral("owner"), false).close();
    QSqlDatabase::removeDatabase(QStringLiteral("owner"));
}

void TestConsoleWindow::noServerSaysSo()
{
    ConsoleWindow alone(QString{});
    auto* label = alone.findChild<QLabel*>(QStringLiteral("connectionLabel"));
    QVERIFY(label->text().contains(QStringLiteral("No hay servidor configurado")));
    QVERIFY(!alone.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled());
}

void TestConsoleWindow::theReportOpensTheRoom()
{
    // A counter PC with no Servidor in its Lurn.conf.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    platform::SystemClock clock;
    platform::services().clock = &clock;
    const auto noClock = qScopeGuard([] { platform::services().clock = nullptr; });
    ReportWindow report(nullptr);
    report.findChild<QPushButton*>(QStringLiteral("roomButton"))->click();
    auto* room = report.findChild<ConsoleWindow*>();
    QVERIFY(room);
    QTRY_VERIFY(room->isVisible());
    QCOMPARE(room->windowTitle(), QStringLiteral("Sala"));
    QVERIFY(room->findChild<QLabel*>(QStringLiteral("connectionLabel"))
                ->text()
                .startsWith(QStringLiteral("No hay servidor configurado")));
    // Once more: the same window comes to the front.
    report.findChild<QPushButton*>(QStringLiteral("roomButton"))->click();
    QCOMPARE(report.findChildren<ConsoleWindow*>().size(), 1);
}

void TestConsoleWindow::aRoleWithoutRightsIsSaid()
{
    // lurn_reader may connect but was granted nothing on the room's tables.
    ConsoleWindow reader(
        QStringLiteral("postgresql://lurn_reader@/cafe?host=%1").arg(env("LURN_PG_HOST")));
    auto* label = reader.findChild<QLabel*>(QStringLiteral("connectionLabel"));
    QTRY_VERIFY2_WITH_TIMEOUT(
        label->text().startsWith(QStringLiteral("El rol de este PC no tiene permiso")),
        qPrintable(label->text()), kWaitMs);
    QCOMPARE(reader.model().rowCount(), 0);
}

void TestConsoleWindow::hundredStationsAppear()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    QCOMPARE(cell(QStringLiteral("PC-003"), RoomModel::State), QStringLiteral("Libre"));
    QCOMPARE(cell(QStringLiteral("PC-011"), RoomModel::State), QStringLiteral("Aviso"));
    QCOMPARE(cell(QStringLiteral("PC-002"), RoomModel::State), QStringLiteral("En uso"));
    QCOMPARE(cell(QStringLiteral("PC-002"), RoomModel::Cost), QStringLiteral("4"));
    QCOMPARE(cell(QStringLiteral("PC-002"), RoomModel::Rate), QStringLiteral("120"));
    // Today's sessions only: the one of three days ago is not today's.
    QCOMPARE(cell(QStringLiteral("PC-002"), RoomModel::Takings), QStringLiteral("250"));
    QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("totalLabel"))->text(),
             QStringLiteral("Caja de hoy: 400"));
    // Counting down between reads.
    const QString left = cell(QStringLiteral("PC-050"), RoomModel::TimeLeft);
    QVERIFY(left.startsWith(QStringLiteral("1:")));
    QTRY_VERIFY(cell(QStringLiteral("PC-050"), RoomModel::TimeLeft) != left);
    const QString shot = env("LURN_CONSOLE_SCREENSHOT");
    if (!shot.isEmpty())
        QVERIFY(m_window->grab().save(shot));
}

void TestConsoleWindow::aChangedRowShows()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    sql(QStringLiteral("UPDATE stations SET state = 'ended', updated_at = now()"
                       " WHERE station = 'PC-020'; NOTIFY lurn_stations, 'PC-020'"));
    QTRY_COMPARE(cell(QStringLiteral("PC-020"), RoomModel::State),
                 QStringLiteral("Tiempo agotado"));
    QCOMPARE(cell(QStringLiteral("PC-020"), RoomModel::TimeLeft), QString());
}

void TestConsoleWindow::aQuietStationShowsOffline()
{
    sql(QStringLiteral("UPDATE stations SET updated_at = now() - interval '46 seconds'"
                       " WHERE station = 'PC-030'; NOTIFY lurn_stations, 'PC-030'"));
    QTRY_COMPARE(cell(QStringLiteral("PC-030"), RoomModel::State), QStringLiteral("Sin conexión"));
}

void TestConsoleWindow::commandsCarryTheirNumbers_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected"); // the row as the station reads it
    QTest::addColumn<QString>("answer");   // what the station answers
    QTest::addColumn<QString>("fate");
    QTest::newRow("start, second rate") << "start"
                                        << "start|1|30|15|true|10||"
                                        << "done"
                                        << "→ hecho";
    QTest::newRow("add 15") << "add15"
                            << "add_time||||||15|"
                            << "done"
                            << "→ hecho";
    QTest::newRow("typed negative minutes")
        << "typed"
        << "add_time||||||-10|"
        << "refused:No se puede quitar más de lo que queda"
        << "→ rechazado: No se puede quitar más de lo que queda";
    QTest::newRow("stop by Delete") << "delete"
                                    << "stop|||||||"
                                    << "done"
                                    << "→ hecho";
    QTest::newRow("message") << "message"
                             << "message|||||||Cierre en 10 minutos"
                             << "done"
                             << "→ hecho";
}

void TestConsoleWindow::commandsCarryTheirNumbers()
{
    QFETCH(QString, action);
    QFETCH(QString, expected);
    QFETCH(QString, answer);
    QFETCH(QString, fate);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    const QString station = QStringLiteral("PC-040");
    select(station);
    // Keys go to the active window, as the operator's do.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    if (action == QLatin1String("start")) {
        m_window->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        StartDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = m_window->findChild<StartDialog*>()) != nullptr);
        auto type = [dialog](const char* name, const QString& text) {
            auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(name));
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        type("hoursEdit", QStringLiteral("1"));
        type("minutesEdit", QStringLiteral("30"));
        type("secondsEdit", QStringLiteral("15"));
        type("warnEdit", QStringLiteral("10"));
        dialog->findChild<QRadioButton*>(QStringLiteral("rate2Radio"))->click();
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    } else if (action == QLatin1String("add15")) {
        m_window->findChild<QPushButton*>(QStringLiteral("add15Button"))->click();
    } else if (action == QLatin1String("typed")) {
        auto* edit = m_window->findChild<QLineEdit*>(QStringLiteral("addMinutesEdit"));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("-10"));
        QTest::keyClick(edit, Qt::Key_Return);
    } else if (action == QLatin1String("delete")) {
        auto* table = m_window->findChild<QTableView*>(QStringLiteral("roomTable"));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Delete);
    } else if (action == QLatin1String("message")) {
        m_window->findChild<QPushButton*>(QStringLiteral("messageButton"))->click();
        MessageDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = m_window->findChild<MessageDialog*>()) != nullptr);
        QTest::keyClicks(dialog->findChild<QPlainTextEdit*>(QStringLiteral("messageEdit")),
                         QStringLiteral("Cierre en 10 minutos"));
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    }
    QTRY_VERIFY2(lastLogLine().endsWith(QStringLiteral("→ enviado")), qPrintable(lastLogLine()));
    const QString read = QStringLiteral(
        "SELECT concat_ws('|', kind, coalesce(hours::text, ''), coalesce(minutes::text, ''),"
        " coalesce(seconds::text, ''), coalesce(second_rate::text, ''),"
        " coalesce(warn_minutes::text, ''), coalesce(add_minutes::text, ''),"
        " coalesce(message, '')), id FROM commands WHERE station = 'PC-040' AND state = 'pending'"
        " AND issued_by = 'lurn'");
    QString row;
    QString id;
    QTRY_VERIFY([&] {
        QSqlQuery q = sql(read);
        if (!q.next())
            return false;
        row = q.value(0).toString();
        id = q.value(1).toString();
        return true;
    }());
    QCOMPARE(row, expected);
    const QStringList parts = answer.split(QLatin1Char(':'));
    sql(QStringLiteral("UPDATE commands SET state = '%1', answer = '%2', answered_at = now()"
                       " WHERE id = '%3'")
            .arg(parts.value(0), parts.value(1), id));
    QTRY_VERIFY2(lastLogLine().endsWith(fate), qPrintable(lastLogLine()));
}

void TestConsoleWindow::badNumbersStayInTheDialog()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    select(QStringLiteral("PC-041"));
    QTest::keyClick(m_window.get(), Qt::Key_I, Qt::ControlModifier);
    StartDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = m_window->findChild<StartDialog*>()) != nullptr);
    auto* minutes = dialog->findChild<QLineEdit*>(QStringLiteral("minutesEdit"));
    minutes->setText(QStringLiteral("60"));
    dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("problemLabel"))->text(),
             QStringLiteral("Minutos: Fuera de rango"));
    minutes->setText(QStringLiteral("5x"));
    dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("problemLabel"))->text(),
             QStringLiteral("Minutos: Número inválido"));
    QVERIFY(dialog->isVisible());
    dialog->reject();
    QSqlQuery q = sql(QStringLiteral("SELECT count(*) FROM commands WHERE station = 'PC-041'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void TestConsoleWindow::anUnansweredCommandExpires()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    select(QStringLiteral("PC-042"));
    m_window->findChild<QPushButton*>(QStringLiteral("add30Button"))->click();
    QTRY_VERIFY(lastLogLine().endsWith(QStringLiteral("→ enviado")));
    // The station is away: nobody answers, and the command's time runs out.
    QTRY_VERIFY(sql(QStringLiteral("SELECT 1 FROM commands WHERE station = 'PC-042'")).next());
    sql(QStringLiteral("UPDATE commands SET expires_at = now() - interval '1 second'"
                       " WHERE station = 'PC-042'"));
    QTRY_VERIFY_WITH_TIMEOUT(lastLogLine().endsWith(QStringLiteral("→ caducado")), kWaitMs);
}

void TestConsoleWindow::aStoppedServerIsSaidAndComesBack()
{
    auto* label = m_window->findChild<QLabel*>(QStringLiteral("connectionLabel"));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Conectado con el servidor."), kWaitMs);
    QVERIFY(serverCtl(QStringLiteral("stop")));
    QTRY_VERIFY2_WITH_TIMEOUT(label->text().startsWith(QStringLiteral("No se puede conectar")),
                              qPrintable(label->text()), kWaitMs);
    QVERIFY(serverCtl(QStringLiteral("start")));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Conectado con el servidor."), kWaitMs);
    // Live again: a change shows.
    sql(QStringLiteral("UPDATE stations SET state = 'stopped', updated_at = now()"
                       " WHERE station = 'PC-050'; NOTIFY lurn_stations, 'PC-050'"));
    QTRY_COMPARE_WITH_TIMEOUT(cell(QStringLiteral("PC-050"), RoomModel::State),
                              QStringLiteral("Parado"), kWaitMs);
}

// The server drops the window's connection, as a restart does, before the
// window has noticed: the operator's next command still goes, once.
void TestConsoleWindow::aCommandOnALostConnectionIsSentOnce()
{
    auto* label = m_window->findChild<QLabel*>(QStringLiteral("connectionLabel"));
    QTRY_COMPARE_WITH_TIMEOUT(label->text(), QStringLiteral("Conectado con el servidor."), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    select(QStringLiteral("PC-044"));
    const QString others =
        QStringLiteral("FROM pg_stat_activity WHERE datname = 'cafe' AND pid <> pg_backend_pid()");
    QVERIFY(sql(QStringLiteral("SELECT pg_terminate_backend(pid) ") + others).isActive());
    QTRY_VERIFY(
        sql(QStringLiteral("SELECT count(*) ") + others + QStringLiteral(" HAVING count(*) = 0"))
            .next());
    m_window->findChild<QPushButton*>(QStringLiteral("add60Button"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        sql(QStringLiteral("SELECT 1 FROM commands WHERE station = 'PC-044'")).next(), kWaitMs);
    QVERIFY2(lastLogLine().endsWith(QStringLiteral("→ enviado")), qPrintable(lastLogLine()));
    QSqlQuery q = sql(QStringLiteral("SELECT count(*), min(add_minutes) FROM commands"
                                     " WHERE station = 'PC-044'"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(q.value(1).toInt(), 60);
}

// The view puts its current cell on the first line by itself; no order may go
// to a station the operator has not picked.
void TestConsoleWindow::onlyAPickedStationIsTargeted()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_window->model().rowCount(), 100, kWaitMs);
    auto* table = m_window->findChild<QTableView*>(QStringLiteral("roomTable"));
    table->clearSelection();
    table->selectionModel()->setCurrentIndex(m_window->model().index(0, 0),
                                             QItemSelectionModel::NoUpdate);
    QCOMPARE(m_window->selectedStation(), QString());
    for (const char* name : {"startButton", "add15Button", "stopButton", "messageButton"})
        QVERIFY2(!m_window->findChild<QPushButton*>(QLatin1String(name))->isEnabled(), name);
    select(QStringLiteral("PC-045"));
    for (const char* name : {"startButton", "add15Button", "stopButton", "messageButton"})
        QVERIFY2(m_window->findChild<QPushButton*>(QLatin1String(name))->isEnabled(), name);
}

QTEST_MAIN(TestConsoleWindow)
#include "TestConsoleWindow.moc"
