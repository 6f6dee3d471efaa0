// The systemd user unit as a desktop session runs it: a killed Lurn comes
// back, the operator's close ends it for good, and systemctl stop stops it.
// Runs beside a private user manager (with-user-manager.sh).
#include "X11Probe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {

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
    QDeadlineTimer deadline(20000);
    do {
        for (xcb_window_t w : probe.clientsOfPid(pid))
            if (probe.netWmName(w) == "Lurn" && probe.isViewable(w))
                return w;
        QTest::qWait(20);
    } while (!deadline.hasExpired());
    return 0;
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
        QStringList environment{"DISPLAY=" + qEnvironmentVariable("DISPLAY")};
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (qEnvironmentVariableIsSet(name))
                environment << QString::fromLatin1(name) + "=" + qEnvironmentVariable(name);
        systemctl(QStringList{"set-environment"} + environment);
        QCOMPARE(unitProperty("LoadState"), QStringLiteral("loaded"));
    }

    void cleanup() { systemctl({"stop", "lurn.service"}); }

    void killedProgramComesBackUntilTheOperatorClosesIt()
    {
        X11Probe probe;
        systemctl({"start", "lurn.service"});
        const qint64 first = mainPid();
        QVERIFY(first > 0);
        QVERIFY(mainWindowOf(probe, first));

        ::kill(pid_t(first), SIGKILL);
        qint64 second = 0;
        QTRY_VERIFY_WITH_TIMEOUT((second = mainPid()) > 0 && second != first, 20000);
        const xcb_window_t main = mainWindowOf(probe, second);
        QVERIFY(main);
        QCOMPARE(unitProperty("NRestarts"), QStringLiteral("1"));

        // The operator's close: exit status 0, and it stays closed (a restart
        // to come would show as "activating", sub-state "auto-restart").
        QProcess::execute("wmctrl", {"-i", "-c", QString::number(main)});
        QTRY_COMPARE_WITH_TIMEOUT(unitProperty("ActiveState"), QStringLiteral("inactive"), 20000);
        QCOMPARE(unitProperty("SubState"), QStringLiteral("dead"));
        QCOMPARE(unitProperty("Result"), QStringLiteral("success"));
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
