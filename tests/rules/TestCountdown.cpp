#include "rules/Countdown.h"

#include <QTest>

#include <climits>
#include <cmath>
#include <limits>

namespace {

constexpr double kSecond = 1'000;
constexpr double kMinute = 60'000;
constexpr double kHour = 3'600'000;

// Durations are written in milliseconds so that the rows read naturally.
DayFraction ms(double milliseconds)
{
    return milliseconds / kMillisecondsPerDay;
}

CountdownState countdownOf(int hours, int minutes, int seconds)
{
    CountdownState state;
    state.LimitHours = hours;
    state.LimitMinutes = minutes;
    state.LimitSeconds = seconds;
    return state;
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

// A local timestamp in 2023, where a double resolves only about a microsecond.
constexpr DayFraction kRealisticStart = 45'123.456'789;

} // namespace

class TestCountdown final : public QObject
{
    Q_OBJECT

private slots:
    void limit_data();
    void limit();
    void cost_data();
    void cost();
    void ended_data();
    void ended();
    void warning_data();
    void warning();
    void remaining_data();
    void remaining();
    void tickFromClockReadings_data();
    void tickFromClockReadings();
    void wildClockShowsNeutralTexts_data();
    void wildClockShowsNeutralTexts();
};

void TestCountdown::limit_data()
{
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<double>("milliseconds");

    QTest::newRow("zero") << 0 << 0 << 0 << 0.0;
    QTest::newRow("seconds only") << 0 << 0 << 59 << 59 * kSecond;
    QTest::newRow("one hour five minutes") << 1 << 5 << 0 << 65 * kMinute;
    QTest::newRow("longest accepted") << 23 << 59 << 59 << 86'399 * kSecond;
    // Far beyond the field ranges, where 32-bit millisecond sums overflow.
    QTest::newRow("largest 32-bit values")
        << INT_MAX << INT_MAX << INT_MAX << INT_MAX * (kHour + kMinute + kSecond);
}

void TestCountdown::limit()
{
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(double, milliseconds);

    QCOMPARE(countdownLimit(countdownOf(hours, minutes, seconds)), ms(milliseconds));
}

void TestCountdown::cost_data()
{
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<int>("rate1");
    QTest::addColumn<int>("rate2");
    QTest::addColumn<bool>("secondRate");
    QTest::addColumn<QString>("cost");

    QTest::newRow("36 minutes at 500") << 36 * kMinute << 500 << 1000 << false << "300";
    QTest::newRow("36 minutes at second rate 1000") << 36 * kMinute << 500 << 1000 << true << "600";
    QTest::newRow("nothing elapsed") << 0.0 << 500 << 1000 << false << "0";
    QTest::newRow("first tick at 100000") << kSecond << 100000 << 1 << false << "28";
    QTest::newRow("just under a half") << 29 * kMinute << 1 << 1 << false << "0";
    QTest::newRow("half rounds up") << 30 * kMinute << 1 << 1 << false << "1";
    QTest::newRow("two and a half rounds away, not to even")
        << 150 * kMinute << 1 << 1 << false << "3";
    // A clock set back makes the elapsed time negative.
    QTest::newRow("negative half rounds away") << -30 * kMinute << 1 << 1 << false << "-1";
    QTest::newRow("small negative shows no minus") << -kMinute << 1 << 1 << false << "0";
    QTest::newRow("beyond 32 bits")
        << 100'000 * 24 * kHour << 100000 << 1 << false << "240000000000";
}

void TestCountdown::cost()
{
    QFETCH(double, elapsedMs);
    QFETCH(int, rate1);
    QFETCH(int, rate2);
    QFETCH(bool, secondRate);
    QFETCH(QString, cost);

    CountdownState state;
    state.Rate1 = rate1;
    state.Rate2 = rate2;
    QCOMPARE(text(costText(ms(elapsedMs), countdownRate(state, secondRate))), cost);
}

void TestCountdown::ended_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<bool>("ended");

    QTest::newRow("zero length on first tick") << 0 << kSecond << true;
    QTest::newRow("zero length at start") << 0 << 0.0 << true;
    QTest::newRow("a millisecond short") << 30 << 30 * kMinute - 1 << false;
    QTest::newRow("exactly reached") << 30 << 30 * kMinute << true;
    QTest::newRow("overshot") << 30 << 30 * kMinute + 3 << true;
    QTest::newRow("clock set back") << 30 << -kHour << false;
}

void TestCountdown::ended()
{
    QFETCH(int, minutes);
    QFETCH(double, elapsedMs);
    QFETCH(bool, ended);

    QCOMPARE(countdownEnded(ms(elapsedMs), countdownLimit(countdownOf(0, minutes, 0))), ended);
}

void TestCountdown::warning_data()
{
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("lead");
    QTest::addColumn<bool>("pending");
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<bool>("due");

    QTest::newRow("1:05:00 lead 10 at 54:59.999")
        << 1 << 5 << 10 << true << 55 * kMinute - 1 << false;
    QTest::newRow("1:05:00 lead 10 at 55:00") << 1 << 5 << 10 << true << 55 * kMinute << true;
    QTest::newRow("1:05:00 lead 10 later") << 1 << 5 << 10 << true << 60 * kMinute << true;
    QTest::newRow("already shown") << 1 << 5 << 10 << false << 55 * kMinute << false;
    QTest::newRow("never armed, at the end") << 0 << 30 << 0 << false << 30 * kMinute << false;
    QTest::newRow("lead longer than countdown, first tick")
        << 0 << 5 << 10 << true << kSecond << true;
    QTest::newRow("lead equal to countdown, first tick")
        << 0 << 10 << 10 << true << kSecond << true;
    QTest::newRow("lead 0 before the end") << 0 << 30 << 0 << true << 30 * kMinute - 1 << false;
    QTest::newRow("lead 0 at the end") << 0 << 30 << 0 << true << 30 * kMinute << true;
}

void TestCountdown::warning()
{
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, lead);
    QFETCH(bool, pending);
    QFETCH(double, elapsedMs);
    QFETCH(bool, due);

    CountdownState state = countdownOf(hours, minutes, 0);
    state.WarnMinutes = lead;
    state.WarningPending = pending;
    QCOMPARE(warningDue(state, ms(elapsedMs), countdownLimit(state)), due);
}

void TestCountdown::remaining_data()
{
    QTest::addColumn<double>("remainingMs");
    QTest::addColumn<QString>("shown");

    QTest::newRow("29:58") << 29 * kMinute + 58 * kSecond << "0:29:58";
    QTest::newRow("4:58 without leading zeros") << 4 * kMinute + 58 * kSecond << "0:4:58";
    QTest::newRow("seconds truncated") << 29 * kMinute + 58'999.0 << "0:29:58";
    QTest::newRow("an hour") << kHour << "1:0:0";
    QTest::newRow("a millisecond under an hour") << kHour - 1 << "0:59:59";
    QTest::newRow("23:59:59") << 86'399 * kSecond << "23:59:59";
    QTest::newRow("a whole day wraps to zero") << 24 * kHour << "0:0:0";
    QTest::newRow("25 hours wrap to one") << 25 * kHour << "1:0:0";
    QTest::newRow("nothing left") << 0.0 << "0:0:0";
    QTest::newRow("overshoot under a second") << -400.0 << "0:0:0";
    QTest::newRow("overshoot over a second shows positive") << -1200.0 << "0:0:1";
    QTest::newRow("overshoot over a minute") << -61'000.0 << "0:1:1";
    QTest::newRow("below a half millisecond") << 999.4 << "0:0:0";
    // 999.5 goes to the even 1000, which a truncating conversion would miss.
    QTest::newRow("tie rounds to even") << 999.5 << "0:0:1";
    // -999.5 goes to the even -1000, which floor(x + 0.5) would round to -999.
    QTest::newRow("negative tie rounds to even") << -999.5 << "0:0:1";
    QTest::newRow("tie at the end of a day") << 86'399'999.5 << "0:0:0";
    QTest::newRow("a million days and 90 seconds") << 1e6 * 24 * kHour + 90 * kSecond << "0:1:30";
}

void TestCountdown::remaining()
{
    QFETCH(double, remainingMs);
    QFETCH(QString, shown);

    QCOMPARE(text(remainingText(ms(remainingMs))), shown);
}

// The tick works on two readings of a local clock far from the epoch, where
// the differences carry rounding errors of about a microsecond.
void TestCountdown::tickFromClockReadings_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<double>("sinceStartMs");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("cost");
    QTest::addColumn<QString>("shown");

    QTest::newRow("second tick of 30 minutes") << 30 << 2 * kSecond << false << "1"
                                               << "0:29:58";
    QTest::newRow("second tick of 5 minutes") << 5 << 2 * kSecond << false << "1"
                                              << "0:4:58";
    QTest::newRow("tick a little late") << 30 << 2 * kSecond + 7 << false << "1"
                                        << "0:29:57";
    QTest::newRow("36 minutes in") << 60 << 36 * kMinute << false << "600"
                                   << "0:24:0";
    QTest::newRow("ending tick overshoots slightly") << 30 << 30 * kMinute + 3 << true << "500"
                                                     << "0:0:0";
    QTest::newRow("zero length ends on first tick") << 0 << kSecond << true << "0"
                                                    << "0:0:1";
}

void TestCountdown::tickFromClockReadings()
{
    QFETCH(int, minutes);
    QFETCH(double, sinceStartMs);
    QFETCH(bool, ended);
    QFETCH(QString, cost);
    QFETCH(QString, shown);

    CountdownState state = countdownOf(0, minutes, 0);
    state.CountdownStart = kRealisticStart;
    state.Rate1 = 1000;
    const DayFraction now = kRealisticStart + ms(sinceStartMs);
    const DayFraction elapsed = countdownElapsed(state, now);
    const DayFraction limit = countdownLimit(state);

    QCOMPARE(countdownEnded(elapsed, limit), ended);
    QCOMPARE(text(costText(elapsed, countdownRate(state, false))), cost);
    QCOMPARE(text(remainingText(limit - elapsed)), shown);
}

// Values no real clock gives; they must neither crash nor reach an undefined
// conversion to an integer.
void TestCountdown::wildClockShowsNeutralTexts_data()
{
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("cost");
    QTest::addColumn<QString>("shown");

    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    QTest::newRow("infinite") << kInfinity << "0"
                              << "0:0:0";
    QTest::newRow("minus infinite") << -kInfinity << "0"
                                    << "0:0:0";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "0"
                                  << "0:0:0";
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << "0"
                                    << "0:0:0";
    // 2^60 whole days: finite, far beyond any integer type, and zero modulo a day.
    QTest::newRow("2^60 days") << std::ldexp(1.0, 60) << "27670116110564327424"
                               << "0:0:0";
}

void TestCountdown::wildClockShowsNeutralTexts()
{
    QFETCH(double, days);
    QFETCH(QString, cost);
    QFETCH(QString, shown);

    QCOMPARE(text(costText(days, 1)), cost);
    QCOMPARE(text(remainingText(days)), shown);
}

QTEST_APPLESS_MAIN(TestCountdown)
#include "TestCountdown.moc"
