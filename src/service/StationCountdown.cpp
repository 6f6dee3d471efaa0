#include "service/StationCountdown.h"

#include "countdown/CountdownKeeper.h"
#include "countdown/CountdownTimer.h"
#include "platform/Clock.h"
#include "platform/CountdownFile.h"
#include "platform/Platform.h"
#include "rules/SavedCountdown.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string numberText(std::int32_t n)
{
    return std::to_string(n);
}

} // namespace

StationCountdown::StationCountdown(const QString& statePath, QObject* parent)
    : QObject(parent), m_file(std::make_unique<platform::CountdownFile>(statePath))
{
    connect(m_file.get(), &platform::CountdownFile::failed, this, [](const QString& message) {
        std::fprintf(stderr, "lurnd: cannot keep the running countdown: %s\n", qPrintable(message));
    });
    // The window's texts are the numbers themselves here; the password is
    // the service's own and is never kept with the countdown.
    m_keeper = new CountdownKeeper(
        m_countdown, *m_file,
        [this] {
            const CountdownState& s = m_countdown.state();
            KeptWindowTexts texts;
            texts.hoursText = numberText(s.LimitHours);
            texts.minutesText = numberText(s.LimitMinutes);
            texts.secondsText = numberText(s.LimitSeconds);
            texts.warnText = numberText(s.WarnMinutes);
            texts.rate1Text = numberText(s.Rate1);
            texts.rate2Text = numberText(s.Rate2);
            for (const QString& name : m_names)
                texts.names.push_back(name.toStdString());
            return texts;
        },
        this);
    connect(&m_countdown, &Countdown::changed, m_keeper, &CountdownKeeper::onCountdownEvent);
    connect(&m_countdown, &Countdown::changed, this, &StationCountdown::onEvent);
    connect(&m_countdown.timer(), &CountdownTimer::timeout, this, &StationCountdown::onTick);
}

StationCountdown::~StationCountdown() = default;

void StationCountdown::takeUpKept()
{
    QString readError;
    const std::optional<std::string> text = m_file->read(readError);
    if (!text) {
        if (!readError.isEmpty())
            std::fprintf(stderr, "lurnd: the kept countdown cannot be read: %s\n",
                         qPrintable(readError));
        return;
    }
    std::string why;
    const std::optional<SavedCountdown> saved = parseSavedCountdown(*text, why);
    if (!saved) {
        const QString aside = m_file->setAside();
        std::fprintf(stderr, "lurnd: the kept countdown is not taken up: %s (moved to %s)\n",
                     why.c_str(), qPrintable(aside));
        return;
    }
    platform::Clock& clock = *platform::services().clock;
    const ClockReading now{clock.bootId(), std::llround(clock.now() * kMillisecondsPerDay),
                           clock.utcMs()};
    const ResumePlan plan = planResume(*saved, now);
    switch (plan.verdict) {
    case ResumeVerdict::Resume:
        break;
    case ResumeVerdict::ResumeOffTimeUnknown:
    case ResumeVerdict::EndedClockAhead:
        std::fprintf(stderr, "lurnd: %s\n", plan.why.c_str());
        break;
    case ResumeVerdict::Stale:
        std::fprintf(stderr, "lurnd: the kept countdown is not taken up: %s\n", plan.why.c_str());
        m_file->remove();
        return;
    case ResumeVerdict::FromTheFuture:
        std::fprintf(stderr, "lurnd: the kept countdown is not taken up: %s (moved to %s)\n",
                     plan.why.c_str(), qPrintable(m_file->setAside()));
        return;
    }

    const SavedCountdown& s = *saved;
    m_names.clear();
    for (const std::string& name : s.names)
        m_names.append(QString::fromStdString(name));
    const Countdown::TakenUp taken = takenUpFrom(s, plan.elapsedMs);
    m_keeper->tookUp(s.orders);
    std::fprintf(stderr, "lurnd: taking up countdown %s after %lld ms%s%s\n", s.id.c_str(),
                 static_cast<long long>(plan.elapsedMs), s.running ? "" : " (ended)",
                 s.locked ? ", locked" : "");
    m_countdown.takeUp(taken);
    if (s.running) {
        // A tick at once, so that an end that passed meanwhile happens now.
        QTimer::singleShot(0, this, [this] {
            if (m_countdown.isRunning())
                onTick();
        });
    } else {
        // Kept again, on this boot's clock.
        m_keeper->changed();
        m_finalElapsedMs = std::int64_t(m_countdown.plannedSeconds()) * 1000;
    }
    emit stateChanged();
}

void StationCountdown::start(const Numbers& numbers, const QStringList& names)
{
    m_names = names;
    m_finalElapsedMs = 0;
    m_countdown.replaceNumbers(numbers.hours, numbers.minutes, numbers.seconds,
                               numbers.warnMinutes);
    m_countdown.setNumber(&CountdownState::Rate1, numbers.rate1);
    m_countdown.setNumber(&CountdownState::Rate2, numbers.rate2);
    m_countdown.setSecondRate(numbers.secondRate);
    m_countdown.start(numbers.warnMinutes > 0);
    m_countdown.setLocked(true);
}

void StationCountdown::stop()
{
    if (m_countdown.isRunning()) {
        m_finalElapsedMs = std::min<std::int64_t>(
            m_countdown.elapsedMs(), std::int64_t(m_countdown.plannedSeconds()) * 1000);
        m_countdown.stop();
    }
    if (m_countdown.isLocked())
        m_countdown.setLocked(false);
}

void StationCountdown::unlock()
{
    if (m_countdown.isLocked())
        m_countdown.setLocked(false);
}

void StationCountdown::onEvent(CountdownEvent event)
{
    if (event == CountdownEvent::Ended)
        m_finalElapsedMs = std::int64_t(m_countdown.plannedSeconds()) * 1000;
    // A tick changes only the time, which every reader computes from the
    // elapsed time; telling the faces once a second would wake them for nothing.
    if (event != CountdownEvent::Priced)
        emit stateChanged();
}

void StationCountdown::onTick()
{
    const CountdownTick tick = m_countdown.tick();
    if (tick.ended)
        emit closeNow(m_names);
    if (tick.warningDue)
        emit warnNow();
}

QVariantMap StationCountdown::state() const
{
    const std::int64_t plannedMs = std::int64_t(m_countdown.plannedSeconds()) * 1000;
    const std::int64_t elapsedMs =
        m_countdown.isRunning() ? std::clamp<std::int64_t>(m_countdown.elapsedMs(), 0, plannedMs)
                                : m_finalElapsedMs;
    // Whole seconds left, rounded up: a countdown with 0.4 s to go has not ended.
    const std::int64_t remainingS = (plannedMs - elapsedMs + 999) / 1000;
    QVariantMap state;
    state.insert(QStringLiteral("running"), m_countdown.isRunning());
    state.insert(QStringLiteral("locked"), m_countdown.isLocked());
    state.insert(QStringLiteral("planned_seconds"), uint(m_countdown.plannedSeconds()));
    state.insert(QStringLiteral("elapsed_ms"), qint64(elapsedMs));
    state.insert(QStringLiteral("remaining_seconds"), uint(remainingS));
    state.insert(QStringLiteral("rate_per_hour"), int(m_countdown.rate()));
    state.insert(QStringLiteral("cost"), qint64(m_countdown.cost().value_or(0)));
    state.insert(QStringLiteral("warn_minutes"), uint(m_countdown.state().WarnMinutes));
    state.insert(QStringLiteral("session_id"), m_countdown.id());
    state.insert(QStringLiteral("names"), m_names);
    return state;
}
