#include "core/lifecycle/startup.h"

#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"

namespace {

constexpr double kDefaultEdgeTwips = 1000;

double edgeOrDefault(double stored)
{
    return stored > 0 ? stored : kDefaultEdgeTwips;
}

bool intersects(const PixelRect &a, const PixelRect &b)
{
    return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 &&
           a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

bool onSomeScreen(const PixelRect &frame, const std::vector<PixelRect> &screens)
{
    for (const PixelRect &screen : screens)
        if (intersects(screen, frame))
            return true;
    // Without any screen there is nothing to be off of.
    return screens.empty();
}

} // namespace

StartupState ReadStartup(SettingsStore &store, int frameWidth, int frameHeight,
                         const std::vector<PixelRect> &screens, int dpi)
{
    auto number = [&store](const char *name) {
        return LeadingNumber(store.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, name));
    };
    StartupState s;

    // The check reads "text1" and the value shown is read again as "Text1":
    // one value (names match without regard to case), read twice, as the
    // program always has; tests hold the order of the reads.
    if (number("text1") > 0)
        s.minutesText = PlainDecimalText(number("Text1"));

    s.topTwips = edgeOrDefault(number("Top"));
    s.leftTwips = edgeOrDefault(number("Left"));
    // A place remembered from a screen that is gone (unplugged, resolution
    // changed) would open the window out of sight for good, as every tick
    // stores it again. Any part visible is enough to keep it.
    if (!onSomeScreen({TwipsToPixels(s.leftTwips, dpi), TwipsToPixels(s.topTwips, dpi), frameWidth,
                       frameHeight},
                      screens)) {
        s.leftTwips = kDefaultEdgeTwips;
        s.topTwips = kDefaultEdgeTwips;
    }
    s.left = TwipsToPixels(s.leftTwips, dpi);
    s.top = TwipsToPixels(s.topTwips, dpi);

    s.usageTotal = number("js00");
    s.keepOnTop = number("Check1") == 1;
    s.countdown = number("Check2") == 1;
    s.menuBar = number("Check3") == 1;
    return s;
}
