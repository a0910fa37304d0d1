// What a start brings back from the store, without a window.

#include "core/lifecycle/startup.h"
#include "core/mainwindow/mainwindowcore.h"
#include "fakes/fakeservices.h"
#include "support/testing.h"

#include <string>
#include <vector>

namespace {

// The writes as "Name=text;" in order.
std::string writesOf(const MemoryStore &store)
{
    std::string out;
    for (const auto &w : store.writes())
        out += w.name + "=" + w.text + ";";
    return out;
}

const std::vector<PixelRect> kOneScreen{{0, 0, 800, 600}};

StartupState load(MemoryStore &store, const std::vector<PixelRect> &screens = kOneScreen,
                  int dpi = 96)
{
    return ReadStartup(store, 314, 114, screens, dpi);
}

} // namespace

TEST_CASE("firstRunGivesTheDefaults")
{
    MemoryStore store;
    const StartupState s = load(store);
    CHECK_EQ(s.minutesText, "5");
    CHECK_EQ(s.left, 67); // 1000 twips
    CHECK_EQ(s.top, 67);
    CHECK_EQ(s.usageTotal, 0.0);
    CHECK(!s.keepOnTop);
    CHECK(!s.countdown);
    CHECK(!s.menuBar);
    // Reading writes nothing.
    CHECK(store.writes().empty());
}

TEST_CASE("minutes")
{
    struct Row {
        const char *stored;
        const char *shown;
    } const rows[] = {
        {"007", "7"}, {"2.5", "2.5"}, {"12abc", "12"}, {"0", "5"},
        {"-3", "5"},  {"abc", "5"},   {"1 5", "15"},
    };
    for (const Row &row : rows) {
        INFO(row.stored);
        MemoryStore store;
        store.set("Text1", row.stored);
        CHECK_EQ(load(store).minutesText, row.shown);
    }
    // Beyond a double: saturated, a long run of digits but a number.
    MemoryStore huge;
    huge.set("Text1", "1e999");
    CHECK(load(huge).minutesText.size() > 300);
}

TEST_CASE("position")
{
    struct Row {
        const char *left;
        const char *top;
        int x;
        int y;
    } const rows[] = {
        {"3000", "1500", 200, 100},
        {nullptr, nullptr, 67, 67},
        {"0", "1500", 67, 100},
        {"3000", "-150", 200, 67},
        {"abc", " 1500", 67, 100},
        // Wholly off every screen: back to the default place.
        {"9000000", "9000000", 67, 67},
        {"1e300", "1e300", 67, 67},
        // Partly on the screen stays exactly where it was.
        {"-2000", "3000", 67, 200},
    };
    for (const Row &row : rows) {
        CAPTURE(row.left);
        CAPTURE(row.top);
        MemoryStore store;
        if (row.left)
            store.set("Left", row.left);
        if (row.top)
            store.set("Top", row.top);
        const StartupState s = load(store);
        CHECK_EQ(s.left, row.x);
        CHECK_EQ(s.top, row.y);
    }
}

// Twips are 1440 to the inch at any DPI: 15 a pixel at 96, 12 at 120, 10 at
// 144. The earlier version, which Windows scaled, stored logical pixels × 15:
// at 150 % that is physical pixels × 10, the same rule.
TEST_CASE("positionAtTheWindowsDpi")
{
    const std::vector<PixelRect> bigScreen{{0, 0, 3840, 2160}};
    struct Row {
        const char *left;
        int dpi;
        int x;
    } const rows[] = {
        {nullptr, 96, 67},  {nullptr, 144, 100}, {"3000", 96, 200},
        {"3000", 120, 250}, {"3000", 144, 300},  {"3000", 192, 400},
        {"4500", 144, 450}, {"3000", 168, 350},  {"3000", 0, 200}, // an unknown DPI counts as 96
    };
    for (const Row &row : rows) {
        CAPTURE(row.left);
        CAPTURE(row.dpi);
        MemoryStore store;
        if (row.left)
            store.set("Left", row.left);
        const StartupState s = load(store, bigScreen, row.dpi);
        CHECK_EQ(s.left, row.x);
        CHECK_EQ(s.leftTwips, row.left ? std::stod(row.left) : 1000.0);
    }
    // The screen test is made at the same DPI: 30000 twips are 2000 px at
    // 96 DPI, on the screen, but 3000 px at 144, beside it.
    MemoryStore store;
    store.set("Left", "30000");
    CHECK_EQ(load(store, {{0, 0, 2560, 1440}}, 96).left, 2000);
    const StartupState far = load(store, {{0, 0, 2560, 1440}}, 144);
    CHECK_EQ(far.left, 100);
    CHECK_EQ(far.leftTwips, 1000.0);
}

// Stored twips come back as the same pixel at every DPI, and are whole.
TEST_CASE("twipsAndPixelsRoundTrip")
{
    for (int dpi : {72, 96, 120, 144, 168, 192, 240, 288}) {
        INFO(dpi);
        for (int px = -500; px <= 4000; px += 7) {
            const double twips = PixelsToTwips(px, dpi);
            CHECK_EQ(twips, static_cast<double>(static_cast<long long>(twips)));
            CHECK_EQ(TwipsToPixels(twips, dpi), px);
        }
    }
    CHECK_EQ(PixelsToTwips(100, 144), 1000.0);
    CHECK_EQ(PixelsToTwips(200, 96), 3000.0);
    CHECK_EQ(PixelsToTwips(100, 168), 857.0);
    CHECK_EQ(TwipsToPixels(1e300, 144), 1000000); // clamped first
}

TEST_CASE("offScreenRuleUsesEveryScreen")
{
    MemoryStore store;
    store.set("Left", "15000"); // 1000 px: right of the first screen
    store.set("Top", "1500");
    CHECK_EQ(load(store).left, 67);
    // A second screen to the right keeps it.
    CHECK_EQ(load(store, {{0, 0, 800, 600}, {800, 0, 1024, 768}}).left, 1000);
    // Without any screen there is nothing to be off of.
    CHECK_EQ(load(store, {}).left, 1000);
    // Touching an edge is not on the screen.
    store.set("Left", "-4710"); // -314 px: ends where the screen begins
    CHECK_EQ(load(store).left, 67);
}

TEST_CASE("checkBoxesReadAsNumbers")
{
    struct Row {
        const char *stored;
        bool checked;
    } const rows[] = {{" 1", true}, {"1", true},   {"1.0", true},
                      {"2", false}, {" 0", false}, {nullptr, false}};
    for (const Row &row : rows) {
        INFO((row.stored ? row.stored : "absent"));
        MemoryStore store;
        for (const char *name : {"Check1", "Check2", "Check3"})
            if (row.stored)
                store.set(name, row.stored);
        const StartupState s = load(store);
        CHECK_EQ(s.keepOnTop, row.checked);
        CHECK_EQ(s.countdown, row.checked);
        CHECK_EQ(s.menuBar, row.checked);
    }
}

TEST_CASE("readsHappenInOrder")
{
    MemoryStore store;
    store.set("Text1", "3");
    store.set("js00", " 3600");
    load(store);
    std::vector<std::string> reads;
    for (const auto &a : store.log)
        if (a.kind == 'R')
            reads.push_back(a.name);
    // "text1" then "Text1": one value read twice, as the program always has.
    const std::vector<std::string> expected{"text1", "Text1",  "Top",    "Left",
                                            "js00",  "Check1", "Check2", "Check3"};
    CHECK(reads == expected);
    CHECK_EQ(store.lastKey, "SOFTWARE\\Pelmora\\Brisko");
}

TEST_CASE("sharedValuesAndTheNotice")
{
    FakeEnvironment env;
    env.store.set("js00", " 3600");
    MainWindowCore core(env.services(), nullptr);
    core.Form_Load(314, 114, kOneScreen, 96);
    CHECK_EQ(core.usageTotal(), 3600.0);
    CHECK(env.http.requested.empty());
    core.FinishLoad([] { return true; });
    CHECK_EQ(core.programVersion(), "V1.2.2");
#ifdef _WIN32
    CHECK_EQ(core.alarmFilePath(), "/opt/brisko\\sound.mp3"); // the folder as the platform gives it
#else
    CHECK_EQ(core.alarmFilePath(), "/opt/brisko/sound.mp3");
#endif
    CHECK_EQ(env.http.requested.size(), size_t(1));

    Services ten = env.services();
    ten.versionMinor = 10;
    MainWindowCore other(ten, nullptr);
    other.FinishLoad([] { return true; });
    CHECK_EQ(other.programVersion(), "V1.10.2");

    // A window gone during the query: nothing more is done.
    MainWindowCore gone(env.services(), nullptr);
    gone.FinishLoad([] { return false; });
    CHECK_EQ(gone.alarmFilePath(), "");
}

TEST_CASE("startUpStoresBackOnlyWhatDiffersFromTheDesign")
{
    // A first run: the entry keeps its "5" and two boxes stay clear; only the
    // menu box, checked as designed, changes.
    FakeEnvironment first;
    MainWindowCore a(first.services(), nullptr);
    a.Form_Load(314, 114, kOneScreen, 96);
    CHECK_EQ(writesOf(first.store), "Check3= 0;");
    CHECK(!a.look().menuBar);

    // A stored text that is no number shows 5 and stays as it was.
    FakeEnvironment typed;
    typed.store.set("Text1", "abc");
    typed.store.set("Check2", " 1");
    MainWindowCore b(typed.services(), nullptr);
    b.Form_Load(314, 114, kOneScreen, 96);
    CHECK_EQ(b.look().minutes, "5");
    CHECK(b.look().countdown);
    CHECK_EQ(typed.store.get("Text1"), "abc");
    CHECK_EQ(writesOf(typed.store), "Check2= 1;Check3= 0;");

    // A stored 007 shows 7, which is a change of the entry and is stored.
    FakeEnvironment padded;
    padded.store.set("Text1", "007");
    padded.store.set("Check3", " 1");
    MainWindowCore c(padded.services(), nullptr);
    c.Form_Load(314, 114, kOneScreen, 96);
    CHECK_EQ(writesOf(padded.store), "Text1=7;");
}

TEST_CASE("placeIsConvertedAtTheScreensDpi")
{
    // 1440 twips to the inch: 15 a pixel at 96 DPI, 10 at 144.
    MemoryStore none;
    CHECK_EQ(load(none, {{0, 0, 1920, 1080}}, 144).left, 100);
    MemoryStore stored;
    stored.set("Left", "3000");
    stored.set("Top", "1500");
    CHECK_EQ(load(stored, {{0, 0, 1920, 1080}}, 96).left, 200);
    const StartupState high = load(stored, {{0, 0, 1920, 1080}}, 144);
    CHECK_EQ(high.left, 300);
    CHECK_EQ(high.top, 150);
}
