#include "core/rules/numbertext.h"

#include <QtTest>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

namespace {

// Bitwise, so that 0.1 must be the nearest double and a zero must not be -0.
bool SameDouble(double a, double b)
{
    return std::bit_cast<quint64>(a) == std::bit_cast<quint64>(b);
}

const QByteArray kMaxDigits = "179769313486232" + QByteArray(294, '0');

} // namespace

class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void numberTexts_data();
    void numberTexts();
    void textsReadBack();
};

void TestNumberText::leadingNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty") << QByteArray() << 0.0;
    QTest::newRow("letters") << QByteArray("abc") << 0.0;
    QTest::newRow("lone minus") << QByteArray("-") << 0.0;
    QTest::newRow("lone point") << QByteArray(".") << 0.0;
    QTest::newRow("exponent without digits") << QByteArray("e5") << 0.0;
    QTest::newRow("whole") << QByteArray("1000") << 1000.0;
    QTest::newRow("letters after") << QByteArray("12abc") << 12.0;
    QTest::newRow("unit after") << QByteArray("2.5min") << 2.5;
    QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2;
    QTest::newRow("signed-place form") << QByteArray(" 7") << 7.0;
    QTest::newRow("blank inside") << QByteArray("1 000") << 1000.0;
    QTest::newRow("tab and line feed") << QByteArray("\t1\n2") << 12.0;
    QTest::newRow("carriage return stops") << QByteArray("1\r2") << 1.0;
    QTest::newRow("NUL stops") << QByteArray("1\0002", 3) << 1.0;
    QTest::newRow("blank after sign") << QByteArray(" - 3") << -3.0;
    QTest::newRow("negative fraction") << QByteArray("-12.5") << -12.5;
    QTest::newRow("plus sign") << QByteArray("+4") << 4.0;
    QTest::newRow("point first") << QByteArray(".5") << 0.5;
    QTest::newRow("minus point first") << QByteArray("-.25") << -0.25;
    QTest::newRow("point last") << QByteArray("5.") << 5.0;
    QTest::newRow("minus zero is zero") << QByteArray("-0") << 0.0;
    QTest::newRow("nearest double") << QByteArray("0.1") << 0.1;
    QTest::newRow("exponent") << QByteArray("1.5e3") << 1500.0;
    QTest::newRow("D exponent") << QByteArray("2d-2") << 0.02;
    QTest::newRow("signed exponent") << QByteArray("1E+2") << 100.0;
    QTest::newRow("blanks around exponent") << QByteArray("1 e 2") << 100.0;
    QTest::newRow("exponent without digits after") << QByteArray("1e") << 1.0;
    QTest::newRow("hex") << QByteArray("&H10") << 16.0;
    QTest::newRow("hex lower case") << QByteArray("&hff") << 255.0;
    QTest::newRow("hex with blanks") << QByteArray(" &H 1 0") << 16.0;
    QTest::newRow("hex 64 bits") << QByteArray("&HFFFFFFFFFFFFFFFF") << 18446744073709551616.0;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0;
    QTest::newRow("octal 64 bits")
        << QByteArray("&o1777777777777777777777") << 18446744073709551616.0;
    QTest::newRow("octal stops at 8") << QByteArray("&O8") << 0.0;
    QTest::newRow("hex without digits") << QByteArray("&H") << 0.0;
    QTest::newRow("hex junk") << QByteArray("&Hxyz") << 0.0;
    QTest::newRow("other base letter") << QByteArray("&X1") << 0.0;
    QTest::newRow("sign before hex") << QByteArray("-&H1") << 0.0;
    QTest::newRow("hex too large") << "&H1" + QByteArray(300, '0') << DBL_MAX;
    QTest::newRow("overflow") << QByteArray("1e999") << DBL_MAX;
    QTest::newRow("negative overflow") << QByteArray("-1e999") << -DBL_MAX;
    QTest::newRow("just above the largest") << QByteArray("1.7976931348623158e308") << DBL_MAX;
    QTest::newRow("underflow") << QByteArray("1e-999") << 0.0;
    QTest::newRow("negative underflow") << QByteArray("-1e-999") << 0.0;
    QTest::newRow("smallest subnormal")
        << QByteArray("5e-324") << std::numeric_limits<double>::denorm_min();
    QTest::newRow("huge exponent") << QByteArray("1e99999999999999999999") << DBL_MAX;
    QTest::newRow("huge negative exponent") << QByteArray("1e-99999999999999999999") << 0.0;
    QTest::newRow("10000 digits") << QByteArray(10000, '9') << DBL_MAX;
    QTest::newRow("leading zeros") << QByteArray(100000, '0') + "7" << 7.0;
    QTest::newRow("long fraction and exponent") << "0." + QByteArray(10000, '0') + "1e10001" << 1.0;
    // 2^53 + 1 is a tie; only a digit far past the kept precision breaks it upwards.
    QTest::newRow("far digit breaks a tie")
        << "9007199254740993." + QByteArray(1000, '0') + "1" << 9007199254740994.0;
    QTest::newRow("megabytes of digits") << QByteArray(8 << 20, '9') << DBL_MAX;
    QTest::newRow("megabytes of blanks") << QByteArray(8 << 20, ' ') + "5" << 5.0;
    QTest::newRow("megabytes of fraction") << "1." + QByteArray(8 << 20, '3') << 4.0 / 3.0;
}

void TestNumberText::leadingNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const double actual = LeadingNumber(std::string_view(text.constData(), text.size()));
    QVERIFY2(SameDouble(actual, expected),
             qPrintable(QString::asprintf("got %.17g, want %.17g", actual, expected)));
}

void TestNumberText::numberTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("signedPlace");

    QTest::newRow("zero") << 0.0 << QByteArray("0") << QByteArray(" 0");
    QTest::newRow("minus zero") << -0.0 << QByteArray("0") << QByteArray(" 0");
    QTest::newRow("one") << 1.0 << QByteArray("1") << QByteArray(" 1");
    QTest::newRow("thousand") << 1000.0 << QByteArray("1000") << QByteArray(" 1000");
    QTest::newRow("hour") << 3600.0 << QByteArray("3600") << QByteArray(" 3600");
    QTest::newRow("negative") << -2.0 << QByteArray("-2") << QByteArray("-2");
    QTest::newRow("negative fraction") << -12.5 << QByteArray("-12.5") << QByteArray("-12.5");
    QTest::newRow("half") << 0.5 << QByteArray("0.5") << QByteArray(" .5");
    QTest::newRow("minus quarter") << -0.25 << QByteArray("-0.25") << QByteArray("-.25");
    QTest::newRow("tenth") << 0.1 << QByteArray("0.1") << QByteArray(" .1");
    QTest::newRow("third") << 1.0 / 3 << QByteArray("0.333333333333333")
                           << QByteArray(" .333333333333333");
    QTest::newRow("two thirds round up")
        << 2.0 / 3 << QByteArray("0.666666666666667") << QByteArray(" .666666666666667");
    QTest::newRow("rounds up to one") << 0.9999999999999999 << QByteArray("1") << QByteArray(" 1");
    QTest::newRow("subtraction error vanishes")
        << 90.6 - 60 << QByteArray("30.6") << QByteArray(" 30.6");
    QTest::newRow("15 digits kept") << 123456789012345678.0 << QByteArray("123456789012346000")
                                    << QByteArray(" 123456789012346000");
    QTest::newRow("large without exponent")
        << 1e20 << QByteArray("100000000000000000000") << QByteArray(" 100000000000000000000");
    QTest::newRow("small without exponent")
        << -1e-7 << QByteArray("-0.0000001") << QByteArray("-.0000001");
    QTest::newRow("largest") << DBL_MAX << kMaxDigits << " " + kMaxDigits;
    QTest::newRow("infinity as largest")
        << std::numeric_limits<double>::infinity() << kMaxDigits << " " + kMaxDigits;
    QTest::newRow("minus infinity")
        << -std::numeric_limits<double>::infinity() << "-" + kMaxDigits << "-" + kMaxDigits;
    QTest::newRow("NaN as zero") << std::numeric_limits<double>::quiet_NaN() << QByteArray("0")
                                 << QByteArray(" 0");
}

void TestNumberText::numberTexts()
{
    QFETCH(double, value);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, signedPlace);
    QCOMPARE(QByteArray::fromStdString(PlainDecimalText(value)), plain);
    QCOMPARE(QByteArray::fromStdString(SignedPlaceText(value)), signedPlace);
}

// Stored numbers must come back as written, in either form.
void TestNumberText::textsReadBack()
{
    for (double v : {0.0, 1.0, -2.0, 0.5, -0.25, 12345.678, 1e-7, 1e20, 86399.0, DBL_MAX}) {
        QCOMPARE(LeadingNumber(PlainDecimalText(v)), v);
        QCOMPARE(LeadingNumber(SignedPlaceText(v)), v);
    }
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
