// The running countdown kept beyond the program, seen from the windows with
// injected clocks: what is kept, how the next start takes it up, what a wall
// clock step does, and what becomes of a kept state that cannot be used.
#include "CountdownDriver.h"
#include "closing/ClosingClient.h"
#include "platform/AppShell.h"
#include "platform/CountdownFile.h"
#include "rules/SavedCountdown.h"

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

namespace {

constexpr double kMinute = 60'000;

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

std::int64_t ms(DayFraction days)
{
    return std::llround(days * kMillisecondsPerDay);
}

QString statePath(const QString& configHome)
{
    return configHome + QStringLiteral("/Lurn.countdown");
}

std::optional<SavedCountdown> keptState(const QString& configHome)
{
    QFile f(statePath(configHome));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::string why;
    return parseSavedCountdown(f.readAll().toStdString(), why);
}

void writeState(const QString& configHome, const QByteArray& bytes)
{
    QFile f(statePath(configHome));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QList<CountdownEvent> eventsOf(const QSignalSpy& spy)
{
    QList<CountdownEvent> events;
    for (const QList<QVariant>& args : spy)
        events << args.at(0).value<CountdownEvent>();
    return events;
}

// A running, locked countdown of 30 minutes at 1000 an hour, started
// startedMsAgo before the fixture's clock reads now, with the closing client
// listed.
SavedCountdown lockedCountdown(const FakeClock& clock, std::int64_t startedMsAgo)
{
    SavedCountdown s;
    s.id = "5d0c3c39-1a57-4d2b-a1c8-6c1c3f3e9b21";
    s.running = true;
    s.locked = true;
    s.bootId = clock.bootId();
    s.startBootMs = ms(clock.now()) - startedMsAgo;
    s.startUtcMs = clock.utcMs() - startedMsAgo;
    s.seenBootMs = s.startBootMs + 1000;
    s.seenUtcMs = s.startUtcMs + 1000;
    s.minutes = 30;
    s.rate1 = 1000;
    s.rate2 = 2000;
    s.minutesText = "30";
    s.hoursText = s.secondsText = s.warnText = "0";
    s.rate1Text = "1000";
    s.rate2Text = "2000";
    s.costText = "0";
    s.title = "lurn";
    s.password = "abc";
    s.names = {"Resume target"};
    return s;
}

} // namespace

class TestResumeWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_config; // one session's settings, fresh for each test
    std::unique_ptr<LurnFixture> fx;
    std::unique_ptr<CountdownDriver> d;
    std::unique_ptr<ModalAnswerer> answers;

    // A start of the program on the kept configuration.
    void startProgram()
    {
        fx = std::make_unique<LurnFixture>(m_config->path());
        d = std::make_unique<CountdownDriver>(CountdownDriver{*fx});
        answers = std::make_unique<ModalAnswerer>();
        // Real ticks would come at their own moments: the tests tick by hand.
        fmFer->Timer1->setInterval(24 * 3600 * 1000);
    }

    // The program gone without the operator closing it: the windows are
    // destroyed as at the end of a session, and what was being kept is on disk.
    void endProgram()
    {
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        answers.reset();
        d.reset();
        fx.reset();
    }

    void showMainWindow()
    {
        fmFer->show();
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));
    }

private slots:
    void init()
    {
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        startProgram();
    }

    void cleanup()
    {
        answers.reset();
        d.reset();
        fx.reset();
        m_config.reset();
    }

    void wallClockStepChangesNeitherCostNorEnd_data()
    {
        QTest::addColumn<qint64>("step");
        QTest::newRow("clock set back 1 h") << qint64(-3'600'000);
        QTest::newRow("clock set forward 1 h") << qint64(3'600'000);
    }

    void wallClockStepChangesNeitherCostNorEnd()
    {
        QFETCH(qint64, step);
        showMainWindow();
        d->setFields("0", "30", "0", "0");
        fmFer->edTarifa1->setText("1000");
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        d->press(fmFer->bbIniciar);
        d->tickAt(10 * kMinute);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("167"));
        fx->clock.stepWallMs(step);
        d->tickAt(20 * kMinute);
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("333"));
        QCOMPARE(app().title(), QStringLiteral("0:10:0"));
        d->tickAt(30 * kMinute - 1);
        QVERIFY(runningButtons());
        d->tickAt(30 * kMinute);
        QVERIFY(idleButtons());
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("500"));
    }

    void keptWhileRunning()
    {
        showMainWindow();
        d->setFields("0", "30", "0", "5");
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        fmFer->ListBox1->addItem("chat");
        std::optional<SavedCountdown> whileLocked;
        d->press(fmFer->bbIniciar, [&] {
            QVERIFY(fmFer->waitUntilCountdownKept(5000));
            whileLocked = keptState(m_config->path());
        });
        QVERIFY(whileLocked);
        QVERIFY(whileLocked->running);
        QVERIFY(whileLocked->locked);
        QCOMPARE(whileLocked->id, fmFer->countdown().id().toStdString());
        QCOMPARE(whileLocked->startBootMs, ms(d->start));
        QCOMPARE(whileLocked->minutes, 30);
        QCOMPARE(whileLocked->warnMinutes, 5);
        QVERIFY(whileLocked->warningPending);
        QCOMPARE(whileLocked->password, std::string("abc"));
        QCOMPARE(whileLocked->names, std::vector<std::string>{"chat"});
        // The lock opened: still running, no longer locked.
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(!keptState(m_config->path())->locked);
        // The chosen rate changes the running countdown: kept at once.
        fmFer->rbTarifa2->setChecked(true);
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(keptState(m_config->path())->secondRate);
        // The file holds the password: only its owner may read it.
        const QFile::Permissions perms = QFile::permissions(statePath(m_config->path()));
        QVERIFY(!(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther)));
    }

    void nothingKeptOnceTheCountdownIsOver_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("stopped") << "stop";
        QTest::newRow("ended with the lock open") << "end";
        QTest::newRow("program closed by the operator") << "close";
    }

    void nothingKeptOnceTheCountdownIsOver()
    {
        QFETCH(QString, how);
        showMainWindow();
        d->setFields("0", "30", "0", "0");
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        d->press(fmFer->bbIniciar);
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(QFile::exists(statePath(m_config->path())));
        if (how == "stop") {
            QTest::mouseClick(fmFer->bbParar, Qt::LeftButton);
        } else if (how == "end") {
            d->tickAt(30 * kMinute);
            QVERIFY(idleButtons());
        } else {
            QVERIFY(fmFer->close());
        }
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(!QFile::exists(statePath(m_config->path())));
        // And the next start takes nothing up.
        endProgram();
        startProgram();
        QVERIFY(!fmFer->resumeCountdown());
        QVERIFY(idleButtons());
        QCOMPARE(fmFer->countdown().state().CountdownStart, 0.0);
    }

    void endedUnderTheLockKeepsTheLock()
    {
        showMainWindow();
        d->setFields("0", "30", "0", "0");
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        std::optional<SavedCountdown> ended;
        d->press(fmFer->bbIniciar, [&] {
            d->tickAt(30 * kMinute);
            QVERIFY(fmFer->waitUntilCountdownKept(5000));
            ended = keptState(m_config->path());
        });
        QVERIFY(ended);
        QVERIFY(!ended->running);
        QVERIFY(ended->locked);
    }

    void takenUpAfterARestart_data()
    {
        QTest::addColumn<bool>("reboot");
        QTest::newRow("same boot") << false;
        QTest::newRow("after a reboot") << true;
    }

    void takenUpAfterARestart()
    {
        QFETCH(bool, reboot);
        showMainWindow();
        d->setFields("0", "30", "0", "5");
        fmFer->edTarifa1->setText("1000");
        fmFer->edClave->setText("abc");
        fmFer->edRepetirClave->setText("abc");
        fmFer->ListBox1->addItem("chat");
        d->press(fmFer->bbIniciar);
        const QString id = fmFer->countdown().id();
        d->tickAt(10 * kMinute);
        const DayFraction lastNow = fx->clock.now();
        const std::int64_t lastUtc = fx->clock.utcMs();
        endProgram();

        // Five minutes later, on the same boot or after a reboot (whose
        // elapsed-time clock starts from zero again).
        startProgram();
        fx->clock.set(reboot ? 2.0 / 24 : lastNow + 5 * kMinute / kMillisecondsPerDay);
        fx->clock.stepWallMs(lastUtc + std::int64_t(5 * kMinute) - fx->clock.utcMs());
        if (reboot)
            fx->clock.setBootId("another boot");
        QSignalSpy events(&fmFer->countdown(), &Countdown::changed);
        QVERIFY(!fmFer->resumeCountdown());
        // Told before the event loop turns, with the countdown's own identity.
        QCOMPARE(eventsOf(events), QList<CountdownEvent>{CountdownEvent::Resumed});
        QCOMPARE(fmFer->countdown().id(), id);
        QVERIFY(runningButtons());
        QVERIFY(fmFer->Timer1->isActive());
        QCOMPARE(fmFer->edMinutos->text(), QStringLiteral("30"));
        QCOMPARE(fmFer->edClave->text(), QStringLiteral("abc"));
        QCOMPARE(fmFer->ListBox1->count(), 1);
        QVERIFY(fmFer->countdown().state().WarningPending);
        QCOMPARE(ms(countdownElapsed(fmFer->countdown().state(), fx->clock.now())), std::int64_t(15 * kMinute));
        // The first turn of the event loop ticks at once.
        QTRY_COMPARE(app().title(), QStringLiteral("0:15:0"));
        QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("250"));
        // The end comes at the original time.
        d->start = fmFer->countdown().state().CountdownStart;
        d->tickAt(30 * kMinute - 1);
        QVERIFY(runningButtons());
        d->tickAt(30 * kMinute + 1);
        QVERIFY(idleButtons());
    }

    void lockedCountdownComesBackLocked()
    {
        writeState(m_config->path(), QByteArray::fromStdString(formatSavedCountdown(
                                         lockedCountdown(fx->clock, std::int64_t(12 * kMinute)))));
        bool seen = false;
        // The lock runs its own loop: looked at from inside it.
        onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(fmDemanaClau));
            QVERIFY(!fmFer->isVisible());
            QTRY_COMPARE(app().title(), QStringLiteral("0:18:0"));
            QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("200"));
            QVERIFY(runningButtons());
            seen = true;
            // The password of the countdown opens it.
            CountdownDriver::unlock();
        });
        QVERIFY(fmFer->resumeCountdown());
        QTRY_VERIFY(seen);
        // And the window comes.
        QTRY_VERIFY(fmFer->isVisible());
        QVERIFY(!fmDemanaClau->isVisible());
    }

    // After a reboot whose wall clock stands behind the last save (a dead
    // clock battery), the countdown is never dropped: it goes on, locked,
    // from the time it had run when last saved, and the operator is told that
    // the time the computer was off could not be counted.
    void rebootWithTheClockBehind()
    {
        SavedCountdown saved = lockedCountdown(fx->clock, std::int64_t(12 * kMinute));
        saved.bootId = "the boot before";
        saved.seenBootMs = saved.startBootMs + 10 * kMinute;
        saved.seenUtcMs = fx->clock.utcMs() + 2 * 3'600'000;
        writeState(m_config->path(), QByteArray::fromStdString(formatSavedCountdown(saved)));
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(fmDemanaClau));
            QTRY_COMPARE(app().title(), QStringLiteral("0:20:0"));
            QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("167"));
            QVERIFY(runningButtons());
            seen = true;
            CountdownDriver::unlock();
        });
        QVERIFY(fmFer->resumeCountdown());
        QTRY_VERIFY(seen);
        QMessageBox* notice = nullptr;
        QTRY_VERIFY([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    notice = box;
            return notice != nullptr;
        }());
        QVERIFY2(notice->text().contains(QStringLiteral("no se ha podido medir")),
                 qPrintable(notice->text()));
        notice->close();
        QVERIFY(!QFile::exists(statePath(m_config->path()) + ".bad"));
    }

    void endPassedWhileGone()
    {
        ClosingClient target({"--title", "Resume target window"});
        QTRY_VERIFY_WITH_TIMEOUT(target.isReady(), 20000);
        writeState(m_config->path(), QByteArray::fromStdString(formatSavedCountdown(
                                         lockedCountdown(fx->clock, std::int64_t(40 * kMinute)))));
        QSignalSpy events(&fmFer->countdown(), &Countdown::changed);
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(fmDemanaClau));
            // The end happens at once, under the lock.
            QTRY_VERIFY(eventsOf(events).contains(CountdownEvent::Ended));
            QVERIFY(idleButtons());
            // Priced up to the countdown's length (30 min at 1000), not
            // for the 40 minutes gone: the customer bought 30.
            QCOMPARE(fmFer->lblGasto->text(), QStringLiteral("500"));
            QTRY_VERIFY_WITH_TIMEOUT(!target.deletes().isEmpty(), 20000);
            // What is left is the lock, kept until it is opened.
            QVERIFY(fmFer->waitUntilCountdownKept(5000));
            const std::optional<SavedCountdown> kept = keptState(m_config->path());
            QVERIFY(kept && !kept->running && kept->locked);
            seen = true;
            CountdownDriver::unlock();
        });
        QVERIFY(fmFer->resumeCountdown());
        QTRY_VERIFY(seen);
        QTRY_VERIFY(fmFer->isVisible());
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(!QFile::exists(statePath(m_config->path())));
    }

    void unusableStateIsReportedAndSetAside_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("told"); // part of the notice

        const SavedCountdown good = lockedCountdown(FakeClock(), std::int64_t(kMinute));
        const QByteArray text = QByteArray::fromStdString(formatSavedCountdown(good));
        QTest::newRow("empty") << QByteArray() << "vacío";
        QTest::newRow("torn") << text.left(text.size() / 2) << "incompleto o dañado";
        QTest::newRow("nonsense") << QByteArray("{\"countdown\": true}\n") << "incompleto o dañado";
        SavedCountdown future = good;
        future.seenBootMs += 3'600'000;
        future.startBootMs += 3'600'000;
        QTest::newRow("from the future")
            << QByteArray::fromStdString(formatSavedCountdown(future)) << "hora posterior";
    }

    void unusableStateIsReportedAndSetAside()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, told);
        writeState(m_config->path(), contents);
        QVERIFY(!fmFer->resumeCountdown());
        QVERIFY(idleButtons());
        QCOMPARE(fmFer->countdown().state().CountdownStart, 0.0);
        // Set aside, not lost, and not met again at the next start.
        QVERIFY(!QFile::exists(statePath(m_config->path())));
        QFile aside(statePath(m_config->path()) + ".bad");
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), contents);
        // The operator is told, in a notice that does not stop the program.
        QMessageBox* notice = nullptr;
        QTRY_VERIFY([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    notice = box;
            return notice != nullptr;
        }());
        QVERIFY2(notice->text().contains(told), qPrintable(notice->text()));
        QVERIFY(notice->text().contains(statePath(m_config->path()) + ".bad"));
        notice->close();
    }

    void staleStateIsDroppedQuietly()
    {
        SavedCountdown old = lockedCountdown(fx->clock, std::int64_t(30 * 3'600'000LL));
        writeState(m_config->path(), QByteArray::fromStdString(formatSavedCountdown(old)));
        QVERIFY(!fmFer->resumeCountdown());
        QVERIFY(idleButtons());
        QVERIFY(fmFer->waitUntilCountdownKept(5000));
        QVERIFY(!QFile::exists(statePath(m_config->path())));
        QVERIFY(!QFile::exists(statePath(m_config->path()) + ".bad"));
    }
};

QTEST_MAIN(TestResumeWindow)
#include "TestResumeWindow.moc"
