// What the taskbar entry shows of a run: the rule as a table, then the main
// window's core telling the taskbar at each click and tick, and calling the
// user back when a countdown ends.

#include "core/mainwindow/mainwindowcore.h"
#include "core/timing/taskbarprogress.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"

#include <string>
#include <vector>

using Calls = std::vector<std::string>;

namespace {

struct Rig {
    FakeEnvironment env;
    MainWindowCore core{env.services(), &env};
    bool active = false;
    Rig()
    {
        core.ReportWindowActive([this] { return active; });
    }
    // The entry and the box as given, then n ticks.
    void ticks(int n, const std::string &minutes, bool countdown)
    {
        core.Text1_Change(minutes);
        core.Check2_Click(countdown);
        for (int i = 0; i < n; ++i)
            core.Timer2_Timer();
    }
};

} // namespace

TEST_CASE("ruleTable")
{
    using S = TaskbarState;
    struct Row {
        RunState state;
        const char *minutes;
        bool countdown;
        double counted;
        TaskbarLook want;
    };
    const Row rows[] = {
        {RunState::Idle, "5", false, 0, {}},
        {RunState::Idle, "5", true, 120, {}},
        {RunState::Running, "5", true, 0, {S::Normal, 0}},
        {RunState::Running, "5", true, 75, {S::Normal, 0.25}},
        {RunState::Running, "5", false, 150, {S::Normal, 0.5}},
        // At the target the display is still blue; one second past it, red.
        {RunState::Running, "5", false, 300, {S::Normal, 1}},
        {RunState::Running, "5", false, 301, {S::Over, 1}},
        // A countdown is never over: its target ends it (or the next tick will).
        {RunState::Running, "5", true, 301, {S::Normal, 1}},
        {RunState::Paused, "5", true, 150, {S::Paused, 0.5}},
        {RunState::Paused, "5", false, 400, {S::Paused, 1}},
        // The minutes as the engine reads them.
        {RunState::Running, "2.5 分钟", false, 30, {S::Normal, 0.2}},
        {RunState::Running, " .5", true, 15, {S::Normal, 0.5}},
        {RunState::Running, "1e400", false, 100, {S::Normal, 0}},
        // No sensible target, no bar.
        {RunState::Running, "0", false, 10, {}},
        {RunState::Running, "", true, 1, {}},
        {RunState::Running, "-3", false, 5, {}},
        {RunState::Running, "abc", true, 5, {}},
        {RunState::Paused, "0", false, 5, {}},
    };
    for (const Row &row : rows) {
        CAPTURE(row.state);
        CAPTURE(row.minutes);
        CAPTURE(row.countdown);
        CAPTURE(row.counted);
        const TaskbarLook got = TaskbarLookFor(row.state, row.minutes, row.countdown, row.counted);
        CHECK_EQ(got.state, row.want.state);
        CHECK_EQ(got.fraction, row.want.fraction);
    }
}

TEST_CASE("countdownRisesEachTickThenClearsAndCallsTheUserBack")
{
    Rig rig;
    rig.core.Text1_Change("0.05");
    rig.core.Check2_Click(true);
    CHECK(rig.env.taskbar.calls.empty());
    rig.core.Command1_Click();
    rig.ticks(3, "0.05", true);
    CHECK(rig.env.taskbar.calls ==
          Calls({"normal 0", "normal 0.3333", "normal 0.6667", "none", "attention"}));
    CHECK_EQ(rig.core.look().timing.display, "时间到了");
    // Always the core's own window.
    for (WindowHandle w : rig.env.taskbar.windows)
        CHECK(w == static_cast<WindowHandle>(&rig.env));
    // Nothing more while idle, whatever happens to the controls.
    rig.core.Text1_Change("7");
    rig.core.Command2_Click();
    CHECK_EQ(rig.env.taskbar.calls.size(), size_t(5));
}

TEST_CASE("userAtTheWindowIsNotCalledBackAndTheAlarmNeverCalls")
{
    Rig rig;
    rig.active = true;
    rig.core.Command1_Click();
    rig.ticks(3, "0.05", true);
    CHECK_EQ(rig.env.taskbar.calls.back(), "none");
    CHECK_EQ(rig.env.taskbar.calls.size(), size_t(4));

    // A twelve-second stopwatch with the window behind others: the alarm at
    // two seconds asks for nobody, and past its target the bar is full and
    // over, told once however long it goes on.
    rig.active = false;
    rig.env.taskbar.calls.clear();
    rig.core.Command1_Click();
    rig.ticks(1, "0.2", false);
    CHECK(rig.core.Timer2_Timer().alarmDue);
    rig.ticks(18, "0.2", false);
    REQUIRE_EQ(rig.env.taskbar.calls.size(), size_t(14));
    CHECK_EQ(rig.env.taskbar.calls[12], "normal 1");
    CHECK_EQ(rig.env.taskbar.calls[13], "over 1");
    rig.core.Command1_Click();
    CHECK_EQ(rig.env.taskbar.calls.back(), "none");
}

TEST_CASE("pauseKeepsTheShareAndAClickReadsTheEntryAfresh")
{
    Rig rig;
    rig.core.Text1_Change("1");
    rig.core.Command1_Click();
    rig.ticks(15, "1", false);
    rig.env.taskbar.calls.clear();
    rig.core.Command2_Click();
    // Half a minute typed while paused: the continue shows its share at once.
    rig.core.Text1_Change("0.5");
    rig.core.Command2_Click();
    rig.core.Timer2_Timer();
    rig.core.Command2_Click();
    rig.core.Command1_Click();
    CHECK(rig.env.taskbar.calls ==
          Calls({"paused 0.25", "normal 0.5", "normal 0.5333", "paused 0.5333", "none"}));
}

TEST_CASE("startWithARefusedTargetShowsNothingAndNoTaskbarIsNoTrouble")
{
    Rig rig;
    // While the message about a zero is open, a click starts a run.
    rig.env.messages.whileOpen = [&rig] { rig.core.Command1_Click(); };
    rig.core.Text1_Change("0");
    CHECK(rig.env.taskbar.calls.empty());
    rig.core.Text1_Change("5");
    rig.core.Timer2_Timer();
    CHECK(rig.env.taskbar.calls == Calls({"normal 0.003333"}));

    FakeEnvironment env;
    Services services = env.services();
    services.taskbar = nullptr;
    MainWindowCore core(services, nullptr);
    core.Text1_Change("0.05");
    core.Check2_Click(true);
    core.Command1_Click();
    for (int i = 0; i < 3; ++i)
        core.Timer2_Timer();
    CHECK_EQ(core.look().timing.display, "时间到了");
}
