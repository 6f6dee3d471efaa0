// The systemd user unit as a desktop session runs it: a killed Lurn comes
// back, the operator's close ends it for good, and systemctl stop stops it.
// Runs beside a private user manager (with-user-manager.sh). A Lurn started
// from a menu while the unit's is down never ends up the one that runs: the
// unit's takes over, with the countdown.
#include "LurnRun.h"
#include "X11Probe.h"
#include "rules/SavedCountdown.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <ctime>

namespace {

// A restart is the unit's second of delay (five after a quick run of kills)
// plus a sanitized Lurn starting: on a loaded two-core machine that took
// over 20 s. The waits are deadlines, not sleeps, so a long one costs nothing
// when all is well.
constexpr int kRestartMs = 60000;

QString systemctl(const QStringList& arguments)
{
    QProcess p;
    p.start("systemctl", QStringList{"--user"} + arguments);
    p.waitForFinished(20000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString unitProperty(const QString& name)
{
    return systemctl({"show", "--property=" + name, "--value", "lurn.service"});
}

qint64 mainPid()
{
    return unitProperty("MainPID").toLongLong();
}

// The viewable main window of the process, once there; 0 after the deadline.
xcb_window_t mainWindowOf(X11Probe& probe, qint64 pid)
{
    QDeadlineTimer deadline(kRestartMs);
    do {
        for (xcb_window_t w : probe.clientsOfPid(pid))
            if (probe.netWmName(w) == "Lurn" && probe.isViewable(w))
                return w;
        QTest::qWait(20);
    } while (!deadline.hasExpired());
    return 0;
}

// Any viewable window of the process (the main window, or the lock).
bool showsAWindow(X11Probe& probe, qint64 pid)
{
    QDeadlineTimer deadline(kRestartMs);
    do {
        for (xcb_window_t w : probe.clientsOfPid(pid))
            if (probe.isViewable(w))
                return true;
        QTest::qWait(20);
    } while (!deadline.hasExpired());
    return false;
}

std::int64_t bootMs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::string bootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toStdString() : std::string();
}

QString countdownPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/Lurn.countdown";
}

// A locked countdown of 30 minutes, started a minute ago on this boot.
void keepLockedCountdown()
{
    SavedCountdown s;
    s.id = "5a1e3c2d-7b4a-4596-8877-66554433bb22";
    s.running = true;
    s.locked = true;
    s.minutes = 30;
    s.rate1 = 1000;
    s.rate2 = 2000;
    s.hoursText = s.secondsText = s.warnText = "0";
    s.minutesText = "30";
    s.rate1Text = "1000";
    s.rate2Text = "2000";
    s.costText = "0";
    s.title = "lurn";
    s.password = "abc";
    s.startUtcMs = QDateTime::currentMSecsSinceEpoch() - 60'000;
    s.bootId = bootId();
    s.startBootMs = bootMs() - 60'000;
    s.seenBootMs = s.startBootMs + 1000;
    s.seenUtcMs = s.startUtcMs + 1000;
    QFile f(countdownPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray::fromStdString(formatSavedCountdown(s)));
}

std::optional<SavedCountdown> keptCountdown()
{
    QFile f(countdownPath());
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::string why;
    return parseSavedCountdown(f.readAll().toStdString(), why);
}

// The processes named lurn that run now (this build's executable).
QList<qint64> lurnProcesses()
{
    QList<qint64> pids;
    const QString exe = QFileInfo(QStringLiteral(LURN_EXECUTABLE)).canonicalFilePath();
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == exe)
            pids << pid;
    }
    return pids;
}

} // namespace

class TestUnitRestart final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("LURN_USER_MANAGER"))
            QSKIP(qPrintable("no systemd user manager: " +
                             qEnvironmentVariable("LURN_USER_MANAGER_WHY")));
        // The unit as installed, naming the executable of this build.
        const QString units = qEnvironmentVariable("XDG_CONFIG_HOME") + "/systemd/user";
        QVERIFY(QDir().mkpath(units));
        QFile::remove(units + "/lurn.service");
        QVERIFY(QFile::copy(LURN_TEST_UNIT, units + "/lurn.service"));
        systemctl({"daemon-reload"});
        // What the session would hand the manager (import-environment), and
        // what the sanitizers of this build need.
        QStringList environment{"DISPLAY=" + qEnvironmentVariable("DISPLAY"),
                                "XDG_CONFIG_HOME=" + qEnvironmentVariable("XDG_CONFIG_HOME"),
                                "XDG_DATA_HOME=" + qEnvironmentVariable("XDG_DATA_HOME")};
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(name))
                environment << QString::fromLatin1(name) + "=" + qEnvironmentVariable(name);
        systemctl(QStringList{"set-environment"} + environment);
        QCOMPARE(unitProperty("LoadState"), QStringLiteral("loaded"));
    }

    void cleanup()
    {
        systemctl({"stop", "lurn.service"});
        QFile::remove(countdownPath());
        // The starts noted for the back-off belong to the case that made them.
        QFile::remove(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/lurn-starts");
    }

    // A customer who kills Lurn as fast as it comes back never sees the unit
    // give up: each kill is followed by another Lurn (the later ones a few
    // seconds later, the back-off).
    void killedAgainAndAgainKeepsComingBack()
    {
        X11Probe probe;
        systemctl({"start", "lurn.service"});
        qint64 pid = mainPid();
        QVERIFY(pid > 0);
        for (int kill = 1; kill <= 12; ++kill) {
            ::kill(pid_t(pid), SIGKILL);
            qint64 next = 0;
            QTRY_VERIFY_WITH_TIMEOUT((next = mainPid()) > 0 && next != pid, kRestartMs);
            pid = next;
        }
        QVERIFY(showsAWindow(probe, pid));
        QCOMPARE(unitProperty("ActiveState"), QStringLiteral("active"));
        QVERIFY(unitProperty("NRestarts").toInt() >= 12);
    }

    // The unit's Lurn is killed and a customer starts Lurn from the menu
    // before the unit's restart, or just after it. In the end one Lurn runs,
    // the unit's, with the locked countdown taken up.
    void menuStartRacingTheRestart_data()
    {
        QTest::addColumn<bool>("menuFirst");
        QTest::newRow("menu start before the unit's restart") << true;
        QTest::newRow("menu start after the unit's restart") << false;
    }
    void menuStartRacingTheRestart()
    {
        QFETCH(bool, menuFirst);
        X11Probe probe;
        keepLockedCountdown();
        systemctl({"start", "lurn.service"});
        const qint64 first = mainPid();
        QVERIFY(first > 0);
        QVERIFY(showsAWindow(probe, first));

        ::kill(pid_t(first), SIGKILL);
        if (!menuFirst)
            QTRY_VERIFY_WITH_TIMEOUT(mainPid() > 0 && mainPid() != first, kRestartMs);
        LurnRun menu({});
        QVERIFY(menu.endsWithin(30000));
        QCOMPARE(menu.process().exitCode(), 0);

        qint64 unit = 0;
        QTRY_VERIFY_WITH_TIMEOUT((unit = mainPid()) > 0 && unit != first, kRestartMs);
        QVERIFY(showsAWindow(probe, unit));
        QTRY_COMPARE_WITH_TIMEOUT(lurnProcesses(), QList<qint64>{unit}, kRestartMs);
        const std::optional<SavedCountdown> kept = keptCountdown();
        QVERIFY(kept);
        QVERIFY(kept->running);
        QVERIFY(kept->locked);
        QCOMPARE(kept->id, std::string("5a1e3c2d-7b4a-4596-8877-66554433bb22"));
    }

    // A Lurn that runs without the unit (started where the unit could not
    // be) hands the desktop over when the unit starts: it keeps the locked
    // countdown and ends, and the unit's takes it up.
    void unitTakesOverFromAnUnsupervisedLurn()
    {
        X11Probe probe;
        keepLockedCountdown();
        // While there is no unit to start, a menu start runs by itself.
        const QString unitFile =
            qEnvironmentVariable("XDG_CONFIG_HOME") + "/systemd/user/lurn.service";
        QVERIFY(QFile::rename(unitFile, unitFile + ".aside"));
        systemctl({"daemon-reload"});
        LurnRun menu({});
        const bool shown = showsAWindow(probe, menu.pid());
        QVERIFY(QFile::rename(unitFile + ".aside", unitFile));
        systemctl({"daemon-reload"});
        QVERIFY2(shown, qPrintable(menu.errors()));
        QVERIFY2(keptCountdown() && keptCountdown()->locked, qPrintable(menu.errors()));
        systemctl({"start", "lurn.service"});

        QVERIFY(menu.endsWithin(30000));
        QCOMPARE(menu.process().exitCode(), 0);
        QVERIFY2(menu.errors().contains("takes this desktop over"), qPrintable(menu.errors()));
        qint64 unit = 0;
        QTRY_VERIFY_WITH_TIMEOUT((unit = mainPid()) > 0, kRestartMs);
        QVERIFY(showsAWindow(probe, unit));
        QTRY_COMPARE_WITH_TIMEOUT(lurnProcesses(), QList<qint64>{unit}, kRestartMs);
        const std::optional<SavedCountdown> kept = keptCountdown();
        QVERIFY(kept);
        QVERIFY(kept->running);
        QVERIFY(kept->locked);
        QCOMPARE(kept->id, std::string("5a1e3c2d-7b4a-4596-8877-66554433bb22"));
    }

    // The copy a customer started is killed: Lurn is still there, because it
    // was the unit's all along.
    void killedMenuCopyLeavesLurn()
    {
        X11Probe probe;
        systemctl({"stop", "lurn.service"});
        LurnRun menu({});
        QVERIFY(menu.endsWithin(30000));
        QCOMPARE(menu.process().exitCode(), 0);
        qint64 unit = 0;
        QTRY_VERIFY_WITH_TIMEOUT((unit = mainPid()) > 0, kRestartMs);
        for (const qint64 pid : lurnProcesses())
            ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(mainPid() > 0 && mainPid() != unit, kRestartMs);
        QVERIFY(showsAWindow(probe, mainPid()));
    }

    void killedProgramComesBackUntilTheOperatorClosesIt()
    {
        X11Probe probe;
        systemctl({"start", "lurn.service"});
        const qint64 first = mainPid();
        QVERIFY(first > 0);
        QVERIFY(mainWindowOf(probe, first));

        ::kill(pid_t(first), SIGKILL);
        qint64 second = 0;
        QTRY_VERIFY_WITH_TIMEOUT((second = mainPid()) > 0 && second != first, kRestartMs);
        const xcb_window_t main = mainWindowOf(probe, second);
        QVERIFY(main);
        QCOMPARE(unitProperty("NRestarts"), QStringLiteral("1"));

        // The operator's close: exit status 0, and it stays closed (a restart
        // to come would show as "activating", sub-state "auto-restart").
        QProcess::execute("wmctrl", {"-i", "-c", QString::number(main)});
        QTRY_COMPARE_WITH_TIMEOUT(unitProperty("ActiveState"), QStringLiteral("inactive"), kRestartMs);
        QCOMPARE(unitProperty("SubState"), QStringLiteral("dead"));
        QCOMPARE(unitProperty("Result"), QStringLiteral("success"));
    }

    // The end of the session (systemctl stop: SIGTERM) with the lock up
    // keeps the countdown locked for the next start.
    void stoppedWithTheLockUpStaysLocked()
    {
        X11Probe probe;
        keepLockedCountdown();
        systemctl({"start", "lurn.service"});
        QVERIFY(showsAWindow(probe, mainPid()));
        systemctl({"stop", "lurn.service"});
        const std::optional<SavedCountdown> kept = keptCountdown();
        QVERIFY(kept);
        QVERIFY(kept->running);
        QVERIFY(kept->locked);
    }

    void stoppedByTheSessionIsNoFailure()
    {
        X11Probe probe;
        systemctl({"start", "lurn.service"});
        QVERIFY(mainWindowOf(probe, mainPid()));
        systemctl({"stop", "lurn.service"});
        QCOMPARE(unitProperty("ActiveState"), QStringLiteral("inactive"));
        QCOMPARE(unitProperty("Result"), QStringLiteral("success"));
    }
};

QTEST_MAIN(TestUnitRestart)
#include "TestUnitRestart.moc"
