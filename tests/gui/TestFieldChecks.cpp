// The six numeric fields are checked when the operator leaves them.
#include "LurnFixture.h"
#include "X11Probe.h"
#include "countdown/CountdownTimer.h"
#include "station/Ufer.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

std::int32_t CountdownState::*memberOf(const QString& field)
{
    static const std::map<QString, std::int32_t CountdownState::*> members = {
        {"edHoras", &CountdownState::LimitHours},
        {"edMinutos", &CountdownState::LimitMinutes},
        {"edSegundos", &CountdownState::LimitSeconds},
        {"edMinutosAntes", &CountdownState::WarnMinutes},
        {"edTarifa1", &CountdownState::Rate1},
        {"edTarifa2", &CountdownState::Rate2},
    };
    return members.at(field);
}

constexpr std::int32_t kPrevious = 7;

// Closes every message box that comes up, counting them, until stopped.
class BoxCounter final : public QObject
{
public:
    BoxCounter()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->buttons().constFirst()->click();
            }
        });
        m_poll.start(10);
    }
    QStringList texts;

private:
    QTimer m_poll;
};

} // namespace

class TestFieldChecks final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LurnFixture> fx;

    QLineEdit* field(const QString& name) { return fmFer->findChild<QLineEdit*>(name); }

    void typeInto(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

private slots:
    void init()
    {
        fx = std::make_unique<LurnFixture>();
        for (const char* name :
             {"edHoras", "edMinutos", "edSegundos", "edMinutosAntes", "edTarifa1", "edTarifa2"})
            fmFer->countdown().setNumber(memberOf(QString::fromLatin1(name)), kPrevious);
        fmFer->show();
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));
    }
    void cleanup() { fx.reset(); }

    void leaveField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("byClick"); // leave with a click on another control, else Tab
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("textAfter");

        const QString ok;
        const QString invalid = QStringLiteral("Número inválido");
        const QString range = QStringLiteral("Fuera de rango");
        QTest::newRow("empty hours become 0") << "edHoras"
                                              << "" << false << ok << 0 << "0";
        QTest::newRow("hours 23") << "edHoras"
                                  << "23" << false << ok << 23 << "23";
        QTest::newRow("hours 24") << "edHoras"
                                  << "24" << false << range << kPrevious << "24";
        QTest::newRow("hours -1") << "edHoras"
                                  << "-1" << false << range << kPrevious << "-1";
        QTest::newRow("hours abc") << "edHoras"
                                   << "abc" << false << invalid << kPrevious << "abc";
        QTest::newRow("hours abc, click") << "edHoras"
                                          << "abc" << true << invalid << kPrevious << "abc";
        QTest::newRow("hours 1.5") << "edHoras"
                                   << "1.5" << false << invalid << kPrevious << "1.5";
        QTest::newRow("minutes 59") << "edMinutos"
                                    << "59" << false << ok << 59 << "59";
        QTest::newRow("minutes 60") << "edMinutos"
                                    << "60" << false << range << kPrevious << "60";
        QTest::newRow("minutes $10") << "edMinutos"
                                     << "$10" << false << ok << 16 << "$10";
        QTest::newRow("minutes x3B") << "edMinutos"
                                     << "x3B" << false << ok << 59 << "x3B";
        QTest::newRow("minutes 60, click") << "edMinutos"
                                           << "60" << true << range << kPrevious << "60";
        QTest::newRow("seconds 60") << "edSegundos"
                                    << "60" << false << range << kPrevious << "60";
        QTest::newRow("seconds blank then 5") << "edSegundos"
                                              << " 5" << false << ok << 5 << " 5";
        QTest::newRow("warning 0") << "edMinutosAntes"
                                   << "0" << false << ok << 0 << "0";
        QTest::newRow("warning 60") << "edMinutosAntes"
                                    << "60" << false << range << kPrevious << "60";
        QTest::newRow("rate 0") << "edTarifa1"
                                << "0" << false << range << kPrevious << "0";
        QTest::newRow("rate 100000") << "edTarifa1"
                                     << "100000" << false << ok << 100000 << "100000";
        QTest::newRow("rate 100001") << "edTarifa2"
                                     << "100001" << false << range << kPrevious << "100001";
        QTest::newRow("empty rate") << "edTarifa2"
                                    << "" << false << range << kPrevious << "0";
        QTest::newRow("rate abc") << "edTarifa2"
                                  << "abc" << false << invalid << kPrevious << "abc";
    }

    void leaveField()
    {
        QFETCH(QString, name);
        QFETCH(QString, input);
        QFETCH(bool, byClick);
        QFETCH(QString, message);
        QFETCH(int, stored);
        QFETCH(QString, textAfter);

        QLineEdit* edit = field(name);
        typeInto(edit, input);
        SeenBox seen;
        if (!message.isEmpty())
            answerNextMessageBox(&seen);
        if (byClick)
            QTest::mouseClick(fmFer->nouNom, Qt::LeftButton);
        else
            QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(waitForNoModal());

        QCOMPARE(seen.text, message);
        QCOMPARE(fmFer->countdown().state().*memberOf(name), stored);
        QCOMPARE(edit->text(), textAfter);
        QCOMPARE(fx->beep.count, message.isEmpty() ? 0 : 1);
        if (message.isEmpty()) {
            QVERIFY(!edit->hasFocus());
        } else {
            QTRY_VERIFY(edit->hasFocus());
            QCOMPARE(seen.caption, QStringLiteral("Information"));
            QCOMPARE(seen.icon, QMessageBox::Information);
        }
    }

    void cannotTabAwayFromBadValue()
    {
        BoxCounter boxes;
        typeInto(fmFer->edHoras, QStringLiteral("24"));
        for (int attempt = 1; attempt <= 3; ++attempt) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTRY_COMPARE(boxes.texts.size(), attempt);
            QVERIFY(waitForNoModal());
            QTRY_VERIFY(fmFer->edHoras->hasFocus());
        }
        // Once per move: nothing more came while the focus went back and forth.
        QTest::qWait(100);
        QCOMPARE(boxes.texts.size(), 3);
        QCOMPARE(fmFer->countdown().state().LimitHours, kPrevious);
    }

    void refusalCancelsTheClickThatLeftTheField()
    {
        BoxCounter boxes;
        typeInto(fmFer->edMinutos, QStringLiteral("99"));
        QTest::mouseClick(fmFer->bbIniciar, Qt::LeftButton);
        QTRY_COMPARE(boxes.texts, QStringList{QStringLiteral("Fuera de rango")});
        QVERIFY(waitForNoModal());
        QTest::qWait(100);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(!fmFer->Timer1->isActive());
        QVERIFY(!fmFer->bbIniciar->isDown());
        QTRY_VERIFY(fmFer->edMinutos->hasFocus());
    }

    void anotherWindowTakingFocusChecksNothing()
    {
        BoxCounter boxes;
        typeInto(fmFer->edHoras, QStringLiteral("abc"));
        QWidget other;
        other.setWindowTitle(QStringLiteral("another window"));
        other.resize(200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTest::qWait(100);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(fmFer->countdown().state().LimitHours, kPrevious);
        // Back in the main window the field still holds the focus and its text.
        fmFer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fmFer));
        QTRY_VERIFY(fmFer->edHoras->hasFocus());
        QCOMPARE(fmFer->edHoras->text(), QStringLiteral("abc"));
        QVERIFY(boxes.texts.isEmpty());
    }

    void informationBox_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }

    void informationBox()
    {
        QFETCH(int, key);
        QStringList buttons;
        int offCentre = -1;
        onNextModal([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                for (QAbstractButton* b : box->buttons())
                    buttons << b->text();
                const QPoint screenCentre = box->screen()->geometry().center();
                X11Probe probe;
                const auto id = xcb_window_t(box->winId());
                // The window manager reparents the box into its frame before it
                // moves the frame into place, so a first look may catch the
                // frame still where it was made: wait for it to settle.
                QDeadlineTimer placed(3000);
                for (;;) {
                    const xcb_window_t frame = probe.frameOf(id);
                    if (frame != id) {
                        const QRect g = probe.geometry(frame);
                        offCentre = (g.center() - screenCentre).manhattanLength();
                        if (offCentre <= 10)
                            break;
                    }
                    if (placed.hasExpired())
                        break;
                    QTest::qWait(10);
                }
            }
            QTest::keyClick(modal, Qt::Key(key));
        });
        ShowFieldError(QStringLiteral("Número inválido"));
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
        QVERIFY2(offCentre >= 0 && offCentre <= 10, qPrintable(QString::number(offCentre)));
        QCOMPARE(fx->beep.count, 1);
    }

    void ticksGoOnWhileTheBoxIsUp()
    {
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        onNextModal([&](QWidget* modal) {
            QTimer::singleShot(100, modal, [modal] {
                static_cast<QMessageBox*>(modal)->buttons().constFirst()->click();
            });
        });
        ShowFieldError(QStringLiteral("Fuera de rango"));
        QVERIFY(ticks >= 3);
    }
};

QTEST_MAIN(TestFieldChecks)
#include "TestFieldChecks.moc"
