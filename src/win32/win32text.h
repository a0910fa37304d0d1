#pragma once

// Text conversions for the ANSI ("A") Windows calls. Only for Windows sources.

#include <windows.h>

#include <string>
#include <string_view>

namespace win32text {

// Re-encodes text from one code page to another through UTF-16. Characters the
// target code page cannot hold become '?', never an error; NULs are kept.
inline std::string Recode(std::string_view text, UINT from, UINT to)
{
    if (text.empty()) {
        return {};
    }
    const int inLength = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(from, 0, text.data(), inLength, nullptr, 0);
    if (wideLength <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, 0, text.data(), inLength, wide.data(), wideLength);
    const int outLength =
        WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (outLength <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(outLength), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, out.data(), outLength, nullptr, nullptr);
    return out;
}

// The A calls read and write text in the system's ANSI code page (936 on a
// Chinese system) and convert it to the UTF-16 the system stores. Converting
// to any other code page here would let a round trip through our own code
// succeed while other programs see garbled text.
inline std::string Utf8ToAnsi(std::string_view utf8)
{
    return Recode(utf8, CP_UTF8, CP_ACP);
}

inline std::string AnsiToUtf8(std::string_view ansi)
{
    return Recode(ansi, CP_ACP, CP_UTF8);
}

} // namespace win32text
