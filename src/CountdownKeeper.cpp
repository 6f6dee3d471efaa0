#include "CountdownKeeper.h"

#include "CountdownTimer.h"
#include "platform/AppShell.h"
#include "platform/Clock.h"
#include "platform/CountdownFile.h"
#include "platform/Platform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <cmath>

namespace {

std::int64_t milliseconds(DayFraction days)
{
    return std::llround(days * kMillisecondsPerDay);
}

std::string text(const QString& s)
{
    return s.toStdString();
}

} // namespace

CountdownKeeper::CountdownKeeper(TfmFer& window, platform::CountdownFile& file)
    : QObject(&window), m_window(window), m_file(file)
{
}

void CountdownKeeper::onCountdownEvent(CountdownEvent event)
{
    switch (event) {
    case CountdownEvent::Started:
        m_startUtcMs = platform::services().clock->utcMs();
        break;
    case CountdownEvent::LockShown:
        m_locked = true;
        break;
    case CountdownEvent::LockOpened:
        m_locked = false;
        break;
    case CountdownEvent::Priced:
        // A tick changes nothing kept but the time; the file is only brought
        // up to date now and then.
        if (!m_kept || milliseconds(platform::services().clock->now()) - m_keptBootMs < kRefreshMs)
            return;
        break;
    case CountdownEvent::Resumed:
    case CountdownEvent::Continued:
    case CountdownEvent::NumbersChanged:
    case CountdownEvent::WarningShown:
    case CountdownEvent::Ended:
    case CountdownEvent::Stopped:
        break;
    }
    keep();
}

void CountdownKeeper::takeUp(const SavedCountdown& saved)
{
    m_startUtcMs = saved.startUtcMs;
    m_locked = saved.locked;
    m_kept = true;
}

void CountdownKeeper::changed()
{
    if (m_kept)
        keep();
}

void CountdownKeeper::abandon()
{
    m_locked = false;
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
    const TfmFer& w = m_window;
    SavedCountdown state;
    state.id = text(w.countdownId());
    state.running = w.Timer1->isActive();
    state.locked = m_locked;
    state.bootId = s.clock->bootId();
    state.startBootMs = milliseconds(countdownState.CountdownStart);
    state.startUtcMs = m_startUtcMs;
    state.seenBootMs = milliseconds(s.clock->now());
    state.seenUtcMs = s.clock->utcMs();
    state.hours = countdownState.LimitHours;
    state.minutes = countdownState.LimitMinutes;
    state.seconds = countdownState.LimitSeconds;
    state.warnMinutes = countdownState.WarnMinutes;
    state.rate1 = countdownState.Rate1;
    state.rate2 = countdownState.Rate2;
    state.warningPending = countdownState.WarningPending;
    state.secondRate = w.rbTarifa2->isChecked();
    state.showTime = w.cbVerTiempo->isChecked();
    state.hoursText = text(w.edHoras->text());
    state.minutesText = text(w.edMinutos->text());
    state.secondsText = text(w.edSegundos->text());
    state.warnText = text(w.edMinutosAntes->text());
    state.rate1Text = text(w.edTarifa1->text());
    state.rate2Text = text(w.edTarifa2->text());
    state.costText = text(w.lblGasto->text());
    state.title = text(s.app->title());
    state.password = text(w.edClave->text());
    for (int i = 0; i < w.ListBox1->count(); ++i)
        state.names.push_back(text(w.ListBox1->item(i)->text()));
    return state;
}
