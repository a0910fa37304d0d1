#pragma once

#include "core/ui/colours.h"

#include <string>
#include <string_view>

// The stopwatch and countdown: an explicit state, the seconds counted, and
// what the window shows for it. The engine counts ticks and never reads a
// clock; the front end delivers one tick a second while timerOn says so.

enum class RunState { Idle, Running, Paused };

struct ButtonLook {
    std::string caption;
    std::string tooltip;
    bool visible = true;
    friend bool operator==(const ButtonLook &, const ButtonLook &) = default;
};

// Everything the engine decides on screen: the time display (Label2), the
// status line (Label7), the start/stop button (Command1), the pause/continue
// button (Command2), and whether the timing tick (Timer2) runs. A new engine
// looks as the window was designed.
struct TimingLook {
    std::string display = "0:00:00";
    Rgb displayColour = kDisplayBlue;
    std::string status;
    ButtonLook startStop{"开始", "点一下开始计时", true};
    ButtonLook pauseContinue{"暂停", "", false};
    bool timerOn = false;
};

struct TickResult {
    bool alarmDue = false;    // ten seconds short of the target
    bool runFinished = false; // a countdown reached its target
};

class TimingEngine {
public:
    RunState state() const { return state_; }
    double count() const { return count_; }
    const TimingLook &look() const { return look_; }

    // The start/stop button: Idle starts a run, Running or Paused stops it.
    // Both directions silence a sounding alarm (the caller's job).
    void startOrStop();
    // The pause/continue button: Running pauses, Paused continues.
    void pauseOrContinue();
    // One second of a run. The minutes text and the countdown choice are read
    // afresh on every tick, so a change during a run counts from the next one.
    TickResult tick(std::string_view minutesText, bool countdown);

private:
    void enter(RunState state, bool finished = false);

    RunState state_ = RunState::Idle;
    double count_ = 0;
    TimingLook look_;
};
