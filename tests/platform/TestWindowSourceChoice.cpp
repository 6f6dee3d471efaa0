// Which source the closing pass takes other programs' windows from, chosen
// from what the session offers.
#include "platform/WindowSourceChoice.h"

#include <QtTest>

using platform::SessionFacts;
using platform::WindowSourceKind;

Q_DECLARE_METATYPE(SessionFacts)
Q_DECLARE_METATYPE(WindowSourceKind)

namespace {

SessionFacts wayland(const std::string& desktop, std::vector<platform::WaylandGlobal> globals)
{
    SessionFacts f;
    f.waylandDisplaySet = true;
    f.desktop = desktop;
    f.waylandGlobals = std::move(globals);
    return f;
}

SessionFacts withExtension(SessionFacts f, std::uint32_t version)
{
    f.gnomeExtensionFound = true;
    f.gnomeExtensionVersion = version;
    return f;
}

} // namespace

class TestWindowSourceChoice final : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<SessionFacts>("facts");
        QTest::addColumn<WindowSourceKind>("kind");
        QTest::addColumn<bool>("operatorTold");
        QTest::addColumn<QString>("noticeMentions");

        const platform::WaylandGlobal wlr{"zwlr_foreign_toplevel_manager_v1", 3};
        const platform::WaylandGlobal kde{"org_kde_plasma_window_management", 16};
        const platform::WaylandGlobal compositor{"wl_compositor", 5};

        QTest::newRow("X11 session") << SessionFacts{} << WindowSourceKind::X11 << false << "";
        SessionFacts x11WithDesktop;
        x11WithDesktop.desktop = "GNOME";
        QTest::newRow("GNOME on X11: nothing to tell")
            << x11WithDesktop << WindowSourceKind::X11 << false << "";
        QTest::newRow("sway") << wayland("sway", {compositor, wlr})
                              << WindowSourceKind::WlrForeignToplevel << false << "";
        QTest::newRow("KWin with the grant") << wayland("KDE", {compositor, kde})
                                             << WindowSourceKind::KdePlasma << false << "";
        QTest::newRow("both protocols: wlroots first")
            << wayland("", {kde, wlr}) << WindowSourceKind::WlrForeignToplevel << false << "";
        QTest::newRow("KWin without the grant")
            << wayland("KDE", {compositor}) << WindowSourceKind::X11 << true
            << "X-KDE-Wayland-Interfaces";
        QTest::newRow("GNOME with the extension")
            << withExtension(wayland("ubuntu:GNOME", {compositor}), platform::kGnomeExtensionVersion)
            << WindowSourceKind::GnomeShell << false << "";
        QTest::newRow("GNOME without the extension")
            << wayland("ubuntu:GNOME", {compositor}) << WindowSourceKind::X11 << true
            << "gnome-extensions enable lurn-windows@lurn";
        QTest::newRow("GNOME with a foreign extension version")
            << withExtension(wayland("GNOME", {compositor}), platform::kGnomeExtensionVersion + 1)
            << WindowSourceKind::X11 << true << "no es de esta versión";
        QTest::newRow("unknown compositor") << wayland("weston", {compositor})
                                            << WindowSourceKind::X11 << true << "README";
        QTest::newRow("GNOME named later in the list")
            << wayland("Budgie:GNOME", {}) << WindowSourceKind::X11 << true << "gnome-extensions";
        QTest::newRow("a desktop that only contains GNOME in its name")
            << wayland("GNOME-Flashback-X", {}) << WindowSourceKind::X11 << true
            << "Este escritorio Wayland";
        QTest::newRow("protocol older than needed") << wayland("", {{wlr.interface, 0}})
                                                    << WindowSourceKind::X11 << true << "";
    }

    void choice()
    {
        QFETCH(SessionFacts, facts);
        QFETCH(WindowSourceKind, kind);
        QFETCH(bool, operatorTold);
        QFETCH(QString, noticeMentions);

        const platform::WindowSourceChoice c =
            platform::chooseWindowSource(facts, "/usr/share/doc/lurn/README.md");
        QCOMPARE(c.kind, kind);
        QVERIFY(!c.why.empty());
        QVERIFY(c.why.find('\n') == std::string::npos);
        QCOMPARE(!c.operatorNotice.empty(), operatorTold);
        const QString notice = QString::fromStdString(c.operatorNotice);
        QVERIFY2(notice.contains(noticeMentions), qPrintable(notice));
        if (operatorTold)
            QVERIFY2(notice.contains("/usr/share/doc/lurn/README.md"), qPrintable(notice));
    }

    void diagnosticsNameWhatWasFound()
    {
        SessionFacts f = wayland("KDE", {{"wl_compositor", 5}, {"wl_seat", 8}});
        const std::string text = platform::describeSession(f, platform::chooseWindowSource(f, "R"));
        QVERIFY(text.starts_with("windows: x11\n"));
        QVERIFY(text.find("wl_compositor/5 wl_seat/8") != std::string::npos);
        QVERIFY(text.find("operator is told:") != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestWindowSourceChoice)
#include "TestWindowSourceChoice.moc"
