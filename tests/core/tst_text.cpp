// The one conversion between UTF-8 and UTF-16: exact both ways, whatever the
// bytes, for char16_t and for wchar_t alike. Runs natively and under Wine,
// where wchar_t is the wide calls' UTF-16.

#include "core/text/utf16.h"
#include "support/testing.h"

#include <string>

namespace {

std::u16string UnitsOf(const std::wstring &wide)
{
    return std::u16string(wide.begin(), wide.end());
}

} // namespace

// Any bytes come back as they were: valid text, NULs, bytes that are no
// UTF-8 (a stray continuation, an overlong form, a surrogate, a cut sequence),
// and the same through the wide form.
TEST_CASE("everyTextComesBack")
{
    const std::string rows[] = {
        "",
        "5分钟",
        std::string("12\0ab", 5),
        "\xF0\x9F\x98\x80 beyond the first plane",
        "\xFF\xFE"
        "9",
        "\x80 stray",
        "\xC0\xAF overlong",
        "\xED\xA0\x80 surrogate",
        "cut \xE5\x88",
        "\xE5\x88\x86\xE5",
    };
    for (const std::string &text : rows) {
        CAPTURE(text);
        CHECK_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
        CHECK_EQ(WideToUtf8(Utf8ToWide(text)), text);
        CHECK(UnitsOf(Utf8ToWide(text)) == Utf8ToUtf16(text));
    }
}

TEST_CASE("unitsAreUtf16")
{
    CHECK(Utf8ToUtf16("5分钟") == std::u16string(u"5\u5206\u949F"));
    CHECK(Utf8ToUtf16("\xF0\x9F\x98\x80") == std::u16string(u"\xD83D\xDE00"));
    // A byte that is no UTF-8 travels as U+DC00 + byte.
    CHECK(Utf8ToUtf16("a\xFF") == std::u16string(u"a\xDCFF"));
    // Lone surrogates that no byte stands for read as U+FFFD, never as bytes.
    CHECK_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    CHECK_EQ(Utf16ToUtf8(u"\xDE00"), "\xEF\xBF\xBD");
    CHECK_EQ(Utf16ToUtf8(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

// Text from outside that only has to be readable: bytes that are no UTF-8
// become U+FFFD, valid text is left alone.
TEST_CASE("validTextForReading")
{
    CHECK_EQ(ValidUtf8("[V1.2.3] 新版"), "[V1.2.3] 新版");
    CHECK_EQ(ValidUtf8("[V1\xFF.2]"), "[V1\xEF\xBF\xBD.2]");
    CHECK_EQ(ValidUtf8("cut \xE5\x88"), "cut \xEF\xBF\xBD\xEF\xBF\xBD");
    CHECK(IsValidUtf8(ValidUtf8("\xC0\xAF\xED\xA0\x80\xF5")));

    char32_t cp = 0;
    CHECK_EQ(DecodeUtf8("分", 0, cp), 3u);
    CHECK(cp == U'\u5206');
    CHECK_EQ(DecodeUtf8("\xF4\x90\x80\x80", 0, cp), 0u); // beyond U+10FFFF
}
