#pragma once

#include "records/RecordStore.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

// UTC to the local time of this computer, fast enough for a year of records:
// the zone's offset is looked up once per day, not once per time.
class LocalTime final
{
public:
    std::int64_t offsetMs(std::int64_t utcMs);
    QDate date(std::int64_t utcMs);
    // "2025-12-10 11:00:00", the form spreadsheets read as a date in any
    // language.
    void appendText(QByteArray& out, std::int64_t utcMs);

    // The UTC start of a local day.
    static std::int64_t dayStartUtcMs(const QDate& day);

private:
    std::int64_t m_day = INT64_MIN; // the UTC day whose offsets are known
    std::int64_t m_startOffset = 0;
    bool m_sameAllDay = false;
};

// The filter as the report window sets it: whole local days, from and to
// included, and one station or all (empty).
struct ReportRequest
{
    QDate from;
    QDate to;
    QString station;

    ReportFilter filter() const;
};

// The minutes a record shows: its used time rounded to the nearest minute.
std::int64_t shownMinutes(const SessionRecord& record);

// The stored columns of a record holding what no sound station writes (a
// cost out of range, an end before its start or days after it, which is how
// the server's infinite times read), as named in the table sessions; empty
// for a sound record. A station's role is only as secret as the customer's
// account, so the report shows such a record as doubtful and leaves it out
// of every total.
QStringList doubtfulColumns(const SessionRecord& record);
// How far a sound session's end or last sighting may lie from its start: a
// countdown is at most a day, with room for a reboot in between.
constexpr std::int64_t kMaxSessionSpanMs = 2 * 86'400'000LL;

// What the report shows for a filter.
struct ReportContent
{
    ReportRequest request;
    std::shared_ptr<const std::vector<SessionRecord>> rows;

    // The totals of the rows, doubtful ones left out (but counted in
    // sessions and doubtful).
    int sessions = 0;
    int doubtful = 0;
    std::int64_t minutes = 0;
    std::int64_t cost = 0;
    QStringList stations;                  // those in the rows, sorted
    std::vector<std::int64_t> stationCost; // per station, in that order

    // The takings per local day (by start) and station: byDay[station][day],
    // day 0 being request.from.
    int days = 0;
    std::vector<std::vector<std::int64_t>> byDay;
};

// Totals and takings per day for the rows of a request.
ReportContent summarise(const ReportRequest& request,
                        std::shared_ptr<const std::vector<SessionRecord>> rows);

// The CSV file of the rows: UTF-8 with a byte order mark (so that LibreOffice
// and Excel take it as UTF-8 without asking), a header line, commas between
// fields, CRLF line ends, fields quoted only when they hold a comma, a quote
// or a line break (RFC 4180). Times are local, "2025-12-10 11:00:00"; numbers
// are whole, with no thousands separator, so no locale's decimal comma can
// misread them.
QByteArray csvText(const std::vector<SessionRecord>& rows);
