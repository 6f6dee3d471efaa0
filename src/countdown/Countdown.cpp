#include "countdown/Countdown.h"

#include "countdown/CountdownTimer.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "rules/SavedCountdown.h"

#include <QUuid>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

platform::Clock& theClock()
{
    return *platform::services().clock;
}

DayFraction fromMs(std::int64_t ms)
{
    return double(ms) / kMillisecondsPerDay;
}

} // namespace

Countdown::Countdown(QObject* parent) : QObject(parent), m_timer(new CountdownTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
}

Countdown::~Countdown() = default;

bool Countdown::isRunning() const
{
    return m_timer->isActive();
}

std::int32_t Countdown::plannedSeconds() const
{
    return m_state.LimitHours * 3600 + m_state.LimitMinutes * 60 + m_state.LimitSeconds;
}

std::int64_t Countdown::elapsedMs() const
{
    return std::llround(countdownElapsed(m_state, theClock().now()) * kMillisecondsPerDay);
}

std::optional<std::int64_t> Countdown::cost() const
{
    if (!m_priced)
        return std::nullopt;
    std::int64_t value = 0;
    const char* end = m_costText.data() + m_costText.size();
    if (std::from_chars(m_costText.data(), end, value).ptr != end)
        return std::nullopt;
    return value;
}

void Countdown::setNumber(std::int32_t CountdownState::*member, std::int32_t value)
{
    if (m_state.*member == value)
        return;
    m_state.*member = value;
    if (isRunning())
        emit changed(CountdownEvent::NumbersChanged);
}

void Countdown::replaceNumbers(std::int32_t hours, std::int32_t minutes, std::int32_t seconds,
                               std::int32_t warnMinutes)
{
    const bool same = m_state.LimitHours == hours && m_state.LimitMinutes == minutes &&
                      m_state.LimitSeconds == seconds && m_state.WarnMinutes == warnMinutes;
    m_state.LimitHours = hours;
    m_state.LimitMinutes = minutes;
    m_state.LimitSeconds = seconds;
    m_state.WarnMinutes = warnMinutes;
    emit numbersReplaced();
    if (!same && isRunning())
        emit changed(CountdownEvent::NumbersChanged);
}

void Countdown::setSecondRate(bool second)
{
    if (m_secondRate == second)
        return;
    m_secondRate = second;
    emit changed(CountdownEvent::RateChosen);
}

void Countdown::start(bool armWarning)
{
    m_state.WarningPending = armWarning;
    m_state.CountdownStart = theClock().now();
    m_startUtcMs = theClock().utcMs();
    m_id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_priced = false;
    m_timer->start();
    emit changed(CountdownEvent::Started);
}

void Countdown::continueRunning()
{
    emit changed(CountdownEvent::Continued);
}

void Countdown::stop()
{
    m_timer->stop();
    emit changed(CountdownEvent::Stopped);
}

CountdownTick Countdown::tick()
{
    CountdownTick tick;
    const DayFraction elapsed = countdownElapsed(m_state, theClock().now());
    const DayFraction limit = countdownLimit(m_state);
    m_costText = ::costText(std::min(elapsed, limit), rate());
    m_priced = true;
    tick.costText = m_costText;
    emit changed(CountdownEvent::Priced);

    if (countdownEnded(elapsed, limit)) {
        m_timer->stop();
        tick.ended = true;
        emit changed(CountdownEvent::Ended);
    }
    if (warningDue(m_state, elapsed, limit)) {
        m_state.WarningPending = false;
        tick.warningDue = true;
        emit changed(CountdownEvent::WarningShown);
    }
    tick.remainingText = remainingText(limit - elapsed);
    return tick;
}

void Countdown::setLocked(bool locked)
{
    m_locked = locked;
    emit changed(locked ? CountdownEvent::LockShown : CountdownEvent::LockOpened);
}

void Countdown::requestLock()
{
    if (!m_locked)
        emit lockWanted();
}

void Countdown::takeUp(const TakenUp& taken)
{
    m_state = taken.numbers;
    m_state.CountdownStart = theClock().now() - fromMs(taken.elapsedMs);
    m_id = taken.id;
    m_secondRate = taken.secondRate;
    m_locked = taken.locked;
    m_startUtcMs = taken.startUtcMs;
    m_costText = taken.costText;
    m_priced = false;
    if (!taken.running)
        return;
    // The ticks go on falling just after each whole second of the
    // countdown, as they did before.
    m_timer->startAfter(int(
        firstTickDelayMs(taken.elapsedMs, m_timer->interval(), CountdownTimer::kLateMs)));
    emit changed(CountdownEvent::Resumed);
}
