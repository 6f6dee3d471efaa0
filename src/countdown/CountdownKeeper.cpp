#include "countdown/CountdownKeeper.h"

#include "platform/AppShell.h"
#include "platform/Clock.h"
#include "platform/CountdownFile.h"
#include "platform/Platform.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

std::int64_t milliseconds(DayFraction days)
{
    return std::llround(days * kMillisecondsPerDay);
}

} // namespace

Countdown::TakenUp takenUpFrom(const SavedCountdown& saved, std::int64_t elapsedMs)
{
    Countdown::TakenUp taken;
    taken.id = QString::fromStdString(saved.id);
    taken.numbers.LimitHours = saved.hours;
    taken.numbers.LimitMinutes = saved.minutes;
    taken.numbers.LimitSeconds = saved.seconds;
    taken.numbers.WarnMinutes = saved.warnMinutes;
    taken.numbers.Rate1 = saved.rate1;
    taken.numbers.Rate2 = saved.rate2;
    taken.numbers.WarningPending = saved.warningPending;
    taken.running = saved.running;
    taken.secondRate = saved.secondRate;
    taken.locked = saved.locked;
    taken.elapsedMs = elapsedMs;
    taken.startUtcMs = saved.startUtcMs;
    taken.costText = saved.costText;
    return taken;
}

CountdownKeeper::CountdownKeeper(Countdown& countdown, platform::CountdownFile& file,
                                 std::function<KeptWindowTexts()> windowTexts, QObject* parent)
    : QObject(parent), m_countdown(countdown), m_file(file), m_windowTexts(std::move(windowTexts))
{
}

void CountdownKeeper::onCountdownEvent(CountdownEvent event)
{
    if (event == CountdownEvent::Priced) {
        // A tick changes nothing kept but the time; the file is only brought
        // up to date now and then.
        if (!m_kept || milliseconds(platform::services().clock->now()) - m_keptBootMs < kRefreshMs)
            return;
    }
    keep();
}

void CountdownKeeper::tookUp(std::vector<KeptOrder> orders)
{
    m_kept = true;
    m_orders = std::move(orders);
}

std::optional<KeptOrders::Outcome> CountdownKeeper::keptOutcome(const QString& id) const
{
    const std::string wanted = id.toStdString();
    for (const KeptOrder& order : m_orders)
        if (order.id == wanted)
            return Outcome{order.done, QString::fromStdString(order.answer)};
    return std::nullopt;
}

void CountdownKeeper::noteOrder(const QString& id, const Outcome& outcome,
                                std::int64_t expiresUtcMs)
{
    const std::int64_t now = platform::services().clock->utcMs();
    std::erase_if(m_orders, [now](const KeptOrder& order) {
        return order.expiresUtcMs < now - kOrderMemoryMs;
    });
    if (m_orders.size() >= kMaxOrders)
        m_orders.erase(m_orders.begin(), m_orders.end() - (kMaxOrders - 1));
    m_orders.push_back(
        KeptOrder{id.toStdString(), outcome.done, outcome.answer.toStdString(), expiresUtcMs});
}

void CountdownKeeper::keepNow(std::function<void()> then)
{
    keep();
    m_file.whenWritten([keeper = QPointer<CountdownKeeper>(this), then = std::move(then)] {
        if (keeper)
            then();
    });
}

void CountdownKeeper::changed()
{
    if (m_kept)
        keep();
}

void CountdownKeeper::abandon()
{
    if (m_kept)
        m_file.remove();
    m_kept = false;
}

void CountdownKeeper::keep()
{
    const SavedCountdown state = snapshot();
    if (!state.running && !state.locked) {
        if (m_kept)
            m_file.remove();
        m_kept = false;
        return;
    }
    m_file.save(formatSavedCountdown(state));
    m_kept = true;
    m_keptBootMs = state.seenBootMs;
}

SavedCountdown CountdownKeeper::snapshot() const
{
    const platform::Services& s = platform::services();
    const Countdown& c = m_countdown;
    const CountdownState& numbers = c.state();
    SavedCountdown state;
    state.id = c.id().toStdString();
    state.running = c.isRunning();
    state.locked = c.isLocked();
    state.bootId = s.clock->bootId();
    state.startBootMs = milliseconds(numbers.CountdownStart);
    state.startUtcMs = c.startUtcMs();
    state.seenBootMs = milliseconds(s.clock->now());
    state.seenUtcMs = s.clock->utcMs();
    state.hours = numbers.LimitHours;
    state.minutes = numbers.LimitMinutes;
    state.seconds = numbers.LimitSeconds;
    state.warnMinutes = numbers.WarnMinutes;
    state.rate1 = numbers.Rate1;
    state.rate2 = numbers.Rate2;
    state.warningPending = numbers.WarningPending;
    state.secondRate = c.secondRate();
    state.costText = c.costText();
    // A host without a task bar (the service) has no title to keep.
    if (s.app)
        state.title = s.app->title().toStdString();
    KeptWindowTexts texts = m_windowTexts();
    state.showTime = texts.showTime;
    state.hoursText = std::move(texts.hoursText);
    state.minutesText = std::move(texts.minutesText);
    state.secondsText = std::move(texts.secondsText);
    state.warnText = std::move(texts.warnText);
    state.rate1Text = std::move(texts.rate1Text);
    state.rate2Text = std::move(texts.rate2Text);
    state.password = std::move(texts.password);
    state.names = std::move(texts.names);
    state.orders = m_orders;
    return state;
}
