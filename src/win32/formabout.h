#pragma once

#include "core/platform/services.h"

#include <windows.h>

#include <string>

// The About window: modeless, with no owner; it frees itself when closed.
struct AboutValues {
    double usageTotal = 0;
    std::string programVersion;
    std::string vendorUrl;
};

// Creates the window, runs its Form_Load and shows it; returns its handle.
HWND OpenFormAbout(const AboutValues &values, BrowserOpener &browser);
