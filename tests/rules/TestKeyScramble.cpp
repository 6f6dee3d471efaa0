#include "rules/KeyScramble.h"

#include <QTest>

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray bytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class TestKeyScramble final : public QObject
{
    Q_OBJECT

private slots:
    void storedForm_data();
    void storedForm();
    void roundTrip_data();
    void roundTrip();
};

void TestKeyScramble::storedForm_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("loaded");

    QTest::newRow("abc") << QByteArray("abc") << QByteArray("\xC3\xC3\xC3") << QByteArray("abc");
    QTest::newRow("single character") << QByteArray("A") << QByteArray("\x81") << QByteArray("A");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    // 97 + 98 - 1 and 97 + 97 - 2: the key is the last byte, not the first.
    QTest::newRow("key from last byte")
        << QByteArray("ba") << QByteArray("\xC2\xC0") << QByteArray("ba");
    // 255 + 255 - 1 = 509 and 255 + 255 - 2 = 508 wrap to 253 and 252; the
    // key recovered from them is (252 + 2) div 2 = 127, not 255, so both come
    // back as 253 + 1 - 127 = 252 + 2 - 127 = 127.
    QTest::newRow("high bytes wrap and load back shifted")
        << QByteArray("\xFF\xFF") << QByteArray("\xFD\xFC") << QByteArray("\x7F\x7F");
}

void TestKeyScramble::storedForm()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, loaded);

    QCOMPARE(bytes(ScrambleKey(view(plain))), stored);
    QCOMPARE(bytes(UnscrambleKey(view(stored))), loaded);
}

void TestKeyScramble::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("roundTrips");

    QTest::newRow("abc") << QByteArray("abc") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("typical password") << QByteArray("cafe2024") << true;
    QTest::newRow("mixed case and punctuation") << QByteArray("Tr0ub4dor&3") << true;
    // As long as the code of its printable last character.
    QTest::newRow("32 characters ending in a blank") << QByteArray(31, 'k') + ' ' << true;
    // 2 x 33 - 66 = 0: the last stored byte is zero, yet the key comes back.
    QTest::newRow("twice the last code") << QByteArray(65, 'k') + '!' << true;
    QTest::newRow("longer than twice the last code") << QByteArray(66, 'k') + '!' << false;
    QTest::newRow("last byte 128 or above") << QByteArray("clave\xE9") << false;
    QTest::newRow("last byte 255") << QByteArray("x\xFF") << false;
    QTest::newRow("last byte 1") << QByteArray("ab\x01") << false;
    // 2 x 200 - 300 = 100 lies within a byte, so the key comes back, but only
    // when the whole length enters it rather than the length modulo 256.
    QTest::newRow("300 bytes ending in byte 200") << QByteArray(299, 'k') + '\xC8' << true;
}

void TestKeyScramble::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(bool, roundTrips);

    QCOMPARE(KeyRoundTrips(view(plain)), roundTrips);
    QCOMPARE(bytes(UnscrambleKey(ScrambleKey(view(plain)))) == plain, roundTrips);
}

QTEST_APPLESS_MAIN(TestKeyScramble)
#include "TestKeyScramble.moc"
