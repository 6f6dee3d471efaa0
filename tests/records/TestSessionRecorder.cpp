// The record of each countdown as the operator runs it, on the real windows
// with a fake clock, written to a real SQLite file.
#include "CountdownDriver.h"
#include "RecordsTestSupport.h"
#include "records/RecordKeeper.h"
#include "records/SessionRecorder.h"
#include "records/SqliteRecordStore.h"

#include <QRadioButton>
#include <QTemporaryDir>

namespace {

constexpr std::int64_t kStart = 1'765'360'800'000LL; // the fake wall clock at start

// What a case does to the countdown after "&Iniciar", as steps.
enum class Steps {
    RunToTheEnd,       // 0:0:5, ticked to its end
    StopAndSwitchRate, // 0:30:0, second rate chosen at 60 s, "&Parar" at 95 s
    ContinueLonger,    // 0:1:0, raised to 0:2:0 with "&Continuar" at 30 s, run to the end
    CloseWhileRunning, // 0:30:0, the window closed at 10 s
};

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(EndReason)

class TestSessionRecorder final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> data;
    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<CountdownDriver> d;
    std::unique_ptr<ModalAnswerer> answers;
    std::unique_ptr<RecordKeeper> keeper;
    std::unique_ptr<SessionRecorder> recorder;

    void startRecording()
    {
        keeper = std::make_unique<RecordKeeper>(data->path(), QString());
        recorder = std::make_unique<SessionRecorder>(fmFer->countdown(), *keeper,
                                                     QStringLiteral("Puesto 1"));
        // As the program wires it: the operator's close ends the record.
        QObject::connect(fmFer, &TfmFer::closed, recorder.get(), &SessionRecorder::programEnding);
    }

    QStringList rows()
    {
        if (!keeper->waitUntilWritten(10000))
            return {QStringLiteral("not written")};
        return RecordsFile(keeper->status().localFile).rows();
    }

    // The only row, without its last_seen_at, which a running record moves
    // on its own; that must lie within the last half minute (and a tick).
    QString runningRow()
    {
        const QStringList all = rows();
        if (all.size() != 1)
            return all.join('\n');
        QStringList columns = all.front().split('|');
        const std::int64_t seen = parseIsoUtc(columns.takeLast()).value_or(0);
        const std::int64_t age = seenNow() - seen;
        if (age < 0 || age > SessionRecorder::kSeenEveryMs + 1000)
            return QStringLiteral("last seen %1 ms ago").arg(age);
        return columns.join('|');
    }

    static QString withoutLastSeen(const SessionRecord& r)
    {
        QStringList columns = rowText(r).split('|');
        columns.removeLast();
        return columns.join('|');
    }

    // The record as it should be; endMs is the wall clock at its end.
    SessionRecord expected(int planned, int rate, int cost, EndReason reason,
                           std::int64_t endMs = 0)
    {
        SessionRecord r;
        r.id = fmFer->countdown().id();
        r.station = QStringLiteral("Puesto 1");
        r.startedAtMs = kStart;
        if (reason != EndReason::Running)
            r.endedAtMs = endMs;
        r.plannedSeconds = planned;
        r.ratePerHour = rate;
        r.cost = cost;
        r.endReason = reason;
        r.lastSeenAtMs = endMs;
        return r;
    }

    // When the record says it is now: its start plus the time run on the
    // elapsed-time clock, whatever the wall clock did meanwhile.
    std::int64_t seenNow() const
    {
        return kStart + std::llround((fx->clock.now() - d->start) * kMillisecondsPerDay);
    }

    // A tick at s seconds, as late as the real timer's ticks come.
    void tickAtSecond(int s) { d->tickAt(s * 1000 + CountdownTimer::kLateMs); }

private slots:
    void init()
    {
        data = std::make_unique<QTemporaryDir>();
        fx = std::make_unique<LurnFixture>();
        d = std::make_unique<CountdownDriver>(CountdownDriver{*fx});
        answers = std::make_unique<ModalAnswerer>();
        fmFer->Timer1->setInterval(24 * 3600 * 1000);
        fmFer->edClave->setText(QStringLiteral("abc"));
        fmFer->edRepetirClave->setText(QStringLiteral("abc"));
        startRecording();
        fmFer->show();
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));
    }

    void cleanup()
    {
        recorder.reset();
        keeper.reset();
        answers.reset();
        d.reset();
        fx.reset();
        data.reset();
    }

    void eachCountdownsRow_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<int>("planned");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("cost");
        QTest::addColumn<EndReason>("reason");
        // 5 s at 500 an hour: 0.69, shown as 1.
        QTest::newRow("time up") << Steps::RunToTheEnd << 5 << 500 << 1 << EndReason::TimeUp;
        // The last tick, at 95 s, priced them at the second rate: 26.4.
        QTest::newRow("stopped") << Steps::StopAndSwitchRate << 1800 << 1000 << 26
                                 << EndReason::Stopped;
        // 120 s at 500 an hour: 16.7.
        QTest::newRow("continued")
            << Steps::ContinueLonger << 120 << 500 << 17 << EndReason::TimeUp;
        // 10 s: 1.4.
        QTest::newRow("program closed")
            << Steps::CloseWhileRunning << 1800 << 500 << 1 << EndReason::Closed;
    }

    void eachCountdownsRow()
    {
        QFETCH(Steps, steps);
        QFETCH(int, planned);
        QFETCH(int, rate);
        QFETCH(int, cost);
        QFETCH(EndReason, reason);

        switch (steps) {
        case Steps::RunToTheEnd:
            d->setFields("0", "0", "5", "0");
            break;
        case Steps::StopAndSwitchRate:
        case Steps::CloseWhileRunning:
            d->setFields("0", "30", "0", "0");
            break;
        case Steps::ContinueLonger:
            d->setFields("0", "1", "0", "0");
            break;
        }
        d->press(fmFer->bbIniciar);
        QVERIFY(d->lockShown);
        const int startPlanned = steps == Steps::ContinueLonger ? 60 : planned;
        // "&Iniciar" made the row; the label's old figure is not this
        // countdown's cost.
        QCOMPARE(rows(),
                 QStringList{rowText(expected(startPlanned, 500, 0, EndReason::Running, kStart))});

        switch (steps) {
        case Steps::RunToTheEnd:
            for (int s = 1; s <= 5; ++s)
                tickAtSecond(s);
            QVERIFY(!fmFer->Timer1->isActive());
            break;
        case Steps::StopAndSwitchRate:
            for (int s = 1; s <= 60; ++s)
                tickAtSecond(s);
            // 60 s at 500: 8.3.
            QCOMPARE(runningRow(), withoutLastSeen(expected(planned, 500, 8, EndReason::Running)));
            fmFer->rbTarifa2->setChecked(true);
            for (int s = 61; s <= 95; ++s) {
                // The wall clock is corrected mid-session: neither the
                // record's minutes nor its day move with it.
                if (s == 70)
                    fx->clock.stepWallMs(-3'600'000);
                tickAtSecond(s);
            }
            d->press(fmFer->bbParar);
            break;
        case Steps::ContinueLonger:
            for (int s = 1; s <= 30; ++s)
                tickAtSecond(s);
            fmFer->edMinutos->setText("2");
            d->press(fmFer->bbContinuar);
            QVERIFY(d->lockShown);
            // The new length, written at once.
            QCOMPARE(rows(), QStringList{rowText(
                                 expected(120, 500, 4, EndReason::Running, seenNow()))});
            for (int s = 31; s <= 120; ++s)
                tickAtSecond(s);
            QVERIFY(!fmFer->Timer1->isActive());
            break;
        case Steps::CloseWhileRunning:
            for (int s = 1; s <= 10; ++s)
                tickAtSecond(s);
            QVERIFY(fmFer->close());
            break;
        }
        // A countdown whose time is up ended at its length, not at the tick
        // that found it.
        const std::int64_t endMs = reason == EndReason::TimeUp ? kStart + planned * 1000 : seenNow();
        QCOMPARE(rows(), QStringList{rowText(expected(planned, rate, cost, reason, endMs))});
    }

    // With nothing to change it (the lowest rate), a running record is still
    // seen every half minute: an interruption then loses at most that.
    void seenAtLeastEveryHalfMinute()
    {
        d->setFields("0", "5", "0", "0");
        fmFer->edTarifa1->setText("1");
        d->press(fmFer->bbIniciar);
        for (int s = 1; s <= 100; ++s) {
            tickAtSecond(s);
            QCOMPARE(runningRow(), withoutLastSeen(expected(300, 1, 0, EndReason::Running)));
        }
    }

    // The program resumes a countdown after it was killed: that record goes
    // on (its start kept); any other left running is closed as interrupted at
    // its last sighting, with the cost it had then.
    void resumedCountdownGoesOn()
    {
        d->setFields("0", "30", "0", "0");
        d->press(fmFer->bbIniciar);
        for (int s = 1; s <= 40; ++s)
            tickAtSecond(s);
        const QString id = fmFer->countdown().id();
        // Another countdown of an older run that never ended.
        const SessionRecord stale = sessionRecord("00000000-0000-4000-8000-000000000009",
                                                  "Puesto 1", kStart - 7'200'000, 33);
        keeper->record(stale);
        QVERIFY(keeper->waitUntilWritten(10000));
        // The program dies: nothing ends the record.
        recorder.reset();
        keeper.reset();

        // The next run finds the countdown running again and says so before
        // its event loop turns.
        fx->clock.set(d->start + 70'000 / kMillisecondsPerDay);
        startRecording();
        emit fmFer->countdown().changed(CountdownEvent::Resumed);
        tickAtSecond(71); // 71 s at 500: 9.9
        SessionRecord interrupted = stale;
        interrupted.endReason = EndReason::Interrupted;
        interrupted.endedAtMs = stale.lastSeenAtMs;
        SessionRecord goesOn = expected(1800, 500, 10, EndReason::Running, seenNow());
        QCOMPARE(goesOn.id, id);
        // The interrupted ones are closed at the first turn of the event loop.
        QTRY_COMPARE(rows(), QStringList({rowText(interrupted), rowText(goesOn)}));
        d->press(fmFer->bbParar);
        goesOn.endReason = EndReason::Stopped;
        goesOn.endedAtMs = goesOn.lastSeenAtMs;
        QCOMPARE(rows(), QStringList({rowText(interrupted), rowText(goesOn)}));
    }
};

QTEST_MAIN(TestSessionRecorder)
#include "TestSessionRecorder.moc"
