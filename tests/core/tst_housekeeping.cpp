// The one-second housekeeping tick and the ways the program ends, without a
// window.

#include "core/mainwindow/mainwindowcore.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"

#include <string>
#include <vector>

namespace {

struct Rig {
    FakeEnvironment env;
    MainWindowCore core{env.services(), &env};
    std::vector<std::string> titles;
    explicit Rig(const char *usageTotal = nullptr)
    {
        if (usageTotal)
            env.store.set("js00", usageTotal);
        core.Form_Load(314, 114, {{0, 0, 800, 600}}, 96);
        env.store.log.clear();
    }
    void tick(int left = 200, int top = 100, bool keepOnTop = false, int dpi = 96)
    {
        core.Check1_Click(keepOnTop);
        env.store.log.clear();
        core.Timer1_Timer(left, top, dpi);
        titles.push_back(core.look().title);
    }
};

} // namespace

TEST_CASE("tickStoresPlaceAndTotalAsOneBatchThenReadsTheQuitRequest")
{
    Rig rig(" 3600");
    rig.tick();
    const auto &log = rig.env.store.log;
    CHECK_EQ(rig.env.store.batches, 1);
    REQUIRE_EQ(log.size(), size_t(4));
    CHECK_EQ(log[0].name + "=" + log[0].text, "Left=3000");
    CHECK_EQ(log[1].name + "=" + log[1].text, "Top=1500");
    CHECK_EQ(log[2].name + "=" + log[2].text, "js00= 3601");
    CHECK_EQ(log[3].kind, 'R');
    CHECK_EQ(log[3].name, "isClose");
    CHECK_EQ(rig.titles.back(), "计时器 13:05:09");
    REQUIRE(rig.env.stacking.calls == std::vector<bool>{false});
    // The stacking gets the window the core was made for.
    CHECK(rig.env.stacking.windows.back() == static_cast<WindowHandle>(&rig.env));

    for (int i = 0; i < 3599; ++i)
        rig.tick();
    CHECK_EQ(rig.env.store.get("js00"), " 7200");
    CHECK_EQ(rig.core.usageTotal(), 7200.0);
    rig.tick(200, 100, true);
    CHECK_EQ(rig.env.stacking.calls.back(), true);
    CHECK_EQ(rig.env.process.ends, 0);
}

// The place is stored in twips at the window's DPI: 100 px are 1000 twips at
// 144 DPI, 1200 at 120.
TEST_CASE("placeIsStoredAtTheWindowsDpi")
{
    struct Row {
        int dpi;
        int left;
        int top;
        const char *leftText;
        const char *topText;
    } const rows[] = {{96, 200, 100, "3000", "1500"},
                      {120, 100, 250, "1200", "3000"},
                      {144, 300, 100, "3000", "1000"},
                      {168, 100, -7, "857", "-60"},
                      {0, 200, 100, "3000", "1500"}};
    for (const Row &row : rows) {
        INFO(row.dpi);
        Rig rig;
        CHECK_EQ(rig.core.look().title, "计时器");
        rig.tick(row.left, row.top, false, row.dpi);
        CHECK_EQ(rig.env.store.get("Left"), row.leftText);
        CHECK_EQ(rig.env.store.get("Top"), row.topText);
    }
}

TEST_CASE("outsideQuitRequest")
{
    struct Row {
        const char *isClose;
        int ends;
    } const rows[] = {{"1", 1}, {" 1", 1}, {"1.0", 1}, {"0", 0}, {"2", 0}, {"", 0}, {"yes", 0}};
    for (const Row &row : rows) {
        INFO(row.isClose);
        Rig rig;
        rig.env.store.set("isClose", row.isClose);
        rig.tick();
        CHECK_EQ(rig.env.process.ends, row.ends);
        // What the store holds back goes to disk before the end.
        CHECK_EQ(rig.env.store.flushes, row.ends);
        // Ending asks nothing, and the program never resets the request.
        CHECK(rig.env.messages.shown.empty());
        CHECK_EQ(rig.env.store.get("isClose"), row.isClose);
    }
}

TEST_CASE("closeQuestion")
{
    SUBCASE("Cancel, while ticks and an outside quit request go on")
    {
        Rig rig;
        rig.env.messages.answers = {MessageAnswer::Cancel};
        rig.core.CloseRequested();
        REQUIRE_EQ(rig.env.messages.shown.size(), size_t(1));
        const MessageSpec &q = rig.env.messages.shown[0];
        CHECK_EQ(q.text, "你确定要关闭此程序吗?");
        CHECK_EQ(q.title, "关闭程序?");
        CHECK(q.buttons == MessageSpec::Buttons::OkCancel);
        CHECK(q.icon == MessageSpec::Icon::Question);
        CHECK(q.cancelIsDefault);
        CHECK(rig.env.messages.owners[0] == static_cast<WindowHandle>(&rig.env));
        CHECK_EQ(rig.env.process.ends, 0);

        // A countdown goes on while the question is open, and an outside quit
        // request ends the program before the answer.
        rig.core.Check2_Click(true);
        rig.core.Command1_Click();
        rig.env.messages.whileOpen = [&rig] {
            rig.core.Timer2_Timer();
            rig.env.store.set("isClose", "1");
            rig.tick();
        };
        rig.env.messages.answers = {MessageAnswer::Cancel};
        rig.core.CloseRequested();
        CHECK_EQ(rig.core.engine().count(), 1.0);
        CHECK_EQ(rig.env.process.ends, 1);
        // Once the end is decided, a close request asks nothing more.
        rig.env.messages.whileOpen = nullptr;
        rig.core.CloseRequested();
        CHECK_EQ(rig.env.messages.shown.size(), size_t(2));
    }
    SUBCASE("OK ends the program at once, having stored what waited")
    {
        Rig ok;
        ok.env.messages.answers = {MessageAnswer::Ok};
        ok.core.CloseRequested();
        CHECK_EQ(ok.env.process.ends, 1);
        CHECK_EQ(ok.env.store.flushes, 1);
        CHECK(ok.env.store.writes().empty());
    }
}

TEST_CASE("quitMenuAsksOnce")
{
    Rig rig;
    rig.env.messages.answers = {MessageAnswer::Cancel};
    rig.core.menuExit_Click();
    CHECK_EQ(rig.env.process.ends, 0);
    rig.env.messages.answers = {MessageAnswer::Ok};
    rig.core.menuExit_Click();
    CHECK_EQ(rig.env.process.ends, 1);
    CHECK_EQ(rig.env.messages.shown.size(), size_t(2));
}

TEST_CASE("optionsAreStoredAndLinksOpened")
{
    Rig rig;
    rig.core.Check1_Click(true);
    CHECK_EQ(rig.env.store.get("Check1"), " 1");
    rig.core.Check3_Click(false);
    CHECK_EQ(rig.env.store.get("Check3"), " 0");
    // Storing keep-on-top does not apply it: the next tick does.
    CHECK(rig.env.stacking.calls.empty());
    rig.core.menuChaoZhou_Click();
    CHECK(rig.env.browser.opened == std::vector<std::string>{"http://vendor.test/brk/"});
    CHECK(rig.env.browser.owners == std::vector<WindowHandle>{&rig.env}); // the main window
}
