// How the tests show values in failure messages, and the run's closing line
// (the cases named closingLine*, skipped in a plain run; CMake runs them with
// --no-skip and reads the line and the exit status).

#include "support/testing.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

TEST_CASE("textsShowEveryByte")
{
    const struct {
        const char *name;
        std::string text;
        std::string shown;
    } rows[] = {
        {"plain", "0:00:10", R"("0:00:10")"},
        {"Chinese as it is", "5分钟 时间到了", R"("5分钟 时间到了")"},
        {"beyond the first plane", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"NUL and line breaks", std::string("a\0b\r\n", 5), R"("a\x00b\r\n")"},
        {"tab, escape and DEL", "\t\x1b\x7f", R"("\t\x1B\x7F")"},
        {"quotes and backslashes", R"(a"b\c)", R"("a\"b\\c")"},
        {"C1 control", "\xC2\x9B", R"("\u009B")"},
        {"no UTF-8",
         "\xFF\xFE"
         "9",
         R"("\xFF\xFE9")"},
        {"overlong form", "\xC0\xAF", R"("\xC0\xAF")"},
        {"encoded surrogate", "\xED\xA0\x80", R"("\xED\xA0\x80")"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", R"("\xF4\x90\x80\x80")"},
        {"cut sequence", "\xE5\x88", R"("\xE5\x88")"},
        {"cut, then text", "\xE5\x88x", R"("\xE5\x88x")"},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        CHECK_EQ(std::string(doctest::toString(row.text).c_str()), row.shown);
    }
}

TEST_CASE("valuesOfEveryKindShowAlike")
{
    const auto shown = [](const auto &value) {
        return std::string(doctest::toString(value).c_str());
    };
    const char *pointer = "a\nb";
    const char *none = nullptr;
    CHECK_EQ(shown("lit\n"), R"("lit\n")");
    CHECK_EQ(shown(pointer), R"("a\nb")");
    CHECK_EQ(shown(none), "nullptr");
    CHECK_EQ(shown(std::string_view("x\0y", 3)), R"("x\x00y")");
    CHECK_EQ(shown(std::wstring(L"5\u5206\u949F\n")), "L\"5分钟\\n\"");
    CHECK_EQ(shown(L"\u65F6"), "L\"时\"");
    CHECK_EQ(shown(std::u16string(u"\xD83D\xDE00")), "u\"\xF0\x9F\x98\x80\"");
    CHECK_EQ(shown(std::u16string(u"a\xD800z\xDE00")), R"(u"a\uD800z\uDE00")");
    // A lone surrogate in a wide text, whatever the width of wchar_t.
    CHECK_EQ(shown(std::wstring(1, static_cast<wchar_t>(0xDC00))), R"(L"\uDC00")");
    CHECK_EQ(shown(U'\u5206'), "U+5206 U\"分\"");
    CHECK_EQ(shown(std::vector<std::string>{"a", "b\n"}), R"({"a", "b\n"})");
    CHECK_EQ(shown(std::vector<int>{}), "{}");
    CHECK_EQ(shown(std::optional<std::wstring>()), "(none)");
    CHECK_EQ(shown(std::optional<std::wstring>(L"x")), R"(L"x")");
    // Every digit a double has, so that two different ones never look equal.
    CHECK_EQ(shown(0.1), "0.10000000000000001");
    CHECK_EQ(shown(0.1 + 0.2), "0.30000000000000004");
}

TEST_CASE("closingLine: a case that passes" * doctest::skip())
{
    CHECK(true);
}

TEST_CASE("closingLine: a failed check, and the case goes on" * doctest::skip())
{
    bool wentOn = false;
    CHECK_EQ(1, 2);
    wentOn = true;
    CHECK(wentOn);
}

TEST_CASE("closingLine: an exception" * doctest::skip())
{
    throw std::runtime_error("thrown on purpose");
}
