#include "win32/formabout.h"

#include "win32/winview.h"

using namespace winview;

namespace {

// The window's state; freed with the window.
struct FormAbout {
    MainWindowCore *core = nullptr;
    HWND window = nullptr;
    DesignedControls controls{kFormAboutDesign};

    void Form_Load();
    void Label5_Click() { core->AboutLabel5_Click(window); }
};

void FormAbout::Form_Load()
{
    const AboutTexts texts = core->AboutWindowTexts();
    controls.setText("Label1", texts.label1);
    controls.setText("Label3", texts.label3);
    controls.setText("Label5", texts.label5);
    controls.setText("Label6", texts.label6);
}

LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = AttachedObject<FormAbout>(window, message, lParam);
    switch (message) {
    case WM_COMMAND:
        if (self && self->controls.nameOf(LOWORD(wParam)) == "Label5" &&
            HIWORD(wParam) == STN_CLICKED)
            self->Label5_Click();
        return 0;
    case WM_SETCURSOR:
        // The address looks and feels like a link.
        if (self && reinterpret_cast<HWND>(wParam) == self->controls["Label5"]) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (self)
            return self->controls.paintColours(reinterpret_cast<HDC>(wParam),
                                               reinterpret_cast<HWND>(lParam));
        break;
    case WM_DPICHANGED:
        if (self) {
            self->controls.layout(HIWORD(wParam));
            const auto *suggested = reinterpret_cast<const RECT *>(lParam);
            SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return 0;
    case WM_NCDESTROY:
        delete self;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND OpenFormAbout(MainWindowCore &core)
{
    auto *form = new FormAbout{.core = &core};
    // No owner and not modal: the main window goes on taking input, and when
    // kept on top stays above this window where they overlap; this window is
    // larger than the main window both ways, so part of it always shows.
    form->window = CreateDesignedWindow(kFormAboutDesign, nullptr, AboutProc, form);
    if (!form->window) {
        delete form;
        return nullptr;
    }
    const HWND window = form->window;
    form->controls.build(window, nullptr);
    form->controls.layout(WindowDpi(window));
    form->Form_Load();
    UseDialogKeys(window);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}
