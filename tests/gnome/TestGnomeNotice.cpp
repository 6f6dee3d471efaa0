// The warning notice on GNOME Shell: it must stay above the customer's
// full-screen native Wayland program, whether the notice comes up while that
// program is active or the customer clicks back into it.
//
// The program's windows are the real ones, X11 windows through XWayland; the
// notice is shown as the countdown shows it when its warning is due.

#include "CountdownDriver.h"
#include "GnomeSession.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <memory>

class TestGnomeNotice final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_input = std::make_unique<RemoteInput>();
        QVERIFY(m_input->isReady());
        // Out of the overview, as in a session someone uses: new windows get
        // the keyboard.
        m_input->leaveOverview();
    }
    void cleanupTestCase() { m_input.reset(); }

    void noticeAboveActiveFullScreenWindow_data()
    {
        QTest::addColumn<bool>("clickIntoGame");
        QTest::newRow("comes up over the active full-screen window") << false;
        QTest::newRow("the customer clicks back into the full-screen window") << true;
    }

    void noticeAboveActiveFullScreenWindow()
    {
        QFETCH(bool, clickIntoGame);
        LurnFixture fx;
        ModalAnswerer answers;
        fmFer->edMinutosAntes->setText(QStringLiteral("1"));

        const QString gameTitle = titled(QStringLiteral("Game"));
        WaylandClient game({"--title", gameTitle, "--fullscreen"});
        QTRY_VERIFY_WITH_TIMEOUT(game.isShown(), 30000);
        // A click into the game, far from the notice, which is centred; again
        // if a click is lost, as a person would. The deadline is the loop's
        // own (each try takes a second), not QTRY's, which counts tries.
        const auto clickIntoIt = [&] {
            const QDeadlineTimer deadline(30000);
            do {
                m_input->click(QPoint(20, 1000));
                QDeadlineTimer taken(1000);
                while (!game.isActive() && !taken.hasExpired())
                    QTest::qWait(20);
            } while (!game.isActive() && !deadline.hasExpired());
            return game.isActive();
        };
        // A new window is not always given the focus (GNOME Shell 48 may
        // keep it for a window that came up just before, or still show the
        // overview): then the customer clicks into the game.
        if (!QTest::qWaitFor([&] { return game.isActive(); }, 5000))
            QVERIFY(clickIntoIt());

        bool listed = false;
        bool gameActiveAgain = false;
        QList<shellExtension::Window> stack;
        answers.onNotice = [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                shellExtension::depthOf(shellExtension::list(), QStringLiteral("Aviso")) >= 0,
                10000);
            listed = true;
            if (clickIntoGame) {
                QVERIFY(clickIntoIt());
                gameActiveAgain = true;
            }
            stack = shellExtension::list();
        };
        guarded([] { fmFer->ShowWarningNotice(); });

        QCOMPARE(answers.notices.size(), 1);
        QVERIFY(listed);
        QVERIFY(!clickIntoGame || gameActiveAgain);
        const int notice = shellExtension::depthOf(stack, QStringLiteral("Aviso"));
        const int full = shellExtension::depthOf(stack, gameTitle);
        QVERIFY(notice >= 0 && full >= 0);
        QVERIFY2(notice < full, "the notice is under the full-screen window");
    }

private:
    std::unique_ptr<RemoteInput> m_input;
};

QTEST_MAIN(TestGnomeNotice)
#include "TestGnomeNotice.moc"
