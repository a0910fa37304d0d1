#pragma once

// UTF-8 (the core's text) to and from UTF-16 (the wide Windows calls), so that
// Chinese text never passes through a code page: the core's one conversion
// (core/text/utf16.h), under the names the Windows sources use.

#include "core/text/utf16.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace widetext {

// Exact both ways: bytes that are not UTF-8 come back as they were.
inline std::wstring Widen(std::string_view utf8)
{
    return Utf8ToWide(utf8);
}

inline std::string Narrow(std::wstring_view wide)
{
    return WideToUtf8(wide);
}

// A window's text, whatever its length.
inline std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

} // namespace widetext
