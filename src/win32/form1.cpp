#include "win32/form1.h"

#include "win32/controlids.h"
#include "win32/formabout.h"
#include "win32/formupdate.h"
#include "win32/widetext.h"
#include "win32/winview.h"

#include <commctrl.h>

using widetext::Narrow;
using widetext::Widen;
using namespace winview;

namespace {

constexpr DWORD kStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
constexpr int kClientWidth = 4710;
constexpr int kClientHeight = 1365;

void showButton(HWND button, HWND tooltips, const ButtonLook &look)
{
    if (widetext::WindowText(button) != Widen(look.caption))
        SetText(button, Widen(look.caption));
    SetTooltip(tooltips, button, Widen(look.tooltip));
    ShowWindow(button, look.visible ? SW_SHOWNA : SW_HIDE);
}

BOOL CALLBACK addScreen(HMONITOR, HDC, LPRECT rect, LPARAM list)
{
    reinterpret_cast<std::vector<PixelRect> *>(list)->push_back(
        {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top});
    return TRUE;
}

} // namespace

Form1::Form1(const Services &services)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(BRISKO_FORM1_CLASS, WindowProc);
    window_ =
        CreateWindowExW(0, BRISKO_FORM1_CLASS, L"计时器", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    core_ = std::make_unique<MainWindowCore>(services, window_);
    dpi_ = WindowDpi(window_);
    displayBrush_ = CreateSolidBrush(ToColorRef(kDisplayBackground));
    tooltips_ = MakeTooltips(window_);
    buildControls();
    buildMenu();
    layout();
    UseDialogKeys(window_);
    // The tone holds the window: put this tick's texts on the screen first,
    // or it shows the previous second for the whole tone.
    core_->alarm().beforeTone = [this] {
        RedrawWindow(window_, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    // A countdown's end calls the user back only when the window is behind.
    core_->ReportWindowActive(
        [this] { return GetForegroundWindow() == window_ && !IsIconic(window_); });
    // The housekeeping tick runs from the created window on, so it already
    // ticks while the start-up waits for the vendor's site.
    SetTimer(window_, controlid::Timer1, 1000, nullptr);
}

Form1::~Form1()
{
    if (window_)
        DestroyWindow(window_);
    for (HFONT font : {normalFont_, bigFont_, displayFont_, statusFont_})
        if (font)
            DeleteObject(font);
    if (displayBrush_)
        DeleteObject(displayBrush_);
}

void Form1::buildControls()
{
    const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    const DWORD box = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
    // Created in tab order: Command1, Command2, Text1, Check1, Check2, Check3.
    Command1 = MakeControl(window_, L"BUTTON", L"开始", button, controlid::Command1);
    Command2 = MakeControl(window_, L"BUTTON", L"暂停", button, controlid::Command2);
    Label2 = MakeControl(window_, L"STATIC", L"0:00:00", label, controlid::Label2);
    Text1 = MakeControl(window_, L"EDIT", L"5",
                        WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, controlid::Text1);
    Label5 = MakeControl(window_, L"STATIC", L"分钟", label, controlid::Label5);
    Label7 = MakeControl(window_, L"STATIC", L"正在计时...", label, controlid::Label7);
    Check1 = MakeControl(window_, L"BUTTON", L"置最前", box, controlid::Check1);
    Check2 = MakeControl(window_, L"BUTTON", L"倒计时", box, controlid::Check2);
    Check3 = MakeControl(window_, L"BUTTON", L"菜单", box, controlid::Check3);
    SendMessageW(Check3, BM_SETCHECK, BST_CHECKED, 0);
    SetTooltip(tooltips_, Text1, L"时间只剩10秒时将会有声音提醒");
    SetTooltip(tooltips_, Check1, L"是否将本软件置于屏幕最前");
    SetTooltip(tooltips_, Check2, L"是否显示为倒计时模式");
    SetTooltip(tooltips_, Check3, L"是否显示系统菜单");
    // The buttons, the display and the timing tick as the idle engine has them.
    showTiming();
    SetAutoSizeText(Label7, L"正在计时...");
}

void Form1::buildMenu()
{
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, controlid::menuChaoZhou, L"技术支持(&S)");
    AppendMenuW(menu, MF_STRING, controlid::menuUpdate, L"检查更新(&K)");
    AppendMenuW(menu, MF_STRING, controlid::nemuAbout, L"关于本软件(&A)...");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, controlid::menuOption, L"选项(&O)...");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, controlid::menuExit, L"退出(&X)");
    menuBar_ = CreateMenu();
    AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), L"菜单(&T)");
    SetMenu(window_, menuBar_);
    menuShown_ = true;
}

void Form1::layout()
{
    for (HFONT font : {normalFont_, bigFont_, displayFont_, statusFont_})
        if (font)
            DeleteObject(font);
    // The window's own font is the program's face at the system's usual 9 pt.
    normalFont_ = MakeTextFont(kNormalText, dpi_);
    bigFont_ = MakeTextFont(kButtonText, dpi_);
    displayFont_ = MakeTextFont(kDisplayText, dpi_);
    statusFont_ = MakeTextFont(kStatusText, dpi_);

    // The two buttons and the entry were drawn reaching into their right-hand
    // neighbours by 15 twips; each stops where the next begins.
    PlaceTwips(Command1, 480, 38, 855, 345, dpi_, 1320);
    PlaceTwips(Command2, 1320, 38, 855, 345, dpi_, 2160);
    PlaceTwips(Label2, 2160, 53, 1155, 315, dpi_);
    PlaceTwips(Text1, 3360, 75, 375, 270, dpi_, 3720);
    PlaceTwips(Label5, 3720, 120, 360, 180, dpi_);
    PlaceTwips(Label7, 480, 480, 2910, 525, dpi_);
    PlaceTwips(Check1, 120, 1080, 855, 255, dpi_);
    PlaceTwips(Check2, 1080, 1080, 855, 255, dpi_);
    PlaceTwips(Check3, 2160, 1080, 735, 255, dpi_);
    SetFont(Command1, bigFont_);
    SetFont(Command2, bigFont_);
    SetFont(Label2, displayFont_);
    SetFont(Label7, statusFont_);
    for (HWND control : {Text1, Label5, Check1, Check2, Check3})
        SetFont(control, normalFont_);
    for (HWND control : {Label2, Label5, Label7})
        FitLabel(control);
    SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(normalFont_), FALSE);

    // The design size: the client area below the menu bar.
    const SIZE frame =
        FrameForClient(Px(kClientWidth, dpi_), Px(kClientHeight, dpi_), kStyle, 0, true, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::showTiming()
{
    const TimingLook &look = core_->timingLook();
    SetAutoSizeText(Label2, Widen(look.display));
    SetAutoSizeText(Label7, Widen(look.status));
    showButton(Command1, tooltips_, look.command1);
    showButton(Command2, tooltips_, look.command2);
    if (look.timerOn != timer2On_) {
        timer2On_ = look.timerOn;
        if (timer2On_)
            SetTimer(window_, controlid::Timer2, 1000, nullptr);
        else
            KillTimer(window_, controlid::Timer2);
    }
}

bool Form1::checked(HWND box) const
{
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1::setChecked(HWND box, bool on, void (Form1::*handler)())
{
    // Setting a box runs its own handler when its state changes, which
    // writes the value back.
    if (checked(box) == on)
        return;
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    (this->*handler)();
}

// --- start-up -----------------------------------------------------------------

void Form1::Form_Load()
{
    std::vector<PixelRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, addScreen, reinterpret_cast<LPARAM>(&screens));
    RECT frame{};
    GetWindowRect(window_, &frame);
    const StartupState s = core_->Form_Load(frame.right - frame.left, frame.bottom - frame.top,
                                            screens, static_cast<int>(dpi_));

    // Setting a control runs its change handling only when its state
    // changes, as for the check boxes: the entry's EN_CHANGE would come for
    // the same "5" too, and store it.
    if (widetext::WindowText(Text1) != Widen(s.minutesText))
        SetText(Text1, Widen(s.minutesText));
    const UINT loadDpi = dpi_;
    SetWindowPos(window_, nullptr, s.left, s.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // On a monitor of another DPI the window has rescaled meanwhile, and the
    // stored twips are other pixels there.
    if (dpi_ != loadDpi)
        SetWindowPos(window_, nullptr, TwipsToPixels(s.leftTwips, static_cast<int>(dpi_)),
                     TwipsToPixels(s.topTwips, static_cast<int>(dpi_)), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    setChecked(Check1, s.keepOnTop, &Form1::Check1_Click);
    setChecked(Check2, s.countdown, &Form1::Check2_Click);
    setChecked(Check3, s.menuBar, &Form1::Check3_Click);

    const HWND self = window_;
    core_->FinishLoad([self] { return IsWindow(self) != FALSE; });
    SetAutoSizeText(Label7, L"");
}

void Form1::Show(int showCommand)
{
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(Command1);
}

// --- timing ---------------------------------------------------------------------

void Form1::Command1_Click()
{
    core_->Command1_Click();
    showTiming();
}

void Form1::Command2_Click()
{
    core_->Command2_Click();
    showTiming();
}

void Form1::Timer2_Timer()
{
    const TickResult result =
        core_->Timer2_Timer(Narrow(widetext::WindowText(Text1)), checked(Check2));
    showTiming();
    if (result.alarmDue)
        core_->SoundAlarm();
}

void Form1::Text1_Change()
{
    // A refused text: the message was shown; "5" comes back here and is stored.
    if (!core_->Text1_Change(Narrow(widetext::WindowText(Text1))))
        SetText(Text1, L"5");
}

void Form1::Check2_Click()
{
    core_->Check2_Click(checked(Check2));
}

// --- options and links ------------------------------------------------------------

void Form1::Check1_Click()
{
    core_->Check1_Click(checked(Check1));
}

void Form1::Check3_Click()
{
    // The menu is the bar's only entry, so the whole bar goes with it.
    const bool show = checked(Check3);
    if (show != menuShown_) {
        menuShown_ = show;
        SetMenu(window_, show ? menuBar_ : nullptr);
    }
    core_->Check3_Click(show);
}

void Form1::menuChaoZhou_Click()
{
    core_->menuChaoZhou_Click();
}

// --- housekeeping and closing -------------------------------------------------------

void Form1::Timer1_Timer()
{
    // Minimised, the place to keep is the one the window comes back to.
    const POINT place = NormalTopLeft(window_);
    core_->Timer1_Timer(
        place.x, place.y, static_cast<int>(dpi_), checked(Check1),
        [this](const std::string &title) { SetWindowTextW(window_, Widen(title).c_str()); });
}

void Form1::menuExit_Click()
{
    core_->menuExit_Click();
}

// --- the other windows ----------------------------------------------------------------

void Form1::nemuAbout_Click()
{
    if (!about_ || !IsWindow(about_)) {
        const Services &s = core_->services();
        about_ = OpenFormAbout({.usageTotal = core_->usageTotal(),
                                .programVersion = core_->programVersion(),
                                .vendorUrl = s.vendorUrl},
                               *s.browser);
        return;
    }
    ShowWindow(about_, SW_SHOWNORMAL);
    SetForegroundWindow(about_);
}

void Form1::menuUpdate_Click()
{
    // The query lets messages run before the window is up, so this entry can
    // be chosen again meanwhile; that choice does nothing.
    if (updateOpen_)
        return;
    updateOpen_ = true;
    KillTimer(window_, controlid::Timer1);
    RunFormUpdate(core_->services(), core_->programVersion(), window_);
    updateOpen_ = false;
    SetTimer(window_, controlid::Timer1, 1000, nullptr);
}

// --- messages -------------------------------------------------------------------------

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = AttachedObject<Form1>(window, message, lParam);
    // Messages before the core exists (creation) get the default handling.
    if (!self || !self->core_)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT Form1::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == controlid::Text1) {
            if (code == EN_CHANGE)
                Text1_Change();
            return 0;
        }
        if (lParam && code != BN_CLICKED)
            return 0;
        switch (id) {
        case controlid::Command1:
            Command1_Click();
            break;
        case controlid::Command2:
            Command2_Click();
            break;
        case controlid::Check1:
            Check1_Click();
            break;
        case controlid::Check2:
            Check2_Click();
            break;
        case controlid::Check3:
            Check3_Click();
            break;
        case controlid::menuChaoZhou:
            menuChaoZhou_Click();
            break;
        case controlid::menuUpdate:
            menuUpdate_Click();
            break;
        case controlid::nemuAbout:
            nemuAbout_Click();
            break;
        case controlid::menuExit:
            menuExit_Click();
            break;
        default:
            break;
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == controlid::Timer1)
            Timer1_Timer();
        else if (wParam == controlid::Timer2 && timer2On_)
            Timer2_Timer();
        return 0;
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        if (reinterpret_cast<HWND>(lParam) == Label2) {
            SetTextColor(dc, ToColorRef(core_->timingLook().displayColour));
            SetBkColor(dc, ToColorRef(kDisplayBackground));
            return reinterpret_cast<LRESULT>(displayBrush_);
        }
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
        // Every close request (close box, Alt+F4, the system menu) asks; the
        // window itself never closes, the program ends at once instead.
        core_->CloseRequested();
        return 0;
    case WM_QUERYENDSESSION:
        // Logging off asks like any other close request; coming back here
        // means the answer was Cancel, so the session does not end for us.
        core_->CloseRequested();
        return FALSE;
    case WM_ACTIVATE:
        // Keyboard focus returns to where it was, Command1 at first.
        if (LOWORD(wParam) == WA_INACTIVE) {
            lastFocus_ = GetFocus();
        } else {
            SetFocus(lastFocus_ && IsChild(window_, lastFocus_) ? lastFocus_ : Command1);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        layout();
        const auto *suggested = reinterpret_cast<const RECT *>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}
