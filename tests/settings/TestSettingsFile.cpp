#include "ConfigHome.h"

#include <QSettings>
#include <QTest>

#include <sys/stat.h>

namespace {

// Without a umask every permission bit left on the file is one the program
// chose, not one the environment happened to remove.
class NoUmask final
{
public:
    NoUmask() : m_old(::umask(0)) {}
    ~NoUmask() { ::umask(m_old); }
    NoUmask(const NoUmask&) = delete;
    NoUmask& operator=(const NoUmask&) = delete;

private:
    mode_t m_old;
};

struct FileIdentity
{
    bool exists = false;
    mode_t mode = 0;
    ino_t inode = 0;
};

FileIdentity identityOf(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, st.st_mode & 07777, st.st_ino};
}

void save(const StoredSettings& settings)
{
    platform::SettingsStore store(QStringLiteral("Lurn"));
    saveSettings(store, settings);
    store.close();
}

// Makes the configuration directory a path below a regular file, which no
// one, root included, can create or write.
QString blockedConfigHome(const ConfigHome& home)
{
    QFile blocker(home.path() + QStringLiteral("/blocker"));
    if (!blocker.open(QIODevice::WriteOnly))
        return {};
    const QString config = blocker.fileName() + QStringLiteral("/config");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    return config;
}

enum class Write { String, Integer, SaveWithNames, SaveWithoutNames, CloseBatch };

} // namespace

Q_DECLARE_METATYPE(Write)

// The file as the system sees it: where it goes, who may read it, how it is
// replaced, and what happens when it cannot be written.
class TestSettingsFile final : public QObject
{
    Q_OBJECT

private slots:
    void privateAndReplacedWhole_data();
    void privateAndReplacedWhole();
    void writeFailures_data();
    void writeFailures();
    void failedWriteDoesNotStick();
    void malformedFileIsRewritten();
};

void TestSettingsFile::privateAndReplacedWhole_data()
{
    QTest::addColumn<QString>("subdirectory");
    QTest::newRow("existing configuration directory") << QString();
    QTest::newRow("configuration directory not there yet") << QStringLiteral("/new/config");
}

void TestSettingsFile::privateAndReplacedWhole()
{
    QFETCH(QString, subdirectory);
    const NoUmask noUmask;
    const ConfigHome home;
    const QString config = home.path() + subdirectory;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString file = config + QStringLiteral("/Lurn.conf");

    save(storedSettings({"uno"}, "500", "1000", "abc"));
    const FileIdentity first = identityOf(file);
    QVERIFY(first.exists);
    QCOMPARE(first.mode, mode_t(0600));

    save(storedSettings({"uno", "dos"}, "600", "1200", "abcd"));
    const FileIdentity second = identityOf(file);
    QVERIFY(second.exists);
    QCOMPARE(second.mode, mode_t(0600));
    // A new inode: the save wrote a new file and renamed it over the old one
    // instead of rewriting the old one in place.
    QVERIFY(second.inode != first.inode);
    // Neither the lock file nor a temporary file is left behind.
    QCOMPARE(QDir(config).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Lurn.conf"});
}

void TestSettingsFile::writeFailures_data()
{
    QTest::addColumn<Write>("write");
    QTest::addColumn<QString>("message");

    QTest::newRow("write string") << Write::String << "Failed to set data for 'Tarifa1'";
    QTest::newRow("write integer") << Write::Integer << "Failed to set data for 'Numero'";
    QTest::newRow("save names the first entry")
        << Write::SaveWithNames << "Failed to set data for 'Nom1'";
    QTest::newRow("save without names")
        << Write::SaveWithoutNames << "Failed to set data for 'Numero'";
    QTest::newRow("close with an open batch")
        << Write::CloseBatch << "Failed to set data for 'Tarifa2'";
}

void TestSettingsFile::writeFailures()
{
    QFETCH(Write, write);
    QFETCH(QString, message);
    const ConfigHome home;
    const QString config = blockedConfigHome(home);
    QVERIFY(!config.isEmpty());

    platform::SettingsStore store(QStringLiteral("Lurn"));
    try {
        switch (write) {
        case Write::String:
            store.writeString(QStringLiteral("Tarifes"), QStringLiteral("Tarifa1"), "600");
            break;
        case Write::Integer:
            store.writeInteger(QStringLiteral("Noms"), QStringLiteral("Numero"), 3);
            break;
        case Write::SaveWithNames:
            saveSettings(store, storedSettings({"uno", "dos"}, "500", "1000", "abc"));
            break;
        case Write::SaveWithoutNames:
            saveSettings(store, StoredSettings());
            break;
        case Write::CloseBatch:
            store.beginBatch();
            store.writeString(QStringLiteral("Tarifes"), QStringLiteral("Tarifa2"), "1200");
            store.close();
            break;
        }
        QFAIL("the write reported success");
    } catch (const platform::SettingsError& error) {
        QCOMPARE(QString::fromStdString(error.what()), message);
    }
}

// QSettings keeps its first error for good; a write after the obstacle is gone
// must succeed and say so.
void TestSettingsFile::failedWriteDoesNotStick()
{
    const NoUmask noUmask;
    const ConfigHome home;
    const QString config = blockedConfigHome(home);
    QVERIFY(!config.isEmpty());
    platform::SettingsStore store(QStringLiteral("Lurn"));
    QVERIFY_THROWS_EXCEPTION(
        platform::SettingsError,
        store.writeString(QStringLiteral("Tarifes"), QStringLiteral("Tarifa1"), "600"));

    QVERIFY(QFile::remove(home.path() + QStringLiteral("/blocker")));
    store.writeString(QStringLiteral("Tarifes"), QStringLiteral("Tarifa2"), "700");
    store.close();

    const QString file = config + QStringLiteral("/Lurn.conf");
    QCOMPARE(identityOf(file).mode, mode_t(0600));
    QSettings raw(file, QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Tarifes/Tarifa2")), QVariant(QStringLiteral("700")));
    // The value that could not be written earlier is still wanted, and went
    // out with the next write.
    QCOMPARE(raw.value(QStringLiteral("Tarifes/Tarifa1")), QVariant(QStringLiteral("600")));
}

// Lines QSettings cannot parse leave it in an error state from the start;
// the store must still write, and report the write truthfully.
void TestSettingsFile::malformedFileIsRewritten()
{
    const QByteArray text("[Noms]\nNumero=1\nNom1=uno\nnot an entry\n[broken\n");
    {
        const ConfigHome probe(text);
        QCOMPARE(QSettings(probe.file(), QSettings::IniFormat).status(), QSettings::FormatError);
    }

    const ConfigHome home(text);
    platform::SettingsStore store(QStringLiteral("Lurn"));
    QStringList errors;
    QCOMPARE(loadSettings(store, errors).names, QStringList{"uno"});
    store.writeString(QStringLiteral("Tarifes"), QStringLiteral("Tarifa1"), "600");
    store.close();

    const StoredSettings reloaded = reloadFromDisk(home, errors);
    QCOMPARE(reloaded.names, QStringList{"uno"});
    QCOMPARE(reloaded.rate1, QStringLiteral("600"));
    QCOMPARE(errors, QStringList());
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "TestSettingsFile.moc"
