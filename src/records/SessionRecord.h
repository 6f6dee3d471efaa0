#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string_view>

// How a countdown's record ended. The stored words are the column end_reason's
// values, which owners query with their own tools: they never change.
enum class EndReason {
    Running,     // the countdown runs (or ran when the program last wrote)
    TimeUp,      // the countdown reached its end
    Stopped,     // "&Parar"
    Closed,      // the program ended while the countdown ran
    Interrupted, // the program died; found open at the next start
};

// The stored word: "running", "time_up", "stopped", "closed", "interrupted".
QString endReasonKey(EndReason reason);
// The reason a stored word names; nothing for a word this program does not know.
std::optional<EndReason> endReasonFromKey(QStringView key);
std::optional<EndReason> endReasonFromKey(std::string_view key);
// How the report says it.
QString endReasonText(EndReason reason);

// One countdown, as a row of the table sessions. Times are milliseconds since
// 1970-01-01 00:00 UTC.
struct SessionRecord
{
    QString id; // a UUID, made by "&Iniciar"
    QString station;
    std::int64_t startedAtMs = 0;
    std::optional<std::int64_t> endedAtMs; // none while it runs
    std::int32_t plannedSeconds = 0;
    std::int32_t ratePerHour = 0;
    std::int64_t cost = 0;
    EndReason endReason = EndReason::Running;
    std::int64_t lastSeenAtMs = 0;

    bool operator==(const SessionRecord&) const = default;
};

// The seconds a session was used: from its start to its end, or to when it was
// last seen while it runs.
std::int64_t usedSeconds(const SessionRecord& record);

// "2025-12-10T10:00:00.000Z": how times are kept in SQLite. Every value has the
// same length, so text order is time order.
QString isoUtcText(std::int64_t ms);
// Reads isoUtcText's form quickly, and any other ISO 8601 date and time with
// a zone (a row written by hand); nothing when the text is not one.
std::optional<std::int64_t> parseIsoUtc(QStringView text);
std::optional<std::int64_t> parseIsoUtc(std::string_view text);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(int year, int month, int day);
void civilFromDays(std::int64_t days, int& year, int& month, int& day);
