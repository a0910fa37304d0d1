// The version rules: the page's version text, its number, and how a version
// number is shown.

#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"
#include "support/testing.h"

#include <cfloat>
#include <string>

TEST_CASE("versionNumberOf")
{
    CHECK_EQ(VersionNumberOf(1, 2, 2), 122.0);
    // One digit each for minor and revision: 1.2.10 and 1.3.0 collide.
    CHECK_EQ(VersionNumberOf(1, 2, 10), VersionNumberOf(1, 3, 0));
}

TEST_CASE("parseVersionText")
{
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += char(i);

    const struct {
        const char *name;
        std::string page, text;
    } rows[] = {
        // Between the first "[" and the first "]", lower-cased.
        {"bare", "[123]", "123"},
        {"in markup", "<html><body>newest: [123]</body></html>", "123"},
        {"capitals", "[V1.2.3-RC]", "v1.2.3-rc"},
        {"blanks kept", "  [ 1 2 3 ]  ", " 1 2 3 "},
        {"empty brackets", "x[]", ""},
        {"first pair counts", "[123] [456]", "123"},
        {"second open kept", "[[124]", "[124"},
        {"non-ASCII unchanged", "[124\xe7\x89\x88\xC3\x84]", "124\xe7\x89\x88\xC3\x84"},
        {"NUL inside", std::string("\0[1\0002]", 6), std::string("1\0002", 3)},
        {"every byte value", allBytes, "\\"},
        {"megabytes", std::string(4 << 20, 'x') + "[125]" + std::string(4 << 20, 'y'), "125"},
        // No such pair: "0".
        {"no brackets", "Not Found", "0"},
        {"empty page", "", "0"},
        {"open only", "[123", "0"},
        {"close only", "123]", "0"},
        {"close before open", "a]b[123]", "0"},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        CHECK_EQ(ParseVersionText(row.page), row.text);
    }
}

// The version text is read as any stored number is read, and only a greater
// number than our own 1.2.2 is newer.
TEST_CASE("versionTextNumber")
{
    const struct {
        const char *name;
        const char *text;
        double number;
        bool newer;
    } rows[] = {
        {"newer", "123", 123.0, true},
        {"same is not newer", "122", 122.0, false},
        {"older", "99", 99.0, false},
        {"blanks between digits", " 1 2 3 ", 123.0, true},
        {"letters after", "123abc", 123.0, true},
        {"dotted triple", "1.2.3", 1.2, false},
        {"letter first", "v123", 0.0, false},
        {"empty", "", 0.0, false},
        {"no brackets", "0", 0.0, false},
        {"half step", "122.5", 122.5, true},
        // Too large for a double reads as the largest one, and so counts as newer.
        {"beyond range", "1e999", DBL_MAX, true},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        const double actual = LeadingNumber(row.text);
        CHECK_EQ(actual, row.number);
        CHECK_EQ(actual > VersionNumberOf(1, 2, 2), row.newer);
    }
}

TEST_CASE("formatVersionNumber")
{
    const struct {
        const char *name;
        double version;
        std::string text;
    } rows[] = {
        {"123", 123.0, "V1.2.3"},
        {"own", 122.0, "V1.2.2"},
        {"two-digit major", 1234.0, "V12.3.4"},
        {"fraction in last part", 122.5, "V1.2.2.5"},
        {"below 100", 99.0, "V0.9.9"},
        {"zero", 0.0, "V0.0.0"},
        // What "[1e999]" reads as: the places below the hundreds are lost to rounding.
        {"largest", DBL_MAX, "V179769313486232" + std::string(292, '0') + ".0.0"},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        CHECK_EQ(FormatVersionNumber(row.version), row.text);
    }
}
