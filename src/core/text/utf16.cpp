#include "core/text/utf16.h"

namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 if invalid.
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t &cp)
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

} // namespace

bool IsValidUtf8(std::string_view s)
{
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = decodeUtf8(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::u16string Utf8ToUtf16(std::string_view s)
{
    std::u16string out(s.size(), u'\0'); // never more units than bytes
    char16_t *o = out.data();
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        const std::size_t n = decodeUtf8(s, i, cp);
        if (n == 0) {
            *o++ = char16_t(0xDC00 + b);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *o++ = char16_t(0xD800 + (cp >> 10));
            *o++ = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = char16_t(cp);
        }
        i += n;
    }
    out.resize(std::size_t(o - out.data()));
    return out;
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

} // namespace

std::string Utf16ToUtf8(const std::u16string &u)
{
    std::string out(u.size() * 3, '\0'); // at most 3 bytes a unit
    char *o = out.data();
    for (std::size_t i = 0; i < u.size(); ++i) {
        const char16_t c = u[i];
        if (c == 0)
            break;
        if (c < 0x80) {
            *o++ = char(c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
                   u[i + 1] <= 0xDFFF) {
            o = putUtf8(o, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (u[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            *o++ = char(c - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            o = putUtf8(o, 0xFFFD);
        } else {
            o = putUtf8(o, c);
        }
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}
