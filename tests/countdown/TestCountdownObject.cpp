// The countdown alone, without a window: what it charges, when it ends, and
// what it tells those that follow it.
#include "countdown/Countdown.h"
#include "gui/LurnFixture.h"
#include "platform/Platform.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr qint64 kMinute = 60'000;

QList<CountdownEvent> eventsOf(const QSignalSpy& spy)
{
    QList<CountdownEvent> events;
    for (const QList<QVariant>& args : spy)
        events << args.at(0).value<CountdownEvent>();
    return events;
}

} // namespace

class TestCountdownObject final : public QObject
{
    Q_OBJECT

    FakeClock clock;

    void setLength(Countdown& c, int hours, int minutes, int seconds)
    {
        c.setNumber(&CountdownState::LimitHours, hours);
        c.setNumber(&CountdownState::LimitMinutes, minutes);
        c.setNumber(&CountdownState::LimitSeconds, seconds);
    }

private slots:
    void initTestCase() { platform::services().clock = &clock; }
    void cleanupTestCase() { platform::services().clock = nullptr; }

    // The customer bought the countdown's length: the cost never runs past
    // it, however long ago the end passed.
    void pricedUpToItsLength_data()
    {
        QTest::addColumn<int>("lengthMinutes");
        QTest::addColumn<int>("loweredToMinutes"); // while running; -1: not lowered
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("cost");
        QTest::addColumn<bool>("ended");

        QTest::newRow("36 min of an hour at 500") << 60 << -1 << 36 * kMinute << 500 << "300" << false;
        QTest::newRow("the tick that ends it, 20 ms late")
            << 60 << -1 << 60 * kMinute + 20 << 3600 << "3600" << true;
        QTest::newRow("an hour bought, 5 h 30 min gone")
            << 60 << -1 << 330 * kMinute << 100 << "100" << true;
        QTest::newRow("length lowered below the time run")
            << 60 << 10 << 30 * kMinute << 600 << "100" << true;
        QTest::newRow("0:0:0 ends on its first tick, free")
            << 0 << -1 << qint64(1020) << 100000 << "0" << true;
    }

    void pricedUpToItsLength()
    {
        QFETCH(int, lengthMinutes);
        QFETCH(int, loweredToMinutes);
        QFETCH(qint64, elapsedMs);
        QFETCH(int, rate);
        QFETCH(QString, cost);
        QFETCH(bool, ended);

        Countdown c;
        setLength(c, lengthMinutes / 60, lengthMinutes % 60, 0);
        c.setNumber(&CountdownState::Rate1, rate);
        c.start(false);
        QVERIFY(c.isRunning());
        QCOMPARE(c.cost(), std::nullopt);
        if (loweredToMinutes >= 0)
            setLength(c, 0, loweredToMinutes, 0);
        clock.advanceMs(double(elapsedMs));
        const CountdownTick tick = c.tick();
        QCOMPARE(QString::fromStdString(tick.costText), cost);
        QCOMPARE(c.cost(), std::optional<std::int64_t>(cost.toLongLong()));
        QCOMPARE(tick.ended, ended);
        QCOMPARE(c.isRunning(), !ended);
    }

    // A countdown taken up after Lurn was gone past its end: it ends on its
    // first tick, priced at its length, with the events a tick sends.
    void takenUpPastItsEnd()
    {
        Countdown c;
        QSignalSpy events(&c, &Countdown::changed);
        Countdown::TakenUp taken;
        taken.id = QStringLiteral("5d0c3c39-1a57-4d2b-a1c8-6c1c3f3e9b21");
        taken.numbers.LimitHours = 1;
        taken.numbers.Rate1 = 100;
        taken.numbers.Rate2 = 200;
        taken.secondRate = true;
        taken.elapsedMs = 330 * kMinute;
        taken.locked = true;
        taken.costText = "55";
        c.takeUp(taken);
        QVERIFY(c.isRunning());
        QVERIFY(c.isLocked());
        QCOMPARE(c.costText(), std::string("55"));
        QCOMPARE(c.cost(), std::nullopt); // not this run's price yet
        const CountdownTick tick = c.tick();
        QVERIFY(tick.ended);
        QCOMPARE(tick.costText, std::string("200"));
        QCOMPARE(eventsOf(events), (QList<CountdownEvent>{CountdownEvent::Resumed,
                                                          CountdownEvent::Priced,
                                                          CountdownEvent::Ended}));
    }

    // Numbers set from outside the window (more time from the counter) are
    // shown by the window and, while running, change the countdown.
    void numbersReplaced_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("changesCountdown");
        QTest::newRow("running, longer") << true << 45 << true;
        QTest::newRow("running, the same") << true << 30 << false;
        QTest::newRow("idle") << false << 45 << false;
    }

    void numbersReplaced()
    {
        QFETCH(bool, running);
        QFETCH(int, minutes);
        QFETCH(bool, changesCountdown);
        Countdown c;
        setLength(c, 0, 30, 0);
        if (running)
            c.start(false);
        QSignalSpy shown(&c, &Countdown::numbersReplaced);
        QSignalSpy events(&c, &Countdown::changed);
        c.replaceNumbers(0, minutes, 0, 0);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(eventsOf(events).contains(CountdownEvent::NumbersChanged), changesCountdown);
        QCOMPARE(c.plannedSeconds(), minutes * 60);
    }

    // The lock is asked for only when it is not up already.
    void lockAskedForOnlyWhenDown()
    {
        Countdown c;
        QSignalSpy wanted(&c, &Countdown::lockWanted);
        c.requestLock();
        QCOMPARE(wanted.size(), 1);
        c.setLocked(true);
        c.requestLock();
        QCOMPARE(wanted.size(), 1);
        c.setLocked(false);
        c.requestLock();
        QCOMPARE(wanted.size(), 2);
    }

    // Each start is a countdown of its own, priced from its own start.
    void eachStartIsANewCountdown()
    {
        Countdown c;
        setLength(c, 0, 10, 0);
        c.setNumber(&CountdownState::Rate1, 600);
        c.start(true);
        const QString first = c.id();
        QVERIFY(!first.isEmpty());
        QVERIFY(c.state().WarningPending);
        const std::int64_t startUtc = c.startUtcMs();
        clock.advanceMs(5 * kMinute);
        QCOMPARE(c.tick().costText, std::string("50"));
        c.stop();
        QVERIFY(!c.isRunning());
        QCOMPARE(c.costText(), std::string("50")); // shown until the next tick
        clock.advanceMs(kMinute);
        c.start(false);
        QVERIFY(c.id() != first);
        QCOMPARE(c.startUtcMs(), startUtc + 6 * kMinute);
        QCOMPARE(c.cost(), std::nullopt);
        QCOMPARE(c.elapsedMs(), std::int64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestCountdownObject)
#include "TestCountdownObject.moc"
