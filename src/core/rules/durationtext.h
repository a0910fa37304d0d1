#pragma once

#include <string>

// A duration in seconds as H:MM:SS. Hours are unpadded and unbounded; a
// fraction of a second shows in the seconds field only ("0:00:09.5").
std::string FormatSeconds(const double &seconds);
