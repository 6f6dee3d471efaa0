// The start's deferred part (the records, the counter link): after the first
// frame on a real X display, never after input, and once.
#include "station/AfterFirstFrame.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {

constexpr int kNever = 600'000;

// A window that notes what had happened when it painted or got an event.
class Window final : public QWidget
{
public:
    int paints = 0;
    int workRunsAtInput = -1;
    const int* workRuns = nullptr;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), Qt::white);
        ++paints;
    }
    bool event(QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::Close:
            workRunsAtInput = *workRuns;
            break;
        default:
            break;
        }
        return QWidget::event(e);
    }
};

} // namespace

class TestAfterFirstFrame : public QObject
{
    Q_OBJECT

private slots:
    void runsOnceAfterTheFirstPaint()
    {
        Window window;
        int runs = 0;
        int paintsAtRun = -1;
        window.workRuns = &runs;
        new AfterFirstFrame(
            [&] {
                ++runs;
                paintsAtRun = window.paints;
            },
            &window, kNever);
        // Nothing shown, nothing drawn: the start goes on without it.
        QCoreApplication::processEvents();
        QCOMPARE(runs, 0);

        window.resize(200, 100);
        window.show();
        QTRY_COMPARE(runs, 1);
        QVERIFY2(paintsAtRun >= 1, "ran before the window was drawn");
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        window.repaint();
        QCoreApplication::processEvents();
        QCOMPARE(runs, 1);
    }

    void inputFirstRunsItFirst_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("a key") << int(QEvent::KeyPress);
        QTest::newRow("a click") << int(QEvent::MouseButtonPress);
        QTest::newRow("the window closed") << int(QEvent::Close);
    }

    void inputFirstRunsItFirst()
    {
        QFETCH(int, kind);
        Window window;
        int runs = 0;
        window.workRuns = &runs;
        new AfterFirstFrame([&] { ++runs; }, &window, kNever);

        std::unique_ptr<QEvent> input;
        switch (QEvent::Type(kind)) {
        case QEvent::KeyPress:
            input = std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier,
                                                QStringLiteral("a"));
            break;
        case QEvent::MouseButtonPress:
            input = std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, QPointF(5, 5),
                                                  QPointF(5, 5), Qt::LeftButton,
                                                  Qt::LeftButton, Qt::NoModifier);
            break;
        default:
            input = std::make_unique<QCloseEvent>();
            break;
        }
        QCoreApplication::sendEvent(&window, input.get());
        QCOMPARE(window.workRunsAtInput, 1);

        // Neither more input nor the first frame runs it again.
        QKeyEvent again(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
        QCoreApplication::sendEvent(&window, &again);
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.paints >= 1);
        QCoreApplication::processEvents();
        QCOMPARE(runs, 1);
    }

    void noWindowDrawnRunsItAtTheLatest()
    {
        int runs = 0;
        QObject owner;
        new AfterFirstFrame([&] { ++runs; }, &owner, 50);
        QTRY_COMPARE(runs, 1);
        QCOMPARE(runs, 1);
    }
};

QTEST_MAIN(TestAfterFirstFrame)
#include "TestAfterFirstFrame.moc"
