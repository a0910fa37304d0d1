// The stopwatch and countdown, tick by tick, without a window: the engine's
// state table, what each tick shows, when the alarm is due, and the alarm
// and minutes entry as the main window's core drives them.

#include "core/mainwindow/mainwindowcore.h"
#include "core/timing/timingengine.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"

#include <string>

namespace {

void ticks(TimingEngine &engine, int n, const std::string &minutes = "5", bool countdown = false)
{
    for (int i = 0; i < n; ++i)
        engine.tick(minutes, countdown);
}

// The tick (1-based, counted from the start) on which the alarm is first due, or 0.
int alarmTick(const std::string &minutes, bool countdown)
{
    TimingEngine engine;
    engine.startOrStop();
    for (int i = 1; i <= 400; ++i)
        if (engine.tick(minutes, countdown).alarmDue)
            return i;
    return 0;
}

struct CoreRig {
    FakeEnvironment env;
    MainWindowCore core{env.services(), nullptr};
    CoreRig() { core.setAlarmFilePath("/opt/brisko/sound.mp3"); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            if (core.Timer2_Timer().alarmDue)
                core.SoundAlarm();
    }
    // Runs a 0.5-minute stopwatch to its alarm (tick 20).
    void runToAlarm()
    {
        core.Text1_Change("0.5");
        core.Command1_Click();
        ticks(20);
    }
};

} // namespace

TEST_CASE("stateTable")
{
    // Each transition with the buttons, the timer flag and the status it leaves.
    struct Row {
        const char *step;
        RunState state;
        ButtonLook command1;
        ButtonLook command2;
        bool timerOn;
        const char *status;
    };
    const ButtonLook start{"开始", "点一下开始计时", true};
    const ButtonLook startAfterStop{"开始", "点一下就开始计时", true};
    const ButtonLook stop{"停止", "点一下将会停止计时", true};
    const ButtonLook pause{"暂停", "点一下将会暂停计时", true};
    const ButtonLook resume{"继续", "点一下将会继续计时(不会从头开始)", true};
    const ButtonLook pauseHidden{"暂停", "点一下将会暂停计时", false};
    const Row rows[] = {
        {"created", RunState::Idle, start, {"暂停", "", false}, false, ""},
        {"start", RunState::Running, stop, pause, true, ""},
        {"tick", RunState::Running, stop, pause, true, "正在计时中.."},
        {"pause", RunState::Paused, stop, resume, false, "计时暂停中"},
        {"continue", RunState::Running, stop, pause, true, "计时暂停中"},
        {"pause again", RunState::Paused, stop, resume, false, "计时暂停中"},
        {"stop while paused", RunState::Idle, startAfterStop, pauseHidden, false, ""},
        {"start again", RunState::Running, stop, pause, true, ""},
        {"stop while running", RunState::Idle, startAfterStop, pauseHidden, false, ""},
    };
    TimingEngine engine;
    for (const Row &row : rows) {
        INFO(row.step);
        const std::string step = row.step;
        if (step == "start" || step == "start again" || step.rfind("stop", 0) == 0)
            engine.startOrStop();
        else if (step == "tick")
            engine.tick("5", false);
        else if (step != "created")
            engine.pauseOrContinue();
        CHECK_EQ(engine.state(), row.state);
        CHECK(engine.look().startStop == row.command1);
        CHECK(engine.look().pauseContinue == row.command2);
        CHECK_EQ(engine.look().timerOn, row.timerOn);
        CHECK_EQ(engine.look().status, row.status);
    }
}

TEST_CASE("stopwatchCountsUpAndTurnsRedPastTarget")
{
    TimingEngine engine;
    CHECK_EQ(engine.look().display, "0:00:00");
    CHECK(engine.look().displayColour == kDisplayBlue);
    engine.startOrStop();
    // Nothing changes on screen until the first tick.
    CHECK_EQ(engine.look().display, "0:00:00");
    ticks(engine, 1);
    CHECK_EQ(engine.look().display, "0:00:01");
    ticks(engine, 1);
    CHECK_EQ(engine.look().status, "正在计时中...");
    ticks(engine, 1);
    CHECK_EQ(engine.look().status, "正在计时中.");
    ticks(engine, 297);
    CHECK_EQ(engine.look().display, "0:05:00");
    CHECK(engine.look().displayColour == kDisplayBlue);
    const TickResult past = engine.tick("5", false);
    CHECK_EQ(engine.look().display, "0:05:01");
    CHECK(engine.look().displayColour == kDisplayRed);
    CHECK(!past.runFinished);
    CHECK_EQ(engine.state(), RunState::Running);
    // Hours go past a day.
    ticks(engine, 86400 - 301);
    CHECK_EQ(engine.look().display, "24:00:00");
}

TEST_CASE("countdownFinishesWithTimeIsUp")
{
    TimingEngine engine;
    engine.startOrStop();
    ticks(engine, 1, "5", true);
    CHECK_EQ(engine.look().display, "0:04:59");
    CHECK_EQ(engine.look().status, "倒计时进行中..");
    ticks(engine, 298, "5", true);
    CHECK_EQ(engine.look().display, "0:00:01");
    const TickResult last = engine.tick("5", true);
    CHECK(last.runFinished);
    CHECK_EQ(engine.look().display, "时间到了");
    CHECK_EQ(engine.state(), RunState::Idle);
    CHECK_EQ(engine.count(), 0.0);
    CHECK(!engine.look().timerOn);
    CHECK_EQ(engine.look().status, "");
    CHECK(engine.look().displayColour == kDisplayBlue);
    // A finish leaves the tooltip of a fresh window, not that of a stop.
    CHECK_EQ(engine.look().startStop.tooltip, "点一下开始计时");
    CHECK(!engine.look().pauseContinue.visible);
}

TEST_CASE("pauseContinueAndStopKeepOrResetTheCount")
{
    TimingEngine engine;
    engine.startOrStop();
    ticks(engine, 83);
    engine.pauseOrContinue();
    CHECK_EQ(engine.count(), 83.0);
    CHECK_EQ(engine.look().display, "0:01:23");
    engine.pauseOrContinue();
    ticks(engine, 1);
    CHECK_EQ(engine.look().display, "0:01:24");
    engine.pauseOrContinue();
    engine.startOrStop();
    CHECK_EQ(engine.count(), 0.0);
    // The display keeps the last time shown until the next run's first tick.
    CHECK_EQ(engine.look().display, "0:01:24");
    engine.startOrStop();
    ticks(engine, 1);
    CHECK_EQ(engine.look().display, "0:00:01");
}

TEST_CASE("alarmTicks")
{
    struct Row {
        const char *minutes;
        bool countdown;
        int tick; // counted from the start; 0 for none
        const char *firstDisplay;
    } const rows[] = {
        {"5", true, 290, "0:04:59"},
        {"5", false, 290, "0:00:01"},
        {"0.1", true, 0, "0:00:05"},
        {"0.1", false, 0, "0:00:01"},
        {"0.51", true, 0, "0:00:29.6"},
        {"0.51", false, 0, "0:00:01"},
        // A target of exactly ten seconds: the countdown's alarm comes with
        // the finish, when the count is back at 0; the stopwatch never gets there.
        {"0.16666666666666666", true, 10, "0:00:09"},
        {"0.16666666666666666", false, 0, "0:00:01"},
        {"1分钟", true, 50, "0:00:59"},
        {"", false, 0, "0:00:01"},
        {"abc", true, 0, "时间到了"},
    };
    for (const Row &row : rows) {
        CAPTURE(row.minutes);
        CAPTURE(row.countdown);
        TimingEngine engine;
        engine.startOrStop();
        engine.tick(row.minutes, row.countdown);
        CHECK_EQ(engine.look().display, row.firstDisplay);
        CHECK_EQ(alarmTick(row.minutes, row.countdown), row.tick);
    }
}

TEST_CASE("changesDuringARunCountFromTheNextTick")
{
    // Ticking the countdown box when the stopwatch is past its target ends
    // the run on the next tick.
    TimingEngine mode;
    mode.startOrStop();
    ticks(mode, 61, "1");
    CHECK(mode.look().displayColour == kDisplayRed);
    CHECK(mode.tick("1", true).runFinished);
    CHECK_EQ(mode.look().display, "时间到了");

    // Lowering the minutes below the elapsed time of a countdown does the same;
    // raising them shows more time left.
    TimingEngine lower;
    lower.startOrStop();
    ticks(lower, 100, "5", true);
    CHECK_EQ(lower.look().display, "0:03:20");
    CHECK(lower.tick("1", true).runFinished);
    TimingEngine raise;
    raise.startOrStop();
    ticks(raise, 10, "5", true);
    raise.tick("10", true);
    CHECK_EQ(raise.look().display, "0:09:49");
}

TEST_CASE("alarmPlaysTheFileOrSoundsTheTone")
{
    SUBCASE("the file there")
    {
        CoreRig there;
        there.env.files.existing.insert("/opt/brisko/sound.mp3");
        there.runToAlarm();
        REQUIRE_EQ(there.env.alarm.played.size(), size_t(1));
        CHECK_EQ(there.env.alarm.played[0], "/opt/brisko/sound.mp3");
        CHECK(there.env.tone.beeps.empty());
        // A file there that the player cannot play still gives an alarm.
        there.env.alarm.failToPlay();
        CHECK_EQ(there.env.tone.beeps.size(), size_t(1));
    }
    SUBCASE("no file: the tone, once the window is painted")
    {
        CoreRig missing;
        bool paintedFirst = false;
        missing.core.SetBeforeTone([&] { paintedFirst = missing.env.tone.beeps.empty(); });
        missing.runToAlarm();
        CHECK(missing.env.alarm.played.empty());
        REQUIRE_EQ(missing.env.tone.beeps.size(), size_t(1));
        CHECK_EQ(missing.env.tone.beeps[0].first, 1000);
        CHECK_EQ(missing.env.tone.beeps[0].second, 5000);
        CHECK(paintedFirst);
    }
}

TEST_CASE("lateCannotPlayReportAfterAStopStaysSilent")
{
    CoreRig rig;
    rig.env.files.existing.insert("/opt/brisko/sound.mp3");
    rig.runToAlarm();
    const int stops = rig.env.alarm.stops;
    // Pause and continue leave the alarm alone.
    rig.core.Command2_Click();
    rig.core.Command2_Click();
    CHECK_EQ(rig.env.alarm.stops, stops);
    rig.core.Command1_Click(); // 停止
    CHECK_EQ(rig.env.alarm.stops, stops + 1);
    rig.env.alarm.failToPlay();
    rig.core.Command1_Click(); // 开始 again
    rig.env.alarm.failToPlay();
    CHECK(rig.env.tone.beeps.empty());
    CHECK(!rig.core.alarmLive());

    // A countdown's finish leaves the alarm live.
    rig.core.Check2_Click(true);
    rig.ticks(30);
    CHECK_EQ(rig.core.look().timing.display, "时间到了");
    CHECK(rig.core.alarmLive());
    rig.env.alarm.failToPlay();
    CHECK_EQ(rig.env.tone.beeps.size(), size_t(1));
}

TEST_CASE("minutesEntryStoresPositiveTextsAsTyped")
{
    CoreRig rig;
    for (const char *typed : {"12abc", "2.5分", "7"}) {
        INFO(typed);
        CHECK(rig.core.Text1_Change(typed));
        CHECK_EQ(rig.env.store.get("Text1"), typed);
    }
    CHECK(rig.env.messages.shown.empty());
    for (const char *bad : {"", "0", "-", ".", "-3", "abc"}) {
        INFO(bad);
        rig.env.messages.shown.clear();
        CHECK(!rig.core.Text1_Change(bad));
        REQUIRE_EQ(rig.env.messages.shown.size(), size_t(1));
        const MessageSpec &m = rig.env.messages.shown[0];
        CHECK_EQ(m.text, "此处必须大于0");
        CHECK_EQ(m.title, "brisko");
        CHECK(m.buttons == MessageSpec::Buttons::Ok);
        CHECK(m.icon == MessageSpec::Icon::None);
        // The entry goes back to 5, which is stored in turn.
        CHECK_EQ(rig.core.look().minutes, "5");
        CHECK_EQ(rig.env.store.get("Text1"), "5");
        // Setting the entry to the text it already holds stores nothing.
        rig.env.store.log.clear();
        CHECK(rig.core.Text1_Change("5"));
        CHECK(rig.env.store.log.empty());
    }
    rig.core.Check2_Click(true);
    CHECK_EQ(rig.env.store.get("Check2"), " 1");
    rig.core.Check2_Click(false);
    CHECK_EQ(rig.env.store.get("Check2"), " 0");
    CHECK_EQ(rig.env.store.lastKey, "SOFTWARE\\Pelmora\\Brisko");
}
