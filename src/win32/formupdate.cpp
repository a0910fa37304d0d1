#include "win32/formupdate.h"

#include "win32/winview.h"

#include <vector>

using namespace winview;

namespace {

struct FormUpdate {
    MainWindowCore *core = nullptr;
    HWND window = nullptr;
    DesignedControls controls{kFormUpdateDesign};

    void Command1_Click()
    {
        core->UpdateCommand1_Click(window);
        DestroyWindow(window);
    }
    void show(const UpdateWindowLook &look);
};

void FormUpdate::show(const UpdateWindowLook &look)
{
    controls.setText("Label1", look.label1);
    controls.setText("Label2", look.label2);
    controls.setText("Label3", look.label3);
    controls.setVisible("Label4", look.label4Visible);
    controls.setVisible("Command3", look.command3Visible);
    controls.setVisible("Command1", look.command1Visible);
}

LRESULT CALLBACK UpdateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = AttachedObject<FormUpdate>(window, message, lParam);
    switch (message) {
    case WM_COMMAND: {
        // Esc (IDCANCEL from the dialog keys) does nothing: no cancel button.
        if (!self || (lParam && HIWORD(wParam) != BN_CLICKED))
            return 0;
        const std::string_view name = self->controls.nameOf(LOWORD(wParam));
        if (name == "Command1" || name == "Command3")
            self->Command1_Click();
        else if (name == "Command2")
            DestroyWindow(window);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        if (self)
            return self->controls.paintColours(reinterpret_cast<HDC>(wParam),
                                               reinterpret_cast<HWND>(lParam));
        break;
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

BOOL CALLBACK collectEnabled(HWND window, LPARAM list)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND> *>(list)->push_back(window);
    return TRUE;
}

// The first control that takes Tab and is shown: 去下载最新版 when there is a
// newer version, else 退出.
HWND FirstTabStop(const FormUpdate &form)
{
    for (const ControlDesign &c : kFormUpdateDesign.controls)
        if (const HWND control = form.controls[c.name];
            c.tabStop && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE))
            return control;
    return form.controls[kFormUpdateDesign.initialFocus];
}

} // namespace

void RunFormUpdate(MainWindowCore &core, HWND owner)
{
    FormUpdate form{.core = &core};
    // Owned by the main window: always above it, even when that is kept on
    // top, so the disabled main window can never hide the window it waits for.
    form.window = CreateDesignedWindow(kFormUpdateDesign, owner, UpdateProc, &form);
    if (!form.window)
        return;
    const HWND window = form.window;
    // Created in tab order, so focus moves Command1, Command2, Command3.
    form.controls.build(window, nullptr);
    form.controls.layout(WindowDpi(window));
    UseDialogKeys(window);

    // The load step: the whole query before the window is on screen. The
    // messages keep running meanwhile, the main window's included.
    const UpdateWindowLook look = core.LoadUpdateWindow();
    if (IsWindow(window)) {
        form.show(look);

        // Modal to the whole program: every other window of it waits.
        std::vector<HWND> others;
        EnumThreadWindows(GetCurrentThreadId(), collectEnabled, reinterpret_cast<LPARAM>(&others));
        for (HWND other : others)
            EnableWindow(other, FALSE);
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(FirstTabStop(form));
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
}
