#include "remote/StationControl.h"

#include "countdown/Countdown.h"
#include "remote/StationLink.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

StationControl::StationControl(Countdown& countdown, StationLink& link, QString station,
                               WindowHooks hooks, KeptOrders* orders, QObject* parent)
    : QObject(parent), m_countdown(countdown), m_link(link), m_station(std::move(station)),
      m_hooks(std::move(hooks)), m_orders(orders)
{
    if (m_countdown.isRunning())
        m_state = StationStatus::State::Running;
    else if (m_countdown.isLocked() && !m_countdown.id().isEmpty())
        m_state = StationStatus::State::Ended;
    connect(&m_countdown, &Countdown::changed, this, &StationControl::onCountdownEvent);
    connect(&m_link, &StationLink::commandArrived, this, &StationControl::carryOut);
    publish();
}

void StationControl::onCountdownEvent(CountdownEvent event)
{
    using State = StationStatus::State;
    switch (event) {
    case CountdownEvent::Started:
    case CountdownEvent::Resumed:
        m_state = State::Running;
        break;
    case CountdownEvent::WarningShown:
        if (m_countdown.isRunning())
            m_state = State::Warning;
        break;
    case CountdownEvent::Ended:
        m_state = State::Ended;
        break;
    case CountdownEvent::Stopped:
        m_state = State::Stopped;
        break;
    case CountdownEvent::LockOpened:
        // The operator is at the station: an ended countdown is over.
        if (m_state == State::Ended)
            m_state = State::Idle;
        break;
    case CountdownEvent::Priced:
        // A tick changes the row only when the cost it shows changed.
        if (m_countdown.cost() == m_publishedCost)
            return;
        break;
    case CountdownEvent::Continued:
    case CountdownEvent::NumbersChanged:
    case CountdownEvent::LockShown:
    case CountdownEvent::RateChosen:
        break;
    }
    publish();
}

StationStatus StationControl::status() const
{
    StationStatus s;
    s.state = m_state;
    s.sessionId = m_countdown.id();
    if (m_countdown.id().isEmpty())
        return s;
    s.startedAt = QDateTime::fromMSecsSinceEpoch(m_countdown.startUtcMs()).toUTC();
    s.plannedSeconds = m_countdown.plannedSeconds();
    s.ratePerHour = m_countdown.rate();
    s.cost = m_countdown.cost();
    if (m_countdown.isRunning())
        s.remainingSeconds = std::max<qint64>(
            0, (qint64(m_countdown.plannedSeconds()) * 1000 - m_countdown.elapsedMs()) / 1000);
    return s;
}

void StationControl::publish()
{
    if (m_unkept > 0) {
        m_publishWaiting = true;
        return;
    }
    m_publishWaiting = false;
    const StationStatus s = status();
    m_publishedCost = s.cost;
    m_link.publish(s);
}

void StationControl::carryOut(const RemoteCommand& command)
{
    if (m_orders) {
        if (const std::optional<KeptOrders::Outcome> kept = m_orders->keptOutcome(command.id)) {
            // Carried out before this program was killed, its answer lost
            // on the way: answered again, never carried out again.
            std::fprintf(stderr,
                         "lurn: order %s was carried out before: answered from the kept"
                         " countdown\n",
                         qPrintable(command.id));
            m_link.answer(command.id, kept->done, kept->answer);
            return;
        }
    }
    StationFacts facts;
    facts.station = m_station;
    facts.now = QDateTime::currentDateTimeUtc();
    facts.hasPassword = m_countdown.hasPassword();
    facts.running = m_countdown.isRunning();
    facts.plannedSeconds = m_countdown.plannedSeconds();
    facts.elapsedSeconds = (std::max<std::int64_t>(0, m_countdown.elapsedMs()) + 999) / 1000;
    if (m_hooks.rateFields)
        std::tie(facts.firstRate, facts.secondRate) = m_hooks.rateFields();
    if (command.kind == QLatin1String("start") && facts.running) {
        m_link.answer(command.id, false,
                      QStringLiteral("Ya hay una cuenta atrás en marcha: añada tiempo o párela"));
        return;
    }
    const CommandVerdict verdict = checkCommand(command, facts);
    if (!verdict.accepted) {
        m_link.answer(command.id, false, verdict.why);
        return;
    }
    if (verdict.kind == CommandKind::Message) {
        // Shown at the event loop's next turn: the notice is modal, and the
        // answer does not wait for the customer to close it. It changes no
        // countdown: the link's ledger alone keeps it from being shown twice.
        if (m_hooks.showMessage)
            QTimer::singleShot(0, this,
                               [this, text = *command.message] { m_hooks.showMessage(text); });
        m_link.answer(command.id, true, QString());
        return;
    }
    if (!m_orders) {
        changeCountdown(command, verdict, facts);
        m_link.answer(command.id, true, QString());
        return;
    }
    // Named before the change, so that every state kept with the change
    // names the order too; answered, and the row written, once that state is
    // on disk.
    const std::int64_t expires = command.expiresAt.isValid() ? command.expiresAt.toMSecsSinceEpoch()
                                                             : QDateTime::currentMSecsSinceEpoch();
    m_orders->noteOrder(command.id, KeptOrders::Outcome{true, QString()}, expires);
    ++m_unkept;
    changeCountdown(command, verdict, facts);
    m_orders->keepNow([control = QPointer<StationControl>(this), id = command.id] {
        if (!control)
            return;
        --control->m_unkept;
        if (control->m_unkept == 0 && control->m_publishWaiting)
            control->publish();
        control->m_link.answer(id, true, QString());
    });
}

void StationControl::changeCountdown(const RemoteCommand& command, const CommandVerdict& verdict,
                                     const StationFacts& facts)
{
    switch (verdict.kind) {
    case CommandKind::Start: {
        // As "&Iniciar": the numbers into the fields, the chosen rate, the
        // start, and the lock with the password kept on the station.
        const bool second = command.secondRate.value_or(false);
        m_countdown.setNumber(second ? &CountdownState::Rate2 : &CountdownState::Rate1,
                              verdict.ratePerHour);
        if (const std::optional<int> other = second ? facts.firstRate : facts.secondRate;
            other && *other >= 1 && *other <= 100000)
            m_countdown.setNumber(second ? &CountdownState::Rate1 : &CountdownState::Rate2, *other);
        m_countdown.replaceNumbers(verdict.hours, verdict.minutes, verdict.seconds,
                                   verdict.warnMinutes);
        m_countdown.setSecondRate(second);
        m_countdown.start(verdict.warnMinutes != 0);
        m_countdown.requestLock();
        break;
    }
    case CommandKind::AddTime: {
        const qint64 planned = verdict.newPlannedSeconds;
        m_countdown.replaceNumbers(int(planned / 3600), int(planned / 60 % 60), int(planned % 60),
                                   m_countdown.state().WarnMinutes);
        break;
    }
    case CommandKind::Stop:
        m_countdown.stop();
        break;
    case CommandKind::Message:
        break;
    }
}
