// The main window loads the settings when it is created and saves them when
// it is destroyed.
#include "LurnFixture.h"
#include "station/Ufer.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QStringList items()
{
    QStringList list;
    for (int i = 0; i < fmFer->ListBox1->count(); ++i)
        list << fmFer->ListBox1->item(i)->text();
    return list;
}

} // namespace

class TestSettingsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void firstRun()
    {
        LurnFixture fx;
        QCOMPARE(items(), QStringList{});
        QCOMPARE(fmFer->edTarifa1->text(), QStringLiteral("500"));
        QCOMPARE(fmFer->edTarifa2->text(), QStringLiteral("1000"));
        QCOMPARE(fmFer->edClave->text(), QString());
        QCOMPARE(fmFer->edRepetirClave->text(), QString());
        QVERIFY(!fmFer->bbParar->isEnabled());
        QVERIFY(fmFer->bbContinuar->isHidden());
    }

    void savedAtDestructionAndLoadedAgain()
    {
        QTemporaryDir config;
        {
            LurnFixture fx(config.path());
            fmFer->ListBox1->addItems({"chat", "Navegador"});
            fmFer->edTarifa1->setText(QStringLiteral("abc")); // saved as typed
            fmFer->edClave->setText(QStringLiteral("clave"));
        }
        LurnFixture fx(config.path());
        QCOMPARE(items(), (QStringList{"chat", "Navegador"}));
        QCOMPARE(fmFer->edTarifa1->text(), QStringLiteral("abc"));
        QCOMPARE(fmFer->edClave->text(), QStringLiteral("clave"));
        QCOMPARE(fmFer->edRepetirClave->text(), QStringLiteral("clave"));
    }

    void badEntryCostsOnlyItself()
    {
        QTemporaryDir config;
        writeFile(config.path() + "/Lurn.conf", "[Noms]\nNumero=2\nNom1=a, b\nNom2=chat\n"
                                                "[Tarifes]\nTarifa1=700\nTarifa2=900\n"
                                                "[Claus]\nClau=\xC3\x83\xC3\x83\xC3\x83\n");
        SeenBox seen;
        answerNextMessageBox(&seen);
        {
            LurnFixture fx(config.path());
            QCOMPARE(seen.text, QStringLiteral("Invalid data type for 'Nom1'"));
            QCOMPARE(seen.icon, QMessageBox::Critical);
            QCOMPARE(items(), (QStringList{"", "chat"}));
            QCOMPARE(fmFer->edTarifa1->text(), QStringLiteral("700"));
            QCOMPARE(fmFer->edTarifa2->text(), QStringLiteral("900"));
            QCOMPARE(fmFer->edClave->text(), QStringLiteral("abc"));
            // The rest of the start went on as usual.
            QVERIFY(!fmFer->bbParar->isEnabled());
            QVERIFY(fmFer->bbContinuar->isHidden());
        }
        // What was loaded is saved back: the rates and the password survive.
        LurnFixture again(config.path());
        QCOMPARE(fmFer->edTarifa1->text(), QStringLiteral("700"));
        QCOMPARE(fmFer->edClave->text(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "TestSettingsWindow.moc"
