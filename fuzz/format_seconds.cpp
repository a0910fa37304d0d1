// FormatSeconds on any double: always H:MM:SS-shaped text; whole durations
// read back exactly, fractional ones to the precision of the display.

#include "check.h"
#include "core/rules/durationtext.h"
#include "core/rules/numbertext.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const double seconds = DoubleFromBytes(data, size);
    const std::string text = FormatSeconds(seconds);
    FUZZ_CHECK(std::count(text.begin(), text.end(), ':') == 2, "%.17g: \"%s\"", seconds,
               text.c_str());
    FUZZ_CHECK(text.find_first_of("eEnN ") == std::string::npos, "%.17g: \"%s\"", seconds,
               text.c_str());
    if (!(seconds >= 0 && seconds < 1e15))
        return 0;

    const std::size_t c1 = text.find(':'), c2 = text.rfind(':');
    const std::string hours = text.substr(0, c1), minutes = text.substr(c1 + 1, c2 - c1 - 1),
                      secs = text.substr(c2 + 1);
    // Minutes always have two digits; seconds have a digit before any point
    // ("0.5", "09.5", "29.6").
    FUZZ_CHECK(minutes.size() == 2 && !secs.empty() && secs[0] >= '0' && secs[0] <= '9',
               "%.17g: \"%s\"", seconds, text.c_str());
    const double h = LeadingNumber(hours), m = LeadingNumber(minutes), s = LeadingNumber(secs);
    const double back = h * 3600 + m * 60 + s;
    if (seconds == std::floor(seconds)) {
        FUZZ_CHECK(m < 60 && s < 60 && back == seconds && secs.size() == 2, "%.17g: \"%s\"",
                   seconds, text.c_str());
    } else {
        // The fraction is rounded to 15 significant digits of the seconds.
        const double slack = 8 * (std::nextafter(seconds, 2 * seconds + 1) - seconds) + 1e-13;
        FUZZ_CHECK(std::fabs(back - seconds) <= slack, "%.17g: \"%s\" reads %.17g", seconds,
                   text.c_str(), back);
    }
    return 0;
}
