#include "core/timing/taskbarprogress.h"

#include "core/rules/numbertext.h"

#include <algorithm>

TaskbarLook TaskbarLookFor(RunState state, std::string_view minutesText, bool countdown,
                           double counted)
{
    if (state == RunState::Idle)
        return {};
    const double target = LeadingNumber(minutesText) * 60;
    if (!(target > 0))
        return {};
    // A huge entry makes the target infinite: an empty bar, not a NaN.
    const double fraction = std::clamp(counted / target, 0.0, 1.0);
    if (state == RunState::Paused)
        return {TaskbarState::Paused, fraction};
    // Only a stopwatch runs past its target; a countdown ends there.
    if (!countdown && counted > target)
        return {TaskbarState::Over, 1.0};
    return {TaskbarState::Normal, fraction};
}
