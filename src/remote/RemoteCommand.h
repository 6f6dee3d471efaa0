#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// One order from the counter, as the station reads it from the commands
// table. Numbers the counter left empty stay empty: the check says so.
struct RemoteCommand
{
    QString id;
    QString station;
    QString kind; // start, add_time, stop, message; anything else is refused
    std::optional<int> hours, minutes, seconds; // start
    std::optional<bool> secondRate;             // start: false Tarifa 1, true Tarifa 2
    std::optional<int> warnMinutes;             // start
    std::optional<int> addMinutes;              // add_time, may be negative
    std::optional<QString> message;             // message
    QString issuedBy;
    QDateTime issuedAt; // the server's clock, for showing only
    // When the order stops being valid, on this computer's clock: the link
    // turns the server's expires_at into time left at reading, so that a
    // station whose clock is wrong neither carries out stale orders nor
    // refuses fresh ones.
    QDateTime expiresAt;
};
Q_DECLARE_METATYPE(RemoteCommand)

enum class CommandKind { Start, AddTime, Stop, Message };

// What the station knows when an order arrives.
struct StationFacts
{
    QString station;
    QDateTime now;             // this computer's clock, UTC
    bool hasPassword = false;  // a start brings the lock up with it
    bool running = false;      // a countdown is counting (warning included)
    qint64 plannedSeconds = 0; // of the running countdown
    qint64 elapsedSeconds = 0; // of the running countdown
    // The two rate fields of the main window: nothing when the text is not a number.
    std::optional<int> firstRate, secondRate;
};

struct CommandVerdict
{
    bool accepted = false;
    QString why; // Spanish, for the answer column, when refused
    CommandKind kind = CommandKind::Stop;
    // start: the numbers to put in the fields; add_time: the new planned time.
    int hours = 0, minutes = 0, seconds = 0, warnMinutes = 0, ratePerHour = 0;
    qint64 newPlannedSeconds = 0;
};

inline constexpr int kMaxMessageLength = 500;
// The countdown's longest: 23:59:59.
inline constexpr qint64 kMaxCountdownSeconds = 23 * 3600 + 59 * 60 + 59;

// Checks an order as the main window checks its fields: the same ranges and
// the same messages, plus the reasons only an order can have.
CommandVerdict checkCommand(const RemoteCommand& command, const StationFacts& facts);
