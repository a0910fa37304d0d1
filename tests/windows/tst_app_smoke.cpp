// A quick check of the built brisko.exe under Wine: started by
// scripts/wine-app-smoke.sh, it finds the running program's main window,
// reads its first-run state, clicks 开始, watches the count, answers the
// zero-minutes message and the close question, and leaves the end by
// "isClose" to the script. Ends with the line "N passed, N failed".

#include "win32/controlids.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string &what)
{
    (ok ? passed : failed) += 1;
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
}

std::wstring TextOf(HWND window)
{
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                        nullptr);
    return text;
}

HWND WaitFor(const wchar_t *windowClass, const wchar_t *title, int ms)
{
    for (int waited = 0; waited <= ms; waited += 100) {
        if (const HWND found = FindWindowW(windowClass, title))
            return found;
        Sleep(100);
    }
    return nullptr;
}

DWORD WINAPI SetZeroMinutes(void *entry)
{
    SendMessageW(static_cast<HWND>(entry), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"));
    return 0;
}

} // namespace

int main()
{
    const HWND form = WaitFor(BRISKO_FORM1_CLASS, nullptr, 20000);
    Check(form != nullptr, "the main window appears");
    if (!form) {
        std::printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }
    // The start-up is over once the status line is empty and the window shows.
    for (int i = 0; i < 150 && !IsWindowVisible(form); ++i)
        Sleep(100);
    auto item = [form](int id) { return GetDlgItem(form, id); };
    Check(IsWindowVisible(form) != FALSE, "the main window is shown");
    Check(TextOf(item(controlid::Text1)) == L"5", "first run: 5 minutes");
    Check(TextOf(item(controlid::Label2)) == L"0:00:00", "first run: the display reads 0:00:00");
    Check(TextOf(item(controlid::Label7)).empty(), "first run: the status line is empty");
    Check(TextOf(item(controlid::Command1)) == L"开始", "first run: 开始");
    Check(!IsWindowVisible(item(controlid::Command2)), "first run: 暂停 is hidden");
    Check(GetMenu(form) == nullptr, "first run: no menu bar");
    Check(!(GetWindowLongW(form, GWL_STYLE) & WS_MAXIMIZEBOX), "no maximize box");

    SendMessageW(item(controlid::Command1), BM_CLICK, 0, 0);
    Sleep(2500);
    const std::wstring shown = TextOf(item(controlid::Label2));
    Check(shown == L"0:00:02" || shown == L"0:00:03", "the stopwatch counts");
    Check(TextOf(item(controlid::Command1)) == L"停止", "running: 停止");
    Check(TextOf(form).rfind(L"计时器 ", 0) == 0, "the title carries the time of day");

    SendMessageW(item(controlid::Check1), BM_CLICK, 0, 0);
    Sleep(1500);
    Check((GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
          "置最前 keeps the window on top");

    const HANDLE setter =
        CreateThread(nullptr, 0, SetZeroMinutes, item(controlid::Text1), 0, nullptr);
    const HWND message = WaitFor(L"#32770", L"brisko", 5000);
    Check(message != nullptr, "zero minutes: the message box appears");
    if (message)
        SendMessageW(message, WM_COMMAND, IDOK, 0);
    WaitForSingleObject(setter, 5000);
    CloseHandle(setter);
    Sleep(300);
    Check(TextOf(item(controlid::Text1)) == L"5", "zero minutes: the entry goes back to 5");

    PostMessageW(form, WM_CLOSE, 0, 0);
    const HWND question = WaitFor(L"#32770", L"关闭程序?", 5000);
    Check(question != nullptr, "the close box asks");
    if (question)
        SendMessageW(question, WM_COMMAND, IDCANCEL, 0);
    Sleep(300);
    Check(IsWindow(form) != FALSE, "Cancel keeps the program running");

    std::printf("%d passed, %d failed\n", passed, failed);
    return 0;
}
