#include "ConfigHome.h"

#include <QSettings>
#include <QTest>

namespace {

void saveIn(const ConfigHome& home, const StoredSettings& settings)
{
    platform::SettingsStore store(QStringLiteral("Lurn"));
    QCOMPARE(store.location(), home.file());
    saveSettings(store, settings);
    store.close();
}

QString repeated(char16_t c, int count)
{
    return QString(count, QChar(c));
}

QByteArray allBytes()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}

} // namespace

// What a save leaves in the file, and that the next run gets it back.
class TestSettingsSave final : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void storedForm_data();
    void storedForm();
    void shorterListLeavesStaleNames();
    void everyByteSurvives_data();
    void everyByteSurvives();
};

void TestSettingsSave::roundTrip_data()
{
    QTest::addColumn<StoredSettings>("settings");

    QTest::newRow("defaults") << StoredSettings();
    // Texts the ini format would otherwise read as lists, types, comments,
    // sections, escapes or trimmed blanks.
    QTest::newRow("names with ini syntax")
        << storedSettings({"a, b", "@ByteArray(x)", "@@x", " spaced ", "k=v", ";comment", "#hash",
                           "[Noms]", "quote\"", "back\\slash", "tab\tname", "", "x"});
    QTest::newRow("names beyond Latin-1") << storedSettings({"línea ñ", "日本語", "€"});
    QTest::newRow("rates saved as typed") << storedSettings({}, "abc", " -1 ");
    QTest::newRow("password abc") << storedSettings({"chat"}, "500", "1000", "abc");
    QTest::newRow("one-character password") << storedSettings({}, "500", "1000", "A");
    QTest::newRow("password beyond ASCII") << storedSettings({}, "500", "1000", "contraseña");
    QTest::newRow("password with blanks and comma") << storedSettings({}, "500", "1000", " a, b z");
}

void TestSettingsSave::roundTrip()
{
    QFETCH(StoredSettings, settings);

    const ConfigHome home;
    saveIn(home, settings);

    QStringList errors;
    const StoredSettings loaded = reloadFromDisk(home, errors);
    COMPARE_SETTINGS(loaded, settings);
    QCOMPARE(errors, QStringList());
}

void TestSettingsSave::storedForm_data()
{
    QTest::addColumn<StoredSettings>("settings");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("password abc as three U+00C3")
        << storedSettings({}, "500", "1000", "abc") << QStringList{"Claus/Clau"}
        << QStringList{repeated(0xC3, 3)};
    QTest::newRow("empty password stored empty")
        << storedSettings({}) << QStringList{"Claus/Clau"} << QStringList{""};
    QTest::newRow("rates as typed")
        << storedSettings({}, "abc", "") << QStringList{"Tarifes/Tarifa1", "Tarifes/Tarifa2"}
        << QStringList{"abc", ""};
    QTest::newRow("names and their count in decimal")
        << storedSettings({"uno", "dos", "", "cuatro"})
        << QStringList{"Noms/Numero", "Noms/Nom1", "Noms/Nom2", "Noms/Nom3", "Noms/Nom4"}
        << QStringList{"4", "uno", "dos", "", "cuatro"};
}

// Read back with a plain QSettings, so the layout is checked, not just our
// reader's view of it; every entry must be a string.
void TestSettingsSave::storedForm()
{
    QFETCH(StoredSettings, settings);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, values);

    const ConfigHome home;
    saveIn(home, settings);

    const ConfigHome copy(home.readFile());
    const QSettings raw(copy.file(), QSettings::IniFormat);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QVariant value = raw.value(keys.at(i));
        QCOMPARE(value.typeId(), QMetaType::QString);
        QCOMPARE(value.toString(), values.at(i));
    }
    if (settings.password == QLatin1String("abc"))
        QCOMPARE(raw.value(QStringLiteral("Claus/Clau")).toString().toLatin1(),
                 QByteArray("\xC3\xC3\xC3"));
}

void TestSettingsSave::shorterListLeavesStaleNames()
{
    const ConfigHome home;
    saveIn(home, storedSettings({"n1", "n2", "n3", "n4", "n5"}));
    saveIn(home, storedSettings({"m1", "m2"}));

    const ConfigHome copy(home.readFile());
    const QSettings raw(copy.file(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("Noms/Numero")).toString(), QStringLiteral("2"));
    QCOMPARE(raw.value(QStringLiteral("Noms/Nom2")).toString(), QStringLiteral("m2"));
    QCOMPARE(raw.value(QStringLiteral("Noms/Nom3")).toString(), QStringLiteral("n3"));
    QCOMPARE(raw.value(QStringLiteral("Noms/Nom5")).toString(), QStringLiteral("n5"));

    QStringList errors;
    QCOMPARE(reloadFromDisk(home, errors).names, (QStringList{"m1", "m2"}));
    QCOMPARE(errors, QStringList());
}

void TestSettingsSave::everyByteSurvives_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray descending = allBytes();
    std::reverse(descending.begin(), descending.end());
    // Escapes such as \0 or \x1 must not swallow a digit that follows them.
    QByteArray beforeDigits;
    for (int b = 0; b < 256; ++b)
        beforeDigits.append(char(b)).append("0a7F");

    QTest::newRow("ascending 0 to 255") << allBytes();
    QTest::newRow("descending 255 to 0") << descending;
    QTest::newRow("each byte before hex digits") << beforeDigits;
    QTest::newRow("a lone zero byte") << QByteArray(1, '\0');
    QTest::newRow("blanks at both ends") << QByteArray("  \t x \t  ");
}

// The scrambled password may hold any byte; the store keeps it as one
// character per byte and must give every one back from the file.
void TestSettingsSave::everyByteSurvives()
{
    QFETCH(QByteArray, bytes);
    const ConfigHome home;
    {
        platform::SettingsStore store(QStringLiteral("Lurn"));
        store.writeString(QStringLiteral("Claus"), QStringLiteral("Clau"),
                          QString::fromLatin1(bytes));
        store.close();
    }

    const ConfigHome copy(home.readFile());
    platform::SettingsStore reread(QStringLiteral("Lurn"));
    const QString text =
        reread.readString(QStringLiteral("Claus"), QStringLiteral("Clau"), QStringLiteral("?"));
    QCOMPARE(text.size(), bytes.size());
    QCOMPARE(text.toLatin1(), bytes);
}

QTEST_GUILESS_MAIN(TestSettingsSave)
#include "TestSettingsSave.moc"
