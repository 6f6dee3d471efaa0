// Which translation a reader's languages get: Spanish, the source's own,
// whenever it comes before any other Lurn speaks.
#include "language/Language.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLanguageChoice final : public QObject
{
    Q_OBJECT

private slots:
    void translationFor_data()
    {
        QTest::addColumn<QStringList>("wanted");
        QTest::addColumn<QString>("translation");
        QTest::newRow("Spanish of Spain") << QStringList{"es-ES", "es"} << QString();
        QTest::newRow("English of Britain") << QStringList{"en-GB", "en"} << QStringLiteral("en");
        QTest::newRow("Catalan") << QStringList{"ca-ES", "ca"} << QStringLiteral("ca");
        QTest::newRow("Catalan of Valencia, underscore")
            << QStringList{"ca_ES@valencia"} << QStringLiteral("ca");
        QTest::newRow("LANGUAGE=es:en is Spanish, not the English behind it")
            << QStringList{"es", "en"} << QString();
        QTest::newRow("LANGUAGE=fr:ca is Catalan")
            << QStringList{"fr-FR", "fr", "ca"} << QStringLiteral("ca");
        QTest::newRow("a language Lurn does not speak is Spanish")
            << QStringList{"de-DE", "de"} << QString();
        QTest::newRow("C locale") << QStringList{"C"} << QString();
        QTest::newRow("nothing") << QStringList{} << QString();
    }

    void translationFor()
    {
        QFETCH(QStringList, wanted);
        QFETCH(QString, translation);
        QCOMPARE(::translationFor(wanted), translation);
    }

    // Idioma's codes choose their language whatever the desktop's; anything
    // else is the desktop's.
    void localeFor_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("translation");
        QTest::newRow("es") << QStringLiteral("es") << QString();
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("en");
        QTest::newRow("ca") << QStringLiteral("ca") << QStringLiteral("ca");
    }

    void localeFor()
    {
        QFETCH(QString, code);
        QFETCH(QString, translation);
        QCOMPARE(::translationFor(::localeFor(code).uiLanguages()), translation);
        QCOMPARE(::localeFor(QStringLiteral("xx")), QLocale::system());
        QCOMPARE(::localeFor(QString()), QLocale::system());
    }

    void storedLanguage_data()
    {
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<QString>("language");
        QTest::newRow("Catalan") << QByteArray("[Lurn]\nIdioma=ca\n") << QStringLiteral("ca");
        QTest::newRow("spaces around")
            << QByteArray("[Lurn]\nIdioma= en \n") << QStringLiteral("en");
        QTest::newRow("empty: the desktop's") << QByteArray("[Lurn]\nIdioma=\n") << QString();
        QTest::newRow("a language Lurn does not speak")
            << QByteArray("[Lurn]\nIdioma=fr\n") << QString();
        QTest::newRow("not text") << QByteArray("[Lurn]\nIdioma=a, b\n") << QString();
        QTest::newRow("no entry") << QByteArray("[Registro]\nPuesto=PC1\n") << QString();
    }

    void storedLanguage()
    {
        QFETCH(QByteArray, conf);
        QFETCH(QString, language);
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QFile file(home.filePath(QStringLiteral("Lurn.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(conf);
        file.close();
        QCOMPARE(::storedLanguage(), language);
    }

    // Reading the language at start, or for --help, creates no settings file.
    void noFileIsMade()
    {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QCOMPARE(::storedLanguage(), QString());
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("Lurn.conf"))));
    }

    // Saved beside the records' settings, which stay as they were.
    void savedBesideTheOthers()
    {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        {
            platform::SettingsStore store(QStringLiteral("Lurn"));
            store.writeString(QStringLiteral("Registro"), QStringLiteral("Puesto"),
                              QStringLiteral("PC1"));
            saveLanguage(store, QStringLiteral("ca"));
            store.close();
        }
        QCOMPARE(::storedLanguage(), QStringLiteral("ca"));
        platform::SettingsStore store(QStringLiteral("Lurn"));
        QCOMPARE(store.readString(QStringLiteral("Registro"), QStringLiteral("Puesto"), {}),
                 QStringLiteral("PC1"));
    }
};

QTEST_MAIN(TestLanguageChoice)
#include "TestLanguageChoice.moc"
