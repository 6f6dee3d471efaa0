#include "records/SessionRecorder.h"

#include "countdown/Countdown.h"
#include "records/RecordKeeper.h"

#include <QTimer>

#include <algorithm>

SessionRecorder::SessionRecorder(Countdown& countdown, RecordKeeper& keeper, QString station,
                                 QObject* parent)
    : QObject(parent), m_countdown(countdown), m_keeper(keeper), m_station(std::move(station))
{
    connect(&m_countdown, &Countdown::changed, this, &SessionRecorder::onEvent);
    // A countdown taken up before this recorder was made goes on in its record.
    if (m_countdown.isRunning() && !m_countdown.id().isEmpty())
        adoptRunning();
    // A countdown resumed at start runs by now; its record goes on.
    QTimer::singleShot(0, this, [this] {
        QString keep;
        if (m_countdown.isRunning()) {
            keep = m_countdown.id();
            if (!m_current)
                adoptRunning();
        }
        m_keeper.closeInterrupted(keep);
    });
}

std::int64_t SessionRecorder::atElapsed(bool upToLength) const
{
    std::int64_t elapsed = std::max<std::int64_t>(0, m_countdown.elapsedMs());
    if (upToLength)
        elapsed = std::min<std::int64_t>(elapsed, std::int64_t(m_countdown.plannedSeconds()) * 1000);
    return m_current->startedAtMs + elapsed;
}

void SessionRecorder::write()
{
    m_current->lastSeenAtMs = atElapsed(false);
    m_keeper.record(*m_current);
}

void SessionRecorder::adoptRunning()
{
    SessionRecord r;
    r.id = m_countdown.id();
    r.station = m_station;
    // Only used when the file has no record of it: the one there keeps its
    // own start.
    r.startedAtMs = m_countdown.startUtcMs();
    r.plannedSeconds = m_countdown.plannedSeconds();
    r.ratePerHour = m_countdown.rate();
    r.cost = m_countdown.cost().value_or(0);
    m_current = r;
    m_current->lastSeenAtMs = atElapsed(false);
    m_priced = false;
}

void SessionRecorder::end(EndReason reason)
{
    if (!m_current)
        return;
    m_current->endReason = reason;
    m_current->endedAtMs = atElapsed(reason == EndReason::TimeUp);
    m_current->lastSeenAtMs = *m_current->endedAtMs;
    m_keeper.record(*m_current);
    m_current.reset();
}

void SessionRecorder::onEvent(CountdownEvent event)
{
    switch (event) {
    case CountdownEvent::Started: {
        SessionRecord r;
        r.id = m_countdown.id();
        r.station = m_station;
        r.startedAtMs = m_countdown.startUtcMs();
        r.plannedSeconds = m_countdown.plannedSeconds();
        r.ratePerHour = m_countdown.rate();
        r.cost = 0;
        m_current = r;
        m_priced = false;
        write();
        break;
    }
    case CountdownEvent::Resumed:
        // Written at its first tick, with the cost that tick prices: until
        // then the record as the last run left it is the truer one.
        adoptRunning();
        break;
    case CountdownEvent::Continued:
    case CountdownEvent::NumbersChanged:
        if (m_current && m_current->plannedSeconds != m_countdown.plannedSeconds()) {
            m_current->plannedSeconds = m_countdown.plannedSeconds();
            write();
        }
        break;
    case CountdownEvent::Priced: {
        if (!m_current) {
            if (!m_countdown.isRunning() || m_countdown.id().isEmpty())
                break;
            adoptRunning();
        }
        const std::int32_t rate = m_countdown.rate();
        const std::int64_t cost = m_countdown.cost().value_or(m_current->cost);
        const bool changed =
            !m_priced || rate != m_current->ratePerHour || cost != m_current->cost;
        m_priced = true;
        m_current->ratePerHour = rate;
        m_current->cost = cost;
        if (changed || atElapsed(false) - m_current->lastSeenAtMs >= kSeenEveryMs)
            write();
        break;
    }
    case CountdownEvent::Ended:
        end(EndReason::TimeUp);
        break;
    case CountdownEvent::Stopped:
        end(EndReason::Stopped);
        break;
    case CountdownEvent::WarningShown:
    case CountdownEvent::LockShown:
    case CountdownEvent::LockOpened:
    case CountdownEvent::RateChosen:
        break;
    }
}

void SessionRecorder::programEnding()
{
    if (m_current && m_countdown.isRunning())
        end(EndReason::Closed);
}

void SessionRecorder::programInterrupted()
{
    if (m_current && m_countdown.isRunning())
        write();
}
