// The running countdown's kept state: its file format, and the rules for
// taking it up after the program, or the machine, was gone for a while.
#include "rules/SavedCountdown.h"

#include <QTest>

#include <cstdio>

namespace {

constexpr std::int64_t kSecond = 1'000;
constexpr std::int64_t kMinute = 60'000;
constexpr std::int64_t kHour = 3'600'000;

const std::string kBoot = "8c1f3b52-2f0e-4d5b-9b35-0d7f6f3a1e11";
const std::string kOtherBoot = "0b6cf9d4-96a4-4a3e-8d0e-7d2b2f9c5a70";

// A countdown of 1:30:00 started 40 minutes before it was last kept.
SavedCountdown sample()
{
    SavedCountdown s;
    s.id = "3f2a6c1e-5b7d-4e8f-9a0b-1c2d3e4f5a6b";
    s.running = true;
    s.locked = true;
    s.bootId = kBoot;
    s.startBootMs = 5 * kHour;
    s.startUtcMs = 1'765'360'800'000LL;
    s.seenBootMs = s.startBootMs + 40 * kMinute;
    s.seenUtcMs = s.startUtcMs + 40 * kMinute;
    s.hours = 1;
    s.minutes = 30;
    s.warnMinutes = 5;
    s.rate1 = 500;
    s.rate2 = 1000;
    s.warningPending = true;
    s.secondRate = true;
    s.showTime = false;
    s.hoursText = "01";
    s.minutesText = "30";
    s.secondsText = "";
    s.warnText = "5";
    s.rate1Text = "500";
    s.rate2Text = "1000";
    s.costText = "667";
    s.title = "0:50:0";
    s.password = "secreto ñ%"; // one the lock accepts: it comes back from its scrambled form
    s.names = {"Firefox", "chat", "100% a=b\nsecond line", ""};
    return s;
}

// A state as Lurn wrote it before orders were kept with the countdown.
const char* const kStateWithoutOrders = "lurn-countdown 1\n"
                                        "id=3f2a6c1e-5b7d-4e8f-9a0b-1c2d3e4f5a6b\n"
                                        "running=1\n"
                                        "locked=1\n"
                                        "boot-id=8c1f3b52-2f0e-4d5b-9b35-0d7f6f3a1e11\n"
                                        "start-boot-ms=18000000\n"
                                        "start-utc-ms=1765360800000\n"
                                        "seen-boot-ms=20400000\n"
                                        "seen-utc-ms=1765363200000\n"
                                        "hours=1\n"
                                        "minutes=15\n"
                                        "seconds=0\n"
                                        "warn-minutes=0\n"
                                        "warning-pending=0\n"
                                        "rate1=500\n"
                                        "rate2=1000\n"
                                        "second-rate=0\n"
                                        "show-time=1\n"
                                        "hours-text=1\n"
                                        "minutes-text=15\n"
                                        "seconds-text=0\n"
                                        "warn-text=0\n"
                                        "rate1-text=500\n"
                                        "rate2-text=1000\n"
                                        "cost-text=333\n"
                                        "title=0:35:0\n"
                                        "password=%C3%C3%C3\n"
                                        "names=1\n"
                                        "name=chat\n"
                                        "checksum=904c9ac13d9ab69a\n";

// 64-bit FNV-1a, the file's checksum: to make texts that pass it but are
// wrong otherwise.
std::string withChecksum(const std::string& body)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return body + "checksum=" + hex + "\n";
}

std::string bodyOf(const std::string& text)
{
    return text.substr(0, text.rfind("checksum="));
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

class TestSavedCountdown final : public QObject
{
    Q_OBJECT

private slots:
    void keptStateComesBackUnchanged()
    {
        const SavedCountdown s = sample();
        std::string why;
        const std::optional<SavedCountdown> back =
            parseSavedCountdown(formatSavedCountdown(s), why);
        QVERIFY2(back, why.c_str());
        QCOMPARE(back->id, s.id);
        QCOMPARE(back->running, s.running);
        QCOMPARE(back->locked, s.locked);
        QCOMPARE(back->bootId, s.bootId);
        QCOMPARE(back->startBootMs, s.startBootMs);
        QCOMPARE(back->startUtcMs, s.startUtcMs);
        QCOMPARE(back->seenBootMs, s.seenBootMs);
        QCOMPARE(back->seenUtcMs, s.seenUtcMs);
        QCOMPARE(back->hours, s.hours);
        QCOMPARE(back->minutes, s.minutes);
        QCOMPARE(back->seconds, s.seconds);
        QCOMPARE(back->warnMinutes, s.warnMinutes);
        QCOMPARE(back->rate1, s.rate1);
        QCOMPARE(back->rate2, s.rate2);
        QCOMPARE(back->warningPending, s.warningPending);
        QCOMPARE(back->secondRate, s.secondRate);
        QCOMPARE(back->showTime, s.showTime);
        QCOMPARE(back->hoursText, s.hoursText);
        QCOMPARE(back->secondsText, s.secondsText);
        QCOMPARE(back->costText, s.costText);
        QCOMPARE(back->title, s.title);
        QCOMPARE(back->password, s.password);
        QCOMPARE(back->names, s.names);
    }

    // The orders carried out on the countdown come back with it, their
    // answers byte for byte; a state without any is written as before.
    void keptOrdersComeBack()
    {
        SavedCountdown s = sample();
        QVERIFY(formatSavedCountdown(s).find("order") == std::string::npos);
        s.orders = {{"9d1e0c2b-0000-4000-8000-000000000001", true, "", 1'765'360'860'000LL},
                    {"9d1e0c2b-0000-4000-8000-000000000002", false,
                     "Fuera de rango: 100% a=b\nsecond line", -5},
                    {"not a uuid at all", true, " ", 0}};
        std::string why;
        const std::optional<SavedCountdown> back =
            parseSavedCountdown(formatSavedCountdown(s), why);
        QVERIFY2(back, why.c_str());
        QCOMPARE(back->orders.size(), s.orders.size());
        for (std::size_t i = 0; i < s.orders.size(); ++i) {
            QCOMPARE(back->orders[i].id, s.orders[i].id);
            QCOMPARE(back->orders[i].done, s.orders[i].done);
            QCOMPARE(back->orders[i].answer, s.orders[i].answer);
            QCOMPARE(back->orders[i].expiresUtcMs, s.orders[i].expiresUtcMs);
        }
        QCOMPARE(back->names, s.names);
    }

    // A Lurn.countdown written before orders were kept still loads.
    void stateWithoutOrdersLoads()
    {
        std::string why;
        const std::optional<SavedCountdown> s = parseSavedCountdown(kStateWithoutOrders, why);
        QVERIFY2(s, why.c_str());
        QVERIFY(s->orders.empty());
        QCOMPARE(s->hours, 1);
        QCOMPARE(s->minutes, 15);
        QCOMPARE(s->password, std::string("abc"));
        QCOMPARE(s->names, std::vector<std::string>{"chat"});
        // Written again unchanged, it is the same text.
        QCOMPARE(formatSavedCountdown(*s), std::string(kStateWithoutOrders));
    }

    void passwordIsNotInPlainSight()
    {
        SavedCountdown s = sample();
        s.password = "secreto";
        QVERIFY(formatSavedCountdown(s).find("secreto") == std::string::npos);
    }

    void badTextIsRefused_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::string>("reason"); // part of why

        const std::string good = formatSavedCountdown(sample());
        const std::string body = bodyOf(good);
        QTest::newRow("empty") << std::string() << std::string("empty");
        QTest::newRow("nonsense") << std::string("hello\nworld\n")
                                  << std::string("not a Lurn countdown");
        QTest::newRow("binary") << std::string("\x7f"
                                               "ELF\x02\x01\x01\0\0\0",
                                               10)
                                << std::string("not a Lurn countdown");
        QTest::newRow("another version")
            << withChecksum(replaced(body, "lurn-countdown 1", "lurn-countdown 7"))
            << std::string("format (7)");
        QTest::newRow("torn in the middle")
            << good.substr(0, good.size() / 2) << std::string("torn");
        QTest::newRow("torn in the checksum")
            << good.substr(0, good.size() - 5) << std::string("torn");
        QTest::newRow("header only") << std::string("lurn-countdown 1\n") << std::string("torn");
        QTest::newRow("a byte changed")
            << replaced(good, "minutes=30", "minutes=31") << std::string("checksum");
        QTest::newRow("unknown entry")
            << withChecksum(body + "colour=blue\n") << std::string("\"colour\" is not known");
        QTest::newRow("entry missing") << withChecksum(replaced(body, "rate2=1000\n", ""))
                                       << std::string("\"rate2\" is missing");
        QTest::newRow("entry twice")
            << withChecksum(body + "hours=1\n") << std::string("\"hours\" is there twice");
        QTest::newRow("not an entry")
            << withChecksum(body + "just words\n") << std::string("not an entry");
        QTest::newRow("hours out of range")
            << withChecksum(replaced(body, "hours=1\n", "hours=24\n"))
            << std::string("\"hours\" is not a number from 0 to 23");
        QTest::newRow("rate of zero")
            << withChecksum(replaced(body, "rate1=500", "rate1=0")) << std::string("\"rate1\"");
        QTest::newRow("number with a plus")
            << withChecksum(replaced(body, "rate1=500", "rate1=+500")) << std::string("\"rate1\"");
        QTest::newRow("flag of 2")
            << withChecksum(replaced(body, "locked=1", "locked=2")) << std::string("\"locked\"");
        QTest::newRow("clock beyond reason")
            << withChecksum(replaced(body, "seen-utc-ms=", "seen-utc-ms=9999999"))
            << std::string("\"seen-utc-ms\"");
        QTest::newRow("bad escape") << withChecksum(replaced(body, "title=0:50:0", "title=%4"))
                                    << std::string("\"title\" is not a valid text");
        QTest::newRow("raw blank in a text")
            << withChecksum(replaced(body, "title=", "title=a b")) << std::string("\"title\"");
        QTest::newRow("order cut short")
            << withChecksum(body + "order=abc done 5\n") << std::string("order");
        QTest::newRow("order neither done nor refused")
            << withChecksum(body + "order=abc maybe 5 x\n") << std::string("\"order\"");
        QTest::newRow("order with a bad expiry")
            << withChecksum(body + "order=abc done 5s x\n") << std::string("\"order\"");
        QTest::newRow("order without an id")
            << withChecksum(body + "order= done 5 x\n") << std::string("\"order\"");
        QTest::newRow("fewer names than said") << withChecksum(replaced(body, "names=4", "names=5"))
                                               << std::string("holds 4 names where it says 5");

        SavedCountdown s = sample();
        s.seenBootMs = s.startBootMs - 1;
        QTest::newRow("kept before its start")
            << formatSavedCountdown(s) << std::string("before its countdown started");
        s = sample();
        s.running = false;
        s.locked = false;
        QTest::newRow("nothing to take up")
            << formatSavedCountdown(s) << std::string("neither a running countdown nor a lock");
        s = sample();
        s.id.clear();
        QTest::newRow("no identity") << formatSavedCountdown(s) << std::string("no identity");
    }

    void badTextIsRefused()
    {
        QFETCH(std::string, text);
        QFETCH(std::string, reason);
        std::string why;
        QVERIFY(!parseSavedCountdown(text, why));
        QVERIFY2(why.find(reason) != std::string::npos, why.c_str());
    }

    void resumePlan_data()
    {
        QTest::addColumn<std::string>("bootNow");
        QTest::addColumn<std::int64_t>("bootMsSinceSeen"); // on the elapsed-time clock
        QTest::addColumn<std::int64_t>("wallMsSinceSeen"); // on the wall clock
        QTest::addColumn<int>("verdict");
        QTest::addColumn<std::int64_t>("elapsedMs");

        const int resume = int(ResumeVerdict::Resume);
        const int stale = int(ResumeVerdict::Stale);
        const int future = int(ResumeVerdict::FromTheFuture);
        const int offUnknown = int(ResumeVerdict::ResumeOffTimeUnknown);
        const std::int64_t atSeen = 40 * kMinute;
        // Within one boot the elapsed-time clock alone counts: a wall clock
        // set back or forward (an administrator, NTP, or a daylight saving
        // change on a badly set machine) changes nothing.
        QTest::newRow("same boot, killed 5 s")
            << kBoot << 5 * kSecond << 5 * kSecond << resume << atSeen + 5 * kSecond;
        QTest::newRow("same boot, wall clock 1 h back")
            << kBoot << 10 * kMinute << 10 * kMinute - kHour << resume << atSeen + 10 * kMinute;
        QTest::newRow("same boot, wall clock 1 h ahead")
            << kBoot << 10 * kMinute << 10 * kMinute + kHour << resume << atSeen + 10 * kMinute;
        QTest::newRow("same boot, at the limit")
            << kBoot << 24 * kHour << std::int64_t(0) << resume << atSeen + 24 * kHour;
        QTest::newRow("same boot, stale")
            << kBoot << 24 * kHour + 1 << std::int64_t(0) << stale << std::int64_t(0);
        QTest::newRow("same boot, kept later than now")
            << kBoot << -kSecond << std::int64_t(0) << future << std::int64_t(0);
        // After a reboot only the wall clock tells how long it was off.
        QTest::newRow("rebooted, off 3 min")
            << kOtherBoot << -4 * kHour << 3 * kMinute << resume << atSeen + 3 * kMinute;
        QTest::newRow("boot unknown, off 3 min")
            << std::string() << std::int64_t(0) << 3 * kMinute << resume << atSeen + 3 * kMinute;
        // A wall clock more than a day past the last save after a reboot (a
        // day's outage, or a clock set wrong) ends the countdown at once: past
        // any end, never dropped.
        const int ahead = int(ResumeVerdict::EndedClockAhead);
        QTest::newRow("rebooted, wall clock 25 h ahead")
            << kOtherBoot << std::int64_t(0) << 25 * kHour << ahead << atSeen + 24 * kHour;
        QTest::newRow("rebooted, wall clock 10 days ahead")
            << kOtherBoot << std::int64_t(0) << 240 * kHour << ahead << atSeen + 24 * kHour;
        QTest::newRow("rebooted, wall clock a year ahead")
            << kOtherBoot << std::int64_t(0) << 365 * 24 * kHour << ahead << atSeen + 24 * kHour;
        QTest::newRow("boot unknown, wall clock 25 h ahead")
            << std::string() << std::int64_t(0) << 25 * kHour << ahead << atSeen + 24 * kHour;
        QTest::newRow("rebooted, at the limit")
            << kOtherBoot << std::int64_t(0) << 24 * kHour << resume << atSeen + 24 * kHour;
        // A clock behind after a reboot never drops the countdown: it goes on
        // from where it was last saved.
        QTest::newRow("rebooted, wall clock behind the last save")
            << kOtherBoot << std::int64_t(0) << -kMinute << offUnknown << atSeen;
        QTest::newRow("rebooted, wall clock reset years back")
            << kOtherBoot << std::int64_t(0) << -9 * 365 * 24 * kHour << offUnknown << atSeen;
        QTest::newRow("boot unknown, wall clock behind the last save")
            << std::string() << std::int64_t(0) << -kHour << offUnknown << atSeen;
    }

    void resumePlan()
    {
        QFETCH(std::string, bootNow);
        QFETCH(std::int64_t, bootMsSinceSeen);
        QFETCH(std::int64_t, wallMsSinceSeen);
        QFETCH(int, verdict);
        QFETCH(std::int64_t, elapsedMs);
        const SavedCountdown s = sample();
        const ClockReading now{bootNow, s.seenBootMs + bootMsSinceSeen,
                               s.seenUtcMs + wallMsSinceSeen};
        const ResumePlan plan = planResume(s, now);
        QCOMPARE(int(plan.verdict), verdict);
        if (plan.verdict != ResumeVerdict::Stale && plan.verdict != ResumeVerdict::FromTheFuture)
            QCOMPARE(plan.elapsedMs, elapsedMs);
        if (plan.verdict != ResumeVerdict::Resume)
            QVERIFY(!plan.why.empty());
    }

    // Whatever the wall clock says after a reboot, a countdown that was
    // running or locked is taken up, and past its end: it ends at once,
    // priced at its length, its lock up if it was. Nothing is kept for a
    // countdown that was stopped with the lock open, so nothing comes back.
    void clockFarAheadEndsWhatWasKept_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<std::int64_t>("wallMsAhead");
        QTest::addColumn<bool>("takenUp");
        const struct
        {
            const char* name;
            std::int64_t ms;
        } clocks[] = {{"25 h", 25 * kHour}, {"10 days", 240 * kHour}, {"a year", 8760 * kHour}};
        for (const auto& clock : clocks) {
            QTest::addRow("running and locked, %s ahead", clock.name)
                << true << true << clock.ms << true;
            QTest::addRow("running, lock open, %s ahead", clock.name)
                << true << false << clock.ms << true;
            QTest::addRow("ended and locked, %s ahead", clock.name)
                << false << true << clock.ms << true;
            QTest::addRow("stopped, lock open, %s ahead", clock.name)
                << false << false << clock.ms << false;
        }
    }

    void clockFarAheadEndsWhatWasKept()
    {
        QFETCH(bool, running);
        QFETCH(bool, locked);
        QFETCH(std::int64_t, wallMsAhead);
        QFETCH(bool, takenUp);
        SavedCountdown s = sample();
        s.running = running;
        s.locked = locked;
        std::string why;
        const std::optional<SavedCountdown> kept =
            parseSavedCountdown(formatSavedCountdown(s), why);
        QCOMPARE(bool(kept), takenUp);
        if (!kept)
            return;
        const ClockReading now{kOtherBoot, 2 * kMinute, s.seenUtcMs + wallMsAhead};
        const ResumePlan plan = planResume(*kept, now);
        QCOMPARE(int(plan.verdict), int(ResumeVerdict::EndedClockAhead));
        const std::int64_t lengthMs = (s.hours * 3600 + s.minutes * 60 + s.seconds) * kSecond;
        QVERIFY2(plan.elapsedMs > lengthMs, qPrintable(QString::number(plan.elapsedMs)));
        QVERIFY2(plan.why.find("past its last save") != std::string::npos, plan.why.c_str());
    }

    void firstTickKeepsThePhase_data()
    {
        QTest::addColumn<std::int64_t>("elapsedMs");
        QTest::addColumn<std::int64_t>("delayMs");
        // Ticks fall 20 ms after each whole second of the countdown.
        QTest::newRow("just started") << std::int64_t(0) << std::int64_t(1020);
        QTest::newRow("before the first tick") << std::int64_t(500) << std::int64_t(520);
        QTest::newRow("a moment before a tick") << std::int64_t(1019) << std::int64_t(1);
        QTest::newRow("on a tick") << std::int64_t(1020) << std::int64_t(1000);
        QTest::newRow("just after a tick") << std::int64_t(1021) << std::int64_t(999);
        QTest::newRow("mid-second") << std::int64_t(61'500) << std::int64_t(520);
        QTest::newRow("hours in") << 3 * kHour + std::int64_t(999) << std::int64_t(21);
    }

    void firstTickKeepsThePhase()
    {
        QFETCH(std::int64_t, elapsedMs);
        QFETCH(std::int64_t, delayMs);
        QCOMPARE(firstTickDelayMs(elapsedMs, 1000, 20), delayMs);
    }
};

QTEST_APPLESS_MAIN(TestSavedCountdown)
#include "TestSavedCountdown.moc"
