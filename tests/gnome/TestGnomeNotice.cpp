// The warning notice on GNOME Shell: it must stay above the customer's
// full-screen native Wayland program, whether the notice comes up while that
// program is active or the customer goes back to it.
//
// The program's windows are the real ones, X11 windows through XWayland; the
// notice is shown as the countdown shows it when its warning is due.

#include "CountdownDriver.h"
#include "GnomeSession.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <utility>

class TestGnomeNotice final : public QObject
{
    Q_OBJECT

private slots:
    void noticeAboveActiveFullScreenWindow_data()
    {
        QTest::addColumn<bool>("backIntoGame");
        QTest::newRow("comes up over the active full-screen window") << false;
        QTest::newRow("the customer goes back to the full-screen window") << true;
    }

    void noticeAboveActiveFullScreenWindow()
    {
        QFETCH(bool, backIntoGame);
        LurnFixture fx;
        ModalAnswerer answers;
        fmFer->edMinutosAntes->setText(QStringLiteral("1"));

        const QString gameTitle = titled(QStringLiteral("Game"));
        WaylandClient game({"--title", gameTitle, "--fullscreen"});
        QTRY_VERIFY_WITH_TIMEOUT(game.isShown(), 30000);
        // The customer picks the game (as in the overview or with Alt+Tab;
        // the shell leaves the overview it starts in), again if the shell
        // has not given it the keyboard within two seconds. The deadline is
        // the loop's own, not QTRY's, which counts tries.
        const auto activateUntil = [&](const QString& title, bool gameActive) {
            const QDeadlineTimer deadline(30000);
            while (game.isActive() != gameActive && !deadline.hasExpired()) {
                if (!shellFocus::activate(title))
                    return false;
                QDeadlineTimer taken(2000);
                while (game.isActive() != gameActive && !taken.hasExpired())
                    QTest::qWait(20);
            }
            return game.isActive() == gameActive;
        };
        QVERIFY(activateUntil(gameTitle, true));

        bool looked = false;
        bool listed = false;
        bool gameActiveAgain = false;
        QList<shellExtension::Window> stack;
        // Once: a check that fails here returns, and the notice is then
        // answered, rather than asked again every few milliseconds.
        answers.onNotice = [&] {
            if (std::exchange(looked, true))
                return;
            QTRY_VERIFY_WITH_TIMEOUT(
                shellExtension::depthOf(shellExtension::list(), QStringLiteral("Aviso")) >= 0,
                30000);
            listed = true;
            if (backIntoGame) {
                // Away to the notice and back: the game is made the active
                // window again while the notice is up.
                QVERIFY(activateUntil(QStringLiteral("Aviso"), false));
                QVERIFY(activateUntil(gameTitle, true));
                gameActiveAgain = true;
            }
            stack = shellExtension::list();
        };
        guarded([] { fmFer->ShowWarningNotice(); });

        QCOMPARE(answers.notices.size(), 1);
        QVERIFY(listed);
        QVERIFY(!backIntoGame || gameActiveAgain);
        const int notice = shellExtension::depthOf(stack, QStringLiteral("Aviso"));
        const int full = shellExtension::depthOf(stack, gameTitle);
        QVERIFY(notice >= 0 && full >= 0);
        QVERIFY2(notice < full, "the notice is under the full-screen window");
    }
};

QTEST_MAIN(TestGnomeNotice)
#include "TestGnomeNotice.moc"
