#include "win32/win32calls.h"

#include "win32/win32text.h"

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
    const std::string address = win32text::Utf8ToAnsi(url);
    ShellExecuteA(static_cast<HWND>(ownerHwnd), "open", address.c_str(), "", "", SW_SHOW);
}
