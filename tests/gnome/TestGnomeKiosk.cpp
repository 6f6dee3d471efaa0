// The kiosk set-up as the package ships it (data/dconf, the extension in a
// system data directory), in a session started with
// `tests/with-gnome-shell.sh --kiosk`: the extension runs for a user who never
// enabled it, and that user cannot switch it off.

#include "GnomeSession.h"

#include <QProcess>
#include <QtTest>

namespace {

// Runs a command of the session's user; its exit code, or -1.
int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(30000))
        return -1;
    if (output)
        *output = p.readAllStandardOutput().trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

class TestGnomeKiosk final : public QObject
{
    Q_OBJECT

private slots:
    void enabledWithoutTheUser()
    {
        QVERIFY(shellExtension::isOnBus());
        QByteArray info;
        QCOMPARE(run("gnome-extensions", {"info", shellExtension::uuid()}, &info), 0);
        // GNOME 43 says ENABLED, 48 ACTIVE.
        QVERIFY2(info.contains("State: ENABLED") || info.contains("State: ACTIVE"),
                 info.constData());
        QVERIFY2(!info.contains("/.local/"), "not the user's own copy");
    }

    void keyLocked_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("enabled-extensions") << "enabled-extensions";
        QTest::newRow("disabled-extensions") << "disabled-extensions";
        QTest::newRow("disable-user-extensions") << "disable-user-extensions";
    }

    void keyLocked()
    {
        QFETCH(QString, key);
        QByteArray writable;
        QCOMPARE(run("gsettings", {"writable", "org.gnome.shell", key}, &writable), 0);
        QCOMPARE(writable, QByteArray("false"));
    }

    void userCannotSwitchItOff_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("gnome-extensions disable")
            << "gnome-extensions" << QStringList{"disable", shellExtension::uuid()};
        QTest::newRow("all extensions off")
            << "gsettings"
            << QStringList{"set", "org.gnome.shell", "disable-user-extensions", "true"};
        QTest::newRow("extension listed as disabled")
            << "gsettings"
            << QStringList{"set", "org.gnome.shell", "disabled-extensions",
                           "['" + shellExtension::uuid() + "']"};
    }

    void userCannotSwitchItOff()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        run(program, arguments);
        // The shell would let go of the name as soon as the setting changed.
        QTest::qWait(500);
        QVERIFY(shellExtension::isOnBus());
    }
};

QTEST_MAIN(TestGnomeKiosk)
#include "TestGnomeKiosk.moc"
