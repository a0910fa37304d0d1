// Texts as failure messages show them (see testing.h).

#include "support/testing.h"

#include <cstdint>
#include <cstdio>

namespace testsupport {
namespace {

// The length of the well-formed UTF-8 sequence at text[at], with its code
// point; 0 when the byte there begins none (a stray continuation, an
// overlong form, a surrogate, a cut sequence, a byte never used).
std::size_t Utf8Sequence(std::string_view text, std::size_t at, char32_t &c)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 1;
    char32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

void AppendEscape(std::string &out, const char *format, unsigned value)
{
    char escaped[16];
    std::snprintf(escaped, sizeof escaped, format, value);
    out += escaped;
}

// A character that is there to be seen as itself, or its escape.
void AppendCodePoint(std::string &out, char32_t c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        AppendEscape(out, "\\x%02X", static_cast<unsigned>(c));
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c <= 0x9F) {
        AppendEscape(out, "\\u%04X", static_cast<unsigned>(c)); // the C1 controls
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 units, or UTF-32 ones where wchar_t is 32 bits wide.
template <typename Unit>
std::string ShownUnits(const char *prefix, std::basic_string_view<Unit> units)
{
    std::string out = prefix;
    out += '"';
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = static_cast<std::uint32_t>(units[i]) & (sizeof(Unit) == 2 ? 0xFFFFu : ~0u);
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (sizeof(Unit) == 2 && high && i + 1 < units.size()) {
            const char32_t low = static_cast<std::uint32_t>(units[i + 1]) & 0xFFFFu;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            AppendEscape(out, "\\u%04X", static_cast<unsigned>(c));
        else if (c > 0x10FFFF)
            AppendEscape(out, "\\U%08X", static_cast<unsigned>(c));
        else
            AppendCodePoint(out, c);
    }
    return out + '"';
}

} // namespace

std::string ShownText(std::string_view bytes)
{
    std::string out = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        if (const std::size_t length = Utf8Sequence(bytes, at, c)) {
            AppendCodePoint(out, c);
            at += length;
        } else {
            AppendEscape(out, "\\x%02X", static_cast<unsigned char>(bytes[at]));
            ++at;
        }
    }
    return out + '"';
}

std::string ShownWide(std::wstring_view units)
{
    return ShownUnits("L", units);
}

std::string ShownUtf16(std::u16string_view units)
{
    return ShownUnits("u", units);
}

std::string ShownCodePoint(char32_t c)
{
    std::string out;
    AppendEscape(out, "U+%04X ", static_cast<unsigned>(c));
    return out + ShownUnits("U", std::u32string_view(&c, 1));
}

} // namespace testsupport
