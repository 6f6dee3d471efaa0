#include "report/ReportData.h"

#include "rules/StoredValueBounds.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <map>

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

std::int64_t exactOffsetMs(std::int64_t utcMs)
{
    return std::int64_t(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000;
}

void appendDigits(QByteArray& out, std::int64_t value, int width)
{
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

void appendField(QByteArray& out, const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    // A text a spreadsheet would take for a formula (a station's name is
    // anybody's to set: "=HYPERLINK(...)") is written as text: the usual
    // leading apostrophe, which Excel and LibreOffice do not show.
    if (!utf8.isEmpty() && QByteArrayView("=+-@\t\r").contains(utf8.front()))
        utf8.prepend('\'');
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') &&
        !utf8.contains('\r')) {
        out += utf8;
        return;
    }
    out += '"';
    for (char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::int64_t LocalTime::offsetMs(std::int64_t utcMs)
{
    const std::int64_t day = floorDiv(utcMs, kMsPerDay);
    if (day != m_day) {
        m_day = day;
        m_startOffset = exactOffsetMs(day * kMsPerDay);
        m_sameAllDay = exactOffsetMs(day * kMsPerDay + kMsPerDay - 1) == m_startOffset;
    }
    // The day of a change of the clocks is looked up time by time.
    return m_sameAllDay ? m_startOffset : exactOffsetMs(utcMs);
}

QDate LocalTime::date(std::int64_t utcMs)
{
    const std::int64_t local = utcMs + offsetMs(utcMs);
    int y = 0, m = 0, d = 0;
    civilFromDays(floorDiv(local, kMsPerDay), y, m, d);
    return QDate(y, m, d);
}

void LocalTime::appendText(QByteArray& out, std::int64_t utcMs)
{
    const std::int64_t local = utcMs + offsetMs(utcMs);
    const std::int64_t days = floorDiv(local, kMsPerDay);
    std::int64_t inDay = (local - days * kMsPerDay) / 1000;
    int y = 0, m = 0, d = 0;
    civilFromDays(days, y, m, d);
    appendDigits(out, y, 4);
    out += '-';
    appendDigits(out, m, 2);
    out += '-';
    appendDigits(out, d, 2);
    out += ' ';
    appendDigits(out, inDay / 3600, 2);
    out += ':';
    appendDigits(out, inDay / 60 % 60, 2);
    out += ':';
    appendDigits(out, inDay % 60, 2);
}

std::int64_t LocalTime::dayStartUtcMs(const QDate& day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

ReportFilter ReportRequest::filter() const
{
    ReportFilter f;
    f.fromMs = LocalTime::dayStartUtcMs(from);
    f.toMs = LocalTime::dayStartUtcMs(to.addDays(1));
    f.station = station;
    return f;
}

QStringList doubtfulColumns(const SessionRecord& r)
{
    QStringList out;
    if (r.cost < 0 || r.cost > kMaxStoredCost)
        out << QStringLiteral("cost");
    if (r.plannedSeconds < 0 || r.plannedSeconds > kMaxStoredSeconds)
        out << QStringLiteral("planned_seconds");
    if (r.ratePerHour < 0)
        out << QStringLiteral("rate_per_hour");
    // Differences of times far apart could overflow: compared one side at a time.
    const auto outOfSpan = [&r](std::int64_t at) {
        return at < r.startedAtMs || at - r.startedAtMs > kMaxSessionSpanMs;
    };
    if (r.endedAtMs && outOfSpan(*r.endedAtMs))
        out << QStringLiteral("ended_at");
    if (!r.endedAtMs && r.lastSeenAtMs - r.startedAtMs > kMaxSessionSpanMs)
        out << QStringLiteral("last_seen_at");
    return out;
}

std::int64_t shownMinutes(const SessionRecord& record)
{
    return (usedSeconds(record) + 30) / 60;
}

ReportContent summarise(const ReportRequest& request,
                        std::shared_ptr<const std::vector<SessionRecord>> rows)
{
    ReportContent c;
    c.request = request;
    c.rows = std::move(rows);
    c.days = std::max<qint64>(0, request.from.daysTo(request.to) + 1);

    // Few stations, many rows: a small map from the station's text.
    std::map<QString, std::size_t> index;
    std::vector<std::int64_t> costs;
    std::vector<std::vector<std::int64_t>> byDay;
    LocalTime local;
    const QString* lastName = nullptr;
    std::size_t lastIndex = 0;
    for (const SessionRecord& r : *c.rows) {
        ++c.sessions;
        if (!doubtfulColumns(r).isEmpty()) {
            ++c.doubtful;
            continue;
        }
        c.minutes += shownMinutes(r);
        c.cost += r.cost;
        std::size_t s = lastIndex;
        if (!lastName || *lastName != r.station) {
            auto [it, added] = index.emplace(r.station, costs.size());
            if (added) {
                costs.push_back(0);
                byDay.emplace_back(std::size_t(c.days), 0);
            }
            s = it->second;
            lastName = &r.station;
            lastIndex = s;
        }
        costs[s] += r.cost;
        const qint64 day = request.from.daysTo(local.date(r.startedAtMs));
        if (day >= 0 && day < c.days)
            byDay[s][std::size_t(day)] += r.cost;
    }
    for (const auto& [name, i] : index) {
        c.stations << name;
        c.stationCost.push_back(costs[i]);
        c.byDay.push_back(std::move(byDay[i]));
    }
    return c;
}

QByteArray csvText(const std::vector<SessionRecord>& rows)
{
    QByteArray out;
    out.reserve(qsizetype(rows.size()) * 90 + 128);
    out += "\xEF\xBB\xBF";
    out += QCoreApplication::translate("ReportData",
                                       "Puesto,Inicio,Fin,Minutos,Tarifa por hora,Importe,Final")
               .toUtf8();
    out += "\r\n";
    LocalTime local;
    QString lastStation;
    QByteArray lastStationField;
    for (const SessionRecord& r : rows) {
        if (r.station != lastStation || lastStationField.isEmpty()) {
            lastStation = r.station;
            lastStationField.clear();
            appendField(lastStationField, r.station);
        }
        out += lastStationField;
        out += ',';
        local.appendText(out, r.startedAtMs);
        out += ',';
        // An end out of range (an infinite one reads as the year 10000) is
        // not written as if it were a time.
        if (r.endedAtMs && !doubtfulColumns(r).contains(QLatin1String("ended_at")))
            local.appendText(out, *r.endedAtMs);
        out += ',';
        out += QByteArray::number(qlonglong(shownMinutes(r)));
        out += ',';
        out += QByteArray::number(r.ratePerHour);
        out += ',';
        out += QByteArray::number(qlonglong(r.cost));
        out += ',';
        appendField(out, endReasonText(r.endReason));
        out += "\r\n";
    }
    return out;
}
