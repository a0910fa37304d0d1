// The windows' design tables: what both front ends build from must itself be
// drawable, so a mistyped rectangle or id shows here and not on one screen.

#include "core/design/storedvalues.h"
#include "core/design/windowdesign.h"
#include "core/timing/timingengine.h"
#include "support/testing.h"

#include <cmath>
#include <set>
#include <string>

namespace {

struct Px {
    long left, top, right, bottom;
};

// At 96 DPI, with the departure the table carries.
Px pixels(const ControlDesign &c)
{
    auto px = [](int twips) { return std::lround(twips / 15.0); };
    return {px(c.rect.left), px(c.rect.top), px(c.rect.left) + px(c.rect.width) - c.shortOnRight,
            px(c.rect.top) + px(c.rect.height)};
}

bool overlap(const Px &a, const Px &b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

const WindowDesign *const kWindows[] = {&kForm1Design, &kFormAboutDesign, &kFormUpdateDesign};

} // namespace

TEST_CASE("everyControlInsideItsWindowAndNoneOverAnother")
{
    for (const WindowDesign *w : kWindows) {
        const long width = std::lround(w->clientWidth / 15.0);
        const long height = std::lround(w->clientHeight / 15.0);
        for (const ControlDesign &c : w->controls) {
            const Px p = pixels(c);
            CHECK_EQ(std::string(w->name) + "." + std::string(c.name) + " inside",
                     std::string(w->name) + "." + std::string(c.name) +
                         (p.left >= 0 && p.top >= 0 && p.right <= width && p.bottom <= height
                              ? " inside"
                              : " outside"));
            for (const ControlDesign &other : w->controls) {
                if (&other == &c)
                    continue;
                CHECK_EQ(std::string(c.name) + "/" + std::string(other.name) + " apart",
                         std::string(c.name) + "/" + std::string(other.name) +
                             (overlap(p, pixels(other)) ? " overlap" : " apart"));
            }
        }
    }
}

TEST_CASE("namesAndIdsAreUniqueAcrossTheProgram")
{
    // The Windows view finds controls by id, the Qt view by name within a window.
    std::set<int> ids;
    size_t count = 0;
    for (const WindowDesign *w : kWindows) {
        std::set<std::string_view> names;
        for (const ControlDesign &c : w->controls) {
            names.insert(c.name);
            ids.insert(c.id);
            ++count;
            CHECK(c.id > 0);
        }
        CHECK_EQ(names.size(), w->controls.size());
        if (w->menu)
            for (const MenuEntryDesign &e : w->menu->entries) {
                ids.insert(e.id);
                ++count;
            }
        for (const TimerDesign &t : w->timers) {
            ids.insert(t.id);
            ++count;
        }
    }
    CHECK_EQ(ids.size(), count);
    CHECK_EQ(ControlNamed(kForm1Design, "Text1").tooltip,
             std::string_view("时间只剩10秒时将会有声音提醒"));
    CHECK(MenuEntryNamed(kForm1Design, "nemuLine1").separator());
    CHECK(!MenuEntryNamed(kForm1Design, "menuOption").enabled);
}

// The rooms the Windows program fits its fonts to stay those of the layout,
// and measure the texts the window really shows.
TEST_CASE("textRoomsFollowTheLayoutAndTheEngine")
{
    using namespace departure;
    const auto rect = [](std::string_view name) { return ControlNamed(kForm1Design, name).rect; };
    CHECK_EQ(kButtonTextRoom.lineTwips, rect("Command1").height);
    CHECK_EQ(kDisplayTextRoom.widthTwips, rect("Text1").left - rect("Label2").left);
    CHECK_EQ(kStatusTextRoom.lineTwips, rect("Check1").top - rect("Label7").top);
    CHECK_EQ(kWindowTextRoom.lineTwips, ControlNamed(kFormAboutDesign, "Label6").rect.height / 4);

    TimingEngine engine;
    std::string missing;
    const auto measured = [&] {
        for (const ButtonLook *b : {&engine.look().startStop, &engine.look().pauseContinue})
            if (kButtonTextRoom.captions.find(b->caption) == std::string_view::npos)
                missing += b->caption + " ";
    };
    measured();
    engine.startOrStop();
    measured();
    engine.pauseOrContinue();
    measured();
    CHECK_EQ(missing, std::string());
    engine.pauseOrContinue();
    engine.tick("0", true);
    CHECK_EQ(engine.look().display, std::string(kDisplayTextRoom.widest));

    CHECK(&TextRoomOf(ControlNamed(kForm1Design, "Command2")) == &kButtonTextRoom);
    CHECK(&TextRoomOf(ControlNamed(kForm1Design, "Label2")) == &kDisplayTextRoom);
    CHECK(&TextRoomOf(ControlNamed(kFormAboutDesign, "Label5")) == &kWindowTextRoom);
}

TEST_CASE("storedValuesMatchWithoutRegardToCase")
{
    CHECK(StoredValueNamed("text1") == &stored::kAll[0]);
    CHECK(StoredValueNamed("ISCLOSE") != nullptr);
    CHECK_EQ(StoredValueNamed("JS00")->name, std::string_view("js00"));
    CHECK(StoredValueNamed("Text2") == nullptr);
}
