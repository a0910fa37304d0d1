#pragma once

#include "core/mainwindow/mainwindowcore.h"

#include <windows.h>

// The About window: modeless, with no owner; it frees itself when closed.
// Creates the window from its design, runs its Form_Load (the core's texts
// of this moment) and shows it; returns its handle. The core must outlive
// the window (the main window's does: it lives as long as the program).
HWND OpenFormAbout(MainWindowCore &core);
