// The program on KWin when KWin does not grant it the window management (it
// was not started from its installed desktop entry): it falls back to the X11
// windows and tells the operator so, visibly.
#include "LurnProcess.h"
#include "X11Probe.h"
#include "platform/WindowSources.h"

#include <QtTest>

#include <csignal>

class TestLurnWithoutGrant final : public QObject
{
    Q_OBJECT

private slots:
    void sourceFallsBackToX11()
    {
        const platform::WindowSource source = platform::openWindowSource();
        QCOMPARE(source.choice.kind, platform::WindowSourceKind::X11);
        QVERIFY2(source.choice.why.find("does not grant org_kde_plasma_window_management") !=
                     std::string::npos,
                 source.choice.why.c_str());
        QVERIFY(source.choice.operatorNotice.find(platform::installedReadmePath()) !=
                std::string::npos);
        QVERIFY(source.windows);
    }

    void diagnoseSaysWhy()
    {
        LurnProcess lurn({}, {"--diagnose"});
        QVERIFY(lurn.endsWithin(20000));
        QCOMPARE(lurn.process().exitCode(), 0);
        const QString out = QString::fromUtf8(lurn.standardOutput());
        QVERIFY2(out.contains("windows: x11\n"), qPrintable(out));
        QVERIFY2(out.contains("desktop: KDE\n"), qPrintable(out));
        QVERIFY2(out.contains("wayland globals: wl_compositor/"), qPrintable(out));
        QVERIFY2(!out.contains("org_kde_plasma_window_management/"), qPrintable(out));
        QVERIFY2(out.contains("operator is told: KWin no concede a Lurn"), qPrintable(out));
    }

    void operatorIsToldOnStart()
    {
        LurnProcess lurn({"chat"});
        const QByteArray line = lurn.waitForErrorLine("lurn: windows: ");
        QVERIFY2(line.startsWith("lurn: windows: x11 (KWin does not grant"), line.constData());
        // The notice is a window of its own beside the main window, both
        // captioned with the program's name.
        X11Probe probe;
        std::vector<xcb_window_t> captioned;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                captioned.clear();
                for (xcb_window_t w : probe.clientsOfPid(lurn.pid()))
                    if (probe.netWmName(w) == QLatin1String("Lurn"))
                        captioned.push_back(w);
                return captioned.size() == 2;
            }(),
            20000);
        // It does not hold the program up: the program ends as usual.
        lurn.process().terminate();
        QVERIFY(lurn.endsWithin(20000));
        // Ended by SIGTERM, as the session's end would: 128 + the signal.
        QCOMPARE(lurn.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(lurn.process().exitCode(), 128 + SIGTERM);
    }
};

QTEST_GUILESS_MAIN(TestLurnWithoutGrant)
#include "TestLurnWithoutGrant.moc"
