#include "win32/win32calls.h"

#include "win32/widetext.h"

#include <windows.h>

#include <shellapi.h>

void PlatformBeep(unsigned hz, unsigned ms)
{
    Beep(hz, ms);
}

void PlatformSetTopmost(void *hwnd, bool topmost)
{
    // The keep-on-top band is re-asserted on every one-second tick. Without
    // SWP_NOACTIVATE each of those calls would also activate the main window,
    // pulling the keyboard focus away from the About window or anything else
    // the user is typing into, once a second.
    SetWindowPos(static_cast<HWND>(hwnd), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void PlatformOpenUrl(void *ownerHwnd, const std::string &url)
{
    // Wide, so an address with Chinese in it never passes through a code page.
    const std::wstring address = widetext::Widen(url);
    ShellExecuteW(static_cast<HWND>(ownerHwnd), L"open", address.c_str(), L"", L"", SW_SHOW);
}
