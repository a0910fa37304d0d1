#pragma once

#include "core/mainwindow/mainwindowcore.h"

#include <windows.h>

#include <memory>

class FormAbout;

// The main window, a view over MainWindowCore: it builds the controls under
// the ids of controlids.h, hands every click, change and tick to the core
// under the handler's design name, and shows what comes back.
class Form1 {
public:
    explicit Form1(const Services &services);
    ~Form1();
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    HWND hwnd() const { return window_; }
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
    void buildControls();
    void buildMenu();
    void layout();
    void showTiming();
    void setChecked(HWND box, bool checked, void (Form1::*handler)());
    bool checked(HWND box) const;

    HWND window_ = nullptr;
    std::unique_ptr<MainWindowCore> core_;
    UINT dpi_ = 96;
    HFONT normalFont_ = nullptr;
    HFONT bigFont_ = nullptr;
    HFONT displayFont_ = nullptr;
    HFONT statusFont_ = nullptr;
    HBRUSH displayBrush_ = nullptr;
    HMENU menuBar_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND about_ = nullptr;
    HWND lastFocus_ = nullptr;
    bool updateOpen_ = false;
    bool timer2On_ = false;
    bool menuShown_ = true;

    HWND Command1 = nullptr;
    HWND Command2 = nullptr;
    HWND Label2 = nullptr;
    HWND Text1 = nullptr;
    HWND Label5 = nullptr;
    HWND Label7 = nullptr;
    HWND Check1 = nullptr;
    HWND Check2 = nullptr;
    HWND Check3 = nullptr;
};
