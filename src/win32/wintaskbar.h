#pragma once

#include "core/platform/services.h"

#include <windows.h>

#include <shobjidl.h>

// The run's progress on the main window's taskbar button (ITaskbarList3) and
// the attention as a flashing button (FlashWindowEx). The shell's taskbar
// list is made once the shell says the button exists, and made again when it
// says so again (after Explorer restarts), showing the last state asked for.
// Where the shell has no taskbar list (older shells, Wine), nothing is shown.
class WinTaskbar : public TaskbarProgress {
public:
    // The shell's taskbar list, ready for use, or null.
    using MakeList = ITaskbarList3 *(*)();
    using Flash = BOOL(WINAPI *)(PFLASHWINFO);
    static ITaskbarList3 *ShellTaskbarList();

    explicit WinTaskbar(MakeList makeList = ShellTaskbarList, Flash flash = FlashWindowEx);
    ~WinTaskbar() override;
    WinTaskbar(const WinTaskbar &) = delete;
    WinTaskbar &operator=(const WinTaskbar &) = delete;

    // Watches the window for the shell's "TaskbarButtonCreated" message.
    // Before it is shown, so that the first one is not missed.
    void attach(HWND window);
    // What the message does; public for tests.
    void buttonCreated();

    void show(WindowHandle window, TaskbarState state, double fraction) override;
    void requestAttention(WindowHandle window) override;

    static UINT ButtonCreatedMessage();

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    void apply();

    MakeList makeList_;
    Flash flash_;
    ITaskbarList3 *list_ = nullptr;
    HWND attached_ = nullptr;
    HWND window_ = nullptr;
    TaskbarState state_ = TaskbarState::None;
    double fraction_ = 0;
};
