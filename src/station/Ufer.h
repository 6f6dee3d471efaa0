#pragma once

#include "countdown/Countdown.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

class FieldExitWatcher;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class CountdownTimer;
class ClosingWorker;
class CountdownKeeper;
class KeptOrders;
namespace platform {
class CountdownFile;
class SettingsStore;
} // namespace platform

// Beep, then the information box with the text; returns when it is closed.
void ShowFieldError(const QString& text);

// The operator's window: the list of programs to end, the countdown, the
// warning lead, the rates and the password.
class TfmFer final : public QWidget
{
    Q_OBJECT
public:
    // Builds the window and runs FormCreate (loads the settings).
    TfmFer();
    // Runs FormDestroy (saves the settings).
    ~TfmFer() override;

    // Controls, in tab order.
    QListWidget* ListBox1;
    QLineEdit* nouNom;
    QPushButton* bbAnadir;
    QPushButton* bbEliminar;
    QLineEdit* edHoras;
    QLineEdit* edMinutos;
    QLineEdit* edSegundos;
    QPushButton* bbIniciar;
    QPushButton* bbParar;
    QLineEdit* edMinutosAntes;
    QCheckBox* cbVerTiempo;
    QFrame* Panel1;
    QRadioButton* rbTarifa1;
    QLineEdit* edTarifa1;
    QLineEdit* edTarifa2;
    QRadioButton* rbTarifa2;
    QLineEdit* edClave;
    QLineEdit* edRepetirClave;
    QPushButton* bbContinuar;
    QLabel* lblGasto;
    CountdownTimer* Timer1;
    // Opens the session records (also Ctrl+R); outside the tab order.
    QPushButton* reportButton;

    // Event handlers.
    void FormCreate();
    void FormDestroy();
    void bbAnadirClick();
    void bbEliminarClick();
    void bbIniciarClick();
    void bbContinuarClick();
    void bbPararClick();
    void Timer1Timer();
    void edHorasExit();
    void edMinutosExit();
    void edSegundosExit();
    void edMinutosAntesExit();
    void edTarifa1Exit();
    void edTarifa2Exit();

    // One closing pass over the listed programs.
    void AcavaConnexio();
    // Beep and the modal notice quoting the warning field.
    void ShowWarningNotice();

    void Read_Registry();
    void write_Registry();
    // Saves now, showing a failure in the error box: for the end of a session,
    // when the window will not be destroyed.
    void saveSettingsNow();

    // True while the lock dialog stands between the customer and this window.
    bool isLocked() const;

    // Takes up the countdown that was running when the program last ended
    // (killed, crashed, ended with the session), as it was: counting from its
    // own start, so the time the program was not running counts. Call once at
    // start, before the event loop runs and before this window is shown.
    // Returns true when the lock comes up again (at the event loop's first
    // turn): the window is then shown only once the lock is opened.
    bool resumeCountdown();
    // Waits until the running countdown's state is on disk, at most timeoutMs.
    bool waitUntilCountdownKept(int timeoutMs);
    // Where the counter's orders that changed the countdown are kept with it.
    KeptOrders& keptOrders() const;

    // Where the closing passes run.
    ClosingWorker* closingWorker() const { return m_closing.get(); }

    // The countdown this window shows and its handlers drive.
    Countdown& countdown() const { return *m_countdown; }

    // The customer is shown a message from the counter: the notice with the
    // text, and its beep.
    void showCounterMessage(const QString& text);

signals:
    // The window has agreed to close: the program ends.
    void closed();
    // The operator asks for the session records (the button or Ctrl+R) while
    // the window is unlocked.
    void reportRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void checkField(int index);
    void checkAllFields();
    void checkPasswords();
    void setRunningButtons();
    void setIdleButtons();
    void lock();
    void onCountdownChanged(CountdownEvent event);
    void showNumbers();
    void keepCountdown();
    void lockAgain();
    // why goes to stderr; toldOperator, when not empty, to the operator too.
    void dropSavedCountdown(const std::string& why, const QString& toldOperator);
    // The cost as the countdown gives it, written the way the chosen
    // language writes numbers.
    static QString costShown(const std::string& costText);

    Countdown* m_countdown;
    std::unique_ptr<platform::SettingsStore> m_store;
    std::unique_ptr<ClosingWorker> m_closing;
    std::unique_ptr<platform::CountdownFile> m_countdownFile;
    CountdownKeeper* m_keeper = nullptr;
    FieldExitWatcher* m_fieldExit = nullptr;
};

extern TfmFer* fmFer;
