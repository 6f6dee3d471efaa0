#include "platform/SystemClock.h"

#include <QDate>
#include <QDateTime>

namespace platform {

DayFraction SystemClock::now() const
{
    static const QDate epoch(1899, 12, 30);
    const QDateTime local = QDateTime::currentDateTime();
    return double(epoch.daysTo(local.date())) +
           double(local.time().msecsSinceStartOfDay()) / kMillisecondsPerDay;
}

} // namespace platform
