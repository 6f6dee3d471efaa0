#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// One station's line as the counter sees it: its row of `stations` and its
// takings today. Times are milliseconds since the epoch on the server's clock.
struct StationRow
{
    QString station;
    QString host;
    QString state; // as stored: idle, running, warning, ended, stopped
    std::optional<std::int64_t> startedAtMs;
    std::optional<std::int64_t> plannedSeconds;
    std::optional<std::int64_t> endsAtMs;
    std::optional<std::int64_t> ratePerHour;
    std::optional<std::int64_t> cost;
    std::int64_t updatedAtMs = 0;
    std::int64_t takingsToday = 0; // the sound sessions' costs only
    // The columns whose stored value no sound station writes (an infinite
    // time, a negative or huge number), comma-separated; their values above
    // are cleared. Empty when the row is sound.
    QString doubtful;
    // Today's sessions whose cost or end is out of range, left out of
    // takingsToday.
    std::int64_t doubtfulSessionsToday = 0;

    bool operator==(const StationRow&) const = default;
};

// Checks a row as read against what a sound station writes: every value out
// of range is cleared and its column named in row.doubtful. A last write
// ahead of the server's clock is not believed (the row shows as quiet).
void checkStoredValues(StationRow& row, std::int64_t serverNowMs);

// What the counter shows for a station. Offline wins over every stored state:
// a row nobody has refreshed says nothing reliable about the station.
enum class StationLook { Idle, Running, Warning, Ended, Stopped, Offline, Unknown };

// A station's heartbeat comes every 15 s; three missed ones mean it is gone.
constexpr std::int64_t kOfflineAfterMs = 45'000;

// offlineAfterMs: how long a quiet row is still believed.
StationLook stationLook(const StationRow& row, std::int64_t nowMs,
                        std::int64_t offlineAfterMs = kOfflineAfterMs);
// "Libre", "En uso", "Aviso", "Tiempo agotado", "Parado", "Sin conexión".
QString lookWords(StationLook look);

// Whole seconds until endsAt, rounded up so that the last second shows as
// 00:00:01 rather than 00:00:00; never below zero. Nothing when the station
// has no countdown on (idle, or its row has no end).
std::optional<std::int64_t> secondsLeft(const StationRow& row, std::int64_t nowMs);
// "h:mm:ss" (hours unpadded, may exceed 23 after added time).
QString formatDuration(std::int64_t seconds);
