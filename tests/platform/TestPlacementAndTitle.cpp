// The application's first title and keeping a window on screen: rules of the
// platform layer that need no display.
#include "platform/AppShell.h"
#include "platform/WindowPlacement.h"

#include <QtTest>

class TestPlacementAndTitle final : public QObject
{
    Q_OBJECT

private slots:
    void defaultTitle_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << "/usr/bin/lurn"
                               << "lurn";
        QTest::newRow("first letter kept, rest lowered") << "/opt/LURN"
                                                         << "Lurn";
        QTest::newRow("from the first dot on dropped") << "C:/Juegos/Lurn.v2.exe"
                                                       << "Lurn";
        QTest::newRow("mixed case") << "/x/MyTimer.bin"
                                    << "Mytimer";
        QTest::newRow("dot first") << "/x/.lurn"
                                   << "";
    }

    void defaultTitle()
    {
        QFETCH(QString, executable);
        QFETCH(QString, title);
        QCOMPARE(platform::defaultApplicationTitle(executable), title);
    }

    void keptInside_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("kept");
        const QRect screen(0, 0, 640, 480);
        QTest::newRow("fits: untouched")
            << QRect(100, 100, 160, 110) << screen << QRect(100, 100, 160, 110);
        QTest::newRow("off right and bottom: pulled in just enough")
            << QRect(642, 410, 160, 110) << screen << QRect(480, 370, 160, 110);
        QTest::newRow("off right only")
            << QRect(600, 10, 160, 110) << screen << QRect(480, 10, 160, 110);
        QTest::newRow("off left and top")
            << QRect(-30, -5, 160, 110) << screen << QRect(0, 0, 160, 110);
        QTest::newRow("second screen origin")
            << QRect(642, 410, 160, 110) << QRect(1280, 0, 800, 600) << QRect(1280, 410, 160, 110);
        QTest::newRow("larger than the area: top-left kept")
            << QRect(50, 50, 900, 700) << screen << QRect(0, 0, 900, 700);
    }

    void keptInside()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, area);
        QFETCH(QRect, kept);
        QCOMPARE(platform::keptInside(frame, area), kept);
    }
};

QTEST_APPLESS_MAIN(TestPlacementAndTitle)
#include "TestPlacementAndTitle.moc"
