#include "BigSettings.h"
#include "ConfigHome.h"

#include <QProcess>
#include <QTest>

#include <chrono>
#include <thread>

namespace {

bool sameSettings(const StoredSettings& a, const StoredSettings& b)
{
    return a.names == b.names && a.rate1 == b.rate1 && a.rate2 == b.rate2 &&
           a.password == b.password;
}

} // namespace

// A save killed at any moment leaves the old file or the new one, never a cut
// or a mixture, and the next run can still save.
class TestSettingsKill final : public QObject
{
    Q_OBJECT

private slots:
    void killedSave_data();
    void killedSave();
};

void TestSettingsKill::killedSave_data()
{
    // Delays after the first complete save; the helper saves without pause, so
    // each lands at some other point of a save.
    QTest::addColumn<int>("delayMicroseconds");
    for (int delay : {0, 900, 2300, 4100, 7300, 11900, 17300, 25700})
        QTest::addRow("killed %d us after the first save", delay) << delay;
}

void TestSettingsKill::killedSave()
{
    QFETCH(int, delayMicroseconds);
    const ConfigHome home;
    QVERIFY(home.isValid());

    QProcess saver;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    saver.setProcessEnvironment(environment);
    saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    saver.start(QStringLiteral(LURN_SAVE_LOOP), QStringList());
    QVERIFY2(saver.waitForStarted(), qPrintable(saver.errorString()));
    while (!saver.canReadLine())
        QVERIFY2(saver.waitForReadyRead(), "the saver ended before its first save");
    QCOMPARE(saver.readLine(), QByteArray("ready\n"));

    std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds));
    saver.kill();
    QVERIFY(saver.waitForFinished());
    QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

    platform::SettingsStore store(QStringLiteral("Lurn"));
    QStringList errors;
    const StoredSettings loaded = loadSettings(store, errors);
    QCOMPARE(errors, QStringList());
    QVERIFY2(
        sameSettings(loaded, bigSettings(0)) || sameSettings(loaded, bigSettings(1)),
        qPrintable(QStringLiteral("%1 names, rate %2").arg(loaded.names.size()).arg(loaded.rate1)));

    // The killed saver may have left its lock file; it must not block us.
    const StoredSettings after = storedSettings({"after"}, "1", "2", "abc");
    saveSettings(store, after);
    store.close();
    const StoredSettings reloaded = reloadFromDisk(home, errors);
    COMPARE_SETTINGS(reloaded, after);
}

QTEST_GUILESS_MAIN(TestSettingsKill)
#include "TestSettingsKill.moc"
