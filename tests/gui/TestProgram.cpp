// The lurn executable as a user meets it: started, closed by the window
// manager, ended by the session, started again.
#include "LurnRun.h"
#include "X11Probe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// One run of the program with its own settings directory.
class Lurn final : public LurnRun
{
public:
    explicit Lurn(const QString& configHome) : LurnRun({{"XDG_CONFIG_HOME", configHome}}) {}

    // The managed window of the program with this name, once it is there.
    xcb_window_t window(X11Probe& probe, const QString& name)
    {
        return probe.waitForClientOfPid(pid(), name, 10000);
    }
};

void run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(5000);
}

// Clicks at a point of the window's client area, as the operator would.
void clickAt(xcb_window_t window, int x, int y)
{
    run("xdotool", {"mousemove", "--window", QString::number(window), QString::number(x),
                    QString::number(y), "click", "1"});
}

void type(const QString& text)
{
    run("xdotool", {"type", "--delay", "20", text});
}

QString stored(const QString& configHome, const QString& key)
{
    QSettings settings(configHome + "/Lurn.conf", QSettings::IniFormat);
    return settings.value(key).toString();
}

} // namespace

class TestProgram final : public QObject
{
    Q_OBJECT

private slots:
    void oneTaskBarEntryAndCleanExit()
    {
        QTemporaryDir config;
        Lurn lurn(config.path());
        X11Probe probe;
        const xcb_window_t main = lurn.window(probe, "Lurn");
        QVERIFY(main);
        QCOMPARE(probe.geometry(main).size(), QSize(391, 359));
        // Exactly one entry, titled after the executable; the main window
        // keeps its caption and stays off the task bar. The entry comes up
        // just after the main window.
        std::vector<xcb_window_t> entries;
        const auto taskBarEntries = [&] {
            entries.clear();
            for (xcb_window_t w : probe.clientsOfPid(lurn.pid()))
                if (!probe.states(w).contains("_NET_WM_STATE_SKIP_TASKBAR"))
                    entries.push_back(w);
            return entries.size();
        };
        QTRY_COMPARE(taskBarEntries(), std::size_t(1));
        QCOMPARE(probe.netWmName(entries.front()), QStringLiteral("lurn"));
        QVERIFY(probe.states(main).contains("_NET_WM_STATE_SKIP_TASKBAR"));

        run("wmctrl", {"-i", "-c", QString::number(main)});
        QVERIFY(lurn.endsWithin(10000));
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(lurn.process().exitCode(), 0);
        // First run: the defaults were saved.
        QCOMPARE(stored(config.path(), "Tarifes/Tarifa1"), QStringLiteral("500"));
        // It holds the password: nobody else may read it.
        const QFile::Permissions perms = QFile::permissions(config.path() + "/Lurn.conf");
        QVERIFY(perms & QFile::ReadOwner && perms & QFile::WriteOwner);
        QVERIFY(!(perms &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
    }

    void editsSurviveRestart_data()
    {
        QTest::addColumn<bool>("terminate"); // end by SIGTERM rather than by the close box
        QTest::newRow("closed") << false;
        QTest::newRow("SIGTERM") << true;
    }

    void editsSurviveRestart()
    {
        QFETCH(bool, terminate);
        QTemporaryDir config;
        {
            Lurn lurn(config.path());
            X11Probe probe;
            const xcb_window_t main = lurn.window(probe, "Lurn");
            QVERIFY(main);
            QTest::qWait(300);
            clickAt(main, 60, 26); // nouNom
            type("chat");
            clickAt(main, 224, 28);  // Añadir
            clickAt(main, 230, 134); // edClave
            type("abc");
            clickAt(main, 230, 168); // edRepetirClave
            type("abc");
            QTest::qWait(200);
            if (terminate)
                ::kill(pid_t(lurn.pid()), SIGTERM);
            else
                run("wmctrl", {"-i", "-c", QString::number(main)});
            QVERIFY(lurn.endsWithin(10000));
            // Only the operator's close is a chosen end (status 0); its unit
            // starts it again after any other.
            QCOMPARE(lurn.process().exitCode(), terminate ? 128 + SIGTERM : 0);
        }
        QCOMPARE(stored(config.path(), "Noms/Numero"), QStringLiteral("1"));
        QCOMPARE(stored(config.path(), "Noms/Nom1"), QStringLiteral("chat"));
        QCOMPARE(stored(config.path(), "Claus/Clau").toLatin1(), QByteArray("\xC3\xC3\xC3"));

        // Started again, it shows them and saves them back unchanged.
        const QByteArray before = [&] {
            QFile f(config.path() + "/Lurn.conf");
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        Lurn again(config.path());
        X11Probe probe;
        const xcb_window_t main = again.window(probe, "Lurn");
        QVERIFY(main);
        run("wmctrl", {"-i", "-c", QString::number(main)});
        QVERIFY(again.endsWithin(10000));
        QFile f(config.path() + "/Lurn.conf");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void failedSaveIsReported()
    {
        // A settings directory that cannot exist, even for root.
        QTemporaryDir dir;
        QFile blocker(dir.path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Lurn lurn(dir.path() + "/file/config");
        X11Probe probe;
        const xcb_window_t main = lurn.window(probe, "Lurn");
        QVERIFY(main);
        const auto before = probe.clientsOfPid(lurn.pid());
        run("wmctrl", {"-i", "-c", QString::number(main)});
        // The error box comes up instead of silence; Enter closes it and the
        // program ends normally.
        xcb_window_t box = 0;
        QDeadlineTimer deadline(10000);
        while (!box && !deadline.hasExpired()) {
            for (xcb_window_t w : probe.clientsOfPid(lurn.pid()))
                if (w != main && std::find(before.begin(), before.end(), w) == before.end())
                    box = w;
            QTest::qWait(20);
        }
        QVERIFY2(box, "no error box at exit");
        QVERIFY(lurn.process().state() == QProcess::Running);
        run("xdotool", {"windowactivate", "--sync", QString::number(box)});
        run("xdotool", {"key", "--window", QString::number(box), "Return"});
        QVERIFY(lurn.endsWithin(10000));
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
    }

    void xServerGoingAwayKeepsEdits()
    {
        // A display of this test's own, to pull from under the program.
        QProcess xvfb;
        xvfb.setProgram("Xvfb");
        xvfb.setArguments({"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        xvfb.start();
        QVERIFY(xvfb.waitForStarted());
        QTRY_VERIFY(xvfb.canReadLine());
        const QByteArray display = ":" + xvfb.readLine().trimmed();
        const QByteArray ours = qgetenv("DISPLAY");
        qputenv("DISPLAY", display);

        QTemporaryDir config;
        {
            Lurn lurn(config.path());
            xcb_window_t main = 0;
            {
                // No window manager here to list the windows: search them,
                // and tell the main window by its size.
                X11Probe probe;
                QDeadlineTimer deadline(10000);
                while (!main && !deadline.hasExpired()) {
                    QProcess search;
                    search.start("xdotool", {"search", "--onlyvisible", "--name", "Lurn"});
                    search.waitForFinished();
                    for (const QByteArray& id : search.readAllStandardOutput().split('\n'))
                        if (id.toUInt() && probe.geometry(id.toUInt()).width() == 391)
                            main = id.toUInt();
                    QTest::qWait(50);
                }
            }
            QVERIFY(main);
            QTest::qWait(300);
            clickAt(main, 60, 26);
            type("chat");
            clickAt(main, 224, 28);
            QTest::qWait(200);
            xvfb.terminate();
            QVERIFY(xvfb.waitForFinished(5000));
            QVERIFY(lurn.endsWithin(10000));
        }
        qputenv("DISPLAY", ours);
        QCOMPARE(stored(config.path(), "Noms/Nom1"), QStringLiteral("chat"));
    }

    void noDisplay()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LURN_EXECUTABLE), {});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY(p.exitCode() != 0);
        const QList<QByteArray> lines = p.readAllStandardError().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.front().contains("display"));
    }
};

QTEST_MAIN(TestProgram)
#include "TestProgram.moc"
