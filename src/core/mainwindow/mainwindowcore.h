#pragma once

#include "core/lifecycle/startup.h"
#include "core/platform/services.h"
#include "core/timing/alarm.h"
#include "core/timing/taskbarprogress.h"
#include "core/timing/timingengine.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The main window's behaviour without its controls: a front end builds the
// controls, forwards every click, text change and tick here under the
// control's design name, and applies what comes back.
class MainWindowCore {
public:
    // window is the front end's main window, handed back to the message
    // boxes and the window stacking.
    MainWindowCore(const Services &services, WindowHandle window);

    // --- start-up ------------------------------------------------------------
    // Reads the stored state (minutes, place, usage total, options). The
    // caller applies it to the controls, then calls FinishLoad. Pixels are
    // at the window's DPI.
    StartupState Form_Load(int frameWidth, int frameHeight, const std::vector<PixelRect> &screens,
                           int dpi);
    // The version string, the new-version notice and the alarm file's path.
    // stillThere: as for NotifyNewVersion; false afterwards means the window
    // went away during the query and nothing more may be done.
    void FinishLoad(const std::function<bool()> &stillThere);

    // --- timing ----------------------------------------------------------------
    const TimingEngine &engine() const { return engine_; }
    const TimingLook &timingLook() const { return engine_.look(); }
    void Command1_Click();
    void Command2_Click();
    // One timing tick; the returned result says whether the alarm is due. The
    // front end shows the new look first, then calls SoundAlarm.
    TickResult Timer2_Timer(const std::string &minutesText, bool countdown);
    void SoundAlarm();
    Alarm &alarm() { return alarm_; }
    // The minutes entry changed. False when the text is refused: the message
    // has been shown and the entry must be set to "5" (which comes back here).
    bool Text1_Change(const std::string &minutesText);
    void Check2_Click(bool countdown);

    // --- the taskbar entry ---------------------------------------------------------
    // Every start, stop, pause, continue and timing tick shows the run's
    // progress on the taskbar (services().taskbar); a countdown that ends asks
    // for the user unless isActive says the window is the active one.
    void ReportWindowActive(std::function<bool()> isActive) { windowActive_ = std::move(isActive); }

    // --- options and links -------------------------------------------------------
    void Check1_Click(bool keepOnTop);
    void Check3_Click(bool menuBar);
    void menuChaoZhou_Click();
    // Puts the window into or out of the always-on-top band; the housekeeping
    // tick repeats it every second.
    void ApplyKeepOnTop(bool keepOnTop);

    // --- housekeeping and closing -------------------------------------------------
    // The one-second tick, in this order: the usage total, the place (its
    // outer corner in pixels at the window's DPI) and the total stored as one
    // batch, the title (through showTitle), keep-on-top, the quit request.
    void Timer1_Timer(int left, int top, int dpi, bool keepOnTop,
                      const std::function<void(const std::string &)> &showTitle);
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

    // --- values the other windows show ----------------------------------------------
    double usageTotal() const { return usageTotal_; }
    const std::string &programVersion() const { return programVersion_; }
    const std::string &alarmFilePath() const { return alarmFilePath_; }
    void setAlarmFilePath(const std::string &path) { alarmFilePath_ = path; }
    const Services &services() const { return services_; }

private:
    void writeSetting(const char *name, const std::string &text);
    bool askCloseQuestion();
    void showTaskbar();
    void endNow();

    Services services_;
    WindowHandle window_;
    TimingEngine engine_;
    Alarm alarm_;
    double usageTotal_ = 0;
    std::string programVersion_;
    std::string alarmFilePath_;
    bool endRequested_ = false;
    // The entry's text and the countdown box as last reported, for the
    // taskbar at a click; a tick brings both afresh.
    std::string minutesText_ = "5";
    bool countdown_ = false;
    std::function<bool()> windowActive_;
    TaskbarLook taskbarShown_;
};
