#include "records/SessionRecord.h"

#include <QCoreApplication>
#include <QDateTime>

#include <array>

namespace {

struct ReasonName
{
    EndReason reason;
    const char* key;
    const char* text;
};

constexpr std::array<ReasonName, 5> kReasons{{
    {EndReason::Running, "running", QT_TRANSLATE_NOOP("SessionRecord", "En curso")},
    {EndReason::TimeUp, "time_up", QT_TRANSLATE_NOOP("SessionRecord", "Tiempo agotado")},
    {EndReason::Stopped, "stopped", QT_TRANSLATE_NOOP("SessionRecord", "Parada")},
    {EndReason::Closed, "closed", QT_TRANSLATE_NOOP("SessionRecord", "Programa cerrado")},
    {EndReason::Interrupted, "interrupted", QT_TRANSLATE_NOOP("SessionRecord", "Interrumpida")},
}};

constexpr std::int64_t kMsPerDay = 86'400'000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

void putDigits(QChar*& out, std::int64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + char16_t(value % 10));
        value /= 10;
    }
    out += width;
}

char16_t charAt(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

char16_t charAt(std::string_view text, std::size_t i)
{
    return char16_t(static_cast<unsigned char>(text[i]));
}

// The digits at text[from, from + width), or -1.
template <typename Text> int digitsAt(Text text, std::size_t from, int width)
{
    int value = 0;
    for (int i = 0; i < width; ++i) {
        const char16_t c = charAt(text, from + std::size_t(i));
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// The form this program writes, YYYY-MM-DDTHH:MM:SS.mmmZ; nothing for any
// other, and false in written when the text is not of that form at all.
template <typename Text>
std::optional<std::int64_t> parseWritten(Text text, std::size_t size, bool& written)
{
    written = size == 24 && charAt(text, 4) == u'-' && charAt(text, 7) == u'-' &&
              charAt(text, 10) == u'T' && charAt(text, 13) == u':' && charAt(text, 16) == u':' &&
              charAt(text, 19) == u'.' && charAt(text, 23) == u'Z';
    if (!written)
        return std::nullopt;
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2),
              hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2),
              second = digitsAt(text, 17, 2), milli = digitsAt(text, 20, 3);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour >= 24 ||
        minute < 0 || minute >= 60 || second < 0 || second >= 60 || milli < 0)
        return std::nullopt;
    return daysFromCivil(year, month, day) * kMsPerDay + hour * 3'600'000LL + minute * 60'000LL +
           second * 1000LL + milli;
}

} // namespace

QString endReasonKey(EndReason reason)
{
    for (const ReasonName& r : kReasons)
        if (r.reason == reason)
            return QString::fromLatin1(r.key);
    return {};
}

std::optional<EndReason> endReasonFromKey(QStringView key)
{
    for (const ReasonName& r : kReasons)
        if (key == QLatin1String(r.key))
            return r.reason;
    return std::nullopt;
}

std::optional<EndReason> endReasonFromKey(std::string_view key)
{
    for (const ReasonName& r : kReasons)
        if (key == r.key)
            return r.reason;
    return std::nullopt;
}

QString endReasonText(EndReason reason)
{
    for (const ReasonName& r : kReasons)
        if (r.reason == reason)
            return QCoreApplication::translate("SessionRecord", r.text);
    return {};
}

std::int64_t usedSeconds(const SessionRecord& record)
{
    const std::int64_t end = record.endedAtMs.value_or(record.lastSeenAtMs);
    return end > record.startedAtMs ? (end - record.startedAtMs) / 1000 : 0;
}

// Howard Hinnant's algorithms for the civil calendar.
std::int64_t daysFromCivil(int year, int month, int day)
{
    const std::int64_t y = std::int64_t(year) - (month <= 2);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day)
{
    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

QString isoUtcText(std::int64_t ms)
{
    const std::int64_t days = floorDiv(ms, kMsPerDay);
    std::int64_t inDay = ms - days * kMsPerDay;
    int year = 0, month = 0, day = 0;
    civilFromDays(days, year, month, day);
    QString text(24, Qt::Uninitialized);
    QChar* out = text.data();
    putDigits(out, year, 4);
    *out++ = u'-';
    putDigits(out, month, 2);
    *out++ = u'-';
    putDigits(out, day, 2);
    *out++ = u'T';
    putDigits(out, inDay / 3'600'000, 2);
    inDay %= 3'600'000;
    *out++ = u':';
    putDigits(out, inDay / 60'000, 2);
    inDay %= 60'000;
    *out++ = u':';
    putDigits(out, inDay / 1000, 2);
    *out++ = u'.';
    putDigits(out, inDay % 1000, 3);
    *out++ = u'Z';
    return text;
}

std::optional<std::int64_t> parseIsoUtc(QStringView text)
{
    bool written = false;
    const auto ms = parseWritten(text, std::size_t(text.size()), written);
    if (written)
        return ms;
    // Anything else ISO 8601 with a zone: a space for the T, no milliseconds,
    // an offset instead of Z. A time without a zone is ambiguous and refused.
    QString normal = text.toString();
    if (normal.size() > 10 && normal[10] == u' ')
        normal[10] = u'T';
    const QDateTime parsed = QDateTime::fromString(normal, Qt::ISODateWithMs);
    if (!parsed.isValid() || parsed.timeSpec() == Qt::LocalTime)
        return std::nullopt;
    return parsed.toMSecsSinceEpoch();
}

std::optional<std::int64_t> parseIsoUtc(std::string_view text)
{
    bool written = false;
    const auto ms = parseWritten(text, text.size(), written);
    if (written)
        return ms;
    return parseIsoUtc(QString::fromUtf8(text.data(), qsizetype(text.size())));
}
