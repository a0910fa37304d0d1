#pragma once

#include "core/ui/twips.h"

#include <string>
#include <vector>

class SettingsStore;

// What a start brings back from the store, for the front end to apply to its
// controls (each control's own change handling then writes the value back).
struct StartupState {
    std::string minutesText = "5";
    // The window's outer top-left corner, in pixels at the DPI given, and
    // the same in twips (to convert again should the window's DPI change).
    int left = 0;
    int top = 0;
    double leftTwips = 0;
    double topTwips = 0;
    double usageTotal = 0;
    bool keepOnTop = false;
    bool countdown = false;
    bool menuBar = false;
};

// Reads the store in this order: the minutes, the window's top and left
// edges, the usage total, the three options. frameWidth and frameHeight are
// the window's outer size; screens the screens' geometry, all in pixels at
// dpi. A place on none of the screens gives the default place.
StartupState ReadStartup(SettingsStore &store, int frameWidth, int frameHeight,
                         const std::vector<PixelRect> &screens, int dpi);
