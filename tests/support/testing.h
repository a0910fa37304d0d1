#pragma once

// What every C++ test includes instead of doctest's header: doctest, and how
// values show in its failure messages. All test files include it, so that a
// text shows alike wherever it fails.
//
// Texts show quoted, valid UTF-8 as it is, everything else escaped: control
// characters (\n, \x1B), quotes, backslashes and bytes that are no UTF-8
// (\xFF). A NUL or a line break inside a value is seen, and no value passes
// for another. Wide texts (wchar_t, char16_t) show the same way after an L,
// a lone surrogate as \uD800. Vectors and sets show as {a, b}, an empty
// optional as (none).

#include <doctest/doctest.h>

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

std::string ShownText(std::string_view bytes);
std::string ShownWide(std::wstring_view units);
std::string ShownUtf16(std::u16string_view units);
std::string ShownCodePoint(char32_t c);

template <typename Range> doctest::String ShownRange(const Range &values)
{
    doctest::String out = "{";
    bool first = true;
    for (const auto &value : values) {
        out += first ? "" : ", ";
        out += doctest::toString(value);
        first = false;
    }
    return out + "}";
}

} // namespace testsupport

namespace doctest {

template <> struct StringMaker<std::string> {
    static String convert(const std::string &text) { return testsupport::ShownText(text).c_str(); }
};
template <> struct StringMaker<std::string_view> {
    static String convert(std::string_view text) { return testsupport::ShownText(text).c_str(); }
};
template <> struct StringMaker<const char *> {
    static String convert(const char *text)
    {
        return text ? testsupport::ShownText(text).c_str() : "nullptr";
    }
};
template <> struct StringMaker<char *> {
    static String convert(const char *text) { return StringMaker<const char *>::convert(text); }
};
// A literal: its characters up to the first NUL.
template <std::size_t N> struct StringMaker<char[N]> {
    static String convert(const char (&text)[N])
    {
        return testsupport::ShownText(std::string_view(text, std::char_traits<char>::length(text)))
            .c_str();
    }
};

template <> struct StringMaker<std::wstring> {
    static String convert(const std::wstring &text) { return testsupport::ShownWide(text).c_str(); }
};
template <> struct StringMaker<const wchar_t *> {
    static String convert(const wchar_t *text)
    {
        return text ? testsupport::ShownWide(text).c_str() : "nullptr";
    }
};
template <> struct StringMaker<wchar_t *> {
    static String convert(const wchar_t *text)
    {
        return StringMaker<const wchar_t *>::convert(text);
    }
};
template <std::size_t N> struct StringMaker<wchar_t[N]> {
    static String convert(const wchar_t (&text)[N])
    {
        return testsupport::ShownWide(
                   std::wstring_view(text, std::char_traits<wchar_t>::length(text)))
            .c_str();
    }
};
template <> struct StringMaker<std::u16string> {
    static String convert(const std::u16string &text)
    {
        return testsupport::ShownUtf16(text).c_str();
    }
};
template <> struct StringMaker<char32_t> {
    static String convert(char32_t c) { return testsupport::ShownCodePoint(c).c_str(); }
};

template <typename T> struct StringMaker<std::vector<T>> {
    static String convert(const std::vector<T> &values) { return testsupport::ShownRange(values); }
};
template <typename T> struct StringMaker<std::set<T>> {
    static String convert(const std::set<T> &values) { return testsupport::ShownRange(values); }
};
template <typename T> struct StringMaker<std::optional<T>> {
    static String convert(const std::optional<T> &value)
    {
        return value ? toString(*value) : String("(none)");
    }
};

} // namespace doctest
