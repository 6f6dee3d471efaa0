#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// What a station shows the counter: one row of the stations table.
struct StationStatus
{
    enum class State { Idle, Running, Warning, Ended, Stopped };
    State state = State::Idle;
    QString sessionId; // empty when no countdown has run
    QDateTime startedAt;
    std::optional<int> plannedSeconds;
    // Time left when publish() was called, from the countdown's elapsed-time
    // clock; the link ages it by its own steady clock before each write and
    // writes ends_at on the server's clock.
    std::optional<qint64> remainingSeconds;
    std::optional<int> ratePerHour;
    std::optional<qint64> cost;
};
Q_DECLARE_METATYPE(StationStatus)

const char* stateName(StationStatus::State state);

// The link's state, for the report window and the console.
struct LinkStatus
{
    bool connected = false;
    QString problem; // Spanish, when not connected or when a request was refused
};
Q_DECLARE_METATYPE(LinkStatus)
