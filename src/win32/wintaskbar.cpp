#include "win32/wintaskbar.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace {

// The button's bar in thousandths.
constexpr ULONGLONG kBarSteps = 1000;

TBPFLAG FlagOf(TaskbarState state)
{
    switch (state) {
    case TaskbarState::Normal:
        return TBPF_NORMAL;
    case TaskbarState::Paused:
        return TBPF_PAUSED;
    case TaskbarState::Over:
        return TBPF_ERROR;
    case TaskbarState::None:
        break;
    }
    return TBPF_NOPROGRESS;
}

} // namespace

ITaskbarList3 *WinTaskbar::ShellTaskbarList()
{
    // The list is a COM object of the shell. The UI thread stays in its
    // apartment for the program's life (the process ends with ExitProcess),
    // so it is never left again.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE)
        return nullptr;
    ITaskbarList3 *list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ITaskbarList3), reinterpret_cast<void **>(&list))) ||
        !list) {
        return nullptr;
    }
    if (FAILED(list->HrInit())) {
        list->Release();
        return nullptr;
    }
    return list;
}

UINT WinTaskbar::ButtonCreatedMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

WinTaskbar::WinTaskbar(MakeList makeList, Flash flash) : makeList_(makeList), flash_(flash) {}

WinTaskbar::~WinTaskbar()
{
    if (attached_ && IsWindow(attached_))
        RemoveWindowSubclass(attached_, SubclassProc, reinterpret_cast<UINT_PTR>(this));
    if (list_)
        list_->Release();
}

void WinTaskbar::attach(HWND window)
{
    const UINT message = ButtonCreatedMessage();
    if (!window || !message)
        return;
    // A program run as administrator gets the shell's message only if it
    // lets it through.
    ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
    if (SetWindowSubclass(window, SubclassProc, reinterpret_cast<UINT_PTR>(this),
                          reinterpret_cast<DWORD_PTR>(this))) {
        attached_ = window;
    }
}

LRESULT CALLBACK WinTaskbar::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self)
{
    if (message == ButtonCreatedMessage() && message != 0) {
        auto *taskbar = reinterpret_cast<WinTaskbar *>(self);
        if (!taskbar->window_)
            taskbar->window_ = window;
        taskbar->buttonCreated();
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void WinTaskbar::buttonCreated()
{
    // A new button (a restarted Explorer) may come with a new shell: a new
    // list, and the state shown again.
    if (list_) {
        list_->Release();
        list_ = nullptr;
    }
    list_ = makeList_ ? makeList_() : nullptr;
    apply();
}

void WinTaskbar::show(WindowHandle window, TaskbarState state, double fraction)
{
    window_ = static_cast<HWND>(window);
    state_ = state;
    fraction_ = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    apply();
}

void WinTaskbar::apply()
{
    // Before the button exists the calls would fail: the message applies
    // what was asked meanwhile.
    if (!list_ || !window_)
        return;
    list_->SetProgressState(window_, FlagOf(state_));
    if (state_ != TaskbarState::None) {
        const auto done = static_cast<ULONGLONG>(std::lround(fraction_ * kBarSteps));
        list_->SetProgressValue(window_, done, kBarSteps);
    }
}

void WinTaskbar::requestAttention(WindowHandle window)
{
    // The button flashes until the window comes to the front.
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = static_cast<HWND>(window);
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    if (flash_ && flash.hwnd)
        flash_(&flash);
}
