#include "core/text/utf16.h"

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t &cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // overlong
        if (b0 == 0xED)
            hi = 0x9F; // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned b = byte(i + k);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

bool IsValidUtf8(std::string_view s)
{
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

namespace {

char *putUtf8(char *o, char32_t cp)
{
    if (cp < 0x80) {
        *o++ = char(cp);
    } else if (cp < 0x800) {
        *o++ = char(0xC0 | (cp >> 6));
        *o++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = char(0xE0 | (cp >> 12));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    } else {
        *o++ = char(0xF0 | (cp >> 18));
        *o++ = char(0x80 | ((cp >> 12) & 0x3F));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    }
    return o;
}

// One conversion for both kinds of 16-bit text (char16_t, and wchar_t on
// Windows).
template <class Unit> std::basic_string<Unit> toUtf16(std::string_view s)
{
    std::basic_string<Unit> out(s.size(), Unit(0)); // never more units than bytes
    Unit *o = out.data();
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = Unit(b);
            ++i;
            continue;
        }
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0) {
            *o++ = Unit(0xDC00 + b);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *o++ = Unit(0xD800 + (cp >> 10));
            *o++ = Unit(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = Unit(cp);
        }
        i += n;
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}

template <class Unit> std::string fromUtf16(std::basic_string_view<Unit> u)
{
    // At most 3 bytes a UTF-16 unit; a wider unit may hold any code point.
    std::string out(u.size() * (sizeof(Unit) > 2 ? 4 : 3), '\0');
    char *o = out.data();
    for (std::size_t i = 0; i < u.size(); ++i) {
        const auto c = char32_t(u[i]);
        const auto next = i + 1 < u.size() ? char32_t(u[i + 1]) : 0;
        if (c < 0x80) {
            *o++ = char(c);
        } else if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            o = putUtf8(o, 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            *o++ = char(c - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            o = putUtf8(o, 0xFFFD);
        } else {
            o = putUtf8(o, c);
        }
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}

} // namespace

std::string ValidUtf8(std::string_view s)
{
    if (IsValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size() + 16);
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    return toUtf16<char16_t>(text);
}

std::string Utf16ToUtf8(std::u16string_view units)
{
    return fromUtf16(units);
}

std::wstring Utf8ToWide(std::string_view text)
{
    return toUtf16<wchar_t>(text);
}

std::string WideToUtf8(std::wstring_view units)
{
    return fromUtf16(units);
}
