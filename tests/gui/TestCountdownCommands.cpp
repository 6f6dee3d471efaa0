// Starting, continuing and stopping a countdown, and what each tick does.
#include "CountdownDriver.h"
#include "closing/ClosingClient.h"
#include "platform/AppShell.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QListWidget>
#include <QRadioButton>

namespace {

platform::AppShell& app()
{
    return *platform::services().app;
}

bool runningButtons()
{
    return !fmFer->bbIniciar->isEnabled() && !fmFer->bbContinuar->isHidden() &&
           fmFer->bbParar->isEnabled();
}

bool idleButtons()
{
    return fmFer->bbIniciar->isEnabled() && fmFer->bbContinuar->isHidden() &&
           !fmFer->bbParar->isEnabled();
}

} // namespace

class TestCountdownCommands final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<CountdownDriver> d;
    std::unique_ptr<ModalAnswerer> answers;

    void setPassword(const QString& password, const QString& repeated)
    {
        fmFer->edClave->setText(password);
        fmFer->edRepetirClave->setText(repeated);
    }

    // The operator puts new text in a field and tabs out of it.
    static void retypeAndTabOut(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!edit->hasFocus());
    }

private slots:
    void init()
    {
        fx = std::make_unique<LurnFixture>();
        d = std::make_unique<CountdownDriver>(CountdownDriver{*fx});
        answers = std::make_unique<ModalAnswerer>();
        // Real ticks would come at their own moments: the tests tick by hand.
        fmFer->Timer1->setInterval(24 * 3600 * 1000);
        setPassword(QStringLiteral("abc"), QStringLiteral("abc"));
        fmFer->show();
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));
    }

    void cleanup()
    {
        answers.reset();
        d.reset();
        fx.reset();
    }

    void startLocksTheProgram()
    {
        d->setFields("0", "30", "0", "5");
        bool checked = false;
        d->press(fmFer->bbIniciar, [&] {
            QVERIFY(app().isMinimised());
            QVERIFY(!fmFer->isVisible());
            QVERIFY(fmDemanaClau->isVisible());
            QVERIFY(fmFer->Timer1->isActive());
            QVERIFY(runningButtons());
            checked = true;
        });
        QVERIFY(d->lockShown);
        QVERIFY(checked);
        QCOMPARE(fmFer->countdown().state().CountdownStart, d->start);
        QCOMPARE(fmFer->countdown().state().LimitMinutes, 30);
        QCOMPARE(fmFer->countdown().state().WarnMinutes, 5);
        QVERIFY(fmFer->countdown().state().WarningPending);
        QVERIFY(!app().isMinimised());
        QTRY_VERIFY(fmFer->isVisible());
        QVERIFY(runningButtons());
        QVERIFY(answers->boxes.isEmpty());
    }

    void refusedStartChangesNothing_data()
    {
        QTest::addColumn<QString>("hours");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repeated");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("bad hours") << "24"
                                   << "abc"
                                   << "abc"
                                   << "Fuera de rango"
                                   << "edHoras";
        QTest::newRow("passwords differ") << "1"
                                          << "abc"
                                          << "abd"
                                          << "Las claves no coinciden"
                                          << "edRepetirClave";
        QTest::newRow("repeat left empty") << "1"
                                           << "abc"
                                           << ""
                                           << "Las claves no coinciden"
                                           << "edRepetirClave";
        // The last byte of é in UTF-8 is 0xA9: its stored form cannot come back.
        QTest::newRow("password that cannot be stored") << "1"
                                                        << "é"
                                                        << "é"
                                                        << "Clave no admitida"
                                                        << "edClave";
    }

    void refusedStartChangesNothing()
    {
        QFETCH(QString, hours);
        QFETCH(QString, password);
        QFETCH(QString, repeated);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        d->setFields(hours, "0", "0", "0");
        setPassword(password, repeated);
        d->press(fmFer->bbIniciar);
        QVERIFY(waitForNoModal());
        QCOMPARE(answers->boxes, QStringList{message});
        QVERIFY(!d->lockShown);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(idleButtons());
        QCOMPARE(fmFer->countdown().state().CountdownStart, 0.0);
        QVERIFY(!fmFer->countdown().state().WarningPending);
        QTRY_VERIFY(fmFer->isActiveWindow());
        QCOMPARE(fmFer->focusWidget()->objectName(), focus);
    }

    void continueKeepsStartAndWarning()
    {
        d->setFields("0", "30", "0", "5");
        d->press(fmFer->bbIniciar);
        const DayFraction started = fmFer->countdown().state().CountdownStart;
        d->tickAt(60'000);
        fmFer->edMinutosAntes->setText(QStringLiteral("0"));
        fmFer->edMinutos->setText(QStringLiteral("45"));
        d->press(fmFer->bbContinuar);
        QVERIFY(d->lockShown);
        QCOMPARE(fmFer->countdown().state().CountdownStart, started);
        QVERIFY(fmFer->countdown().state().WarningPending);
        QCOMPARE(fmFer->countdown().state().LimitMinutes, 45);
        QCOMPARE(fmFer->countdown().state().WarnMinutes, 0);
        QVERIFY(fmFer->Timer1->isActive());
        QVERIFY(runningButtons());
    }

    void refusedContinueKeepsRunning()
    {
        d->setFields("0", "30", "0", "0");
        d->press(fmFer->bbIniciar);
        fmFer->edSegundos->setText(QStringLiteral("x"));
        d->press(fmFer->bbContinuar);
        QVERIFY(waitForNoModal());
        QCOMPARE(answers->boxes, QStringList{QStringLiteral("Número inválido")});
        QVERIFY(!d->lockShown);
        QVERIFY(fmFer->Timer1->isActive());
        QVERIFY(runningButtons());
        QCOMPARE(fmFer->countdown().state().LimitSeconds, 0);
    }

    void stopGoesIdleAndKeepsTexts()
    {
        d->setFields("0", "30", "0", "0");
        d->press(fmFer->bbIniciar);
        d->tickAt(1003);
        QCOMPARE(app().title(), QStringLiteral("0:29:58"));
        QTest::mouseClick(fmFer->bbParar, Qt::LeftButton);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(idleButtons());
        QCOMPARE(app().title(), QStringLiteral("0:29:58"));
    }

    void remainingTimeAsTitle_data()
    {
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("m");
        QTest::addColumn<QString>("s");
        QTest::addColumn<double>("at");
        QTest::addColumn<QString>("title");
        QTest::newRow("half an hour, first tick") << "0"
                                                  << "30"
                                                  << "0" << 1003.0 << "0:29:58";
        QTest::newRow("no leading zeros") << "0"
                                          << "5"
                                          << "0" << 1003.0 << "0:4:58";
        QTest::newRow("hours") << "1"
                               << "5"
                               << "0" << 1003.0 << "1:4:58";
        QTest::newRow("overshoot on the ending tick") << "0"
                                                      << "0"
                                                      << "5" << 5003.0 << "0:0:0";
        QTest::newRow("empty countdown overshoots by its first second") << ""
                                                                        << ""
                                                                        << "" << 1000.0 << "0:0:1";
    }

    void remainingTimeAsTitle()
    {
        QFETCH(QString, h);
        QFETCH(QString, m);
        QFETCH(QString, s);
        QFETCH(double, at);
        QFETCH(QString, title);
        d->setFields(h, m, s, "0");
        d->press(fmFer->bbIniciar);
        d->tickAt(at);
        QCOMPARE(app().title(), title);
        QCOMPARE(fmFer->windowTitle(), QStringLiteral("Lurn"));
    }

    void titleKeptWhenTimeIsNotShown()
    {
        d->setFields("0", "30", "0", "0");
        d->press(fmFer->bbIniciar);
        d->tickAt(1003);
        fmFer->cbVerTiempo->setChecked(false);
        d->tickAt(2003);
        QCOMPARE(app().title(), QStringLiteral("0:29:58"));
    }

    void costAtTheChosenRate()
    {
        d->setFields("0", "40", "0", "0");
        d->press(fmFer->bbIniciar);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("0"));
        d->tickAt(36 * 60'000);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("300"));
        fmFer->rbTarifa2->setChecked(true);
        d->tickAt(36 * 60'000 + 1000);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("600"));
        // A new countdown shows the old cost until its first tick.
        QTest::mouseClick(fmFer->bbParar, Qt::LeftButton);
        d->press(fmFer->bbIniciar);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("600"));
        d->tickAt(1000);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("0"));
    }

    void endClosesListedProgramsBehindTheLock()
    {
        // Another program, which refuses to close.
        ClosingClient victim({"--title", "Victima del chat", "--mode", "refuse"});
        QTRY_VERIFY(victim.isReady());
        fmFer->ListBox1->addItem(QStringLiteral("CHAT"));
        d->setFields("0", "0", "1", "0");
        bool endedBehindLock = false;
        d->press(fmFer->bbIniciar, [&] {
            d->tickAt(999);
            QVERIFY(fmFer->Timer1->isActive());
            d->tickAt(1000);
            endedBehindLock =
                !fmFer->Timer1->isActive() && idleButtons() && fmDemanaClau->isVisible();
        });
        QVERIFY(endedBehindLock);
        // Two closing passes: the refusing window was asked twice.
        QTRY_COMPARE(victim.deletes().size(), 2);
        QTest::qWait(100);
        QCOMPARE(victim.deletes().size(), 2);
    }

    void changedFieldsChangeTheRunningCountdown()
    {
        d->setFields("0", "10", "0", "0");
        d->press(fmFer->bbIniciar);
        d->tickAt(10 * 60'000 - 1000);
        QVERIFY(fmFer->Timer1->isActive());
        // More time: the operator raises the minutes and tabs out.
        retypeAndTabOut(fmFer->edMinutos, QStringLiteral("20"));
        d->tickAt(10 * 60'000 + 1000);
        QVERIFY(fmFer->Timer1->isActive());
        QCOMPARE(app().title(), QStringLiteral("0:9:59"));
        // Less than has gone by: the next tick ends it.
        retypeAndTabOut(fmFer->edMinutos, QStringLiteral("5"));
        d->tickAt(10 * 60'000 + 2000);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(idleButtons());
    }

    void warning_data()
    {
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("m");
        QTest::addColumn<QString>("warn");
        QTest::addColumn<double>("quietAt"); // a tick that shows nothing (< 0: none)
        QTest::addColumn<double>("dueAt");
        QTest::addColumn<QString>("notice"); // empty: no notice at dueAt either
        QTest::newRow("1:05:00, lead 10")
            << "1"
            << "5"
            << "10" << 55 * 60'000.0 - 1 << 55 * 60'000.0 << "Queda/n 10 minutos";
        QTest::newRow("lead as typed") << "0"
                                       << "30"
                                       << "05" << -1.0 << 25 * 60'000.0 + 1 << "Queda/n 05 minutos";
        QTest::newRow("lead longer than the countdown")
            << "0"
            << "5"
            << "10" << -1.0 << 1000.0 << "Queda/n 10 minutos";
        QTest::newRow("lead 0 arms nothing") << "0"
                                             << "1"
                                             << "0" << -1.0 << 61'000.0 << "";
        QTest::newRow("lead 00 warns at the end")
            << "0"
            << "1"
            << "00" << 59'000.0 << 61'000.0 << "Queda/n 00 minutos";
    }

    void warning()
    {
        QFETCH(QString, h);
        QFETCH(QString, m);
        QFETCH(QString, warn);
        QFETCH(double, quietAt);
        QFETCH(double, dueAt);
        QFETCH(QString, notice);
        d->setFields(h, m, "0", warn);
        d->press(fmFer->bbIniciar);
        if (quietAt >= 0) {
            d->tickAt(quietAt);
            QVERIFY(answers->notices.isEmpty());
        }
        bool endedFirst = false;
        answers->onNotice = [&] {
            endedFirst = !fmFer->Timer1->isActive();
            QVERIFY(fmAviso->isVisible());
        };
        const int beeps = fx->beep.count;
        d->tickAt(dueAt);
        if (notice.isEmpty()) {
            QVERIFY(answers->notices.isEmpty());
            QCOMPARE(fx->beep.count, beeps);
            return;
        }
        QCOMPARE(answers->notices, QStringList{notice});
        QCOMPARE(fx->beep.count, beeps + 1);
        QVERIFY(!fmFer->countdown().state().WarningPending);
        // The customer closed the notice: the program hides again, even
        // though the main window was open.
        QVERIFY(app().isMinimised());
        QVERIFY(!fmFer->isVisible());
        if (warn == QLatin1String("00"))
            QVERIFY2(endedFirst, "the closing passes run before the ending tick's notice");
        // Shown once.
        d->tickAt(dueAt + 1000);
        QCOMPARE(answers->notices.size(), 1);
        app().restore();
    }

    void nestedTicksWhileTheNoticeIsUp()
    {
        d->setFields("0", "10", "0", "5");
        d->press(fmFer->bbIniciar);
        int nested = 0;
        answers->onNotice = [&] {
            // Ticks keep coming while the customer reads the notice; one of
            // them ends the countdown.
            d->tickAt(5 * 60'000 + 1000);
            d->tickAt(10 * 60'000);
            nested = answers->notices.size();
        };
        d->tickAt(5 * 60'000 + 1);
        QCOMPARE(nested, 1);
        QCOMPARE(answers->notices.size(), 1);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(idleButtons());
        app().restore();
    }

    void onlyStartArmsTheWarning()
    {
        d->setFields("0", "10", "0", "0");
        d->press(fmFer->bbIniciar);
        QVERIFY(!fmFer->countdown().state().WarningPending);
        fmFer->edMinutosAntes->setText(QStringLiteral("5"));
        d->press(fmFer->bbContinuar);
        d->tickAt(6 * 60'000);
        QVERIFY(answers->notices.isEmpty());

        // And a warning once shown is not armed again.
        QTest::mouseClick(fmFer->bbParar, Qt::LeftButton);
        d->setFields("0", "10", "0", "5");
        d->press(fmFer->bbIniciar);
        d->tickAt(6 * 60'000);
        QCOMPARE(answers->notices.size(), 1);
        app().restore();
        QTRY_VERIFY(fmFer->isVisible());
        d->press(fmFer->bbContinuar);
        d->tickAt(7 * 60'000);
        QCOMPARE(answers->notices.size(), 1);
    }

    void closingPassOverOwnWindowsEnds()
    {
        d->setFields("0", "10", "0", "0");
        d->press(fmFer->bbIniciar);
        // A list entry that our own windows match: the closing pass meets
        // the program's own main window and must still end.
        fmFer->ListBox1->addItem(QStringLiteral("Lurn"));
        d->tickAt(10 * 60'000);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(answers->boxes.isEmpty());
    }
};

QTEST_MAIN(TestCountdownCommands)
#include "TestCountdownCommands.moc"
