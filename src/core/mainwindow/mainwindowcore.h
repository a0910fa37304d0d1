#pragma once

#include "core/lifecycle/startup.h"
#include "core/mainwindow/about.h"
#include "core/platform/services.h"
#include "core/timing/alarm.h"
#include "core/timing/taskbarprogress.h"
#include "core/timing/timingengine.h"
#include "core/update/updateflows.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// What the main window shows, besides its design: the state the core keeps
// for it. A view draws this and reports each click, change and tick back.
struct MainWindowLook {
    std::string title;          // the window's caption
    std::string minutes = "5";  // the minutes entry (Text1)
    bool keepOnTop = false;     // 置最前 (Check1)
    bool countdown = false;     // 倒计时 (Check2)
    bool menuBar = true;        // 菜单 (Check3), and with it the menu bar
    bool housekeepingOn = true; // the one-second housekeeping tick (Timer1)
    TimingLook timing;
};

// The main window's behaviour without its controls: a front end builds the
// controls from the design (core/design/windowdesign.h), forwards every
// click, text change and tick here under the control's design name, and
// draws look() afterwards. The core keeps the minutes, the three options and
// the timing; nothing the view holds is read back.
class MainWindowCore {
public:
    // window is the front end's main window, handed back to the message
    // boxes and the window stacking.
    MainWindowCore(const Services &services, WindowHandle window);

    const MainWindowLook &look() const { return look_; }

    // --- start-up ------------------------------------------------------------
    // Reads the stored state (minutes, place, usage total, options) into the
    // look, storing back each control's value that differs from its design
    // state, as the control's own change would. frameWidth and frameHeight
    // are the window's outer size and screens the screens' geometry, in the
    // view's pixels at dpi; the view moves the window to the returned place.
    StartupState Form_Load(int frameWidth, int frameHeight, const std::vector<PixelRect> &screens,
                           int dpi);
    // The version string, the new-version notice and the alarm file's path;
    // the status line's design text is cleared. stillThere: as for
    // NotifyNewVersion; false afterwards means the window went away during
    // the query and nothing more may be done.
    void FinishLoad(const std::function<bool()> &stillThere);

    // --- timing ----------------------------------------------------------------
    void Command1_Click();
    void Command2_Click();
    // One timing tick. The view draws the new look first, then calls
    // SoundAlarm when the result says it is due.
    TickResult Timer2_Timer();
    void SoundAlarm();
    // Runs just before the alarm's tone holds the window, so that the view
    // can put this tick's texts on the screen first.
    void SetBeforeTone(std::function<void()> repaint);
    // The minutes entry reads text. False when the text is refused: the
    // message has been shown, "5" stored, and the entry must show
    // look().minutes again.
    bool Text1_Change(const std::string &text);
    void Check2_Click(bool countdown);

    // --- the taskbar entry ---------------------------------------------------------
    // Every start, stop, pause, continue and timing tick shows the run's
    // progress on the taskbar (Services::taskbar); a countdown that ends asks
    // for the user unless isActive says the window is the active one.
    void ReportWindowActive(std::function<bool()> isActive) { windowActive_ = std::move(isActive); }

    // --- options and links -------------------------------------------------------
    void Check1_Click(bool keepOnTop);
    void Check3_Click(bool menuBar);
    void menuChaoZhou_Click();

    // --- housekeeping and closing -------------------------------------------------
    // The one-second tick, in this order: the usage total, the place and the
    // total stored as one batch, the title, keep-on-top, the outside quit
    // request. left and top are the window's outer corner in pixels at dpi.
    void Timer1_Timer(int left, int top, int dpi);
    // A request to close the window (close button, Alt+F4, logout): asks, and
    // ends at once on OK. Returns only when the program goes on.
    void CloseRequested();
    // "退出(&X)": the same question, asked once.
    void menuExit_Click();
    // The system or the session ends the program (a termination signal, the
    // session's end): what is held back is stored, then it ends at once,
    // asking nothing.
    void EndWithoutAsking();
    // Stores what the store still holds back and puts it on disk, saying on
    // standard error what could not be stored; for an end that comes another
    // way (the display gone) or a session that asks for its data.
    void StoreWhatIsHeld();

    // --- the About window ---------------------------------------------------------
    // Its texts as of now (the usage total of this moment).
    AboutTexts AboutWindowTexts() const;
    // The home page, with the About window as the browser's owner.
    void AboutLabel5_Click(WindowHandle aboutWindow);

    // --- the update window --------------------------------------------------------
    // "检查更新(&K)": false while an update window is already loading or open,
    // and the entry then does nothing. Otherwise the housekeeping tick stops
    // until UpdateWindowClosed.
    bool menuUpdate_Click();
    // The window's load step: asks the vendor's site (the event loop runs
    // meanwhile) and says what to show. The core outlives the wait.
    UpdateWindowLook LoadUpdateWindow();
    // "去下载最新版" and "上网查看最新版本": the update page, owned by the update
    // window; the window closes after.
    void UpdateCommand1_Click(WindowHandle updateWindow);
    void UpdateWindowClosed();

    // For the tests: the engine, the usage total and the alarm file's path.
    const TimingEngine &engine() const { return engine_; }
    double usageTotal() const { return usageTotal_; }
    const std::string &programVersion() const { return programVersion_; }
    const std::string &alarmFilePath() const { return alarmFilePath_; }
    bool alarmLive() const { return alarm_.live(); }
    void setAlarmFilePath(const std::string &path) { alarmFilePath_ = path; }

private:
    void writeSetting(std::string_view name, const std::string &text);
    void applyKeepOnTop();
    bool askCloseQuestion();
    void showTaskbar();
    void endNow();

    Services services_;
    WindowHandle window_;
    TimingEngine engine_;
    Alarm alarm_;
    MainWindowLook look_;
    double usageTotal_ = 0;
    std::string programVersion_;
    std::string alarmFilePath_;
    bool endRequested_ = false;
    bool updateOpen_ = false;
    std::function<bool()> windowActive_;
    // What the taskbar entry shows, so that only a change is sent.
    TaskbarLook taskbarShown_;
};
