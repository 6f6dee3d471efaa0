// The lurn executable killed in the middle of a countdown and started again,
// with the real clocks, the real window manager and a real program to close;
// one Lurn per desktop.
#include "LurnRun.h"
#include "X11Probe.h"
#include "closing/ClosingClient.h"
#include "rules/KeyScramble.h"
#include "rules/SavedCountdown.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <ctime>
#include <optional>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

const QString kTarget = QStringLiteral("Survival target");

std::int64_t bootMs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::int64_t utcMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::string bootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toStdString() : std::string();
}

void run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(5000);
}

// A desktop session's directories: settings and the per-user runtime
// directory that keeps Lurn to one per desktop.
struct Session
{
    QTemporaryDir dir;
    QString config() const { return dir.path() + "/config"; }
    QString runtime() const { return dir.path() + "/runtime"; }
    QString data() const { return dir.path() + "/data"; }
    QString state() const { return config() + "/Lurn.countdown"; }

    Session()
    {
        QDir().mkpath(config());
        QDir().mkpath(runtime());
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What the operator had saved: the program to end, a rate of one per
    // second, and the password "abc".
    void saveSettings() const
    {
        QSettings s(config() + "/Lurn.conf", QSettings::IniFormat);
        s.setValue("Noms/Numero", "1");
        s.setValue("Noms/Nom1", kTarget);
        s.setValue("Tarifes/Tarifa1", "3600");
        s.setValue("Tarifes/Tarifa2", "1000");
        s.setValue("Claus/Clau", QString::fromLatin1(ScrambleKey("abc").c_str()));
    }

    std::optional<SavedCountdown> kept() const
    {
        QFile f(state());
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        std::string why;
        return parseSavedCountdown(f.readAll().toStdString(), why);
    }

    void keep(const QByteArray& bytes) const
    {
        QFile f(state());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
};

// A running, locked countdown of 30 minutes at 1000 an hour, started
// startedMsAgo ago, closing the target; as this machine's clocks tell it.
SavedCountdown runningCountdown(std::int64_t startedMsAgo, bool rebooted)
{
    SavedCountdown s;
    s.id = "0f8e1d2c-3b4a-4596-8877-66554433aa11";
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
    s.names = {kTarget.toStdString()};
    s.startUtcMs = utcMs() - startedMsAgo;
    if (!rebooted) {
        s.bootId = bootId();
        s.startBootMs = bootMs() - startedMsAgo;
        s.seenBootMs = s.startBootMs + 1000;
        s.seenUtcMs = s.startUtcMs + 1000;
    } else {
        // Kept five minutes in on a boot that has ended since.
        s.bootId = "7e0d0a5c-2f1b-4c3d-9e8f-0a1b2c3d4e5f";
        s.startBootMs = 3'600'000;
        s.seenBootMs = s.startBootMs + 5 * 60'000;
        s.seenUtcMs = s.startUtcMs + 5 * 60'000;
    }
    return s;
}

// A session's record in the records file as "end_reason|length on the wall
// clock in ms|cost", or why it cannot be read.
QString recordOf(const QString& file, const std::string& id)
{
    QString out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "survival-records");
        db.setDatabaseName(file);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (!db.open()) {
            out = "cannot open: " + db.lastError().text();
        } else {
            QSqlQuery q(db);
            q.prepare("SELECT end_reason, started_at, coalesce(ended_at, ''), cost"
                      " FROM sessions WHERE id = ?");
            q.addBindValue(QString::fromStdString(id));
            if (!q.exec() || !q.next()) {
                out = "no record: " + q.lastError().text();
            } else {
                const auto at = [](const QVariant& v) {
                    return QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
                };
                out = q.value(0).toString() + "|" +
                      QString::number(at(q.value(1)).msecsTo(at(q.value(2)))) + "|" +
                      q.value(3).toString();
            }
        }
    }
    QSqlDatabase::removeDatabase("survival-records");
    return out;
}

// One run of the program in a session.
class Lurn final : public LurnRun
{
public:
    explicit Lurn(const Session& session)
        : LurnRun({{"XDG_CONFIG_HOME", session.config()},
                   {"XDG_RUNTIME_DIR", session.runtime()},
                   {"XDG_DATA_HOME", session.data()}})
    {
    }

    // Its managed window with this name, once there; 0 after the deadline.
    xcb_window_t window(X11Probe& probe, const QString& name, int ms = 20000)
    {
        return probe.waitForClientOfPid(pid(), name, ms, true);
    }

    // The text of its one task-bar entry.
    QString title(X11Probe& probe)
    {
        for (xcb_window_t w : probe.clientsOfPid(pid()))
            if (!probe.states(w).contains("_NET_WM_STATE_SKIP_TASKBAR"))
                return probe.netWmName(w);
        return {};
    }
};

// The seconds in an "h:m:s" title, or -1.
int secondsIn(const QString& title)
{
    static const QRegularExpression hms(QStringLiteral("^(\\d+):(\\d+):(\\d+)$"));
    const QRegularExpressionMatch m = hms.match(title);
    return m.hasMatch()
               ? m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt()
               : -1;
}

void clickAt(xcb_window_t window, int x, int y)
{
    run("xdotool", {"mousemove", "--window", QString::number(window), QString::number(x),
                    QString::number(y), "click", "1"});
}

// Waits until the window manager has given the window the focus.
bool becomesActive(X11Probe& probe, xcb_window_t window)
{
    run("xdotool", {"windowactivate", QString::number(window)});
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (probe.activeWindow() == window)
            return true;
        QTest::qWait(20);
    }
    return false;
}

// Counts the times a file of the directory is replaced by a whole new one, as
// QSettings saves (through QSaveFile: written beside, then renamed over).
class Writes final
{
public:
    explicit Writes(const QString& dir)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          m_watch(inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_MOVED_TO))
    {
    }
    ~Writes() { ::close(m_fd); }
    Writes(const Writes&) = delete;
    Writes& operator=(const Writes&) = delete;

    int of(const QString& name)
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len)
                    m_seen << QString::fromLocal8Bit(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        return int(m_seen.count(name));
    }

private:
    int m_fd;
    int m_watch;
    QStringList m_seen;
};

} // namespace

class TestSurvival final : public QObject
{
    Q_OBJECT

private slots:
    void killedCountdownComesBack_data()
    {
        QTest::addColumn<bool>("xkill");
        QTest::newRow("SIGKILL") << false;
        QTest::newRow("XKillClient on its window") << true;
    }

    void killedCountdownComesBack()
    {
        QFETCH(bool, xkill);
        const std::int64_t length = 10'000;
        Session session;
        session.saveSettings();
        ClosingClient target({"--title", kTarget + " window"});
        QTRY_VERIFY_WITH_TIMEOUT(target.isReady(), 20000);
        X11Probe probe;

        // The operator starts a countdown of 10 seconds.
        auto first = std::make_unique<Lurn>(session);
        const xcb_window_t main = first->window(probe, "Lurn");
        QVERIFY(main);
        QVERIFY(becomesActive(probe, main));
        clickAt(main, 148, 234); // edSegundos
        run("xdotool", {"type", "--delay", "20", QString::number(length / 1000)});
        clickAt(main, 53, 268); // &Iniciar
        const xcb_window_t lock = first->window(probe, "Clave");
        QVERIFY2(lock, qPrintable(first->errors()));
        std::optional<SavedCountdown> kept;
        QTRY_VERIFY_WITH_TIMEOUT((kept = session.kept()) && kept->locked, 10000);
        QVERIFY(kept->running);
        const std::int64_t start = kept->startBootMs;

        // Some seconds in, the customer kills it.
        QTRY_VERIFY_WITH_TIMEOUT(bootMs() >= start + 4000, 10000);
        if (xkill) {
            xcb_kill_client(probe.connection(), lock);
            xcb_flush(probe.connection());
        } else {
            ::kill(pid_t(first->pid()), SIGKILL);
        }
        QVERIFY(first->endsWithin(10000));
        first.reset();

        // Started again: the lock is up at once, in place of the main window.
        Lurn second(session);
        QVERIFY(second.window(probe, "Clave"));
        for (xcb_window_t w : probe.clientsOfPid(second.pid()))
            QVERIFY(!(probe.netWmName(w) == "Lurn" && probe.isViewable(w)));
        QVERIFY2(
            second.errors().contains("taking up countdown " + QString::fromStdString(kept->id)),
            qPrintable(second.errors()));
        // The task bar counts down from where the countdown is, not anew.
        int shown = -1;
        QTRY_VERIFY_WITH_TIMEOUT((shown = secondsIn(second.title(probe))) >= 0, 10000);
        const double left = double(start + length - bootMs()) / 1000;
        QVERIFY2(shown <= left + 1 && shown >= left - 3,
                 qPrintable(QStringLiteral("shows %1 s with %2 s left").arg(shown).arg(left)));
        // The listed program is closed at the original end, not before.
        QTRY_VERIFY_WITH_TIMEOUT(!target.deletes().isEmpty(), 30000);
        const std::int64_t closedAt = bootMs();
        QVERIFY(closedAt >= start + length);
        QVERIFY2(closedAt <= start + length + 5000,
                 qPrintable(QStringLiteral("closed %1 ms late").arg(closedAt - start - length)));
        // Priced for the ten seconds at one a second; the lock stays.
        QTRY_VERIFY_WITH_TIMEOUT((kept = session.kept()) && !kept->running, 10000);
        QVERIFY(kept->locked);
        QVERIFY2(kept->costText == "10" || kept->costText == "11", kept->costText.c_str());
        QVERIFY(second.process().state() == QProcess::Running);
    }

    void endPassedWhileGone_data()
    {
        QTest::addColumn<bool>("rebooted");
        QTest::newRow("same boot") << false;
        QTest::newRow("after a reboot") << true;
    }

    void endPassedWhileGone()
    {
        QFETCH(bool, rebooted);
        Session session;
        ClosingClient target({"--title", kTarget + " window"});
        QTRY_VERIFY_WITH_TIMEOUT(target.isReady(), 20000);
        // A countdown of 30 minutes, started 40 minutes ago.
        session.keep(QByteArray::fromStdString(
            formatSavedCountdown(runningCountdown(40 * 60'000, rebooted))));
        X11Probe probe;
        Lurn lurn(session);
        QVERIFY(lurn.window(probe, "Clave"));
        // The end happens at once: the program is closed, the lock stays.
        QTRY_VERIFY_WITH_TIMEOUT(!target.deletes().isEmpty(), 20000);
        std::optional<SavedCountdown> kept;
        QTRY_VERIFY_WITH_TIMEOUT((kept = session.kept()) && !kept->running, 10000);
        QVERIFY(kept->locked);
        // Priced for the 30 minutes bought (at 1000), not the 40 gone.
        QCOMPARE(kept->costText, std::string("500"));
        // The task bar shows the overshoot, as after any end.
        QTRY_VERIFY_WITH_TIMEOUT(lurn.title(probe).startsWith("0:10:"), 10000);
        QVERIFY(lurn.process().state() == QProcess::Running);
    }

    // After a reboot whose wall clock stands more than a day past the last
    // save (a clock set wrong, or a day without power), the countdown is not
    // dropped: it ends at once, priced at its length, under its lock, and
    // the operator is told in a notice that the clock looked wrong.
    void clockFarAheadAfterRebootEndsTheCountdown()
    {
        Session session;
        ClosingClient target({"--title", kTarget + " window"});
        QTRY_VERIFY_WITH_TIMEOUT(target.isReady(), 20000);
        // Kept five minutes in, 25 hours ago by the wall clock, on a boot
        // that has ended since.
        session.keep(QByteArray::fromStdString(
            formatSavedCountdown(runningCountdown(25 * 3'600'000LL + 5 * 60'000, true))));
        X11Probe probe;
        Lurn lurn(session);
        QVERIFY2(lurn.window(probe, "Clave"), qPrintable(lurn.errors()));
        QTRY_VERIFY_WITH_TIMEOUT(!target.deletes().isEmpty(), 20000);
        std::optional<SavedCountdown> kept;
        QTRY_VERIFY_WITH_TIMEOUT((kept = session.kept()) && !kept->running, 10000);
        QVERIFY(kept->locked);
        QCOMPARE(kept->costText, std::string("500"));
        // The notice beside the lock (the main window stays hidden under it).
        xcb_window_t notice = 0;
        QDeadlineTimer deadline(20000);
        while (!notice && !deadline.hasExpired()) {
            for (xcb_window_t w : probe.clientsOfPid(lurn.pid()))
                if (probe.netWmName(w) == "Lurn" && probe.isViewable(w))
                    notice = w;
            QTest::qWait(20);
        }
        QVERIFY2(notice, qPrintable(lurn.errors()));
        QVERIFY2(lurn.errors().contains("past its last save"), qPrintable(lurn.errors()));
        QVERIFY(!lurn.errors().contains("is not taken up"));
        QVERIFY(!QFile::exists(session.state() + ".bad"));
        QVERIFY(probe.clientNamed("Clave"));
        QVERIFY(lurn.process().state() == QProcess::Running);
        // Its record ends as any countdown whose end passed while Lurn was
        // away: time up at its start plus its length, at its full price.
        const SavedCountdown saved = runningCountdown(0, true);
        QTRY_COMPARE_WITH_TIMEOUT(recordOf(session.data() + "/Lurn/records.sqlite", saved.id),
                                  QStringLiteral("time_up|1800000|500"), 20000);
    }

    void stoppedCountdownIsNotTakenUp()
    {
        Session session;
        session.saveSettings();
        X11Probe probe;
        auto first = std::make_unique<Lurn>(session);
        xcb_window_t main = first->window(probe, "Lurn");
        QVERIFY(main);
        QVERIFY(becomesActive(probe, main));
        clickAt(main, 92, 234); // edMinutos
        run("xdotool", {"type", "--delay", "20", "30"});
        clickAt(main, 53, 268); // &Iniciar
        const xcb_window_t lock = first->window(probe, "Clave");
        QVERIFY(lock);
        QVERIFY(becomesActive(probe, lock));
        run("xdotool", {"type", "--delay", "20", "abc"});
        run("xdotool", {"key", "Return"});
        QTRY_VERIFY_WITH_TIMEOUT(probe.isViewable(main) && !probe.isViewable(lock), 10000);
        QVERIFY(becomesActive(probe, main));
        QTRY_VERIFY_WITH_TIMEOUT(session.kept() && !session.kept()->locked, 10000);
        clickAt(main, 133, 268); // &Parar
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(session.state()), 10000);
        ::kill(pid_t(first->pid()), SIGKILL);
        QVERIFY(first->endsWithin(10000));
        first.reset();

        Lurn second(session);
        QVERIFY(second.window(probe, "Lurn"));
        QVERIFY(!second.errors().contains("taking up"));
        QTRY_COMPARE(second.title(probe), QStringLiteral("lurn"));
    }

    void unusableStateIsReportedAndDropped_data()
    {
        QTest::addColumn<QByteArray>("contents");
        const QByteArray good =
            QByteArray::fromStdString(formatSavedCountdown(runningCountdown(60'000, false)));
        SavedCountdown ahead = runningCountdown(60'000, false);
        ahead.startBootMs += 3'600'000;
        ahead.seenBootMs += 3'600'000;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("torn") << good.left(good.size() / 3);
        QTest::newRow("from the future") << QByteArray::fromStdString(formatSavedCountdown(ahead));
        QTest::newRow("nonsense") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    }

    void unusableStateIsReportedAndDropped()
    {
        QFETCH(QByteArray, contents);
        Session session;
        session.keep(contents);
        X11Probe probe;
        Lurn lurn(session);
        const xcb_window_t main = lurn.window(probe, "Lurn");
        QVERIFY(main);
        // Told on stderr and in a notice of its own; set aside, not lost.
        QTRY_VERIFY_WITH_TIMEOUT(lurn.errors().contains("is not taken up"), 10000);
        xcb_window_t notice = 0;
        QDeadlineTimer deadline(10000);
        while (!notice && !deadline.hasExpired()) {
            for (xcb_window_t w : probe.clientsOfPid(lurn.pid()))
                if (w != main && probe.netWmName(w) == "Lurn" && probe.isViewable(w))
                    notice = w;
            QTest::qWait(20);
        }
        QVERIFY2(notice, qPrintable(lurn.errors()));
        QVERIFY(!QFile::exists(session.state()));
        QFile aside(session.state() + ".bad");
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), contents);
        QVERIFY(!probe.clientNamed("Clave"));
        // The program goes on as usual and ends as usual.
        run("wmctrl", {"-i", "-c", QString::number(main)});
        QVERIFY(lurn.endsWithin(10000));
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(lurn.process().exitCode(), 0);
    }

    void secondStartBringsTheFirstForward_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::newRow("main window") << false;
        QTest::newRow("lock") << true;
    }

    void secondStartBringsTheFirstForward()
    {
        QFETCH(bool, locked);
        Session session;
        if (locked)
            session.keep(
                QByteArray::fromStdString(formatSavedCountdown(runningCountdown(60'000, false))));
        Writes writes(session.config());
        X11Probe probe;
        Lurn first(session);
        const xcb_window_t front = first.window(probe, locked ? "Clave" : "Lurn");
        QVERIFY(front);
        // Another program's window comes over it.
        ClosingClient cover({"--title", "Cover"});
        QTRY_VERIFY_WITH_TIMEOUT(cover.isReady(), 20000);
        const xcb_window_t coverWindow = cover.windows().front();
        QVERIFY(becomesActive(probe, coverWindow));
        QTRY_VERIFY(probe.isAbove(coverWindow, front));

        QElapsedTimer took;
        took.start();
        Lurn second(session);
        QVERIFY(second.endsWithin(10000));
        const qint64 ms = took.elapsed();
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);
        QVERIFY2(second.errors().contains("already runs"), qPrintable(second.errors()));
        qInfo("the second start ended after %lld ms", ms);
        QTRY_VERIFY(probe.isAbove(front, coverWindow));
        QTRY_COMPARE(probe.activeWindow(), front);
        // It wrote nothing; the first writes the settings when it is closed.
        QCOMPARE(writes.of("Lurn.conf"), 0);
        QVERIFY(first.process().state() == QProcess::Running);
        if (!locked) {
            run("wmctrl", {"-i", "-c", QString::number(front)});
            QVERIFY(first.endsWithin(10000));
            QCOMPARE(first.process().exitCode(), 0);
            QCOMPARE(writes.of("Lurn.conf"), 1);
        }
    }

    void onlyTheOperatorsCloseIsAChosenEnd_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void onlyTheOperatorsCloseIsAChosenEnd()
    {
        // Its unit restarts it unless it ends with 0, which only the close
        // of its main window gives.
        QFETCH(int, signal);
        Session session;
        X11Probe probe;
        Lurn lurn(session);
        QVERIFY(lurn.window(probe, "Lurn"));
        ::kill(pid_t(lurn.pid()), signal);
        QVERIFY(lurn.endsWithin(10000));
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(lurn.process().exitCode(), 128 + signal);
    }
};

QTEST_MAIN(TestSurvival)
#include "TestSurvival.moc"
