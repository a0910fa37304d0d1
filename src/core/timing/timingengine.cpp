#include "core/timing/timingengine.h"

#include "core/rules/durationtext.h"
#include "core/rules/numbertext.h"

#include <cmath>

namespace {

// The running animation: one, two or three dots by the count modulo 3.
std::string withDots(const std::string &base, double counted)
{
    const double r = std::fmod(counted, 3.0);
    const int dots = r >= 2 ? 3 : (r >= 1 ? 2 : 1);
    return base + std::string(static_cast<size_t>(dots), '.');
}

} // namespace

// The one table of states: captions, tooltips, visibility and the timer flag.
void TimingEngine::enter(RunState state, bool finished)
{
    state_ = state;
    switch (state) {
    case RunState::Idle:
        // The idle button's tooltip tells how the run ended: a finished
        // countdown (and a fresh window) says "开始", a stop says "就开始".
        look_.startStop = {"开始", finished ? "点一下开始计时" : "点一下就开始计时", true};
        // A stop resets the pause button's texts before hiding it; a finish
        // only hides it.
        if (!finished)
            look_.pauseContinue = {"暂停", "点一下将会暂停计时", false};
        look_.pauseContinue.visible = false;
        look_.timerOn = false;
        look_.status.clear();
        count_ = 0;
        break;
    case RunState::Running:
        look_.startStop = {"停止", "点一下将会停止计时", true};
        look_.pauseContinue = {"暂停", "点一下将会暂停计时", true};
        look_.timerOn = true;
        break;
    case RunState::Paused:
        look_.pauseContinue = {"继续", "点一下将会继续计时(不会从头开始)", true};
        look_.timerOn = false;
        look_.status = "计时暂停中";
        break;
    }
}

void TimingEngine::startOrStop()
{
    enter(state_ == RunState::Idle ? RunState::Running : RunState::Idle);
}

void TimingEngine::pauseOrContinue()
{
    if (state_ == RunState::Running)
        enter(RunState::Paused);
    else if (state_ == RunState::Paused)
        enter(RunState::Running);
}

TickResult TimingEngine::tick(std::string_view minutesText, bool countdown)
{
    TickResult result;
    count_ = count_ + 1;
    // The entry may hold anything while its check is pending: read it as
    // every stored number is read.
    const double target = LeadingNumber(minutesText) * 60;

    if (countdown) {
        if (target > count_) {
            look_.display = FormatSeconds(target - count_);
            look_.status = withDots("倒计时进行中", count_);
        } else {
            look_.display = "时间到了";
            enter(RunState::Idle, true);
            result.runFinished = true;
        }
    } else {
        look_.display = FormatSeconds(count_);
        look_.status = withDots("正在计时中", count_);
    }

    // Both steps below run after a finishing tick has set the count back to
    // 0, so a countdown of exactly ten seconds sounds on its last tick.
    result.alarmDue = target - count_ == 10;
    look_.displayColour = target >= count_ ? kDisplayBlue : kDisplayRed;
    return result;
}
