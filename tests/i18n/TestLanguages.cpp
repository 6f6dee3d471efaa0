// The three windows of the countdown in every language Lurn speaks: every
// text fits the fixed place the Spanish layout gives it, every control has a
// name a screen reader can say, and the tab order is the same in all.
#include "LurnFixture.h"

#include "language/Language.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <map>

namespace {

QString tagOf(const QWidget* w)
{
    return w->window()->objectName() + QLatin1Char('.') + w->objectName();
}

// Where a label's text reaches: as wide as the text, as high as its place.
QRect textRect(const QLabel* label)
{
    return QRect(label->pos(), QSize(label->sizeHint().width(), label->height()));
}

// How wide a button's caption (and icon) is drawn, and how wide the room the
// style leaves it inside the button: a wider caption is cut.
struct CaptionRoom
{
    int needed;
    int room;
};

CaptionRoom captionRoom(const QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = button->rect();
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const QFontMetrics metrics(button->font());
    int needed = metrics.size(Qt::TextShowMnemonic, button->text()).width();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button)) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton*>(button)) {
        contents = QStyle::SE_RadioButtonContents;
    } else if (!button->icon().isNull()) {
        needed += button->iconSize().width() + 4; // QPushButton's gap
    }
    return {needed, button->style()->subElementRect(contents, &option, button).width()};
}

// The siblings a text may not run into: every visible control but the
// outlines, which a text may lie inside of but not cross.
QStringList clashes(const QLabel* label)
{
    QStringList found;
    const QRect text = textRect(label);
    const QWidget* parent = label->parentWidget();
    if (!parent->rect().contains(text))
        found << QStringLiteral("beyond %1").arg(parent->objectName());
    for (const QObject* o : parent->children()) {
        const auto* other = qobject_cast<const QWidget*>(o);
        // The Spanish layout sets some labels a pixel's row into the field
        // below them; only a text that runs sideways into a neighbour hides.
        if (!other || other == label || other->isHidden() ||
            other->geometry().intersected(text).height() <= 1)
            continue;
        const bool outline = other->objectName().startsWith(QLatin1String("Shape"));
        if (outline && other->geometry().adjusted(1, 1, -1, -1).contains(text))
            continue;
        found << other->objectName();
    }
    return found;
}

QList<QWidget*> windows()
{
    return {fmFer, fmDemanaClau, fmAviso};
}

} // namespace

class TestLanguages final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { useLanguage(QStringLiteral("es")); }

    void textsFit_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("Spanish") << QStringLiteral("es");
        QTest::newRow("English") << QStringLiteral("en");
        QTest::newRow("Catalan") << QStringLiteral("ca");
    }

    // Labels size themselves to their texts and must not run into their
    // neighbours; buttons and boxes keep their size and must hold their
    // captions (icon included).
    void textsFit()
    {
        QFETCH(QString, language);
        useLanguage(language);
        LurnFixture lurn;
        // The notice as the warning shows it, with the longest lead.
        fmAviso->lblQuedan->setText(
            QCoreApplication::translate("TfmFer", "Queda/n %1 minutos").arg(59));
        fmAviso->lblQuedan->adjustSize();

        QStringList problems;
        for (QWidget* window : windows()) {
            for (const QLabel* label : window->findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue; // the logo
                const QStringList hit = clashes(label);
                if (!hit.isEmpty())
                    problems << QStringLiteral("%1 \"%2\" runs into %3")
                                    .arg(tagOf(label), label->text(),
                                         hit.join(QLatin1String(", ")));
                if (label->height() < label->sizeHint().height() - 2)
                    problems << QStringLiteral("%1 \"%2\" is cut at the bottom")
                                    .arg(tagOf(label), label->text());
            }
            for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                if (button->text().isEmpty())
                    continue; // the rate radio buttons carry no caption
                const CaptionRoom caption = captionRoom(button);
                if (caption.needed > caption.room)
                    problems << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                                    .arg(tagOf(button), button->text())
                                    .arg(caption.needed)
                                    .arg(caption.room);
            }
        }
        if (!problems.isEmpty())
            QFAIL(qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void shortcutsAreUnique_data() { textsFit_data(); }

    // Two buttons of one window on the same Alt key: the second one is never
    // reached by it.
    void shortcutsAreUnique()
    {
        QFETCH(QString, language);
        useLanguage(language);
        LurnFixture lurn;
        for (QWidget* window : windows()) {
            std::map<QChar, QString> keys;
            for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                const QString text = button->text();
                const qsizetype amp = text.indexOf(QLatin1Char('&'));
                if (amp < 0 || amp + 1 >= text.size())
                    continue;
                const QChar key = text.at(amp + 1).toLower();
                const auto [it, added] = keys.emplace(key, button->objectName());
                QVERIFY2(added, qPrintable(QStringLiteral("%1 and %2 both use Alt+%3")
                                               .arg(it->second, button->objectName(), key)));
            }
        }
    }

    void everyControlIsNamed_data() { textsFit_data(); }

    // A screen reader says something meaningful for every control, in the
    // window's language.
    void everyControlIsNamed()
    {
        QFETCH(QString, language);
        useLanguage(language);
        LurnFixture lurn;
        for (QWidget* window : windows()) {
            const QList<QWidget*> controls = window->findChildren<QWidget*>();
            for (QWidget* w : controls) {
                if (!(w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QAbstractButton*>(w))
                    continue;
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY2(a, qPrintable(tagOf(w)));
                const QString name = a->text(QAccessible::Name);
                QVERIFY2(!name.trimmed().isEmpty(), qPrintable(tagOf(w) + " has no name"));
                QVERIFY2(!name.contains(QLatin1Char('&')), qPrintable(tagOf(w) + ": " + name));
            }
        }
        const auto name = [](QWidget* w) {
            return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        };
        const auto tr = [](const char* text) {
            return QCoreApplication::translate("TfmFer", text);
        };
        QCOMPARE(name(fmFer->edHoras), tr("Horas"));
        QCOMPARE(name(fmFer->edClave), tr("Clave"));
        QCOMPARE(name(fmFer->edRepetirClave), tr("Repetir clave"));
        QCOMPARE(name(fmFer->rbTarifa2), tr("Tarifa 2"));
        QCOMPARE(name(fmDemanaClau->Edit1),
                 QCoreApplication::translate("TfmDemanaClau", "Clave de acceso"));
        if (language == QLatin1String("es")) {
            QCOMPARE(name(fmFer->edHoras), QStringLiteral("Horas"));
            QCOMPARE(name(fmFer->bbIniciar), QStringLiteral("Iniciar"));
        } else {
            QVERIFY(name(fmFer->edHoras) != QLatin1String("Horas"));
            QVERIFY(name(fmFer->bbIniciar) != QLatin1String("Iniciar"));
        }
        // The labels lead to their fields.
        QCOMPARE(fmFer->findChild<QLabel*>(QStringLiteral("Label3"))->buddy(), fmFer->edHoras);
        QCOMPARE(fmFer->findChild<QLabel*>(QStringLiteral("Label16"))->buddy(), fmFer->edClave);
        QCOMPARE(fmDemanaClau->Label1->buddy(), fmDemanaClau->Edit1);
    }

    // The windows say what they are: the main window a frame, the lock a
    // dialog and the notice an alert.
    void windowsSayWhatTheyAre()
    {
        LurnFixture lurn;
        QCOMPARE(QAccessible::queryAccessibleInterface(fmFer)->role(), QAccessible::Window);
        QCOMPARE(QAccessible::queryAccessibleInterface(fmDemanaClau)->role(), QAccessible::Dialog);
        QCOMPARE(QAccessible::queryAccessibleInterface(fmAviso)->role(), QAccessible::AlertMessage);
    }

    void tabOrder_data() { textsFit_data(); }

    // Tab goes through the main window's controls in the one order, whatever
    // the language.
    void tabOrder()
    {
        QFETCH(QString, language);
        useLanguage(language);
        LurnFixture lurn;
        TfmFer& w = *fmFer;
        const QList<QWidget*> expected = {
            w.ListBox1,    w.nouNom,         w.bbAnadir,   w.bbEliminar, w.edHoras,
            w.edMinutos,   w.edSegundos,     w.bbIniciar,  w.bbParar,    w.edMinutosAntes,
            w.cbVerTiempo, w.rbTarifa1,      w.edTarifa1,  w.edTarifa2,  w.rbTarifa2,
            w.edClave,     w.edRepetirClave, w.bbContinuar};
        QList<QWidget*> seen;
        QWidget* at = w.ListBox1;
        do {
            if (expected.contains(at))
                seen << at;
            at = at->nextInFocusChain();
        } while (at != w.ListBox1 && seen.size() < 100);
        QCOMPARE(seen, expected);
    }
};

QTEST_MAIN(TestLanguages)
#include "TestLanguages.moc"
