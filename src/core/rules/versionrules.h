#pragma once

#include <string>
#include <string_view>

// One number for a version: major * 100 + minor * 10 + revision.
double VersionNumberOf(int major, int minor, int revision);

// The lower-cased text between the first "[" and the first "]" of the whole
// page (blanks inside kept), or "0" when there is no such pair in that order.
std::string ParseVersionText(std::string_view page);

// "V1.2.3" for 123, "V12.3.4" for 1234, "V1.2.2.5" for 122.5.
std::string FormatVersionNumber(double version);
