#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program's one conversion between UTF-8 (the core's text) and UTF-16
// (the registry's strings and the wide Windows calls). It is exact both ways:
// a byte that is not part of valid UTF-8 travels as the lone code unit
// U+DC00 + byte, which valid text never holds, so every text comes back as it
// was, NULs included.

// The length of the valid UTF-8 sequence that starts at text[at], and its code
// point; 0 when the bytes there are not one (overlong, a surrogate, cut off).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t &codePoint);
bool IsValidUtf8(std::string_view text);
// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD:
// for text from outside that only has to be readable, never for stored values.
std::string ValidUtf8(std::string_view text);

std::u16string Utf8ToUtf16(std::string_view text);
// Undoes Utf8ToUtf16's escapes; any other lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// The same for wchar_t text holding UTF-16 code units, as on Windows.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view units);
