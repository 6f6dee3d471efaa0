// The running countdown kept beyond the program: its state is written
// whenever it changes, and the next start takes it up again.
#include "countdown/Countdown.h"
#include "countdown/CountdownKeeper.h"
#include "countdown/CountdownTimer.h"
#include "platform/AppShell.h"
#include "platform/Clock.h"
#include "platform/CountdownFile.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "rules/SavedCountdown.h"
#include "station/EventGuard.h"
#include "station/Ufer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

QString qtext(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string durationText(std::int64_t ms)
{
    const std::int64_t s = ms / 1000;
    return std::to_string(s / 3600) + ":" + std::to_string(s / 60 % 60) + ":" +
           std::to_string(s % 60);
}

} // namespace

void TfmFer::keepCountdown()
{
    m_countdownFile = std::make_unique<platform::CountdownFile>(platform::countdownFilePath());
    connect(m_countdownFile.get(), &platform::CountdownFile::failed, this,
            [](const QString& message) {
                std::fprintf(stderr, "lurn: cannot keep the running countdown: %s\n",
                             qPrintable(message));
            });
    m_keeper = new CountdownKeeper(*m_countdown, *m_countdownFile, [this] {
        KeptWindowTexts texts;
        texts.hoursText = edHoras->text().toStdString();
        texts.minutesText = edMinutos->text().toStdString();
        texts.secondsText = edSegundos->text().toStdString();
        texts.warnText = edMinutosAntes->text().toStdString();
        texts.rate1Text = edTarifa1->text().toStdString();
        texts.rate2Text = edTarifa2->text().toStdString();
        texts.password = edClave->text().toStdString();
        for (int i = 0; i < ListBox1->count(); ++i)
            texts.names.push_back(ListBox1->item(i)->text().toStdString());
        texts.showTime = cbVerTiempo->isChecked();
        return texts;
    });
    connect(m_countdown, &Countdown::changed, m_keeper, &CountdownKeeper::onCountdownEvent);
    // What is kept but has no event of its own.
    const auto changed = [this] { m_keeper->changed(); };
    connect(cbVerTiempo, &QCheckBox::toggled, m_keeper, changed);
    connect(edClave, &QLineEdit::textChanged, m_keeper, changed);
    const QAbstractItemModel* names = ListBox1->model();
    connect(names, &QAbstractItemModel::rowsInserted, m_keeper, changed);
    connect(names, &QAbstractItemModel::rowsRemoved, m_keeper, changed);
    connect(names, &QAbstractItemModel::modelReset, m_keeper, changed);
}

bool TfmFer::waitUntilCountdownKept(int timeoutMs)
{
    return m_countdownFile->waitUntilWritten(timeoutMs);
}

KeptOrders& TfmFer::keptOrders() const
{
    return *m_keeper;
}

bool TfmFer::resumeCountdown()
{
    QString readError;
    const std::optional<std::string> text = m_countdownFile->read(readError);
    if (!text) {
        if (!readError.isEmpty())
            dropSavedCountdown("it cannot be read (" + readError.toStdString() + ")",
                               tr("no se puede leer su archivo"));
        return false;
    }
    std::string why;
    const std::optional<SavedCountdown> saved = parseSavedCountdown(*text, why);
    if (!saved) {
        dropSavedCountdown(why, text->empty() ? tr("su archivo está vacío")
                                              : tr("su archivo está incompleto o "
                                                   "dañado"));
        return false;
    }
    platform::Clock& clock = *platform::services().clock;
    const ClockReading now{clock.bootId(), std::llround(clock.now() * kMillisecondsPerDay),
                           clock.utcMs()};
    const ResumePlan plan = planResume(*saved, now);
    QString offTimeNotice;
    switch (plan.verdict) {
    case ResumeVerdict::Resume:
        break;
    case ResumeVerdict::ResumeOffTimeUnknown:
        std::fprintf(stderr, "lurn: %s\n", plan.why.c_str());
        offTimeNotice =
            tr("La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va "
               "por detrás de la última vez que se guardó (¿pila agotada o corte de luz?): el "
               "tiempo que el equipo estuvo apagado no se ha podido medir y no se ha contado. "
               "Compruebe la hora del equipo.");
        break;
    case ResumeVerdict::EndedClockAhead:
        std::fprintf(stderr, "lurn: %s\n", plan.why.c_str());
        offTimeNotice =
            tr("La cuenta atrás que estaba en marcha se ha recuperado, pero el reloj del equipo va "
               "más de un día por delante de la última vez que se guardó (¿hora mal puesta o un "
               "corte de luz muy largo?): la cuenta atrás se ha dado por terminada y se cobra su "
               "duración completa. Compruebe la hora del equipo.");
        break;
    case ResumeVerdict::Stale:
        dropSavedCountdown(plan.why, QString());
        return false;
    case ResumeVerdict::FromTheFuture:
        dropSavedCountdown(plan.why, tr("su archivo lleva una hora posterior a la "
                                        "actual (¿se ha cambiado la hora del "
                                        "equipo?)"));
        return false;
    }

    // The window as it was.
    const SavedCountdown& s = *saved;
    ListBox1->clear();
    for (const std::string& name : s.names)
        ListBox1->addItem(qtext(name));
    edHoras->setText(qtext(s.hoursText));
    edMinutos->setText(qtext(s.minutesText));
    edSegundos->setText(qtext(s.secondsText));
    edMinutosAntes->setText(qtext(s.warnText));
    edTarifa1->setText(qtext(s.rate1Text));
    edTarifa2->setText(qtext(s.rate2Text));
    edClave->setText(qtext(s.password));
    edRepetirClave->setText(edClave->text());
    (s.secondRate ? rbTarifa2 : rbTarifa1)->setChecked(true);
    cbVerTiempo->setChecked(s.showTime);
    lblGasto->setText(costShown(s.costText));
    lblGasto->adjustSize();
    if (!s.title.empty())
        platform::services().app->setTitle(qtext(s.title));

    // The countdown, counting from its own start.
    const Countdown::TakenUp taken = takenUpFrom(s, plan.elapsedMs);
    m_keeper->tookUp(s.orders);
    std::fprintf(stderr, "lurn: taking up countdown %s after %s%s%s\n", s.id.c_str(),
                 durationText(plan.elapsedMs).c_str(), s.running ? "" : " (ended)",
                 s.locked ? ", locked" : "");
    m_countdown->takeUp(taken);
    if (!s.running) {
        setIdleButtons();
        // Kept again, on this boot's clock.
        m_keeper->changed();
    }
    // At the event loop's first turn: the lock first, then a tick at once
    // (inside the lock's loop), so that an end that passed meanwhile happens
    // now and the title shows the time left.
    if (s.locked)
        QTimer::singleShot(0, this, [this] { lockAgain(); });
    if (s.running)
        QTimer::singleShot(0, this, [this] {
            if (Timer1->isActive())
                guarded([this] { Timer1Timer(); });
        });
    if (!offTimeNotice.isEmpty())
        QTimer::singleShot(0, this, [offTimeNotice] {
            platform::services().messages->showNotice(QStringLiteral("Lurn"), offTimeNotice);
        });
    return s.locked;
}

void TfmFer::lockAgain()
{
    guarded([this] {
        lock();
        // The window was not shown at start: the lock stood in its place.
        if (!isVisible()) {
            show();
            raise();
            activateWindow();
        }
    });
}

void TfmFer::dropSavedCountdown(const std::string& why, const QString& toldOperator)
{
    const QString path = m_countdownFile->path();
    std::fprintf(stderr, "lurn: the countdown kept in %s is not taken up: %s\n", qPrintable(path),
                 why.c_str());
    if (toldOperator.isEmpty()) {
        m_countdownFile->remove();
        return;
    }
    const QString aside = m_countdownFile->setAside();
    if (!aside.isEmpty())
        std::fprintf(stderr, "lurn: it was moved to %s\n", qPrintable(aside));
    const QString notice =
        tr("La cuenta atrás que estaba en marcha no se ha podido recuperar: %1.")
            .arg(toldOperator) +
        (aside.isEmpty() ? QString() : tr(" El archivo se ha guardado aparte en «%1».").arg(aside));
    QTimer::singleShot(0, this, [notice] {
        platform::services().messages->showNotice(QStringLiteral("Lurn"), notice);
    });
}
