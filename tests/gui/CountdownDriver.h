#pragma once

#include "LurnFixture.h"
#include "countdown/CountdownTimer.h"
#include "station/EventGuard.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

// Answers the message boxes and the warning notice as they come up, for as
// long as it lives, and remembers what they said.
class ModalAnswerer final : public QObject
{
public:
    ModalAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                boxes << box->text();
                box->buttons().constFirst()->click();
            } else if (modal == fmAviso && fmAviso->isVisible()) {
                notices << fmAviso->lblQuedan->text();
                if (onNotice)
                    onNotice();
                QTest::mouseClick(fmAviso->BitBtn1, Qt::LeftButton);
            }
        });
        m_poll.start(10);
    }

    QStringList boxes;
    QStringList notices;
    std::function<void()> onNotice; // runs while the notice is up

private:
    QTimer m_poll;
};

// Drives countdowns the way the operator and the customer would, with the
// fake clock: ticks are fired by hand and the clock is stepped, never slept.
struct CountdownDriver
{
    LurnFixture& fx;
    DayFraction start = 0;
    bool lockShown = false;

    void setFields(const QString& h, const QString& m, const QString& s, const QString& warn)
    {
        fmFer->edHoras->setText(h);
        fmFer->edMinutos->setText(m);
        fmFer->edSegundos->setText(s);
        fmFer->edMinutosAntes->setText(warn);
    }

    // One tick of the timer at the clock's current reading.
    void tick()
    {
        guarded([] { fmFer->Timer1Timer(); });
    }

    // Steps the clock to start + ms and ticks.
    void tickAt(double ms)
    {
        fx.clock.set(start + ms / kMillisecondsPerDay);
        tick();
    }

    static void unlock()
    {
        fmDemanaClau->Edit1->setText(fmFer->edClave->text());
        QTest::mouseClick(fmDemanaClau->BitBtn1, Qt::LeftButton);
    }

    // Presses the button. If the lock comes up, whileLocked runs inside its
    // modal loop and then the lock is opened with the password (unless
    // unlockAfter is false: whileLocked then sees to it). Returns when the
    // command has returned.
    void press(QPushButton* button, const std::function<void()>& whileLocked = {},
               bool unlockAfter = true)
    {
        lockShown = false;
        QTimer poll;
        QDeadlineTimer focused(QDeadlineTimer::Forever);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() != fmDemanaClau || !fmDemanaClau->isVisible())
                return;
            // Like a person, wait until the lock has the keyboard: a lock
            // opened again before the window manager has even focused it
            // would leave the window manager's focus changes still to come
            // once the main window is back.
            if (focused.isForever())
                focused.setRemainingTime(3000);
            if (!fmDemanaClau->isActiveWindow() && !focused.hasExpired())
                return;
            poll.stop();
            lockShown = true;
            if (whileLocked)
                whileLocked();
            if (unlockAfter && fmDemanaClau->isVisible())
                unlock();
        });
        poll.start(10);
        if (button == fmFer->bbIniciar)
            start = fx.clock.now();
        QTest::mouseClick(button, Qt::LeftButton);
        // The main window comes back active, ready for the operator.
        if (lockShown)
            QVERIFY(QTest::qWaitForWindowActive(fmFer));
    }
};
