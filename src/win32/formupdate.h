#pragma once

#include "core/platform/services.h"

#include <string>

// The "检查更新" window: runs the query, then shows the outcome modally (every
// other window of the program takes no input) and returns once it is closed.
// Returns at once, without a window, when the program was asked to quit meanwhile.
void RunFormUpdate(const Services &services, const std::string &programVersion);
