#include "win32/form1.h"

#include "win32/formabout.h"
#include "win32/formupdate.h"
#include "win32/widetext.h"

#include <commctrl.h>

using widetext::Narrow;
using widetext::Widen;
using namespace winview;

namespace {

// The handlers of clicks and menu entries, by the design name of what is
// clicked; the entry's change and the timers are handled apart.
struct Click {
    std::string_view name;
    void (Form1::*handler)();
};
constexpr Click kClicks[] = {
    {"Command1", &Form1::Command1_Click},     {"Command2", &Form1::Command2_Click},
    {"Check1", &Form1::Check1_Click},         {"Check2", &Form1::Check2_Click},
    {"Check3", &Form1::Check3_Click},         {"menuChaoZhou", &Form1::menuChaoZhou_Click},
    {"menuUpdate", &Form1::menuUpdate_Click}, {"nemuAbout", &Form1::nemuAbout_Click},
    {"menuExit", &Form1::menuExit_Click},
};

BOOL CALLBACK addScreen(HMONITOR, HDC, LPRECT rect, LPARAM list)
{
    reinterpret_cast<std::vector<PixelRect> *>(list)->push_back(
        {rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top});
    return TRUE;
}

} // namespace

Form1::Form1(const Services &services) : controls_(kForm1Design)
{
    window_ = CreateDesignedWindow(kForm1Design, nullptr, WindowProc, this);
    core_ = std::make_unique<MainWindowCore>(services, window_);
    tooltips_ = MakeTooltips(window_);
    controls_.build(window_, tooltips_);
    menuBar_ = BuildMenuBar(*kForm1Design.menu);
    SetMenu(window_, menuBar_);
    controls_.layout(WindowDpi(window_));
    UseDialogKeys(window_);
    // The tone holds the window: put this tick's texts on the screen first,
    // or it shows the previous second for the whole tone.
    core_->SetBeforeTone([this] {
        RedrawWindow(window_, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    });
    // A countdown's end calls the user back only when the window is behind.
    core_->ReportWindowActive(
        [this] { return GetForegroundWindow() == window_ && !IsIconic(window_); });
    // The housekeeping tick runs from the created window on, so it already
    // ticks while the start-up waits for the vendor's site.
    draw();
}

Form1::~Form1()
{
    if (about_ && IsWindow(about_))
        DestroyWindow(about_);
    if (window_)
        DestroyWindow(window_);
    if (tooltips_)
        DestroyWindow(tooltips_);
    if (!menuShown_)
        DestroyMenu(menuBar_);
}

void Form1::setTimer(std::string_view name, bool on, bool &running)
{
    if (on == running)
        return;
    running = on;
    const TimerDesign &timer = TimerNamed(kForm1Design, name);
    if (on)
        SetTimer(window_, static_cast<UINT_PTR>(timer.id), static_cast<UINT>(timer.intervalMs),
                 nullptr);
    else
        KillTimer(window_, static_cast<UINT_PTR>(timer.id));
}

void Form1::draw()
{
    const MainWindowLook &look = core_->look();
    if (widetext::WindowText(window_) != Widen(look.title))
        SetWindowTextW(window_, Widen(look.title).c_str());
    // The entry's change comes back for a text the core already holds, and
    // the core ignores it.
    controls_.setText("Text1", look.minutes);
    controls_.setChecked("Check1", look.keepOnTop);
    controls_.setChecked("Check2", look.countdown);
    controls_.setChecked("Check3", look.menuBar);
    // The menu is the bar's only entry, so the whole bar goes with it.
    if (look.menuBar != menuShown_) {
        menuShown_ = look.menuBar;
        SetMenu(window_, menuShown_ ? menuBar_ : nullptr);
    }

    const TimingLook &timing = look.timing;
    controls_.setText("Label2", timing.display);
    if (timing.displayColour != displayColour_) {
        displayColour_ = timing.displayColour;
        InvalidateRect(controls_["Label2"], nullptr, TRUE);
    }
    controls_.setText("Label7", timing.status);
    for (const auto &[name, button] :
         {std::pair{"Command1", &timing.startStop}, std::pair{"Command2", &timing.pauseContinue}}) {
        controls_.setText(name, button->caption);
        controls_.setTooltip(name, button->tooltip);
        controls_.setVisible(name, button->visible);
    }
    setTimer("Timer1", look.housekeepingOn, timer1On_);
    setTimer("Timer2", timing.timerOn, timer2On_);
}

// --- start-up -----------------------------------------------------------------

void Form1::Form_Load()
{
    std::vector<PixelRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, addScreen, reinterpret_cast<LPARAM>(&screens));
    RECT frame{};
    GetWindowRect(window_, &frame);
    const UINT loadDpi = controls_.dpi();
    const StartupState s = core_->Form_Load(frame.right - frame.left, frame.bottom - frame.top,
                                            screens, static_cast<int>(loadDpi));

    SetWindowPos(window_, nullptr, s.left, s.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // On a monitor of another DPI the window has rescaled meanwhile, and the
    // stored twips are other pixels there.
    if (const int dpi = static_cast<int>(controls_.dpi()); controls_.dpi() != loadDpi)
        SetWindowPos(window_, nullptr, TwipsToPixels(s.leftTwips, dpi),
                     TwipsToPixels(s.topTwips, dpi), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The core has stored back what differs from the design; drawing it
    // runs no handler.
    draw();

    const HWND self = window_;
    core_->FinishLoad([self] { return IsWindow(self) != FALSE; });
    if (IsWindow(self))
        draw();
}

void Form1::Show(int showCommand)
{
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(controls_[kForm1Design.initialFocus]);
}

// --- timing ---------------------------------------------------------------------

void Form1::Command1_Click()
{
    core_->Command1_Click();
    draw();
}

void Form1::Command2_Click()
{
    core_->Command2_Click();
    draw();
}

void Form1::Timer2_Timer()
{
    const TickResult result = core_->Timer2_Timer();
    draw();
    if (result.alarmDue)
        core_->SoundAlarm();
}

void Form1::Text1_Change()
{
    // A refused text: the message was shown, and the entry shows "5" again.
    core_->Text1_Change(Narrow(widetext::WindowText(controls_["Text1"])));
    draw();
}

void Form1::Check2_Click()
{
    core_->Check2_Click(controls_.checked("Check2"));
    draw();
}

// --- options and links ------------------------------------------------------------

void Form1::Check1_Click()
{
    core_->Check1_Click(controls_.checked("Check1"));
    draw();
}

void Form1::Check3_Click()
{
    core_->Check3_Click(controls_.checked("Check3"));
    draw();
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
    core_->Timer1_Timer(place.x, place.y, static_cast<int>(controls_.dpi()));
    draw();
}

void Form1::menuExit_Click()
{
    core_->menuExit_Click();
}

// --- the other windows ----------------------------------------------------------------

void Form1::nemuAbout_Click()
{
    if (!about_ || !IsWindow(about_)) {
        about_ = OpenFormAbout(*core_);
        return;
    }
    ShowWindow(about_, SW_SHOWNORMAL);
    SetForegroundWindow(about_);
}

void Form1::menuUpdate_Click()
{
    // While the first opening waits for the vendor's site, the entry does
    // nothing.
    if (!core_->menuUpdate_Click())
        return;
    draw();
    RunFormUpdate(*core_, window_);
    core_->UpdateWindowClosed();
    draw();
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

void Form1::command(std::string_view name, int code)
{
    if (name == "Text1") {
        if (code == EN_CHANGE)
            Text1_Change();
        return;
    }
    for (const Click &click : kClicks)
        if (click.name == name) {
            (this->*click.handler)();
            return;
        }
}

LRESULT Form1::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const std::string_view name = controls_.nameOf(LOWORD(wParam));
        const int code = HIWORD(wParam);
        // Of a control's notices only the click counts (and the entry's change).
        if (lParam && code != BN_CLICKED && name != "Text1")
            return 0;
        command(name, code);
        return 0;
    }
    case WM_TIMER: {
        const std::string_view name = controls_.nameOf(wParam);
        if (name == "Timer1")
            Timer1_Timer();
        else if (name == "Timer2" && timer2On_)
            Timer2_Timer();
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const auto control = reinterpret_cast<HWND>(lParam);
        // The time display turns red past the target.
        return controls_.paintColours(reinterpret_cast<HDC>(wParam), control,
                                      control == controls_["Label2"]
                                          ? std::optional(core_->look().timing.displayColour)
                                          : std::nullopt);
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
        // Keyboard focus returns to where it was, to the design's first at first.
        if (LOWORD(wParam) == WA_INACTIVE) {
            lastFocus_ = GetFocus();
        } else {
            SetFocus(lastFocus_ && IsChild(window_, lastFocus_)
                         ? lastFocus_
                         : controls_[kForm1Design.initialFocus]);
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        controls_.layout(HIWORD(wParam));
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
