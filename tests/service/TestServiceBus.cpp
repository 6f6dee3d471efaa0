// lurnd as the customer meets it: the real service on a bus that stands for
// the system bus, with the real bus policy, called by an unprivileged user
// as the face in the customer's session will be.
#include "PrivateSystemBus.h"
#include "platform/SettingsStore.h"
#include "settings/SettingsIO.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/types.h>
#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.lurn.Station");
const QString kPath = QStringLiteral("/org/lurn/Station");
const QString kInterface = QStringLiteral("org.lurn.Station1");
const QString kPassword = QStringLiteral("secreta");
const QStringList kNames = {QStringLiteral("firefox"), QStringLiteral("gimp")};
// Generous: the machine may be building beside the test.
constexpr int kTimeoutMs = 60'000;

struct CallResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestServiceBus final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void customerCalls_data();
    void customerCalls();
    void operatorStartsAndStops();
    void countdownOutlivesKill();
    void customerCannotStandInForService();

private:
    bool startService();
    void stopService();
    QVariantMap state();
    QString countdownFile() const { return m_root.filePath(QStringLiteral("state/countdown")); }
    // gdbus call as nobody, the way an unprivileged face (or a customer with
    // a terminal) reaches the service.
    CallResult asCustomer(const QStringList& args);
    CallResult callAsCustomer(const QString& method, const QStringList& args);

    QTemporaryDir m_root;
    std::unique_ptr<PrivateSystemBus> m_bus;
    std::unique_ptr<QProcess> m_service;
    std::unique_ptr<QDBusConnection> m_connection;
};

void TestServiceBus::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("lurnd owns its name only as root, and the customer's calls are made as nobody: "
              "run as root");
    QVERIFY(m_root.isValid());
    QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("etc")));
    QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("state")));

    platform::SettingsStore store(
        platform::SettingsStore::FilePath{m_root.filePath(QStringLiteral("etc/lurnd.conf"))});
    StoredSettings settings;
    settings.names = kNames;
    settings.rate1 = QStringLiteral("600");
    settings.rate2 = QStringLiteral("1200");
    settings.password = kPassword;
    saveSettings(store, settings);
    store.close();

    m_bus = std::make_unique<PrivateSystemBus>(QStringLiteral(LURN_BUS_POLICY));
    QVERIFY2(m_bus->started(), "dbus-daemon did not start");
    QVERIFY2(QTest::qWaitFor([this] { return m_bus->listening(); }, kTimeoutMs),
             "the private bus never listened");
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("lurn-test")));
    QVERIFY2(m_connection->isConnected(), qPrintable(m_connection->lastError().message()));
    QVERIFY(startService());
}

void TestServiceBus::cleanupTestCase()
{
    stopService();
    if (m_connection)
        QDBusConnection::disconnectFromBus(QStringLiteral("lurn-test"));
    m_connection.reset();
    m_bus.reset();
}

void TestServiceBus::init()
{
    // Each case begins with no countdown and no lock.
    QDBusMessage stop =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Stop"));
    stop << kPassword;
    const QDBusMessage reply = m_connection->call(stop, QDBus::Block, kTimeoutMs);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(state().value(QStringLiteral("running")).toBool(), false);
}

bool TestServiceBus::startService()
{
    m_service = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus->address());
    env.insert(QStringLiteral("STATE_DIRECTORY"), m_root.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("CONFIGURATION_DIRECTORY"), m_root.filePath(QStringLiteral("etc")));
    m_service->setProcessEnvironment(env);
    m_service->setProcessChannelMode(QProcess::ForwardedChannels);
    m_service->start(QStringLiteral(LURN_LURND), {});
    if (!m_service->waitForStarted(kTimeoutMs)) {
        qWarning("lurnd did not start: %s", qPrintable(m_service->errorString()));
        return false;
    }
    QDBusConnectionInterface* bus = m_connection->interface();
    if (!QTest::qWaitFor(
            [&] {
                return bus->isServiceRegistered(kService).value() ||
                       m_service->state() == QProcess::NotRunning;
            },
            kTimeoutMs) ||
        !bus->isServiceRegistered(kService).value()) {
        qWarning("lurnd never owned %s (exit status %d)", qPrintable(kService),
                 m_service->exitCode());
        return false;
    }
    return true;
}

void TestServiceBus::stopService()
{
    if (m_service && m_service->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_service->processId()), SIGTERM);
        m_service->waitForFinished(kTimeoutMs);
    }
    m_service.reset();
}

QVariantMap TestServiceBus::state()
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetState"));
    const QDBusReply<QVariantMap> reply = m_connection->call(call, QDBus::Block, kTimeoutMs);
    if (!reply.isValid()) {
        qWarning("GetState failed: %s", qPrintable(reply.error().message()));
        return {};
    }
    return reply.value();
}

CallResult TestServiceBus::asCustomer(const QStringList& args)
{
    QProcess gdbus;
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
    gdbus.setProcessEnvironment(env);
    QStringList argv = {QStringLiteral("--reuid=nobody"),
                        QStringLiteral("--regid=nogroup"),
                        QStringLiteral("--clear-groups"),
                        QStringLiteral("gdbus"),
                        QStringLiteral("call"),
                        QStringLiteral("--address"),
                        m_bus->address()};
    gdbus.start(QStringLiteral("setpriv"), argv + args);
    CallResult result;
    if (!gdbus.waitForFinished(kTimeoutMs)) {
        gdbus.kill();
        gdbus.waitForFinished();
        result.err = QStringLiteral("gdbus did not finish");
        return result;
    }
    result.exitCode = gdbus.exitStatus() == QProcess::NormalExit ? gdbus.exitCode() : -1;
    result.out = QString::fromUtf8(gdbus.readAllStandardOutput());
    result.err = QString::fromUtf8(gdbus.readAllStandardError());
    return result;
}

CallResult TestServiceBus::callAsCustomer(const QString& method, const QStringList& args)
{
    return asCustomer(
        QStringList{QStringLiteral("--dest"), kService, QStringLiteral("--object-path"), kPath,
                    QStringLiteral("--method"), kInterface + QLatin1Char('.') + method} +
        args);
}

void TestServiceBus::customerCalls_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error"); // empty: the call succeeds
    QTest::addColumn<QString>("output");

    const QString station = kService;
    const QString refused = QStringLiteral("org.lurn.Station1.Error.Refused");
    const QString invalid = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    const QString denied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");
    const QString start = QStringLiteral("org.lurn.Station1.Start");
    QTest::newRow("GetState, by anyone")
        << station << kPath << QStringLiteral("org.lurn.Station1.GetState") << QStringList()
        << QString() << QStringLiteral("'running': <false>");
    QTest::newRow("Introspect, by anyone")
        << station << kPath << QStringLiteral("org.freedesktop.DBus.Introspectable.Introspect")
        << QStringList() << QString() << QStringLiteral("org.lurn.Station1");
    QTest::newRow("Start with a wrong password")
        << station << kPath << start
        << QStringList{QStringLiteral("'mala'"), "1", "0", "0", "false", "0"} << refused
        << QString();
    QTest::newRow("Start with an empty password")
        << station << kPath << start
        << QStringList{QStringLiteral("''"), "1", "0", "0", "false", "0"} << refused << QString();
    QTest::newRow("Stop with a wrong password")
        << station << kPath << QStringLiteral("org.lurn.Station1.Stop")
        << QStringList{QStringLiteral("'mala'")} << refused << QString();
    QTest::newRow("Unlock with a wrong password")
        << station << kPath << QStringLiteral("org.lurn.Station1.Unlock")
        << QStringList{QStringLiteral("'mala'")} << QString() << QStringLiteral("(false,)");
    QTest::newRow("Start with no time at all")
        << station << kPath << start
        << QStringList{"'" + kPassword + "'", "0", "0", "0", "false", "0"} << invalid << QString();
    QTest::newRow("Start past 23:59:59")
        << station << kPath << start
        << QStringList{"'" + kPassword + "'", "24", "0", "0", "false", "0"} << invalid << QString();
    QTest::newRow("Properties.GetAll, which the policy leaves out")
        << station << kPath << QStringLiteral("org.freedesktop.DBus.Properties.GetAll")
        << QStringList{QStringLiteral("'org.lurn.Station1'")} << denied << QString();
    QTest::newRow("owning org.lurn.Station")
        << QStringLiteral("org.freedesktop.DBus") << QStringLiteral("/org/freedesktop/DBus")
        << QStringLiteral("org.freedesktop.DBus.RequestName")
        << QStringList{QStringLiteral("'org.lurn.Station'"), "0"} << denied << QString();
}

void TestServiceBus::customerCalls()
{
    QFETCH(QString, destination);
    QFETCH(QString, path);
    QFETCH(QString, method);
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QString, output);

    const CallResult result = asCustomer(QStringList{QStringLiteral("--dest"), destination,
                                                     QStringLiteral("--object-path"), path,
                                                     QStringLiteral("--method"), method} +
                                         args);
    if (error.isEmpty()) {
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY2(result.out.contains(output), qPrintable(result.out));
    } else {
        QVERIFY2(result.exitCode != 0, qPrintable(result.out));
        QVERIFY2(result.err.contains(error), qPrintable(result.err));
    }
    // Nothing a customer can do alone starts time, and the service is still
    // the name's owner.
    QCOMPARE(state().value(QStringLiteral("running")).toBool(), false);
    QVERIFY(m_connection->interface()->isServiceRegistered(kService).value());
    QCOMPARE(m_service->state(), QProcess::Running);
}

void TestServiceBus::operatorStartsAndStops()
{
    const QString password = "'" + kPassword + "'";
    CallResult result =
        callAsCustomer(QStringLiteral("Start"), {password, "2", "30", "0", "true", "5"});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));

    QVariantMap s = state();
    QCOMPARE(s.value(QStringLiteral("running")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("locked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("planned_seconds")).toUInt(), 9000u);
    QCOMPARE(s.value(QStringLiteral("warn_minutes")).toUInt(), 5u);
    QCOMPARE(s.value(QStringLiteral("rate_per_hour")).toInt(), 1200); // the second rate
    QCOMPARE(s.value(QStringLiteral("names")).toStringList(), kNames);
    QVERIFY(!s.value(QStringLiteral("session_id")).toString().isEmpty());
    const qint64 elapsed = s.value(QStringLiteral("elapsed_ms")).toLongLong();
    QVERIFY2(elapsed >= 0 && elapsed < 9'000'000, qPrintable(QString::number(elapsed)));
    QCOMPARE(qint64(s.value(QStringLiteral("remaining_seconds")).toUInt()),
             (9'000'000 - elapsed + 999) / 1000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(countdownFile()), kTimeoutMs);
    // The kept countdown is root's alone: a customer who could rewrite it
    // would choose the time a restart takes up.
    QCOMPARE(QFile::permissions(countdownFile()) & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);

    // One countdown at a time: a second start would drop the first one's time.
    result = callAsCustomer(QStringLiteral("Start"), {password, "1", "0", "0", "false", "0"});
    QVERIFY2(result.err.contains(QStringLiteral("org.lurn.Station1.Error.Busy")),
             qPrintable(result.err));
    QCOMPARE(state().value(QStringLiteral("planned_seconds")).toUInt(), 9000u);

    result = callAsCustomer(QStringLiteral("Unlock"), {password});
    QVERIFY2(result.out.contains(QStringLiteral("(true,)")), qPrintable(result.out + result.err));
    QCOMPARE(state().value(QStringLiteral("locked")).toBool(), false);

    result = callAsCustomer(QStringLiteral("Stop"), {QStringLiteral("'mala'")});
    QVERIFY2(result.err.contains(QStringLiteral("org.lurn.Station1.Error.Refused")),
             qPrintable(result.err));
    QCOMPARE(state().value(QStringLiteral("running")).toBool(), true);

    result = callAsCustomer(QStringLiteral("Stop"), {password});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    s = state();
    QCOMPARE(s.value(QStringLiteral("running")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("locked")).toBool(), false);
    // Nothing is left to take up.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(countdownFile()), kTimeoutMs);
}

void TestServiceBus::countdownOutlivesKill()
{
    const CallResult result = callAsCustomer(QStringLiteral("Start"),
                                             {"'" + kPassword + "'", "3", "0", "0", "false", "0"});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    const QString id = state().value(QStringLiteral("session_id")).toString();
    QVERIFY(!id.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(countdownFile()), kTimeoutMs);
    // Some time must have run, or "kept" could not be told from "started anew".
    QTRY_VERIFY_WITH_TIMEOUT(state().value(QStringLiteral("elapsed_ms")).toLongLong() >= 1500,
                             kTimeoutMs);
    const qint64 elapsedBefore = state().value(QStringLiteral("elapsed_ms")).toLongLong();

    ::kill(pid_t(m_service->processId()), SIGKILL);
    QVERIFY(m_service->waitForFinished(kTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->interface()->isServiceRegistered(kService).value(),
                             kTimeoutMs);
    QVERIFY(startService());

    const QVariantMap s = state();
    QCOMPARE(s.value(QStringLiteral("session_id")).toString(), id);
    QCOMPARE(s.value(QStringLiteral("running")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("locked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("planned_seconds")).toUInt(), 10800u);
    QCOMPARE(s.value(QStringLiteral("names")).toStringList(), kNames);
    const qint64 elapsedAfter = s.value(QStringLiteral("elapsed_ms")).toLongLong();
    // The time the service was down counts too: nothing is given back.
    QVERIFY2(elapsedAfter >= elapsedBefore,
             qPrintable(QStringLiteral("%1 ms after the restart, %2 ms before")
                            .arg(elapsedAfter)
                            .arg(elapsedBefore)));
    QVERIFY2(elapsedAfter < 10'800'000, qPrintable(QString::number(elapsedAfter)));
}

void TestServiceBus::customerCannotStandInForService()
{
    // With the name free, a customer's own lurnd must still not get it: a
    // face would take its answers for the station's.
    stopService();
    QTRY_VERIFY_WITH_TIMEOUT(!m_connection->interface()->isServiceRegistered(kService).value(),
                             kTimeoutMs);
    QProcess impostor;
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus->address());
    env.insert(QStringLiteral("STATE_DIRECTORY"), QStringLiteral("/nonexistent"));
    env.insert(QStringLiteral("CONFIGURATION_DIRECTORY"), QStringLiteral("/nonexistent"));
    impostor.setProcessEnvironment(env);
    impostor.start(QStringLiteral("setpriv"),
                   {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                    QStringLiteral("--clear-groups"), QStringLiteral(LURN_LURND)});
    const bool finished = impostor.waitForFinished(kTimeoutMs);
    if (!finished) {
        ::kill(pid_t(impostor.processId()), SIGKILL);
        impostor.waitForFinished(kTimeoutMs);
    }
    const QString err = QString::fromUtf8(impostor.readAllStandardError());
    QVERIFY2(finished, "lurnd run as nobody did not end");
    QVERIFY2(impostor.exitCode() != 0, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("not allowed to own")), qPrintable(err));
    QVERIFY(!m_connection->interface()->isServiceRegistered(kService).value());
    QVERIFY(startService());
}

QTEST_GUILESS_MAIN(TestServiceBus)
#include "TestServiceBus.moc"
