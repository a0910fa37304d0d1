#pragma once

#include "core/platform/services.h"

#include <windows.h>

#include <string>

// The "检查更新" window: runs the query, then shows the outcome modally (every
// other window of the program takes no input) and returns once it is closed.
// Returns at once, without a window, when the program was asked to quit meanwhile.
// owner: the main window, which the update window stays above (kept on top
// or not) and which hands the update page to the browser.
void RunFormUpdate(const Services &services, const std::string &programVersion, HWND owner);
