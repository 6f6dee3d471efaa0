#include "console/StationStatus.h"

#include <QCoreApplication>

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
