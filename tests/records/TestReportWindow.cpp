// The report window on a real display: its filters, its totals, the CSV file
// it writes, its settings, and how the main window opens it. Runs with
// TZ=Europe/Madrid; the fake wall clock says 2025-12-10 10:00 UTC.
#include "CountdownDriver.h"
#include "RecordsTestSupport.h"
#include "records/RecordKeeper.h"
#include "records/SqliteRecordStore.h"
#include "report/ProgramRecords.h"
#include "report/ReportModel.h"
#include "report/ReportWindow.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>

#include <optional>

namespace {

constexpr std::int64_t kTen = 1'765'360'800'000LL; // 2025-12-10 10:00 UTC, 11:00 in Madrid
constexpr std::int64_t kHour = 3'600'000;

SessionRecord session(int n, const QString& station, std::int64_t start, int minutes, int rate,
                      int cost, EndReason reason)
{
    SessionRecord r;
    r.id = QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'));
    r.station = station;
    r.startedAtMs = start;
    r.plannedSeconds = 3600;
    r.ratePerHour = rate;
    r.cost = cost;
    r.endReason = reason;
    r.lastSeenAtMs = start + minutes * 60'000LL;
    if (reason != EndReason::Running)
        r.endedAtMs = r.lastSeenAtMs;
    return r;
}

// Two days of a small café.
const std::vector<SessionRecord>& sessions()
{
    static const std::vector<SessionRecord> all = {
        session(1, "Puesto 1", kTen - 24 * kHour, 60, 500, 500, EndReason::TimeUp),
        session(2, "Puesto 2", kTen - 22 * kHour, 30, 1000, 500, EndReason::Stopped),
        session(3, "Puesto 1", kTen, 45, 500, 375, EndReason::TimeUp),
        session(4, "Caja, \"sala\"", kTen + kHour, 20, 1000, 333, EndReason::Interrupted),
        session(5, "Puesto 2", kTen + 2 * kHour, 90, 800, 1200, EndReason::Closed),
        session(6, "Puesto 1", kTen + 3 * kHour, 5, 500, 42, EndReason::Running),
    };
    return all;
}

QString cell(const ReportModel& model, int row, int column)
{
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

} // namespace

class TestReportWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<ReportWindow> report;

    template <typename T> T* child(const char* name)
    {
        return report->findChild<T*>(QLatin1String(name));
    }

    QString totals() { return child<QLabel>("totalsLabel")->text(); }

    // Waits for the load a change of the filter asked for.
    bool loaded(QSignalSpy& spy) { return spy.wait(10000); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain)); }

    void init()
    {
        data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(data->path()));
        fx = std::make_unique<LurnFixture>();
        SqliteRecordStore store(recordsDirectory() + "/records.sqlite");
        StoreProblem problem;
        QVERIFY(store.open(problem));
        QVERIFY(store.save(sessions(), problem));
    }

    void cleanup()
    {
        report.reset();
        fx.reset();
        data.reset();
    }

    void filtersTotalsAndCsv()
    {
        report = std::make_unique<ReportWindow>(nullptr);
        QSignalSpy shown(report.get(), &ReportWindow::shown);
        report->show();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        QVERIFY(shown.count() > 0 || loaded(shown));

        // Today, every station: the 10th in Madrid.
        const ReportModel& model = report->model();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(cell(model, 0, ReportModel::Station), QStringLiteral("Puesto 1"));
        QCOMPARE(cell(model, 0, ReportModel::Start), QStringLiteral("10/12/25 11:00"));
        QCOMPARE(cell(model, 0, ReportModel::End), QStringLiteral("10/12/25 11:45"));
        QCOMPARE(cell(model, 0, ReportModel::Minutes), QStringLiteral("45"));
        QCOMPARE(cell(model, 2, ReportModel::Cost), QStringLiteral("1200"));
        QCOMPARE(cell(model, 1, ReportModel::Reason), QStringLiteral("Interrumpida"));
        QCOMPARE(cell(model, 3, ReportModel::End), QString());
        QCOMPARE(cell(model, 3, ReportModel::Reason), QStringLiteral("En curso"));
        QCOMPARE(totals(), QStringLiteral("Total: 4 sesiones, 160 minutos, importe 1950.  Por "
                                          "puesto: Caja, \"sala\": 333 · Puesto 1: 417 · "
                                          "Puesto 2: 1200"));
        auto* station = child<QComboBox>("stationFilter");
        QCOMPARE(station->count(), 4);
        QCOMPARE(station->itemText(0), QStringLiteral("Todos"));

        // One station.
        shown.clear();
        station->setCurrentIndex(station->findText("Puesto 1"));
        QVERIFY(loaded(shown));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(totals(), QStringLiteral("Total: 2 sesiones, 50 minutos, importe 417."));

        // From the day before.
        shown.clear();
        child<QDateEdit>("fromDate")->setDate(QDate(2025, 12, 9));
        QVERIFY(loaded(shown));
        QCOMPARE(model.rowCount(), 3);
        shown.clear();
        station->setCurrentIndex(0);
        QVERIFY(loaded(shown));
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(totals(), QStringLiteral("Total: 6 sesiones, 250 minutos, importe 2950.  Por "
                                          "puesto: Caja, \"sala\": 333 · Puesto 1: 917 · "
                                          "Puesto 2: 1700"));

        // "Exportar CSV…", as the owner does it: the file dialog, a name, Enter.
        const QString path = data->filePath("caja.csv");
        QSignalSpy exported(report.get(), &ReportWindow::exported);
        onNextModal([path](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::mouseClick(child<QPushButton>("exportButton"), Qt::LeftButton);
        QVERIFY(exported.count() > 0 || exported.wait(10000));
        QCOMPARE(exported.front().at(2).toString(), QString());
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(),
                 QByteArray("\xEF\xBB\xBF"
                            "Puesto,Inicio,Fin,Minutos,Tarifa por hora,Importe,Final\r\n"
                            "Puesto 1,2025-12-09 11:00:00,2025-12-09 12:00:00,60,500,500,"
                            "Tiempo agotado\r\n"
                            "Puesto 2,2025-12-09 13:00:00,2025-12-09 13:30:00,30,1000,500,"
                            "Parada\r\n"
                            "Puesto 1,2025-12-10 11:00:00,2025-12-10 11:45:00,45,500,375,"
                            "Tiempo agotado\r\n"
                            "\"Caja, \"\"sala\"\"\",2025-12-10 12:00:00,2025-12-10 12:20:00,"
                            "20,1000,333,Interrumpida\r\n"
                            "Puesto 2,2025-12-10 13:00:00,2025-12-10 14:30:00,90,800,1200,"
                            "Programa cerrado\r\n"
                            "Puesto 1,2025-12-10 14:00:00,,5,500,42,En curso\r\n"));

        QVERIFY(
            child<QLabel>("originLabel")->text().contains(recordsDirectory() + "/records.sqlite"));
        // The chart came from its module, not the line that stands in for it.
        QVERIFY2(!child<QLabel>("chartMissing"),
                 qPrintable(child<QLabel>("chartMissing") ? child<QLabel>("chartMissing")->text()
                                                          : QString()));
        QVERIFY(child<QWidget>("takingsChart"));
        // Looked at by a person: the screenshot is kept beside the test.
        report->resize(960, 720);
        QTest::qWait(200);
        QVERIFY(report->grab().save(QDir::current().filePath("report-window.png")));
    }

    // Records a station's account can have forged (or a hand-edited file
    // holds): costs whose sum overflows 64 bits, a negative one, an end years
    // away. Each is shown as doubtful and none counts in a total.
    void doubtfulRecordsAreMarkedAndLeftOut()
    {
        {
            SqliteRecordStore store(recordsDirectory() + "/records.sqlite");
            StoreProblem problem;
            QVERIFY(store.open(problem));
            std::vector<SessionRecord> forged = {
                session(7, "Puesto 1", kTen + 4 * kHour, 10, 500, 0, EndReason::TimeUp),
                session(8, "Puesto 1", kTen + 5 * kHour, 10, 500, 0, EndReason::TimeUp),
                session(9, "Puesto 2", kTen + 6 * kHour, 10, 800, -50000, EndReason::Stopped),
                session(10, "Puesto 2", kTen + 7 * kHour, 10, 800, 80, EndReason::Stopped),
            };
            forged[0].cost = INT64_MAX;
            forged[1].cost = INT64_MAX - 1;
            forged[3].endedAtMs = kTen + 400LL * 24 * kHour;
            QVERIFY(store.save(forged, problem));
        }
        report = std::make_unique<ReportWindow>(nullptr);
        QSignalSpy shown(report.get(), &ReportWindow::shown);
        report->show();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        QVERIFY(shown.count() > 0 || loaded(shown));
        const ReportModel& model = report->model();
        QCOMPARE(model.rowCount(), 8);
        QCOMPARE(totals(), QStringLiteral("Total: 8 sesiones, 160 minutos, importe 1950. 4 con "
                                          "datos dudosos, sin sumar.  Por puesto: Caja, "
                                          "\"sala\": 333 · Puesto 1: 417 · Puesto 2: 1200"));
        int doubtful = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            if (!cell(model, row, ReportModel::Reason).endsWith(QStringLiteral("(dudoso)")))
                continue;
            ++doubtful;
            const QModelIndex reason = model.index(row, ReportModel::Reason);
            QVERIFY(
                reason.data(Qt::ToolTipRole).toString().contains(QStringLiteral("fuera de rango")));
        }
        QCOMPARE(doubtful, 4);
        QCOMPARE(cell(model, 4, ReportModel::Cost), QStringLiteral("dudoso"));
        QCOMPARE(cell(model, 7, ReportModel::End), QStringLiteral("dudoso"));
        QCOMPARE(cell(model, 7, ReportModel::Cost), QStringLiteral("80"));
    }

    void settingsKeptInLurnConf()
    {
        report = std::make_unique<ReportWindow>(nullptr);
        report->show();
        QVERIFY(QTest::qWaitForWindowExposed(report.get()));
        auto* note = child<QLabel>("settingsNote");
        auto* server = child<QLineEdit>("serverEdit");
        child<QLineEdit>("stationEdit")->setText("Puesto 7");

        // An address that does not parse is said at once and not kept.
        server->setText("caja.local/cafe");
        QTest::mouseClick(child<QPushButton>("saveButton"), Qt::LeftButton);
        QVERIFY(note->text().contains("postgresql://"));
        QTest::mouseClick(child<QPushButton>("testButton"), Qt::LeftButton);
        QVERIFY(note->text().contains("postgresql://"));
        QSettings conf(fx->settingsFile(), QSettings::IniFormat);
        QVERIFY(!conf.contains("Registro/Servidor"));

        // A server nobody answers on: said in seconds, not a hang.
        server->setText("postgresql://lurn@/cafe?host=/nonexistent");
        QTest::mouseClick(child<QPushButton>("testButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(note->text().contains("No se puede conectar"), 10000);

        QSignalSpy saved(report.get(), &ReportWindow::settingsSaved);
        QTest::mouseClick(child<QPushButton>("saveButton"), Qt::LeftButton);
        QCOMPARE(saved.count(), 1);
        conf.sync();
        QCOMPARE(conf.value("Registro/Puesto").toString(), QStringLiteral("Puesto 7"));
        QCOMPARE(conf.value("Registro/Servidor").toString(),
                 QStringLiteral("postgresql://lurn@/cafe?host=/nonexistent"));
        // The report falls back to this computer's records, and says why.
        QTRY_VERIFY(child<QLabel>("originLabel")->text().contains("No se puede conectar"));
        QVERIFY(child<QLabel>("originLabel")->text().contains("solo los registros de este"));
        QCOMPARE(report->model().rowCount(), 4);
    }

    void recordsSetAsideShown_data()
    {
        QTest::addColumn<bool>("inTheProgram");
        QTest::newRow("in the program") << true;
        QTest::newRow("the report alone") << false;
    }

    // Records set aside are counted and named with their reason, by the
    // program's keeper and by the report alone on the owner's desk.
    void recordsSetAsideShown()
    {
        QFETCH(bool, inTheProgram);
        const QString path = recordsDirectory() + "/records.sqlite";
        {
            FileEditor file(path);
            QCOMPARE(file.exec("INSERT INTO set_aside (id, revision, reason, at) VALUES"
                               " ('no-es-un-uuid', 1, 'invalid input syntax for type uuid',"
                               " '2025-12-10T10:00:00.000Z')"),
                     QString());
        }
        std::optional<RecordKeeper> keeper;
        if (inTheProgram)
            keeper.emplace(recordsDirectory(), QString());
        report = std::make_unique<ReportWindow>(keeper ? &*keeper : nullptr);
        report->show();
        QTRY_VERIFY2(child<QLabel>("originLabel")
                         ->text()
                         .contains("1 registros apartados: no-es-un-uuid (invalid input syntax"
                                   " for type uuid)"),
                     qPrintable(child<QLabel>("originLabel")->text()));
        report.reset();
    }

    // The main window's button and Ctrl+R open it; the lock closes it.
    void openedFromTheMainWindow()
    {
        // The button keeps clear of every other control and label, and out
        // of the tab order.
        const QRect button = fmFer->reportButton->geometry();
        QVERIFY(fmFer->rect().contains(button));
        QCOMPARE(fmFer->reportButton->focusPolicy(), Qt::NoFocus);
        for (QWidget* w : fmFer->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w != fmFer->reportButton && !w->isHidden())
                QVERIFY2(!w->geometry().intersects(button), qPrintable(w->objectName()));

        ProgramRecords records(*fmFer);
        CountdownDriver d{*fx};
        ModalAnswerer answers;
        fmFer->Timer1->setInterval(24 * 3600 * 1000);
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        fmFer->show();
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));

        QTest::keyClick(fmFer, Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(records.reportWindow() && records.reportWindow()->isVisible());
        records.reportWindow()->close();
        QTest::mouseClick(fmFer->reportButton, Qt::LeftButton);
        QTRY_VERIFY(records.reportWindow()->isVisible());

        d.setFields("0", "30", "0", "0");
        bool hidden = false;
        d.press(fmFer->bbIniciar, [&] {
            hidden = !records.reportWindow()->isVisible();
            emit fmFer->reportRequested(); // as if Ctrl+R reached it while locked
            records.openReport();
            hidden = hidden && !records.reportWindow()->isVisible();
        });
        QVERIFY(d.lockShown);
        QVERIFY(hidden);
        d.press(fmFer->bbParar);
    }
};

QTEST_MAIN(TestReportWindow)
#include "TestReportWindow.moc"
