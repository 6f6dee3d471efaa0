#include "rules/IntegerText.h"

#include <QTest>

#include <climits>

Q_DECLARE_METATYPE(FieldVerdict)

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

class TestIntegerText final : public QObject
{
    Q_OBJECT

private slots:
    void parseInteger_data();
    void parseInteger();
    void checkField_data();
    void checkField();
};

void TestIntegerText::parseInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    const auto valid = [](const char* tag, const QByteArray& text, int value) {
        QTest::newRow(tag) << text << true << value;
    };
    const auto invalid = [](const char* tag, const QByteArray& text) {
        QTest::newRow(tag) << text << false << 0;
    };

    valid("plain digits", "42", 42);
    valid("zero", "0", 0);
    valid("blank before", " 5", 5);
    valid("several blanks before", "    5", 5);
    valid("plus sign", "+5", 5);
    valid("minus sign", "-5", -5);
    valid("blank before sign", " -5", -5);
    valid("minus zero", "-0", 0);
    valid("leading zeros", "007", 7);
    valid("many leading zeros", "000000000000000000000000042", 42);
    valid("largest", "2147483647", INT_MAX);
    valid("largest with plus", "+2147483647", INT_MAX);
    valid("smallest", "-2147483648", INT_MIN);
    valid("smallest with leading zeros", "-0002147483648", INT_MIN);

    valid("dollar hex", "$1F", 31);
    valid("0x hex", "0x1F", 31);
    valid("0X hex", "0X1F", 31);
    valid("x hex", "x1F", 31);
    valid("X hex", "X1F", 31);
    valid("lower case hex digits", "$ff", 255);
    valid("mixed case hex digits", "0xAbC", 0xABC);
    valid("blank before hex", "  $10", 16);
    valid("eight hex digits all ones", "$FFFFFFFF", -1);
    valid("eight hex digits all ones after 0x", "0xFFFFFFFF", -1);
    valid("hex sign bit only", "$80000000", INT_MIN);
    valid("hex largest", "x7FFFFFFF", INT_MAX);
    valid("eight hex digits with leading zeros", "$00000001", 1);
    valid("hex zero", "$0", 0);

    invalid("empty", "");
    invalid("blanks only", "   ");
    invalid("blank after", "5 ");
    invalid("blank inside", "1 5");
    invalid("decimal point", "1.5");
    invalid("exponent", "1e3");
    invalid("letters", "abc");
    invalid("letter after digits", "12a");
    invalid("tab before", "\t5");
    invalid("tab after", "5\t");
    invalid("non-breaking space before", "\xA0"
                                         "5");
    invalid("zero byte after", QByteArray("5\0", 2));
    invalid("lone plus", "+");
    invalid("lone minus", "-");
    invalid("double sign", "--5");
    invalid("plus then minus", "+-5");
    invalid("sign after digits", "5-");
    invalid("sign then blank", "- 5");
    invalid("minus then dollar", "-$A");
    invalid("plus then 0x", "+0x1");
    invalid("one past largest", "2147483648");
    invalid("one past smallest", "-2147483649");
    invalid("long digit string", "99999999999999999999999999999999999999999999");
    invalid("long negative digit string", "-99999999999999999999999999999999999999999999");
    invalid("lone dollar", "$");
    invalid("lone x", "x");
    invalid("lone 0x", "0x");
    invalid("lone 0X", "0X");
    invalid("nine hex digits", "$100000000");
    invalid("nine hex digits with leading zero", "$000000001");
    invalid("hex with bad digit", "$1G");
    invalid("hex with minus", "$-1");
    invalid("blank after hex prefix", "$ 1");
    invalid("blank after hex digits", "0x1F ");
    invalid("two hex prefixes", "$0x1");
    invalid("zero before 0x", "00x1");
}

void TestIntegerText::parseInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, converts);
    QFETCH(int, value);

    const std::optional<std::int32_t> result = ::parseInteger(view(text));
    QCOMPARE(result.has_value(), converts);
    if (converts)
        QCOMPARE(*result, value);
}

void TestIntegerText::checkField_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<FieldVerdict>("verdict");
    QTest::addColumn<int>("value");

    constexpr int kHours = 23;
    constexpr int kMinutes = 59;
    constexpr int kRate = 100000;
    using V = FieldVerdict;

    QTest::newRow("hours 0") << QByteArray("0") << 0 << kHours << V::Accepted << 0;
    QTest::newRow("hours 23") << QByteArray("23") << 0 << kHours << V::Accepted << 23;
    QTest::newRow("hours 24") << QByteArray("24") << 0 << kHours << V::OutOfRange << 0;
    QTest::newRow("hours -1") << QByteArray("-1") << 0 << kHours << V::OutOfRange << 0;
    QTest::newRow("hours all-ones hex is -1")
        << QByteArray("$FFFFFFFF") << 0 << kHours << V::OutOfRange << 0;
    QTest::newRow("hours letters") << QByteArray("abc") << 0 << kHours << V::InvalidNumber << 0;
    QTest::newRow("minutes 59") << QByteArray("59") << 0 << kMinutes << V::Accepted << 59;
    QTest::newRow("minutes 60") << QByteArray("60") << 0 << kMinutes << V::OutOfRange << 0;
    QTest::newRow("minutes $10") << QByteArray("$10") << 0 << kMinutes << V::Accepted << 16;
    QTest::newRow("minutes x3B") << QByteArray("x3B") << 0 << kMinutes << V::Accepted << 59;
    QTest::newRow("minutes x3C") << QByteArray("x3C") << 0 << kMinutes << V::OutOfRange << 0;
    QTest::newRow("minutes blank after")
        << QByteArray("5 ") << 0 << kMinutes << V::InvalidNumber << 0;
    QTest::newRow("rate 0") << QByteArray("0") << 1 << kRate << V::OutOfRange << 0;
    QTest::newRow("rate 1") << QByteArray("1") << 1 << kRate << V::Accepted << 1;
    QTest::newRow("rate 100000") << QByteArray("100000") << 1 << kRate << V::Accepted << 100000;
    QTest::newRow("rate 100001") << QByteArray("100001") << 1 << kRate << V::OutOfRange << 0;
    // Beyond 32 bits the conversion fails before any range is looked at.
    QTest::newRow("rate beyond 32 bits")
        << QByteArray("2147483648") << 1 << kRate << V::InvalidNumber << 0;
    // The field handlers turn an empty field into "0" first; an empty text
    // reaching the check is not a number.
    QTest::newRow("empty text") << QByteArray("") << 0 << kHours << V::InvalidNumber << 0;
}

void TestIntegerText::checkField()
{
    QFETCH(QByteArray, text);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(FieldVerdict, verdict);
    QFETCH(int, value);

    const FieldCheck check = ::checkField(view(text), min, max);
    QCOMPARE(check.verdict, verdict);
    if (verdict == FieldVerdict::Accepted)
        QCOMPARE(check.value, value);
}

QTEST_APPLESS_MAIN(TestIntegerText)
#include "TestIntegerText.moc"
