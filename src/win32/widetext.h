#pragma once

// UTF-8 (the core's text) to and from UTF-16 (the wide Windows calls), so that
// Chinese text never passes through a code page. Only for Windows sources.

#include <windows.h>

#include <string>
#include <string_view>

namespace widetext {

// Invalid UTF-8 becomes U+FFFD, never an error.
inline std::wstring Widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int inLength = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, wide.data(), length);
    return wide;
}

inline std::string Narrow(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int inLength = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
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
