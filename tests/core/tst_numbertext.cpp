// How texts become numbers and numbers become stored text.

#include "core/rules/numbertext.h"
#include "support/testing.h"

#include <bit>
#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>

namespace {

// Bitwise, so that 0.1 must be the nearest double and a zero must not be -0.
bool SameDouble(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::string Repeated(std::size_t count, char c)
{
    return std::string(count, c);
}

const std::string kMaxDigits = "179769313486232" + Repeated(294, '0');

} // namespace

TEST_CASE("leadingNumber")
{
    const struct {
        const char *name;
        std::string text;
        double expected;
    } rows[] = {
        // No number at all.
        {"empty", "", 0.0},
        {"letters", "abc", 0.0},
        {"lone minus", "-", 0.0},
        {"lone point", ".", 0.0},
        {"exponent without digits", "e5", 0.0},
        // Where the number stops.
        {"whole", "1000", 1000.0},
        {"letters after", "12abc", 12.0},
        {"unit after", "2.5min", 2.5},
        {"second point stops", "1.2.3", 1.2},
        {"carriage return stops", "1\r2", 1.0},
        {"NUL stops", std::string("1\0002", 3), 1.0},
        // Blanks, tabs and line feeds are skipped wherever they stand.
        {"signed-place form", " 7", 7.0},
        {"blank inside", "1 000", 1000.0},
        {"tab and line feed", "\t1\n2", 12.0},
        {"blank after sign", " - 3", -3.0},
        // Signs, points and exponents.
        {"negative fraction", "-12.5", -12.5},
        {"plus sign", "+4", 4.0},
        {"point first", ".5", 0.5},
        {"minus point first", "-.25", -0.25},
        {"point last", "5.", 5.0},
        {"minus zero is zero", "-0", 0.0},
        {"nearest double", "0.1", 0.1},
        {"exponent", "1.5e3", 1500.0},
        {"D exponent", "2d-2", 0.02},
        {"signed exponent", "1E+2", 100.0},
        {"blanks around exponent", "1 e 2", 100.0},
        {"exponent without digits after", "1e", 1.0},
        // Hexadecimal and octal whole numbers.
        {"hex", "&H10", 16.0},
        {"hex lower case", "&hff", 255.0},
        {"hex with blanks", " &H 1 0", 16.0},
        {"hex 64 bits", "&HFFFFFFFFFFFFFFFF", 18446744073709551616.0},
        {"octal", "&O17", 15.0},
        {"octal 64 bits", "&o1777777777777777777777", 18446744073709551616.0},
        {"octal stops at 8", "&O8", 0.0},
        {"hex without digits", "&H", 0.0},
        {"hex junk", "&Hxyz", 0.0},
        {"other base letter", "&X1", 0.0},
        {"sign before hex", "-&H1", 0.0},
        {"hex too large", "&H1" + Repeated(300, '0'), DBL_MAX},
        // Out of range saturates; never inf or NaN.
        {"overflow", "1e999", DBL_MAX},
        {"negative overflow", "-1e999", -DBL_MAX},
        {"just above the largest", "1.7976931348623158e308", DBL_MAX},
        {"underflow", "1e-999", 0.0},
        {"negative underflow", "-1e-999", 0.0},
        {"smallest subnormal", "5e-324", std::numeric_limits<double>::denorm_min()},
        {"huge exponent", "1e99999999999999999999", DBL_MAX},
        {"huge negative exponent", "1e-99999999999999999999", 0.0},
        // Long texts.
        {"10000 digits", Repeated(10000, '9'), DBL_MAX},
        {"leading zeros", Repeated(100000, '0') + "7", 7.0},
        {"long fraction and exponent", "0." + Repeated(10000, '0') + "1e10001", 1.0},
        // 2^53 + 1 is a tie; only a digit far past the kept precision breaks it upwards.
        {"far digit breaks a tie", "9007199254740993." + Repeated(1000, '0') + "1",
         9007199254740994.0},
        {"megabytes of digits", Repeated(8 << 20, '9'), DBL_MAX},
        {"megabytes of blanks", Repeated(8 << 20, ' ') + "5", 5.0},
        {"megabytes of fraction", "1." + Repeated(8 << 20, '3'), 4.0 / 3.0},
    };
    for (const auto &row : rows) {
        const double actual = LeadingNumber(row.text);
        INFO(row.name);
        CAPTURE(actual);
        CAPTURE(row.expected);
        CHECK(SameDouble(actual, row.expected));
    }
}

TEST_CASE("numberTexts")
{
    const struct {
        const char *name;
        double value;
        std::string plain, signedPlace;
    } rows[] = {
        {"zero", 0.0, "0", " 0"},
        {"minus zero", -0.0, "0", " 0"},
        {"one", 1.0, "1", " 1"},
        {"thousand", 1000.0, "1000", " 1000"},
        {"hour", 3600.0, "3600", " 3600"},
        {"negative", -2.0, "-2", "-2"},
        {"negative fraction", -12.5, "-12.5", "-12.5"},
        {"half", 0.5, "0.5", " .5"},
        {"minus quarter", -0.25, "-0.25", "-.25"},
        {"tenth", 0.1, "0.1", " .1"},
        {"third", 1.0 / 3, "0.333333333333333", " .333333333333333"},
        {"two thirds round up", 2.0 / 3, "0.666666666666667", " .666666666666667"},
        {"rounds up to one", 0.9999999999999999, "1", " 1"},
        {"subtraction error vanishes", 90.6 - 60, "30.6", " 30.6"},
        {"15 digits kept", 123456789012345678.0, "123456789012346000", " 123456789012346000"},
        {"large without exponent", 1e20, "100000000000000000000", " 100000000000000000000"},
        {"small without exponent", -1e-7, "-0.0000001", "-.0000001"},
        {"largest", DBL_MAX, kMaxDigits, " " + kMaxDigits},
        {"infinity as largest", std::numeric_limits<double>::infinity(), kMaxDigits,
         " " + kMaxDigits},
        {"minus infinity", -std::numeric_limits<double>::infinity(), "-" + kMaxDigits,
         "-" + kMaxDigits},
        {"NaN as zero", std::numeric_limits<double>::quiet_NaN(), "0", " 0"},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        CHECK_EQ(PlainDecimalText(row.value), row.plain);
        CHECK_EQ(SignedPlaceText(row.value), row.signedPlace);
    }
}

// Stored numbers must come back as written, in either form.
TEST_CASE("textsReadBack")
{
    for (double v : {0.0, 1.0, -2.0, 0.5, -0.25, 12345.678, 1e-7, 1e20, 86399.0, DBL_MAX}) {
        INFO(v);
        CHECK_EQ(LeadingNumber(PlainDecimalText(v)), v);
        CHECK_EQ(LeadingNumber(SignedPlaceText(v)), v);
    }
}
