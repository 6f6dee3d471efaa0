// The lurn executable end to end on KWin with its grant: a countdown started
// through the window ends, the matching native Wayland and XWayland windows
// close, the others stay, and the warning notice stays above an active
// full-screen Wayland window.
#include "LurnProcess.h"
#include "PlasmaProbe.h"
#include "TestClients.h"
#include "X11Probe.h"

#include <QtTest>

#include <csignal>

namespace {

void run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30000);
}

QString output(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Clicks at a point of the window's client area, as the operator would.
void clickAt(xcb_window_t window, int x, int y)
{
    run("xdotool", {"mousemove", "--window", QString::number(window), QString::number(x),
                    QString::number(y), "click", "1"});
}

// Puts text in the line edit at (x, y) of the window, instead of what it held.
void fill(xcb_window_t window, int x, int y, const QString& text)
{
    clickAt(window, x, y);
    run("xdotool", {"key", "ctrl+a", "BackSpace"});
    run("xdotool", {"type", "--delay", "20", text});
}

xcb_window_t waitForWindow(X11Probe& probe, qint64 pid, const QString& name)
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        for (xcb_window_t w : probe.clientsOfPid(pid))
            if (probe.netWmName(w) == name)
                return w;
        QTest::qWait(50);
    }
    return 0;
}

// Index of the first window whose title contains part, topmost first; -1 if none.
int positionOf(const std::vector<PlasmaProbe::Window>& windows, const std::string& part)
{
    for (std::size_t i = 0; i < windows.size(); ++i)
        if (windows[i].title.find(part) != std::string::npos)
            return int(i);
    return -1;
}

const PlasmaProbe::Window* find(const std::vector<PlasmaProbe::Window>& windows,
                                const std::string& part)
{
    const int i = positionOf(windows, part);
    return i < 0 ? nullptr : &windows[std::size_t(i)];
}

// Starts a countdown of the given length and warning lead through the main
// window, as the operator does; true once the lock is up. Tries again if the
// window was not ready to take the clicks yet.
bool startCountdown(X11Probe& probe, qint64 pid, xcb_window_t main, const QString& seconds,
                    const QString& warnMinutes)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        fill(main, 36, 234, "0");         // edHoras
        fill(main, 92, 234, "0");         // edMinutos
        fill(main, 148, 234, seconds);    // edSegundos
        fill(main, 76, 314, warnMinutes); // edMinutosAntes
        clickAt(main, 53, 268);           // Iniciar
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            for (xcb_window_t w : probe.clientsOfPid(pid))
                if (probe.netWmName(w) == QLatin1String("Clave"))
                    return true;
            QTest::qWait(50);
        }
    }
    return false;
}

} // namespace

class TestLurnOnKWin final : public QObject
{
    Q_OBJECT

private slots:
    void countdownEndClosesMatchingWindows()
    {
        TestClient nativeChat(TestClient::Kind::Native, "native chat");
        TestClient x11Chat(TestClient::Kind::X11, "x11 chat");
        TestClient notes(TestClient::Kind::Native, "notes");
        QTRY_VERIFY_WITH_TIMEOUT(nativeChat.isReady() && x11Chat.isReady() && notes.isReady(),
                                 20000);

        LurnProcess lurn({"chat"});
        const QByteArray line = lurn.waitForErrorLine("lurn: windows: ");
        QVERIFY2(line.startsWith("lurn: windows: kde-plasma-window-management ("),
                 line.constData());
        X11Probe probe;
        const xcb_window_t main = waitForWindow(probe, lurn.pid(), "Lurn");
        QVERIFY(main);
        QTest::qWait(300); // the window takes the pointer once it is placed
        QVERIFY2(startCountdown(probe, lurn.pid(), main, "8", "1"), "the countdown did not start");

        // The notice comes at once (a minute's lead on eight seconds), as a
        // critical notification for KWin and a dialog for everybody else.
        const xcb_window_t notice = waitForWindow(probe, lurn.pid(), "Aviso");
        QVERIFY2(notice, "no warning notice");
        const QString types =
            output("xprop", {"-id", QString::number(notice), "_NET_WM_WINDOW_TYPE"});
        QVERIFY2(types.contains("= _KDE_NET_WM_WINDOW_TYPE_CRITICAL_NOTIFICATION, "
                                "_NET_WM_WINDOW_TYPE_DIALOG"),
                 qPrintable(types));

        // The customer starts a full-screen program: it is active, and the
        // notice stays above it.
        TestClient video(TestClient::Kind::Native, "video", {"--fullscreen"});
        QTRY_VERIFY_WITH_TIMEOUT(video.isReady(), 20000);
        PlasmaProbe kwin;
        QVERIFY(kwin.isValid());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const auto windows = kwin.windows();
                const PlasmaProbe::Window* v = find(windows, "video");
                if (v && v->fullscreen() && !v->active())
                    kwin.activate("video");
                return v && v->fullscreen() && v->active();
            }(),
            20000);
        const auto windows = kwin.windows();
        QVERIFY(positionOf(windows, "Aviso") >= 0);
        QVERIFY2(positionOf(windows, "Aviso") < positionOf(windows, "video"),
                 "the notice went under the full-screen window");

        // The countdown ends: the matching windows are asked to close and do.
        QTRY_VERIFY_WITH_TIMEOUT(nativeChat.hasExited() && x11Chat.hasExited(), 30000);
        QVERIFY(nativeChat.closeRequests() >= 1);
        QVERIFY(x11Chat.closeRequests() >= 1);
        QCOMPARE(notes.closeRequests(), 0);
        QCOMPARE(video.closeRequests(), 0);
        QVERIFY(!notes.hasExited());

        QCOMPARE(lurn.process().state(), QProcess::Running);
        // Every pass worked: nothing said beyond the source at start.
        QCOMPARE(lurn.standardError().count("lurn: "), 1);
        lurn.process().terminate();
        QVERIFY(lurn.endsWithin(20000));
        // Ended by SIGTERM, as the session's end would: 128 + the signal.
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(lurn.process().exitCode(), 128 + SIGTERM);
    }

    // Last: KWin does not come back.
    void compositorKilledDuringCountdown()
    {
        LurnProcess lurn({"chat"});
        QVERIFY(!lurn.waitForErrorLine("lurn: windows: kde-plasma-window-management").isEmpty());
        {
            X11Probe probe;
            const xcb_window_t main = waitForWindow(probe, lurn.pid(), "Lurn");
            QVERIFY(main);
            QTest::qWait(300);
            QVERIFY2(startCountdown(probe, lurn.pid(), main, "30", "0"),
                     "the countdown did not start");
        }
        const pid_t compositor = pid_t(qEnvironmentVariableIntValue("LURN_TEST_COMPOSITOR_PID"));
        QCOMPARE(::kill(compositor, SIGKILL), 0);
        // XWayland goes with KWin, and the program with its X display; what
        // matters is that it ends as after any lost display, not by a crash.
        QVERIFY(lurn.endsWithin(20000));
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        const QByteArray errors = lurn.standardError();
        QVERIFY2(!errors.contains("ERROR: AddressSanitizer") && !errors.contains("runtime error"),
                 errors.constData());
    }
};

QTEST_GUILESS_MAIN(TestLurnOnKWin)
#include "TestLurnOnKWin.moc"
