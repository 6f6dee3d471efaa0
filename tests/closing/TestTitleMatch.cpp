#include "rules/TitleMatch.h"

#include <QTest>

#include <string>

class TestTitleMatch final : public QObject
{
    Q_OBJECT

private slots:
    void contains_data();
    void contains();
};

void TestTitleMatch::contains_data()
{
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");

    const QByteArray pad(250, 'x');
    // Latin-1 accents come to us as UTF-8: é is C3 A9, É is C3 89.
    const QByteArray eAcute = "caf\xc3\xa9";
    const QByteArray eAcuteUpper = "CAF\xc3\x89";

    QTest::newRow("lower name in mixed-case title")
        << QByteArray("Untitled - Notepad") << QByteArray("notepad") << true;
    QTest::newRow("lower name in upper-case title")
        << QByteArray("NOTEPAD.TXT - Editor") << QByteArray("notepad") << true;
    QTest::newRow("upper name in lower-case title")
        << QByteArray("chat room") << QByteArray("CHAT") << true;
    QTest::newRow("whole title") << QByteArray("Chat") << QByteArray("chat") << true;
    QTest::newRow("absent") << QByteArray("Untitled - Editor") << QByteArray("notepad") << false;
    QTest::newRow("name longer than title") << QByteArray("Not") << QByteArray("notepad") << false;
    QTest::newRow("same accented letter") << eAcute << QByteArray("\xc3\xa9") << true;
    QTest::newRow("accented letter differs in case") << eAcute << QByteArray("\xc3\x89") << false;
    QTest::newRow("ascii folds, accent stays exact")
        << eAcuteUpper << QByteArray("caf\xc3\x89") << true;
    QTest::newRow("upper case of an accent is not folded") << eAcuteUpper << eAcute << false;
    // Folding only touches a-z: '[' (0x5B) is not the upper case of '{' (0x7B).
    QTest::newRow("punctuation is not folded") << QByteArray("a{b") << QByteArray("A[B") << false;
    QTest::newRow("empty name") << QByteArray("Untitled - Notepad") << QByteArray() << false;
    QTest::newRow("empty name in empty title") << QByteArray() << QByteArray() << false;
    QTest::newRow("empty title") << QByteArray() << QByteArray("notepad") << false;
    QTest::newRow("match ends at byte 254") << pad + "chat" << QByteArray("chat") << true;
    QTest::newRow("match straddles byte 254") << pad + "xchat" << QByteArray("chat") << false;
    QTest::newRow("match after byte 254") << pad + "xxxxxchat" << QByteArray("chat") << false;
    QTest::newRow("name of 255 bytes") << QByteArray(300, 'a') << QByteArray(255, 'a') << false;
    QTest::newRow("name of 254 bytes") << QByteArray(300, 'a') << QByteArray(254, 'A') << true;
}

void TestTitleMatch::contains()
{
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);

    QCOMPARE(titleContains(std::string(title.constData(), title.size()),
                           std::string(name.constData(), name.size())),
             matches);
}

QTEST_GUILESS_MAIN(TestTitleMatch)
#include "TestTitleMatch.moc"
