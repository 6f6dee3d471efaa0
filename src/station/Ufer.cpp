#include "station/Ufer.h"

#include "countdown/CountdownKeeper.h"
#include "countdown/CountdownTimer.h"
#include "platform/AppShell.h"
#include "platform/Beep.h"
#include "platform/Clock.h"
#include "platform/CountdownFile.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "rules/IntegerText.h"
#include "rules/KeyScramble.h"
#include "settings/SettingsIO.h"
#include "station/AccessibleRoles.h"
#include "station/ClosingWorker.h"
#include "station/EventGuard.h"
#include "station/FieldExit.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

#include <cstdio>

TfmFer* fmFer = nullptr;

namespace {

// The six numeric fields: what each accepts and where it goes.
struct NumericField
{
    QLineEdit* TfmFer::*edit;
    std::int32_t min;
    std::int32_t max;
    std::int32_t CountdownState::*member;
};

constexpr NumericField kNumericFields[] = {
    {&TfmFer::edHoras, 0, 23, &CountdownState::LimitHours},
    {&TfmFer::edMinutos, 0, 59, &CountdownState::LimitMinutes},
    {&TfmFer::edSegundos, 0, 59, &CountdownState::LimitSeconds},
    {&TfmFer::edMinutosAntes, 0, 59, &CountdownState::WarnMinutes},
    {&TfmFer::edTarifa1, 1, 100000, &CountdownState::Rate1},
    {&TfmFer::edTarifa2, 1, 100000, &CountdownState::Rate2},
};

void refocus(QLineEdit* field)
{
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

} // namespace

void ShowFieldError(const QString& text)
{
    platform::services().beep->beep();
    platform::services().messages->showInformation(text);
}

TfmFer::TfmFer() : m_countdown(new Countdown(this))
{
    if (platform::TopLevelWindows* windows = platform::services().windows) {
        m_closing = std::make_unique<ClosingWorker>(*windows);
        connect(m_closing.get(), &ClosingWorker::failed, this, [](const QString& message) {
            std::fprintf(stderr, "lurn: cannot close the listed programs: %s\n",
                         qPrintable(message));
        });
    }
    installAccessibleRoles();
    buildControls();
    connectHandlers();
    keepCountdown();
    platform::services().app->prepareWindow(this);
    guarded([this] { FormCreate(); });
}

TfmFer::~TfmFer()
{
    guarded([this] { FormDestroy(); });
    // Requests already decided on still go out.
    m_closing.reset();
    // Before the controls go: emptying them as they are destroyed is no
    // change to keep. What was asked to be written still is.
    delete m_keeper;
    m_keeper = nullptr;
    m_countdownFile.reset();
}

void TfmFer::connectHandlers()
{
    connectHandler(bbAnadir, &QPushButton::clicked, this, &TfmFer::bbAnadirClick);
    connectHandler(bbEliminar, &QPushButton::clicked, this, &TfmFer::bbEliminarClick);
    connectHandler(bbIniciar, &QPushButton::clicked, this, &TfmFer::bbIniciarClick);
    connectHandler(bbContinuar, &QPushButton::clicked, this, &TfmFer::bbContinuarClick);
    connectHandler(bbParar, &QPushButton::clicked, this, &TfmFer::bbPararClick);
    // Queued: Qt never lets a timer fire again while its own handler runs,
    // and the tick runs modal windows in whose loops further ticks must come.
    connect(
        Timer1, &CountdownTimer::timeout, this,
        [this] {
            // A tick queued before the timer was stopped is void.
            if (Timer1->isActive())
                guarded([this] { Timer1Timer(); });
        },
        Qt::QueuedConnection);

    connect(m_countdown, &Countdown::changed, this, &TfmFer::onCountdownChanged);
    connect(m_countdown, &Countdown::numbersReplaced, this, &TfmFer::showNumbers);
    // Asked for outside any handler (a start from the counter): the lock
    // comes up at the event loop's next turn, not inside the caller.
    connect(m_countdown, &Countdown::lockWanted, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (!isLocked())
                lockAgain();
        });
    });
    connect(rbTarifa2, &QRadioButton::toggled, m_countdown, &Countdown::setSecondRate);
    connect(edClave, &QLineEdit::textChanged, m_countdown, [this](const QString& password) {
        m_countdown->setHasPassword(!password.isEmpty() && KeyRoundTrips(password.toStdString()));
    });

    const auto askForReport = [this] {
        if (!isLocked())
            emit reportRequested();
    };
    connect(reportButton, &QPushButton::clicked, this, askForReport);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this), &QShortcut::activated, this,
            askForReport);

    m_fieldExit = new FieldExitWatcher(this);
    void (TfmFer::*exits[])() = {&TfmFer::edHorasExit,    &TfmFer::edMinutosExit,
                                 &TfmFer::edSegundosExit, &TfmFer::edMinutosAntesExit,
                                 &TfmFer::edTarifa1Exit,  &TfmFer::edTarifa2Exit};
    for (std::size_t i = 0; i < std::size(kNumericFields); ++i)
        m_fieldExit->watch(this->*kNumericFields[i].edit,
                           [this, exit = exits[i]] { (this->*exit)(); });
}

void TfmFer::FormCreate()
{
    Timer1->stop();
    m_store = std::make_unique<platform::SettingsStore>(QStringLiteral("Lurn"));
    Read_Registry();
    bbParar->setEnabled(false);
    bbContinuar->hide();
}

void TfmFer::FormDestroy()
{
    if (!m_store)
        return;
    write_Registry();
    m_store->close();
    m_store.reset();
}

// --- the list ----------------------------------------------------------------

void TfmFer::bbAnadirClick()
{
    ListBox1->addItem(nouNom->text());
}

void TfmFer::bbEliminarClick()
{
    const int row = ListBox1->currentRow();
    if (row >= 0 && ListBox1->currentItem()->isSelected())
        delete ListBox1->takeItem(row);
}

// --- the numeric fields ------------------------------------------------------

void TfmFer::checkField(int index)
{
    const NumericField& field = kNumericFields[index];
    QLineEdit* edit = this->*field.edit;
    FieldExitWatcher::Quiet quiet(*m_fieldExit);
    if (edit->text().isEmpty())
        edit->setText(QStringLiteral("0"));
    const FieldCheck check = ::checkField(edit->text().toStdString(), field.min, field.max);
    switch (check.verdict) {
    case FieldVerdict::InvalidNumber:
        ShowFieldError(tr("Número inválido"));
        refocus(edit);
        Abort();
    case FieldVerdict::OutOfRange:
        ShowFieldError(tr("Fuera de rango"));
        refocus(edit);
        Abort();
    case FieldVerdict::Accepted:
        m_countdown->setNumber(field.member, check.value);
        break;
    }
}

void TfmFer::edHorasExit()
{
    checkField(0);
}
void TfmFer::edMinutosExit()
{
    checkField(1);
}
void TfmFer::edSegundosExit()
{
    checkField(2);
}
void TfmFer::edMinutosAntesExit()
{
    checkField(3);
}
void TfmFer::edTarifa1Exit()
{
    checkField(4);
}
void TfmFer::edTarifa2Exit()
{
    checkField(5);
}

void TfmFer::checkAllFields()
{
    edHorasExit();
    edMinutosExit();
    edSegundosExit();
    edMinutosAntesExit();
    edTarifa1Exit();
    edTarifa2Exit();
}

// A lock the operator could not open again must never close.
void TfmFer::checkPasswords()
{
    FieldExitWatcher::Quiet quiet(*m_fieldExit);
    if (edRepetirClave->text() != edClave->text()) {
        ShowFieldError(tr("Las claves no coinciden"));
        refocus(edRepetirClave);
        Abort();
    }
    if (!KeyRoundTrips(edClave->text().toStdString())) {
        ShowFieldError(tr("Clave no admitida"));
        refocus(edClave);
        Abort();
    }
}

// --- the countdown -----------------------------------------------------------

void TfmFer::setRunningButtons()
{
    bbIniciar->setEnabled(false);
    bbContinuar->show();
    bbParar->setEnabled(true);
}

void TfmFer::setIdleButtons()
{
    bbIniciar->setEnabled(true);
    bbContinuar->hide();
    bbParar->setEnabled(false);
}

void TfmFer::lock()
{
    platform::AppShell& app = *platform::services().app;
    app.minimise();
    m_countdown->setLocked(true);
    app.runModal(fmDemanaClau);
    m_countdown->setLocked(false);
    app.restore();
}

void TfmFer::bbIniciarClick()
{
    checkAllFields();
    checkPasswords();
    m_countdown->start(edMinutosAntes->text() != QLatin1String("0"));
    lock();
}

void TfmFer::bbContinuarClick()
{
    checkAllFields();
    checkPasswords();
    setRunningButtons();
    m_countdown->continueRunning();
    lock();
}

void TfmFer::bbPararClick()
{
    m_countdown->stop();
}

QString TfmFer::costShown(const std::string& costText)
{
    const QString text = QString::fromStdString(costText);
    bool whole = false;
    const qlonglong value = text.toLongLong(&whole);
    return whole ? QLocale().toString(value) : text;
}

void TfmFer::Timer1Timer()
{
    platform::Services& s = platform::services();
    const CountdownTick tick = m_countdown->tick();
    lblGasto->setText(costShown(tick.costText));
    lblGasto->adjustSize();

    if (tick.ended) {
        AcavaConnexio();
        AcavaConnexio();
        setIdleButtons();
    }

    if (tick.warningDue) {
        ShowWarningNotice();
        s.app->minimise();
    }

    if (cbVerTiempo->isChecked()) {
        s.app->setTitle(QString::fromStdString(tick.remainingText));
        s.app->processPendingEvents();
    }
}

// Whoever drove the countdown (a button, the counter, a countdown taken up),
// the buttons and the fields show it.
void TfmFer::onCountdownChanged(CountdownEvent event)
{
    switch (event) {
    case CountdownEvent::Started:
    case CountdownEvent::Resumed:
        setRunningButtons();
        break;
    case CountdownEvent::Stopped:
    case CountdownEvent::Ended:
        setIdleButtons();
        break;
    case CountdownEvent::RateChosen:
        if (rbTarifa2->isChecked() != m_countdown->secondRate())
            (m_countdown->secondRate() ? rbTarifa2 : rbTarifa1)->setChecked(true);
        break;
    default:
        break;
    }
}

void TfmFer::showNumbers()
{
    const CountdownState& state = m_countdown->state();
    edHoras->setText(QString::number(state.LimitHours));
    edMinutos->setText(QString::number(state.LimitMinutes));
    edSegundos->setText(QString::number(state.LimitSeconds));
    edMinutosAntes->setText(QString::number(state.WarnMinutes));
}

void TfmFer::showCounterMessage(const QString& text)
{
    platform::services().beep->beep();
    fmAviso->showMessage(text);
    platform::services().app->runModal(fmAviso);
    fmAviso->showMessage(QString());
}

// --- closing the listed programs ---------------------------------------------

void TfmFer::AcavaConnexio()
{
    std::vector<std::string> names;
    names.reserve(std::size_t(ListBox1->count()));
    for (int i = 0; i < ListBox1->count(); ++i)
        names.push_back(ListBox1->item(i)->text().toStdString());
    if (m_closing && !names.empty())
        m_closing->submit(std::move(names));
}

void TfmFer::ShowWarningNotice()
{
    platform::services().beep->beep();
    fmAviso->lblQuedan->setText(tr("Queda/n %1 minutos").arg(edMinutosAntes->text()));
    fmAviso->lblQuedan->adjustSize();
    platform::services().app->runModal(fmAviso);
}

// --- settings ----------------------------------------------------------------

void TfmFer::Read_Registry()
{
    QStringList errors;
    const StoredSettings stored = loadSettings(*m_store, errors);
    ListBox1->clear();
    ListBox1->addItems(stored.names);
    edTarifa1->setText(stored.rate1);
    edTarifa2->setText(stored.rate2);
    edClave->setText(stored.password);
    edRepetirClave->setText(edClave->text());
    // A bad entry costs only itself: the others are loaded all the same.
    for (const QString& error : errors)
        showUncaughtError(error);
}

void TfmFer::write_Registry()
{
    StoredSettings current;
    for (int i = 0; i < ListBox1->count(); ++i)
        current.names << ListBox1->item(i)->text();
    current.rate1 = edTarifa1->text();
    current.rate2 = edTarifa2->text();
    current.password = edClave->text();
    saveSettings(*m_store, current);
}

void TfmFer::saveSettingsNow()
{
    if (m_store)
        guarded([this] { write_Registry(); });
}

// --- closing -----------------------------------------------------------------

bool TfmFer::isLocked() const
{
    return fmDemanaClau && fmDemanaClau->isVisible();
}

void TfmFer::closeEvent(QCloseEvent* event)
{
    // While the lock is up only the password opens the way out.
    if (isLocked() || QApplication::activeModalWidget()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closed by the operator: a countdown still running is given up, and
    // the next start does not take it up.
    m_keeper->abandon();
    emit closed();
}
