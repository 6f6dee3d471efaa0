// The counter link's state in the report window's status lines, as the
// running program wires it: a real link to a private PostgreSQL server
// (tests/with-postgres.sh), the program's records and their report window
// under openbox.
#include "LurnFixture.h"
#include "records/PostgresRecordStore.h"
#include "remote/RemoteTestSupport.h"
#include "remote/StationLink.h"
#include "report/ProgramRecords.h"
#include "report/ReportWindow.h"
#include "station/Ufer.h"

#include "PrivateServer.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A heartbeat a second: a server gone is noticed at once.
const LinkTiming kQuick{1000, 100, 500};

} // namespace

class TestReportRoomLink final : public QObject
{
    Q_OBJECT

    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<ProgramRecords> records;
    std::unique_ptr<StationLink> link;
    QTemporaryDir data;

    // The program's wiring (Lurn.cpp): the link's state now and as it changes.
    void linkTo(const QString& uri)
    {
        link = std::make_unique<StationLink>(
            uri, QStringLiteral("PC09"), data.filePath(QStringLiteral("orders.ledger")), kQuick);
        records->showRoomLink(link->status());
        connect(link.get(), &StationLink::statusChanged, records.get(),
                &ProgramRecords::showRoomLink);
    }

    QString roomLine() const
    {
        ReportWindow* report = records->reportWindow();
        if (!report)
            return {};
        const QString text = report->findChild<QLabel*>(QStringLiteral("originLabel"))->text();
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("Sala: ")))
                return line;
        return {};
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
        fx = std::make_unique<LurnFixture>();
        records = std::make_unique<ProgramRecords>(*fmFer);
    }

    void cleanup()
    {
        link.reset();
        records.reset();
        fx.reset();
    }

    // Each state says itself, whether the report was open before or after.
    void stateShows_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<bool>("openFirst");
        QTest::addColumn<QString>("line");
        const QString unreachable =
            QStringLiteral("postgresql://lurn@/cafe?host=%1/nowhere").arg(env("LURN_PG_HOST"));
        const QString reader = uri(QStringLiteral("lurn_reader"), QStringLiteral("cafe"));
        for (const bool openFirst : {false, true}) {
            const char* when = openFirst ? " (report open first)" : "";
            QTest::addRow("connected%s", when)
                << env("LURN_PG_URI") << openFirst << QStringLiteral("Sala: conectado.");
            QTest::addRow("role lacks a right%s", when)
                << reader << openFirst
                << QStringLiteral("Sala: conectado, con un problema: Al usuario del puesto le "
                                  "falta un permiso sobre la función");
            QTest::addRow("server unreachable%s", when)
                << unreachable << openFirst
                << QStringLiteral("Sala: sin conexión. Sin conexión con el servidor:");
            QTest::addRow("unreadable address%s", when)
                << QStringLiteral("mysql://caja/cafe") << openFirst
                << QStringLiteral("Sala: sin conexión. ");
        }
    }

    void stateShows()
    {
        QFETCH(QString, uri);
        QFETCH(bool, openFirst);
        QFETCH(QString, line);
        if (openFirst)
            records->openReport();
        linkTo(uri);
        if (!openFirst)
            records->openReport();
        QVERIFY(records->reportWindow());
        QTRY_VERIFY2_WITH_TIMEOUT(roomLine().startsWith(line), qPrintable(roomLine()), 20000);
        // Said once, beside the records' own lines.
        QCOMPARE(records->reportWindow()
                     ->findChild<QLabel*>(QStringLiteral("originLabel"))
                     ->text()
                     .count(QStringLiteral("Sala: ")),
                 1);
    }

    // The line follows the server going and coming back.
    void followsTheServer()
    {
        records->openReport();
        linkTo(env("LURN_PG_URI"));
        QTRY_COMPARE_WITH_TIMEOUT(roomLine(), QStringLiteral("Sala: conectado."), 20000);
        QVERIFY(serverCtl(QStringLiteral("stop")));
        QTRY_VERIFY2_WITH_TIMEOUT(roomLine().startsWith(QStringLiteral(
                                      "Sala: sin conexión. Sin conexión con el servidor")),
                                  qPrintable(roomLine()), 20000);
        QVERIFY(serverCtl(QStringLiteral("start")));
        QTRY_COMPARE_WITH_TIMEOUT(roomLine(), QStringLiteral("Sala: conectado."), 30000);
    }
};

QTEST_MAIN(TestReportRoomLink)
#include "TestReportRoomLink.moc"
