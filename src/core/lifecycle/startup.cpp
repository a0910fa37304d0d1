#include "core/lifecycle/startup.h"

#include "core/design/storedvalues.h"
#include "core/rules/numbertext.h"
#include "core/store/settingsstore.h"

namespace {

double edgeOrDefault(double stored, const StoredValue &value)
{
    return stored > 0 ? stored : value.fallback;
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
    auto number = [&store](std::string_view name) {
        return LeadingNumber(
            store.ReadSetting(RegistryRoot::LocalMachine, kSettingsKey, std::string(name)));
    };
    StartupState s;

    // The check reads "text1" and the value shown is read again as "Text1":
    // one value (names match without regard to case), read twice, as the
    // program always has; tests hold the order of the reads.
    s.minutesText = PlainDecimalText(number("text1") > 0 ? number(stored::kText1.name)
                                                         : stored::kText1.fallback);

    s.topTwips = edgeOrDefault(number(stored::kTop.name), stored::kTop);
    s.leftTwips = edgeOrDefault(number(stored::kLeft.name), stored::kLeft);
    // A place remembered from a screen that is gone (unplugged, resolution
    // changed) would open the window out of sight for good, as every tick
    // stores it again. Any part visible is enough to keep it.
    if (!onSomeScreen({TwipsToPixels(s.leftTwips, dpi), TwipsToPixels(s.topTwips, dpi), frameWidth,
                       frameHeight},
                      screens)) {
        s.leftTwips = stored::kLeft.fallback;
        s.topTwips = stored::kTop.fallback;
    }
    s.left = TwipsToPixels(s.leftTwips, dpi);
    s.top = TwipsToPixels(s.topTwips, dpi);

    s.usageTotal = number(stored::kJs00.name);
    s.keepOnTop = number(stored::kCheck1.name) == 1;
    s.countdown = number(stored::kCheck2.name) == 1;
    s.menuBar = number(stored::kCheck3.name) == 1;
    return s;
}
