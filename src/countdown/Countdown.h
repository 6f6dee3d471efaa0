#pragma once

#include "rules/Countdown.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class CountdownTimer;

// What happens to the countdown, for those that follow it: the main window,
// the kept countdown, the session records and the counter's link. Each is
// told once the countdown's own state shows it.
enum class CountdownEvent {
    Started,        // a countdown was started (before the lock)
    Resumed,        // a countdown that was running when the program last ended goes on
    Continued,      // "&Continuar" took the values (before the lock)
    NumbersChanged, // the running countdown's numbers changed (a field, or more time)
    Priced,         // a tick priced the time so far
    WarningShown,   // the warning is due and is being shown (no longer pending)
    Ended,          // the tick found the end
    Stopped,        // stopped
    LockShown,      // the lock stands between the customer and the main window
    LockOpened,     // the right password opened it
    RateChosen,     // the other rate prices the time from now on
};

// What a tick found, for the main window to show in this order: the cost,
// the closing passes, the warning, the remaining time.
struct CountdownTick
{
    std::string costText;
    bool ended = false;
    bool warningDue = false;
    std::string remainingText;
};

// The countdown: its numbers, its start, its timer, its price and whether the
// lock is up. It knows no widgets: the main window shows it and its handlers
// call it, and the kept countdown, the records and the counter's link drive
// or observe it, so that a command from the counter takes the path a button
// takes.
class Countdown final : public QObject
{
    Q_OBJECT
public:
    explicit Countdown(QObject* parent = nullptr);
    ~Countdown() override;
    Countdown(const Countdown&) = delete;
    Countdown& operator=(const Countdown&) = delete;

    const CountdownState& state() const { return m_state; }
    // The one-second timer that drives the ticks; running while the countdown runs.
    CountdownTimer& timer() const { return *m_timer; }
    bool isRunning() const;
    bool isLocked() const { return m_locked; }
    // A UUID made by start(), kept when the countdown is taken up after a
    // restart; empty before the first countdown.
    const QString& id() const { return m_id; }

    bool secondRate() const { return m_secondRate; }
    std::int32_t rate() const { return countdownRate(m_state, m_secondRate); }
    std::int32_t plannedSeconds() const;
    // The elapsed time now, on the elapsed-time clock.
    std::int64_t elapsedMs() const;
    // When the countdown started, on the wall clock.
    std::int64_t startUtcMs() const { return m_startUtcMs; }
    // The cost as the last tick priced it; shown until the next tick, so
    // after a start it is the previous countdown's.
    const std::string& costText() const { return m_costText; }
    // The cost of this countdown, once a tick has priced it.
    std::optional<std::int64_t> cost() const;

    // A number the window's field check (or a command) accepted; the
    // running countdown counts with it from the next tick.
    void setNumber(std::int32_t CountdownState::*member, std::int32_t value);
    // Sets every number at once, as a command from the counter does; the
    // window shows them in its fields (numbersReplaced).
    void replaceNumbers(std::int32_t hours, std::int32_t minutes, std::int32_t seconds,
                        std::int32_t warnMinutes);
    void setSecondRate(bool second);

    // Starts counting from now; the warning is armed when armWarning.
    void start(bool armWarning);
    // The values were taken over without restarting ("&Continuar").
    void continueRunning();
    void stop();
    // One tick: prices the time so far (never past the countdown's length:
    // the customer bought that much), ends the countdown when its length is
    // reached, and says whether the warning is due (then no longer pending).
    CountdownTick tick();
    void setLocked(bool locked);
    // Asks whoever shows the lock to bring it up, as after a start from the
    // counter; nothing when it is up already.
    void requestLock();

    // Whether a password that opens the lock is set: a start from the counter
    // needs one, or nothing would open the lock it brings up.
    bool hasPassword() const { return m_hasPassword; }
    void setHasPassword(bool has) { m_hasPassword = has; }

    // A countdown kept beyond the program, taken up: it has run elapsedMs.
    struct TakenUp
    {
        QString id;
        CountdownState numbers; // CountdownStart is ignored
        bool running = true;
        bool secondRate = false;
        bool locked = false;
        std::int64_t elapsedMs = 0;
        std::int64_t startUtcMs = 0;
        std::string costText;
    };
    void takeUp(const TakenUp& taken);

signals:
    void changed(CountdownEvent event);
    // The numbers were set other than through the window's fields.
    void numbersReplaced();
    void lockWanted();

private:
    CountdownState m_state;
    CountdownTimer* m_timer;
    QString m_id;
    bool m_secondRate = false;
    bool m_locked = false;
    bool m_hasPassword = false;
    bool m_priced = false; // a tick priced this countdown
    std::int64_t m_startUtcMs = 0;
    std::string m_costText = "0";
};
