#include "console/StationStatus.h"

#include "rules/StoredValueBounds.h"

#include <QCoreApplication>
#include <QStringList>

void checkStoredValues(StationRow& row, std::int64_t serverNowMs)
{
    QStringList doubtful;
    if (!row.doubtful.isEmpty())
        doubtful << row.doubtful; // the infinite times, found by the server
    const auto check = [&doubtful](std::optional<std::int64_t>& value, bool sound,
                                   const char* column) {
        if (value && !sound) {
            value.reset();
            doubtful << QLatin1String(column);
        }
    };
    check(row.plannedSeconds,
          row.plannedSeconds && *row.plannedSeconds >= 0 &&
              *row.plannedSeconds <= kMaxStoredSeconds,
          "planned_seconds");
    check(row.ratePerHour, row.ratePerHour && *row.ratePerHour >= 0, "rate_per_hour");
    check(row.cost, row.cost && *row.cost >= 0 && *row.cost <= kMaxStoredCost, "cost");
    check(row.endsAtMs, row.endsAtMs && *row.endsAtMs - serverNowMs <= kMaxEndAheadMs, "ends_at");
    if (row.updatedAtMs - serverNowMs > kMaxWriteAheadMs) {
        row.updatedAtMs = 0;
        doubtful << QStringLiteral("updated_at");
    }
    if (row.takingsToday < 0 || row.takingsToday > INT64_MAX / 2) {
        // Cannot come from sound sessions; the server's sum is held, not trusted.
        row.takingsToday = 0;
        doubtful << QStringLiteral("sessions.cost");
    }
    doubtful.removeDuplicates();
    row.doubtful = doubtful.join(QLatin1Char(','));
}

StationLook stationLook(const StationRow& row, std::int64_t nowMs, std::int64_t offlineAfterMs)
{
    if (nowMs - row.updatedAtMs > offlineAfterMs)
        return StationLook::Offline;
    if (row.state == QLatin1String("idle"))
        return StationLook::Idle;
    if (row.state == QLatin1String("running"))
        return StationLook::Running;
    if (row.state == QLatin1String("warning"))
        return StationLook::Warning;
    if (row.state == QLatin1String("ended"))
        return StationLook::Ended;
    if (row.state == QLatin1String("stopped"))
        return StationLook::Stopped;
    return StationLook::Unknown;
}

QString lookWords(StationLook look)
{
    switch (look) {
    case StationLook::Idle:
        return QCoreApplication::translate("StationStatus", "Libre");
    case StationLook::Running:
        return QCoreApplication::translate("StationStatus", "En uso");
    case StationLook::Warning:
        return QCoreApplication::translate("StationStatus", "Aviso");
    case StationLook::Ended:
        return QCoreApplication::translate("StationStatus", "Tiempo agotado");
    case StationLook::Stopped:
        return QCoreApplication::translate("StationStatus", "Parado");
    case StationLook::Offline:
        return QCoreApplication::translate("StationStatus", "Sin conexión");
    case StationLook::Unknown:
        break;
    }
    return QCoreApplication::translate("StationStatus", "Desconocido");
}

std::optional<std::int64_t> secondsLeft(const StationRow& row, std::int64_t nowMs)
{
    // Only a countdown that is on has time left; a stopped or ended one keeps
    // its old end in the row, which means nothing any more.
    if (!row.endsAtMs ||
        (row.state != QLatin1String("running") && row.state != QLatin1String("warning")))
        return std::nullopt;
    const std::int64_t ms = *row.endsAtMs - nowMs;
    if (ms <= 0)
        return 0;
    return (ms + 999) / 1000;
}

QString formatDuration(std::int64_t seconds)
{
    const bool negative = seconds < 0;
    if (negative)
        seconds = -seconds;
    return QStringLiteral("%1%2:%3:%4")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
