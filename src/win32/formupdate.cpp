#include "win32/formupdate.h"

#include "core/update/updateflows.h"
#include "win32/controlids.h"
#include "win32/widetext.h"
#include "win32/winview.h"

#include <vector>

using widetext::Widen;
using namespace winview;

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

struct FormUpdate {
    Services services;
    HWND window = nullptr;
    HFONT font = nullptr;
    HWND Label1 = nullptr;
    HWND Label2 = nullptr;
    HWND Label3 = nullptr;
    HWND Label4 = nullptr;
    HWND Command1 = nullptr;
    HWND Command2 = nullptr;
    HWND Command3 = nullptr;

    void Command1_Click()
    {
        OpenUpdatePage(services, window);
        DestroyWindow(window);
    }
};

LRESULT CALLBACK UpdateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = AttachedObject<FormUpdate>(window, message, lParam);
    switch (message) {
    case WM_COMMAND:
        // Esc (IDCANCEL from the dialog keys) does nothing: no cancel button.
        if (!self || (lParam && HIWORD(wParam) != BN_CLICKED))
            return 0;
        switch (LOWORD(wParam)) {
        case controlid::UpdateCommand1:
        case controlid::UpdateCommand3:
            self->Command1_Click();
            break;
        case controlid::UpdateCommand2:
            DestroyWindow(window);
            break;
        default:
            break;
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        // Wakes the modal loop, which may be waiting for a message that
        // never comes (the main window's ticks are off meanwhile).
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeLabel(HWND parent, int id, const std::string &text, int left, int top, UINT dpi,
               HFONT font)
{
    const HWND label =
        MakeControl(parent, L"STATIC", Widen(text), WS_VISIBLE | SS_LEFT | SS_NOPREFIX, id);
    SetWindowPos(label, nullptr, Px(left, dpi), Px(top, dpi), 0, 0, SWP_NOZORDER);
    SetFont(label, font);
    FitLabel(label);
    return label;
}

HWND makeButton(HWND parent, int id, const wchar_t *text, int left, int top, int width, int height,
                UINT dpi, HFONT font)
{
    const HWND button =
        MakeControl(parent, L"BUTTON", text, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, id);
    PlaceTwips(button, left, top, width, height, dpi);
    SetFont(button, font);
    return button;
}

BOOL CALLBACK collectEnabled(HWND window, LPARAM list)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
    return TRUE;
}

} // namespace

void RunFormUpdate(const Services &services, const std::string &programVersion, HWND owner)
{
    RegisterWindowClass(BRISKO_FORMUPDATE_CLASS, UpdateProc);
    FormUpdate form{.services = services};
    // Owned by the main window: always above it, even when that is kept on
    // top, so the disabled main window can never hide the window it waits for.
    form.window = CreateWindowExW(0, BRISKO_FORMUPDATE_CLASS, L"检查更新", kStyle, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                  GetModuleHandleW(nullptr), &form);
    if (!form.window)
        return;
    const HWND window = form.window;
    const UINT dpi = WindowDpi(window);
    form.font = MakeTextFont(kNormalText, dpi);
    // Created in tab order, so focus moves Command1, Command2, Command3.
    const UpdateWindowLook laidOut = UpdateWindowLaidOut();
    form.Label1 =
        makeLabel(window, controlid::UpdateLabel1, laidOut.label1, 600, 360, dpi, form.font);
    form.Label2 =
        makeLabel(window, controlid::UpdateLabel2, laidOut.label2, 600, 720, dpi, form.font);
    form.Label3 =
        makeLabel(window, controlid::UpdateLabel3, laidOut.label3, 600, 1080, dpi, form.font);
    form.Command1 = makeButton(window, controlid::UpdateCommand1, L"去下载最新版", 2160, 2040, 1335,
                               375, dpi, form.font);
    form.Command2 = makeButton(window, controlid::UpdateCommand2, L"退出", 3720, 2040, 1215, 375,
                               dpi, form.font);
    form.Command3 = makeButton(window, controlid::UpdateCommand3, L"上网查看最新版本", 240, 2040,
                               1815, 375, dpi, form.font);
    form.Label4 =
        makeLabel(window, controlid::UpdateLabel4, "如果长时间没有反应，请直接上网查看最新版本",
                  600, 1680, dpi, form.font);
    ShowWindow(form.Command1, SW_HIDE);
    const SIZE frame = FrameForClient(Px(5460, dpi), Px(2655, dpi), kStyle, 0, false, dpi);
    SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER);
    UseDialogKeys(window);

    // The load step: the whole query before the window is on screen. The
    // messages keep running meanwhile, the main window's included.
    const UpdateWindowLook look = LoadUpdateWindow(services, programVersion);
    if (IsWindow(window)) {
        SetAutoSizeText(form.Label1, Widen(look.label1));
        SetAutoSizeText(form.Label2, Widen(look.label2));
        SetAutoSizeText(form.Label3, Widen(look.label3));
        ShowWindow(form.Label4, look.label4Visible ? SW_SHOWNA : SW_HIDE);
        ShowWindow(form.Command3, look.command3Visible ? SW_SHOWNA : SW_HIDE);
        ShowWindow(form.Command1, look.command1Visible ? SW_SHOWNA : SW_HIDE);

        // Modal to the whole program: every other window of it waits.
        std::vector<HWND> others;
        EnumThreadWindows(GetCurrentThreadId(), collectEnabled, reinterpret_cast<LPARAM>(&others));
        for (HWND other : others)
            EnableWindow(other, FALSE);
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(look.command1Visible ? form.Command1 : form.Command2);
        MSG msg;
        while (IsWindow(window)) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got > 0)
                DispatchOne(msg);
        }
        for (HWND other : others)
            if (IsWindow(other))
                EnableWindow(other, TRUE);
        if (!others.empty() && IsWindow(others.front()))
            SetForegroundWindow(others.front());
    }
    if (IsWindow(window))
        DestroyWindow(window);
    DeleteObject(form.font);
}
