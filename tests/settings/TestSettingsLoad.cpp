#include "ConfigHome.h"

#include <QTest>

namespace {

QStringList invalid(std::initializer_list<const char*> entries)
{
    QStringList messages;
    for (const char* entry : entries)
        messages.append(QStringLiteral("Invalid data type for '%1'").arg(QLatin1String(entry)));
    return messages;
}

// "a", then empty names up to the bound, with "z" last.
QStringList boundedNames()
{
    QStringList names(kMaxStoredNames);
    names.first() = QStringLiteral("a");
    names.last() = QStringLiteral("z");
    return names;
}

} // namespace

// What a stored file loads as, read from real files.
class TestSettingsLoad final : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void unreachableStoreLoadsDefaults();
};

void TestSettingsLoad::load_data()
{
    QTest::addColumn<QByteArray>("fileText"); // null: no file at all
    QTest::addColumn<StoredSettings>("expected");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("first run without a file") << QByteArray() << StoredSettings() << QStringList();
    QTest::newRow("Numero 3 with only Nom1 and Nom3")
        << QByteArray("[Noms]\nNumero=3\nNom1=uno\nNom3=tres\n")
        << storedSettings({"uno", "", "tres"}) << QStringList();
    QTest::newRow("Numero x loads no names and no error")
        << QByteArray("[Noms]\nNumero=x\nNom1=uno\n") << StoredSettings() << QStringList();
    QTest::newRow("Numero in hexadecimal") << QByteArray("[Noms]\nNumero=$2\nNom1=uno\nNom2=dos\n")
                                           << storedSettings({"uno", "dos"}) << QStringList();
    QTest::newRow("negative Numero")
        << QByteArray("[Noms]\nNumero=-5\nNom1=uno\n") << StoredSettings() << QStringList();
    QTest::newRow("names beyond Numero are ignored")
        << QByteArray("[Noms]\nNumero=2\nNom1=uno\nNom2=dos\nNom3=tres\nNom4=cuatro\n")
        << storedSettings({"uno", "dos"}) << QStringList();
    QTest::newRow("huge Numero is bounded")
        << QByteArray("[Noms]\nNumero=2147483647\nNom1=a\nNom10000=z\nNom10001=beyond\n")
        << storedSettings(boundedNames()) << QStringList();
    QTest::newRow("list name is refused, the rest still loads")
        << QByteArray("[Noms]\nNumero=3\nNom1=a, b\nNom2=dos\nNom3=tres\n"
                      "[Tarifes]\nTarifa1=600\nTarifa2=1200\n")
        << storedSettings({"", "dos", "tres"}, "600", "1200") << invalid({"Nom1"});
    QTest::newRow("quoted name keeps its comma") << QByteArray("[Noms]\nNumero=1\nNom1=\"a, b\"\n")
                                                 << storedSettings({"a, b"}) << QStringList();
    QTest::newRow("byte array rate is refused")
        << QByteArray("[Tarifes]\nTarifa1=@ByteArray(700)\nTarifa2=1400\n")
        << storedSettings({}, "500", "1400") << invalid({"Tarifa1"});
    QTest::newRow("variant number rate is refused")
        << QByteArray("[Tarifes]\nTarifa1=700\nTarifa2=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n")
        << storedSettings({}, "700") << invalid({"Tarifa2"});
    QTest::newRow("variant number Numero is refused")
        << QByteArray("[Noms]\nNumero=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\nNom1=uno\n"
                      "[Tarifes]\nTarifa1=700\n")
        << storedSettings({}, "700") << invalid({"Numero"});
    QTest::newRow("every bad entry is reported in order")
        << QByteArray("[Noms]\nNumero=2\nNom1=@ByteArray(x)\nNom2=dos\n"
                      "[Tarifes]\nTarifa1=a, b\nTarifa2=900\n"
                      "[Claus]\nClau=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n")
        << storedSettings({"", "dos"}, "500", "900") << invalid({"Nom1", "Tarifa1", "Clau"});
    QTest::newRow("empty entries read empty, not as their defaults")
        << QByteArray("[Noms]\nNumero=1\nNom1=\n[Tarifes]\nTarifa1=\nTarifa2=\n[Claus]\nClau=\n")
        << storedSettings({""}, "", "") << QStringList();
    // abc is stored as three bytes C3, one character each, written as UTF-8.
    QTest::newRow("password abc from C3 C3 C3")
        << QByteArray("[Claus]\nClau=\xC3\x83\xC3\x83\xC3\x83\n")
        << storedSettings({}, "500", "1000", "abc") << QStringList();
    QTest::newRow("password beyond U+00FF is refused")
        << QByteArray("[Tarifes]\nTarifa1=700\n[Claus]\nClau=\xE2\x82\xAC\n")
        << storedSettings({}, "700") << invalid({"Clau"});
}

void TestSettingsLoad::load()
{
    QFETCH(QByteArray, fileText);
    QFETCH(StoredSettings, expected);
    QFETCH(QStringList, errors);

    const ConfigHome home;
    QVERIFY(home.isValid());
    if (!fileText.isNull())
        home.writeFile(fileText);

    platform::SettingsStore store(QStringLiteral("Lurn"));
    QCOMPARE(store.location(), home.file());
    QStringList loadErrors;
    const StoredSettings loaded = loadSettings(store, loadErrors);

    COMPARE_SETTINGS(loaded, expected);
    QCOMPARE(loadErrors, errors);
}

// A store that can be neither opened nor created reads as a first run.
void TestSettingsLoad::unreachableStoreLoadsDefaults()
{
    const ConfigHome home;
    QFile blocker(home.path() + QStringLiteral("/blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker.fileName() + QStringLiteral("/config")));

    platform::SettingsStore store(QStringLiteral("Lurn"));
    QStringList errors;
    const StoredSettings loaded = loadSettings(store, errors);

    COMPARE_SETTINGS(loaded, StoredSettings());
    QCOMPARE(errors, QStringList());
}

QTEST_GUILESS_MAIN(TestSettingsLoad)
#include "TestSettingsLoad.moc"
