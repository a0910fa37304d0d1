#pragma once

// The Windows program's window classes, named after their design ("Brisko"
// and the window's design name: BriskoForm1, BriskoFormAbout,
// BriskoFormUpdate), so that other programs and the tests can find them.

#include "core/design/windowdesign.h"

#include <string>

inline std::wstring WindowClassName(const WindowDesign &design)
{
    std::wstring name = L"Brisko";
    // Design names are plain ASCII.
    for (const char c : design.name)
        name += static_cast<wchar_t>(c);
    return name;
}
