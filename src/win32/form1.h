#pragma once

#include "core/mainwindow/mainwindowcore.h"
#include "win32/winview.h"

#include <windows.h>

#include <memory>

// The main window, a view over MainWindowCore: it builds its controls and
// menu by walking the window's design, hands every click, change and tick to
// the core under the handler's design name, and draws the core's look.
class Form1 {
public:
    explicit Form1(const Services &services);
    ~Form1();
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    HWND hwnd() const { return window_; }
    // The window's control of that design name.
    HWND control(std::string_view name) const { return controls_[name]; }
    const MainWindowCore &core() const { return *core_; }
    // Start-up: restores the stored state. Runs once, before the first show.
    void Form_Load();
    void Show(int showCommand);

    void Command1_Click();
    void Command2_Click();
    void Text1_Change();
    void Check1_Click();
    void Check2_Click();
    void Check3_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void menuChaoZhou_Click();
    void menuUpdate_Click();
    void nemuAbout_Click();
    void menuExit_Click();

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void command(std::string_view name, int code);
    // Puts the core's look on the screen: everything that differs from what
    // is shown, and nothing else, so that it runs no handler of its own.
    void draw();
    void setTimer(std::string_view name, bool on, bool &running);

    HWND window_ = nullptr;
    std::unique_ptr<MainWindowCore> core_;
    winview::DesignedControls controls_;
    HMENU menuBar_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND about_ = nullptr;
    HWND lastFocus_ = nullptr;
    bool menuShown_ = true;
    bool timer1On_ = false;
    bool timer2On_ = false;
    Rgb displayColour_{};
};
