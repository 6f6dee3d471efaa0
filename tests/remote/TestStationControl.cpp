// The counter's orders carried out on a station: the real windows (under
// openbox), a real link to a private PostgreSQL server, a fake clock. An
// order takes the path the main window's buttons take.
#include "CountdownDriver.h"
#include "countdown/CountdownTimer.h"
#include "records/PostgresRecordStore.h"
#include "remote/RemoteTestSupport.h"
#include "remote/StationControl.h"
#include "remote/StationLink.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const kStation = "PC07";
const LinkTiming kQuick{15000, 100, 500};

} // namespace

class TestStationControl final : public QObject
{
    Q_OBJECT

    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<StationLink> link;
    std::unique_ptr<StationControl> control;
    QTemporaryDir data;
    QString shownMessage;

    QString answerOf(const QString& id)
    {
        Sql sql(QStringLiteral("lurn"), QStringLiteral("cafe"));
        return sql.value(QStringLiteral("SELECT state || '|' || coalesce(answer, '') FROM commands"
                                        " WHERE id = '%1'")
                             .arg(id));
    }

    // Issues an order as the console does and returns its id.
    QString issue(const QString& columns, const QString& values)
    {
        Sql sql(QStringLiteral("lurn"), QStringLiteral("cafe"));
        return sql.value(QStringLiteral("INSERT INTO commands (station, %1) VALUES ('%2', %3)"
                                        " RETURNING id")
                             .arg(columns, QLatin1String(kStation), values));
    }

    QString stationRow()
    {
        Sql sql(QStringLiteral("lurn"), QStringLiteral("cafe"));
        return sql.value(QStringLiteral("SELECT state || '|' || coalesce(planned_seconds, 0)"
                                        " FROM stations WHERE station = '%1'")
                             .arg(QLatin1String(kStation)));
    }

private slots:
    void initTestCase()
    {
        if (env("LURN_PG_URI").isEmpty())
            QSKIP("needs tests/with-postgres.sh");
        PostgresRecordStore store(env("LURN_PG_URI"));
        StoreProblem problem;
        QVERIFY2(store.open(problem), qPrintable(problem.detail));
    }

    void init()
    {
        Sql owner(QStringLiteral("lurn"), QStringLiteral("cafe"));
        QVERIFY(!owner.value("DELETE FROM commands").startsWith(QLatin1String("error")));
        QVERIFY(!owner.value("DELETE FROM stations").startsWith(QLatin1String("error")));
        QFile::remove(data.filePath("orders.ledger"));
        fx = std::make_unique<LurnFixture>();
        fmFer->Timer1->setInterval(24 * 3600 * 1000); // the test ticks
        link = std::make_unique<StationLink>(env("LURN_PG_URI"), QLatin1String(kStation),
                                             data.filePath("orders.ledger"), kQuick);
        StationControl::WindowHooks hooks;
        hooks.rateFields = [] {
            return std::pair{std::optional<int>(fmFer->edTarifa1->text().toInt()),
                             std::optional<int>(fmFer->edTarifa2->text().toInt())};
        };
        hooks.showMessage = [this](const QString& text) {
            shownMessage = text;
            fmFer->showCounterMessage(text);
        };
        // As the program wires it: the orders that change the countdown are
        // kept with it.
        control =
            std::make_unique<StationControl>(fmFer->countdown(), *link, QLatin1String(kStation),
                                             std::move(hooks), &fmFer->keptOrders());
        fmFer->show();
        QTRY_VERIFY_WITH_TIMEOUT(link->status().connected, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stationRow(), QStringLiteral("idle|0"), 10000);
    }

    void cleanup()
    {
        control.reset();
        link.reset();
        fx.reset();
        shownMessage.clear();
    }

    // A start from the counter: the numbers in the fields, the chosen rate,
    // the countdown running and the lock up, as after "&Iniciar"; then more
    // time and a stop, each answered done and shown in the station's row.
    void startAddTimeStop()
    {
        fmFer->edClave->setText(QStringLiteral("abc"));
        fmFer->edRepetirClave->setText(QStringLiteral("abc"));
        fmFer->edTarifa1->setText(QStringLiteral("500"));
        fmFer->edTarifa2->setText(QStringLiteral("1000"));
        const QString start =
            issue(QStringLiteral("kind, hours, minutes, seconds, second_rate, warn_minutes"),
                  QStringLiteral("'start', 0, 30, 0, true, 5"));
        bool locked = false;
        onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(fmDemanaClau));
            locked = true;
            QVERIFY(fmFer->Timer1->isActive());
            QCOMPARE(fmFer->edMinutos->text(), QStringLiteral("30"));
            QCOMPARE(fmFer->edMinutosAntes->text(), QStringLiteral("5"));
            QVERIFY(fmFer->rbTarifa2->isChecked());
            QVERIFY(!fmFer->bbIniciar->isEnabled());
            QVERIFY(fmFer->bbParar->isEnabled());
            QVERIFY(fmFer->countdown().state().WarningPending);
            QCOMPARE(fmFer->countdown().rate(), 1000);
            QTRY_COMPARE_WITH_TIMEOUT(answerOf(start), QStringLiteral("done|"), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(stationRow(), QStringLiteral("running|1800"), 10000);

            // Fifteen minutes more, then ten fewer.
            const QString more =
                issue(QStringLiteral("kind, add_minutes"), QStringLiteral("'add_time', 15"));
            QTRY_COMPARE_WITH_TIMEOUT(answerOf(more), QStringLiteral("done|"), 10000);
            QCOMPARE(fmFer->edMinutos->text(), QStringLiteral("45"));
            QTRY_COMPARE_WITH_TIMEOUT(stationRow(), QStringLiteral("running|2700"), 10000);
            const QString fewer =
                issue(QStringLiteral("kind, add_minutes"), QStringLiteral("'add_time', -10"));
            QTRY_COMPARE_WITH_TIMEOUT(answerOf(fewer), QStringLiteral("done|"), 10000);
            QCOMPARE(fmFer->edMinutos->text(), QStringLiteral("35"));

            // A second start while it runs is refused, and changes nothing.
            const QString again =
                issue(QStringLiteral("kind, hours, minutes, seconds, second_rate, warn_minutes"),
                      QStringLiteral("'start', 1, 0, 0, false, 0"));
            QTRY_VERIFY_WITH_TIMEOUT(answerOf(again).startsWith(QLatin1String("refused|Ya hay")),
                                     10000);
            QCOMPARE(fmFer->edHoras->text(), QStringLiteral("0"));

            const QString stop = issue(QStringLiteral("kind"), QStringLiteral("'stop'"));
            QTRY_COMPARE_WITH_TIMEOUT(answerOf(stop), QStringLiteral("done|"), 10000);
            QVERIFY(!fmFer->Timer1->isActive());
            QVERIFY(fmFer->bbIniciar->isEnabled());
            QTRY_COMPARE_WITH_TIMEOUT(stationRow(), QStringLiteral("stopped|2100"), 10000);
            CountdownDriver::unlock();
        });
        QTRY_VERIFY_WITH_TIMEOUT(locked, 10000);
        QVERIFY(waitForNoModal(10000));
    }

    // Orders the station cannot carry out get their reason and change nothing.
    void refused_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("answer");
        const QString start =
            QStringLiteral("kind, hours, minutes, seconds, second_rate, warn_minutes");
        QTest::newRow("start without a password")
            << QString() << start << QStringLiteral("'start', 0, 30, 0, false, 0")
            << QStringLiteral("refused|No hay clave guardada en el puesto");
        QTest::newRow("start of 75 minutes")
            << QStringLiteral("abc") << start << QStringLiteral("'start', 0, 75, 0, false, 0")
            << QStringLiteral("refused|Fuera de rango");
        QTest::newRow("more time with no countdown")
            << QStringLiteral("abc") << QStringLiteral("kind, add_minutes")
            << QStringLiteral("'add_time', 15")
            << QStringLiteral("refused|No hay cuenta atrás en marcha");
        QTest::newRow("an unknown kind")
            << QStringLiteral("abc") << QStringLiteral("kind") << QStringLiteral("'reboot'")
            << QStringLiteral("refused|Tipo de orden desconocido");
    }

    void refused()
    {
        QFETCH(QString, password);
        QFETCH(QString, columns);
        QFETCH(QString, values);
        QFETCH(QString, answer);
        fmFer->edClave->setText(password);
        fmFer->edRepetirClave->setText(password);
        const QString id = issue(columns, values);
        QTRY_COMPARE_WITH_TIMEOUT(answerOf(id), answer, 10000);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(!fmDemanaClau->isVisible());
        QCOMPARE(stationRow(), QStringLiteral("idle|0"));
    }

    // An order the kept countdown names was carried out by a run that was
    // killed before the counter had its answer: it is answered from there,
    // with the outcome kept, and not carried out again (with no countdown
    // running, more time would be refused).
    void keptOrderIsAnsweredFromTheKeptCountdown_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<QString>("keptAnswer");
        QTest::addColumn<QString>("answer");
        QTest::newRow("carried out") << true << QString() << QStringLiteral("done|");
        QTest::newRow("refused") << false << QStringLiteral("Fuera de rango")
                                 << QStringLiteral("refused|Fuera de rango");
    }

    void keptOrderIsAnsweredFromTheKeptCountdown()
    {
        QFETCH(bool, done);
        QFETCH(QString, keptAnswer);
        QFETCH(QString, answer);
        Sql sql(QStringLiteral("lurn"), QStringLiteral("cafe"));
        const QString id = sql.value(QStringLiteral("SELECT gen_random_uuid()"));
        fmFer->keptOrders().noteOrder(id, KeptOrders::Outcome{done, keptAnswer},
                                      QDateTime::currentMSecsSinceEpoch() + 60'000);
        QCOMPARE(sql.value(QStringLiteral("INSERT INTO commands (id, station, kind, add_minutes)"
                                          " VALUES ('%1', '%2', 'add_time', 15)")
                               .arg(id, QLatin1String(kStation))),
                 QStringLiteral("1"));
        QTRY_COMPARE_WITH_TIMEOUT(answerOf(id), answer, 10000);
        QVERIFY(!fmFer->Timer1->isActive());
        QCOMPARE(stationRow(), QStringLiteral("idle|0"));
    }

    // A message is shown to the customer in the notice, as typed, with its beep.
    void message()
    {
        const int beeps = fx->beep.count;
        const QString text = QStringLiteral("Su café está listo <b>en la barra</b>");
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(fmAviso));
            QCOMPARE(fmAviso->lblQuedan->text(), text);
            QCOMPARE(fmAviso->lblQuedan->textFormat(), Qt::PlainText);
            QCOMPARE(fx->beep.count, beeps + 1);
            seen = true;
            fmAviso->BitBtn1->click();
        });
        const QString id =
            issue(QStringLiteral("kind, message"), QStringLiteral("'message', '%1'").arg(text));
        QTRY_COMPARE_WITH_TIMEOUT(answerOf(id), QStringLiteral("done|"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(seen, 10000);
        QVERIFY(waitForNoModal(10000));
        // The notice is the warning notice again afterwards.
        QVERIFY(fmAviso->Label2->isVisibleTo(fmAviso));
    }
};

QTEST_MAIN(TestStationControl)
#include "TestStationControl.moc"
