#pragma once

#include "core/mainwindow/mainwindowcore.h"

#include <windows.h>

// The "检查更新" window: runs the query, then shows the outcome modally (every
// other window of the program takes no input) and returns once it is closed.
// Returns at once, without a window, when the program was asked to quit meanwhile.
// owner: the main window, which the update window stays above (kept on top
// or not). The caller tells the core when the window has closed.
void RunFormUpdate(MainWindowCore &core, HWND owner);
