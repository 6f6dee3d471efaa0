// The main window as the operator first sees it, the list commands, and the
// guard that keeps errors inside their handler.
#include "LurnFixture.h"
#include "countdown/CountdownTimer.h"
#include "platform/AppShell.h"
#include "station/EventGuard.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

class TestMainWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LurnFixture> fx;

    QStringList listItems() const
    {
        QStringList items;
        for (int i = 0; i < fmFer->ListBox1->count(); ++i)
            items << fmFer->ListBox1->item(i)->text();
        return items;
    }

private slots:
    void init() { fx = std::make_unique<LurnFixture>(); }
    void cleanup() { fx.reset(); }

    void window()
    {
        QCOMPARE(fmFer->windowTitle(), QStringLiteral("Lurn"));
        QCOMPARE(fmFer->size(), QSize(391, 359));
        QCOMPARE(fmFer->minimumSize(), fmFer->maximumSize());
        const Qt::WindowFlags flags = fmFer->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(fmFer->font().pointSize(), 8);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");

        const QString fer = QStringLiteral("fmFer");
        const QString panel = QStringLiteral("Panel1");
        auto row = [](const char* name, const char* kind, const QString& parent, QRect r,
                      const QString& text = {}, const QString& tip = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << parent
                                << r << text << tip;
        };
        row("ListBox1", "QListWidget", fer, {8, 40, 177, 129});
        row("nouNom", "QLineEdit", fer, {8, 16, 177, 21});
        row("bbAnadir", "QPushButton", fer, {192, 16, 65, 25}, QStringLiteral("Añadir"));
        row("bbEliminar", "QPushButton", fer, {192, 48, 65, 25}, QStringLiteral("Eliminar"));
        row("edHoras", "QLineEdit", fer, {16, 224, 41, 21}, {}, QStringLiteral("0-23"));
        row("edMinutos", "QLineEdit", fer, {72, 224, 41, 21}, {}, QStringLiteral("0-59"));
        row("edSegundos", "QLineEdit", fer, {128, 224, 41, 21}, {}, QStringLiteral("0-59"));
        row("bbIniciar", "QPushButton", fer, {16, 256, 75, 25}, QStringLiteral("&Iniciar"));
        row("bbParar", "QPushButton", fer, {96, 256, 75, 25}, QStringLiteral("&Parar"));
        row("edMinutosAntes", "QLineEdit", fer, {56, 304, 41, 21}, {}, QStringLiteral("0-59"));
        row("cbVerTiempo", "QCheckBox", fer, {192, 80, 73, 17}, QStringLiteral("Ver tiempo"));
        row("Panel1", "QFrame", fer, {184, 248, 89, 105});
        row("rbTarifa1", "QRadioButton", panel, {8, 24, 16, 17});
        row("edTarifa1", "QLineEdit", panel, {24, 24, 59, 21}, QStringLiteral("500"));
        row("edTarifa2", "QLineEdit", panel, {24, 48, 59, 21}, QStringLiteral("1000"));
        row("rbTarifa2", "QRadioButton", panel, {8, 48, 16, 17});
        row("edClave", "QLineEdit", fer, {192, 124, 80, 21});
        row("edRepetirClave", "QLineEdit", fer, {192, 158, 80, 21});
        row("bbContinuar", "QPushButton", fer, {16, 256, 75, 25}, QStringLiteral("&Continuar"));
        row("Shape1", "QFrame", fer, {8, 176, 169, 113});
        row("Shape2", "QFrame", fer, {8, 296, 169, 57});
        row("Image1", "QLabel", fer, {277, 1, 113, 193});
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);

        auto* w = fmFer->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
        QCOMPARE(w->parentWidget()->objectName(), parent);
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(w->toolTip(), toolTip);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            QCOMPARE(e->text(), text);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            QCOMPARE(b->text(), text);
    }

    void labels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QString>("text");
        auto row = [](const char* name, QPoint p, const QString& text) {
            QTest::newRow(name) << QString::fromLatin1(name) << p << text;
        };
        row("Label1", {8, 0}, QStringLiteral("Programas a terminar :"));
        row("Label2", {16, 184}, QStringLiteral("Cuenta atrás :"));
        row("Label3", {16, 208}, QStringLiteral("Horas"));
        row("Label4", {72, 208}, QStringLiteral("Minutos"));
        row("Label5", {128, 208}, QStringLiteral("Segundos"));
        row("Label6", {16, 312}, QStringLiteral("Avisar "));
        row("Label7", {104, 312}, QStringLiteral("minutos antes"));
        row("Label8", {16, 328}, QStringLiteral("(0 si no hay que avisar)"));
        row("Label9", {208, 96}, QStringLiteral("que queda"));
        row("Label10", {184, 184}, QStringLiteral("Para añadir tiempo"));
        row("Label11", {184, 200}, QStringLiteral("ampliar estas cifras"));
        row("Label13", {184, 216}, QStringLiteral("y darle al tabulador"));
        row("Label12", {184, 232}, QStringLiteral("<---------"));
        row("Label14", {6, 8}, QStringLiteral("Tarifa (pts/hora):"));
        row("Label15", {8, 72}, QStringLiteral("Lleva gastado :"));
        row("lblGasto", {8, 88}, QStringLiteral("0"));
        row("Label16", {192, 112}, QStringLiteral("Clave :"));
        row("Label17", {192, 146}, QStringLiteral("Repetir clave :"));
        row("Label21", {280, 264}, QStringLiteral("Versión 1.0"));
    }

    void labels()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, position);
        QFETCH(QString, text);
        auto* l = fmFer->findChild<QLabel*>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->pos(), position);
        QCOMPARE(l->text(), text);
        // Autosized: the whole text fits.
        QVERIFY(l->width() >= l->sizeHint().width());
    }

    void initialState()
    {
        QVERIFY(fmFer->ListBox1->count() == 0);
        QVERIFY(fmFer->cbVerTiempo->isChecked());
        QVERIFY(fmFer->rbTarifa1->isChecked());
        QVERIFY(!fmFer->rbTarifa2->isChecked());
        QCOMPARE(fmFer->edClave->echoMode(), QLineEdit::Password);
        QCOMPARE(fmFer->edRepetirClave->echoMode(), QLineEdit::Password);
        QVERIFY(!fmFer->bbParar->isEnabled());
        QVERIFY(fmFer->bbIniciar->isEnabled());
        QVERIFY(fmFer->bbContinuar->isHidden());
        QCOMPARE(fmFer->Timer1->interval(), 1000);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(!fmFer->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
        for (QPushButton* b : {fmFer->bbAnadir, fmFer->bbEliminar, fmFer->bbIniciar, fmFer->bbParar,
                               fmFer->bbContinuar})
            QVERIFY2(!b->icon().isNull(), qPrintable(b->objectName()));
        // The two-state pictures have a look of their own when disabled.
        const QImage normal = fmFer->bbParar->icon().pixmap(18, QIcon::Normal).toImage();
        const QImage disabled = fmFer->bbParar->icon().pixmap(18, QIcon::Disabled).toImage();
        QVERIFY(normal != disabled);
    }

    void tabOrder()
    {
        const QStringList expected = {
            "ListBox1",    "nouNom",         "bbAnadir",   "bbEliminar", "edHoras",
            "edMinutos",   "edSegundos",     "bbIniciar",  "bbParar",    "edMinutosAntes",
            "cbVerTiempo", "rbTarifa1",      "edTarifa1",  "edTarifa2",  "rbTarifa2",
            "edClave",     "edRepetirClave", "bbContinuar"};
        QStringList chain;
        QWidget* w = fmFer->ListBox1;
        do {
            if (expected.contains(w->objectName()))
                chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != fmFer->ListBox1);
        QCOMPARE(chain, expected);
    }

    void mnemonics_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("Alt+I") << int(Qt::Key_I) << QStringLiteral("bbIniciar");
        QTest::newRow("Alt+P") << int(Qt::Key_P) << QStringLiteral("bbParar");
        QTest::newRow("Alt+C") << int(Qt::Key_C) << QStringLiteral("bbContinuar");
    }

    void mnemonics()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        auto* b = fmFer->findChild<QPushButton*>(button);
        QCOMPARE(b->shortcut(), QKeySequence(Qt::ALT | Qt::Key(key)));
    }

    void editList_data()
    {
        QTest::addColumn<QStringList>("steps"); // "+text" adds text, "-N" selects row N and
                                                // removes, "-" removes with no selection
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("add two") << QStringList{"+chat", "+mess"} << QStringList{"chat", "mess"};
        QTest::newRow("same name twice")
            << QStringList{"+chat", "+chat"} << QStringList{"chat", "chat"};
        QTest::newRow("empty name") << QStringList{"+"} << QStringList{""};
        QTest::newRow("remove selected")
            << QStringList{"+a", "+b", "+c", "-1"} << QStringList{"a", "c"};
        QTest::newRow("remove with no selection")
            << QStringList{"+a", "+b", "-"} << QStringList{"a", "b"};
        QTest::newRow("remove from empty list") << QStringList{"-"} << QStringList{};
    }

    void editList()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        fmFer->show();
        QVERIFY(QTest::qWaitForWindowExposed(fmFer));
        for (const QString& step : steps) {
            if (step.startsWith('+')) {
                fmFer->nouNom->setText(step.mid(1));
                QTest::mouseClick(fmFer->bbAnadir, Qt::LeftButton);
                QCOMPARE(fmFer->nouNom->text(), step.mid(1)); // not cleared
            } else {
                fmFer->ListBox1->clearSelection();
                fmFer->ListBox1->setCurrentRow(-1);
                if (step.size() > 1)
                    fmFer->ListBox1->setCurrentRow(step.mid(1).toInt());
                QTest::mouseClick(fmFer->bbEliminar, Qt::LeftButton);
            }
        }
        QCOMPARE(listItems(), expected);
    }

    void windowsDestroyedInReverseOrder()
    {
        QStringList order;
        for (QObject* w : std::initializer_list<QObject*>{fmFer, fmAviso, fmDemanaClau})
            connect(w, &QObject::destroyed, this,
                    [&order, name = w->objectName()] { order << name; });
        fmFer->ListBox1->addItem(QStringLiteral("chat"));
        fx->destroyWindows();
        QCOMPARE(order, (QStringList{"fmDemanaClau", "fmAviso", "fmFer"}));
        QVERIFY(!fmFer && !fmAviso && !fmDemanaClau);
        // The main window saved the settings on its way out.
        QSettings saved(fx->settingsFile(), QSettings::IniFormat);
        QCOMPARE(saved.value("Noms/Nom1").toString(), QStringLiteral("chat"));
    }

    void errorBoxText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets a full stop") << "Boom"
                                                 << "Boom.";
        QTest::newRow("full stop kept") << "Boom."
                                        << "Boom.";
        QTest::newRow("exclamation kept") << "Boom!"
                                          << "Boom!";
        QTest::newRow("quote sorts before the stop") << "Invalid data type for 'Nom1'"
                                                     << "Invalid data type for 'Nom1'";
        QTest::newRow("digit") << "Error 5"
                               << "Error 5.";
        QTest::newRow("empty") << ""
                               << "";
    }

    void errorBoxText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(::errorBoxText(message), shown);
    }

    void uncaughtErrorShowsBoxAndSkipsRest()
    {
        platform::services().app->setTitle(QStringLiteral("0:12:34"));
        SeenBox seen;
        answerNextMessageBox(&seen);
        bool after = false;
        guarded([&] {
            throw std::runtime_error("Algo falló");
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(seen.caption, QStringLiteral("0:12:34"));
        QCOMPARE(seen.text, QStringLiteral("Algo falló."));
        QCOMPARE(seen.icon, QMessageBox::Critical);
    }

    void silentAbortShowsNothing()
    {
        SeenBox seen;
        answerNextMessageBox(&seen);
        guarded([] { Abort(); });
        QTest::qWait(50);
        QVERIFY(seen.text.isEmpty() && seen.caption.isEmpty());
        // Leave no watcher behind for the next test.
        guarded([] { throw std::runtime_error("x"); });
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
