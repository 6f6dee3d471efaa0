// The executable as a user meets it: killed with SIGKILL in the middle of a
// countdown (at the next start its record is closed as interrupted, at its
// last sighting, with the cost it had then), and started as lurn --report.
#include "LurnRun.h"
#include "RecordsTestSupport.h"
#include "X11Probe.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QDateTime>
#include <QtTest>

#include <csignal>

namespace {

// One run of the program with its own settings and records.
class Lurn final : public LurnRun
{
public:
    Lurn(const QString& configHome, const QString& dataHome,
         const QStringList& arguments = QStringList())
        : LurnRun({{"XDG_CONFIG_HOME", configHome}, {"XDG_DATA_HOME", dataHome}}, arguments)
    {
    }

    // The managed window of the program with this name, once it is there.
    xcb_window_t window(X11Probe& probe, const QString& name = QStringLiteral("Lurn"))
    {
        return probe.waitForClientOfPid(pid(), name, 15000);
    }
};

void run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(5000);
}

void clickAndType(xcb_window_t window, int x, int y, const QString& text)
{
    run("xdotool", {"mousemove", "--window", QString::number(window), QString::number(x),
                    QString::number(y), "click", "1"});
    if (!text.isEmpty())
        run("xdotool", {"type", "--delay", "20", text});
}

// The only row of the file, once the condition holds for it, or an empty list.
QStringList waitForRow(const QString& file, const QString& where)
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(file)) {
            // The file may be there before its table is.
            const QStringList rows = RecordsFile(file).rows(where);
            if (rows.size() == 1 && !rows.front().startsWith(QLatin1String("error: ")))
                return rows.front().split(QLatin1Char('|'));
        }
        QTest::qWait(50);
    }
    return {};
}

} // namespace

class TestRecordsProgram final : public QObject
{
    Q_OBJECT

private slots:
    void programEndedWhileRunning_data()
    {
        QTest::addColumn<int>("signal");
        // Killed, crashed, power lost.
        QTest::newRow("SIGKILL") << int(SIGKILL);
        // The desktop session (or a task manager) ends it.
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    // Neither a kill nor the end of the session ends the countdown: the next
    // start takes it up and its record goes on. Only when the countdown is not
    // taken up (its kept state lost or too old) is the record closed, as
    // interrupted at its last sighting.
    void programEndedWhileRunning()
    {
        QFETCH(int, signal);
        QTemporaryDir config, data;
        const QString file = data.filePath("Lurn/records.sqlite");
        QStringList before;
        {
            Lurn lurn(config.path(), data.path());
            X11Probe probe;
            const xcb_window_t main = lurn.window(probe);
            QVERIFY(main);
            run("xdotool", {"windowactivate", "--sync", QString::number(main)});
            clickAndType(main, 92, 234, "30");   // edMinutos
            clickAndType(main, 230, 134, "abc"); // edClave
            clickAndType(main, 230, 168, "abc"); // edRepetirClave
            clickAndType(main, 53, 268, {});     // &Iniciar
            // The first tick, a second in, has been written.
            const QStringList seen =
                waitForRow(file, "end_reason = 'running' AND last_seen_at > started_at");
            QCOMPARE(seen.size(), 9);
            QCOMPARE(seen[4], QStringLiteral("1800"));
            QCOMPARE(seen[5], QStringLiteral("500"));
            ::kill(pid_t(lurn.pid()), signal);
            QVERIFY(lurn.process().waitForFinished(10000));
            QCOMPARE(lurn.process().exitStatus(),
                     signal == SIGKILL ? QProcess::CrashExit : QProcess::NormalExit);
            before = RecordsFile(file).rows().front().split(QLatin1Char('|'));
            QCOMPARE(before[7], QStringLiteral("running"));
            QCOMPARE(before[3], QString());
        }

        QStringList resumed;
        {
            Lurn again(config.path(), data.path());
            resumed = waitForRow(file, "end_reason = 'running' AND last_seen_at > '" +
                                           before[8] + "'");
            QCOMPARE(resumed.size(), 9);
            QCOMPARE(resumed.mid(0, 3), before.mid(0, 3)); // the same record, the same start
            QCOMPARE(resumed.mid(4, 2), before.mid(4, 2));
            ::kill(pid_t(again.pid()), SIGKILL);
            QVERIFY(again.process().waitForFinished(10000));
        }
        const QStringList last = RecordsFile(file).rows().front().split(QLatin1Char('|'));

        // The countdown's kept state is gone: nothing takes it up.
        QVERIFY(QFile::remove(config.filePath("Lurn.countdown")));
        QStringList expected = last;
        expected[3] = last[8]; // ended_at: its last sighting
        expected[7] = QStringLiteral("interrupted");
        Lurn third(config.path(), data.path());
        QCOMPARE(waitForRow(file, "end_reason = 'interrupted'"), expected);

        X11Probe probe;
        const xcb_window_t main = third.window(probe);
        QVERIFY(main);
        run("wmctrl", {"-i", "-c", QString::number(main)});
        QVERIFY(third.process().waitForFinished(15000));
        QCOMPARE(third.process().exitCode(), 0);
        QCOMPARE(RecordsFile(file).rows(), QStringList{expected.join(QLatin1Char('|'))});
    }

    // The end passed while the program was dead: the next start ends the
    // countdown at once, and its record ends as time up, not interrupted.
    void endPassedWhileKilled()
    {
        QTemporaryDir config, data;
        const QString file = data.filePath("Lurn/records.sqlite");
        QStringList seen;
        {
            Lurn lurn(config.path(), data.path());
            X11Probe probe;
            const xcb_window_t main = lurn.window(probe);
            QVERIFY(main);
            run("xdotool", {"windowactivate", "--sync", QString::number(main)});
            clickAndType(main, 148, 234, "2");   // edSegundos
            clickAndType(main, 230, 134, "abc"); // edClave
            clickAndType(main, 230, 168, "abc"); // edRepetirClave
            clickAndType(main, 53, 268, {});     // &Iniciar
            seen = waitForRow(file, "end_reason = 'running'");
            QCOMPARE(seen.size(), 9);
            ::kill(pid_t(lurn.pid()), SIGKILL);
            QVERIFY(lurn.process().waitForFinished(10000));
        }
        // Well past the end of the two seconds.
        const QDateTime started = QDateTime::fromString(seen[2], Qt::ISODateWithMs);
        QVERIFY(started.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentDateTimeUtc() > started.addMSecs(4500), 10000);

        Lurn again(config.path(), data.path());
        const QStringList ended = waitForRow(file, "end_reason = 'time_up'");
        QCOMPARE(ended.size(), 9);
        QCOMPARE(ended.mid(0, 3), seen.mid(0, 3));
        // It ended at its length, not when the program came back.
        QCOMPARE(QDateTime::fromString(ended[3], Qt::ISODateWithMs), started.addMSecs(2000));
        QCOMPARE(ended[4], QStringLiteral("2"));
        ::kill(pid_t(again.pid()), SIGKILL);
        QVERIFY(again.process().waitForFinished(10000));
    }

    // For the owner's desk: the report alone, with no countdown and no lock,
    // and nothing written.
    void reportAlone()
    {
        QTemporaryDir config, data;
        Lurn report(config.path(), data.path(), {"--report"});
        X11Probe probe;
        const xcb_window_t window = report.window(probe, "Registro");
        QVERIFY(window);
        for (xcb_window_t w : probe.clientsOfPid(report.pid()))
            QVERIFY(probe.netWmName(w) != QLatin1String("Lurn"));
        run("wmctrl", {"-i", "-c", QString::number(window)});
        QVERIFY(report.process().waitForFinished(15000));
        QCOMPARE(report.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(report.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(data.filePath("Lurn/records.sqlite")));
    }
};

QTEST_MAIN(TestRecordsProgram)
#include "TestRecordsProgram.moc"
