#pragma once

#include "core/platform/services.h"
#include "core/timing/timingengine.h"

#include <string_view>

// What the window's taskbar entry shows of a run, decided once for every front
// end: nothing while idle, the share of the target counted so far while a run
// goes towards it, that share marked as paused, and a full bar marked as over
// once a stopwatch has passed its target (the red display).
struct TaskbarLook {
    TaskbarState state = TaskbarState::None;
    // 0 to 1; 0 whenever state is None.
    double fraction = 0;
    friend bool operator==(const TaskbarLook &, const TaskbarLook &) = default;
};

// minutesText is the entry's text as the engine reads it; counted the seconds
// counted so far. A target that is not a positive number shows nothing.
TaskbarLook TaskbarLookFor(RunState state, std::string_view minutesText, bool countdown,
                           double counted);
