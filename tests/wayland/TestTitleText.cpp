// Titles as compositors send them, made fit for the closing pass.
#include "platform/TopLevelWindows.h"
#include "platform/wayland/TitleText.h"

#include <QtTest>

using platform::wayland::repairedTitle;

class TestTitleText final : public QObject
{
    Q_OBJECT

private slots:
    void repaired_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray fffd = "\xEF\xBF\xBD";
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("ASCII") << QByteArray("Team chat") << QByteArray("Team chat");
        QTest::newRow("two, three and four bytes")
            << QByteArray("ñ € \xF0\x9F\x98\x80") << QByteArray("ñ € \xF0\x9F\x98\x80");
        QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9 chat") << "caf" + fffd + " chat";
        QTest::newRow("stray continuation byte") << QByteArray("a\x80z") << "a" + fffd + "z";
        QTest::newRow("character cut short at the end")
            << QByteArray("ab\xE2\x82") << "ab" + fffd + fffd;
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << fffd + fffd;
        QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << fffd + fffd + fffd;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << fffd + fffd + fffd;
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xF4\x90\x80\x80") << fffd + fffd + fffd + fffd;
        QTest::newRow("254 bytes kept") << QByteArray(254, 'a') << QByteArray(254, 'a');
        QTest::newRow("255 bytes cut") << QByteArray(255, 'a') << QByteArray(254, 'a');
        QTest::newRow("cut before a character that does not fit")
            << QByteArray(253, 'a') + "é" << QByteArray(253, 'a');
        QTest::newRow("cut before a replacement that does not fit")
            << QByteArray(252, 'a') + "\xFF" << QByteArray(252, 'a');
        QTest::newRow("a long title is read only as far as it is kept")
            << QByteArray(100000, '\xFF') << [&] {
                   QByteArray out;
                   for (int i = 0; i < 84; ++i)
                       out += fffd;
                   return out;
               }();
    }

    void repaired()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, expected);
        const std::string out =
            repairedTitle(std::string_view(raw.constData(), std::size_t(raw.size())));
        QCOMPARE(QByteArray(out.data(), qsizetype(out.size())), expected);
        QVERIFY(out.size() <= platform::TopLevelWindows::kMaxTitleBytes);
    }
};

QTEST_GUILESS_MAIN(TestTitleText)
#include "TestTitleText.moc"
