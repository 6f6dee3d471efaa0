#include "records/SessionRecorder.h"

#include "CountdownTimer.h"
#include "Ufer.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "records/RecordKeeper.h"

#include <QLabel>
#include <QRadioButton>
#include <QTimer>

namespace {

std::int64_t utcNow()
{
    return platform::services().clock->utcMs();
}

} // namespace

SessionRecorder::SessionRecorder(TfmFer& window, RecordKeeper& keeper, QString station,
                                 QObject* parent)
    : QObject(parent), m_window(window), m_keeper(keeper), m_station(std::move(station))
{
    connect(&m_window, &TfmFer::countdownEvent, this, &SessionRecorder::onEvent);
    connect(&m_window, &TfmFer::closed, this, &SessionRecorder::programEnding);
    // A countdown taken up before this recorder was made goes on in its record.
    if (m_window.Timer1->isActive() && !m_window.countdownId().isEmpty())
        adoptRunning();
    // A countdown resumed at start runs by now; its record goes on.
    QTimer::singleShot(0, this, [this] {
        QString keep;
        if (m_window.Timer1->isActive()) {
            keep = m_window.countdownId();
            if (!m_current)
                adoptRunning();
        }
        m_keeper.closeInterrupted(keep);
    });
}

std::int32_t SessionRecorder::plannedSeconds() const
{
    return countdownState.LimitHours * 3600 + countdownState.LimitMinutes * 60 +
           countdownState.LimitSeconds;
}

std::int32_t SessionRecorder::shownRate() const
{
    return countdownRate(countdownState, m_window.rbTarifa2->isChecked());
}

std::optional<std::int64_t> SessionRecorder::shownCost() const
{
    bool ok = false;
    const qlonglong cost = m_window.lblGasto->text().toLongLong(&ok);
    return ok ? std::optional<std::int64_t>(cost) : std::nullopt;
}

void SessionRecorder::write()
{
    m_current->lastSeenAtMs = utcNow();
    m_keeper.record(*m_current);
}

void SessionRecorder::adoptRunning()
{
    const std::int64_t now = utcNow();
    const DayFraction elapsed = countdownElapsed(countdownState, platform::services().clock->now());
    SessionRecord r;
    r.id = m_window.countdownId();
    r.station = m_station;
    // Only used when the file has no record of it: the one there keeps its
    // own start.
    r.startedAtMs = now - std::int64_t(elapsed * kMillisecondsPerDay);
    r.plannedSeconds = plannedSeconds();
    r.ratePerHour = shownRate();
    r.cost = shownCost().value_or(0);
    r.lastSeenAtMs = now;
    m_current = r;
    // The label may still show what the program showed before it ended;
    // the first tick shows this countdown's cost.
    m_priced = false;
}

void SessionRecorder::end(EndReason reason)
{
    if (!m_current)
        return;
    m_current->endReason = reason;
    const std::int64_t now = utcNow();
    m_current->endedAtMs = now;
    write();
    m_current.reset();
}

void SessionRecorder::onEvent(CountdownEvent event)
{
    switch (event) {
    case CountdownEvent::Started: {
        SessionRecord r;
        r.id = m_window.countdownId();
        r.station = m_station;
        r.startedAtMs = utcNow();
        r.plannedSeconds = plannedSeconds();
        r.ratePerHour = shownRate();
        // The label keeps the previous countdown's cost until the first tick.
        r.cost = 0;
        m_current = r;
        m_priced = false;
        write();
        break;
    }
    case CountdownEvent::Resumed:
        // Written at its first tick, with the cost that tick shows: until
        // then the record as the last run left it is the truer one.
        adoptRunning();
        break;
    case CountdownEvent::Continued:
    case CountdownEvent::NumbersChanged:
        if (m_current && m_current->plannedSeconds != plannedSeconds()) {
            m_current->plannedSeconds = plannedSeconds();
            write();
        }
        break;
    case CountdownEvent::Priced: {
        if (!m_current) {
            if (!m_window.Timer1->isActive() || m_window.countdownId().isEmpty())
                break;
            adoptRunning();
        }
        const std::int32_t rate = shownRate();
        const std::int64_t cost = shownCost().value_or(m_current->cost);
        const bool changed = !m_priced || rate != m_current->ratePerHour || cost != m_current->cost;
        m_priced = true;
        m_current->ratePerHour = rate;
        m_current->cost = cost;
        if (changed || utcNow() - m_current->lastSeenAtMs >= kSeenEveryMs)
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
        break;
    }
}

void SessionRecorder::programEnding()
{
    if (m_current && m_window.Timer1->isActive())
        end(EndReason::Closed);
}

void SessionRecorder::programInterrupted()
{
    if (m_current && m_window.Timer1->isActive())
        write();
}
