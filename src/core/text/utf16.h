#pragma once

#include <string>
#include <string_view>

// UTF-8 text to UTF-16 and back, exactly: a byte that is not part of valid
// UTF-8 travels as the lone code unit U+DC00 + byte, which valid text never
// holds, so every text comes back as it was.

bool IsValidUtf8(std::string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// Undoes Utf8ToUtf16's escapes; any other lone surrogate becomes U+FFFD.
// Stops at the first NUL.
std::string Utf16ToUtf8(const std::u16string &units);
