#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An order from the counter that changed the countdown, kept in the same
// write as the numbers it changed: a program killed before the counter had
// its answer finds it here at the next start and answers it from here, never
// carrying it out again.
struct KeptOrder
{
    std::string id;                // the order's id (commands.id)
    bool done = true;              // false: refused
    std::string answer;            // the answer given, as sent to the counter
    std::int64_t expiresUtcMs = 0; // until when the counter may still hold it pending
};

// The running countdown as it is kept on disk, so that a program that was
// killed, crashed or was restarted by the session can take it up again; and
// the rules for taking it up.
//
// Time is kept on two clocks. The elapsed-time clock (CLOCK_BOOTTIME) only
// moves forward and counts a suspend, but its zero is the machine's start:
// its readings mean something only within the boot they were taken in, which
// the boot id names. After a reboot only the wall clock (UTC) can tell how
// long the machine was off.
struct SavedCountdown
{
    std::string id;               // the countdown's identity, made by "&Iniciar"
    bool running = false;         // false: the countdown has ended, only the lock is left
    bool locked = false;          // the lock stood between the customer and the main window
    std::string bootId;           // the boot the elapsed-time readings below belong to
    std::int64_t startBootMs = 0; // the start, on the elapsed-time clock of that boot
    std::int64_t startUtcMs = 0;  // the start, on the wall clock (for the record)
    std::int64_t seenBootMs = 0;  // when this state was taken, on both clocks
    std::int64_t seenUtcMs = 0;

    // The countdown's numbers, as the field checks left them.
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t warnMinutes = 0;
    std::int32_t rate1 = 1;
    std::int32_t rate2 = 1;
    bool warningPending = false;
    bool secondRate = false; // the second rate prices the time
    bool showTime = true;    // the task bar shows the remaining time

    // What the window showed: the fields as typed (they may differ from the
    // numbers, "00" or an edit not yet checked), the cost, the task-bar title,
    // the password that opens the lock and the programs to end.
    std::string hoursText;
    std::string minutesText;
    std::string secondsText;
    std::string warnText;
    std::string rate1Text;
    std::string rate2Text;
    std::string costText;
    std::string title;
    std::string password; // kept scrambled
    std::vector<std::string> names;
    // The orders carried out on this countdown whose answer may still be on
    // its way; written only when there are any, so that a state without
    // orders reads as before.
    std::vector<KeptOrder> orders;

    // The time the countdown had run when this state was taken.
    std::int64_t elapsedAtSeenMs() const { return seenBootMs - startBootMs; }
};

// A state not written for this long within one boot is dropped rather than
// taken up: by then the countdown (never longer than 23:59:59) has ended long
// ago, and its lock and closing passes would fall on another day's customer.
// After a reboot it only says the wall clock cannot be trusted: see
// ResumeVerdict::EndedClockAhead.
inline constexpr std::int64_t kSavedCountdownLifetimeMs = 24LL * 3'600'000;

// The text of the file: versioned, one entry a line, a checksum at the end.
std::string formatSavedCountdown(const SavedCountdown& saved);

// The state in text, or nothing with the reason in why: an empty text, one
// torn by a write that did not finish, one of another version, one whose
// checksum or any entry is wrong, missing, repeated or out of range.
std::optional<SavedCountdown> parseSavedCountdown(std::string_view text, std::string& why);

// Both clocks read now, and the boot the elapsed-time reading belongs to
// (empty when it cannot be told: the wall clock is used then).
struct ClockReading
{
    std::string bootId;
    std::int64_t bootMs = 0;
    std::int64_t utcMs = 0;
};

enum class ResumeVerdict {
    Resume,        // take it up, elapsedMs counted so far
    Stale,         // last written longer ago than kSavedCountdownLifetimeMs, within this boot
    FromTheFuture, // written later than now by this boot's clock: the file is wrong
    // Taken up after a reboot whose wall clock stands behind the last save (a
    // dead clock battery, time not yet set after a power cut): how long the
    // machine was off cannot be told, so only the time run until the last
    // save counts (elapsedMs), never less.
    ResumeOffTimeUnknown,
    // Taken up after a reboot whose wall clock stands more than
    // kSavedCountdownLifetimeMs past the last save: a day's outage or a clock
    // set wrong, which cannot be told apart. Either way the countdown's end
    // has passed by that clock, so it ends at once (priced at its length, its
    // lock up); dropping it would leave the PC unlocked and free. elapsedMs
    // is the time at the last save plus that lifetime: past any end.
    EndedClockAhead,
};

struct ResumePlan
{
    ResumeVerdict verdict = ResumeVerdict::Resume;
    bool sameBoot = false;
    // How long the countdown has run by now, the time the program was not
    // running included: within the boot it was saved in, on the elapsed-time
    // clock alone; after a reboot, the time up to the last save on that clock
    // and the time since on the wall clock.
    std::int64_t elapsedMs = 0;
    std::string why; // for every verdict but Resume
};

ResumePlan planResume(const SavedCountdown& saved, const ClockReading& now,
                      std::int64_t lifetimeMs = kSavedCountdownLifetimeMs);

// How long to wait for the first tick of a countdown that has run elapsedMs,
// so that the ticks go on falling lateMs after each of its whole intervals.
std::int64_t firstTickDelayMs(std::int64_t elapsedMs, std::int64_t intervalMs, std::int64_t lateMs);
