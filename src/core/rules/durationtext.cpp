#include "core/rules/durationtext.h"

#include "core/rules/numbertext.h"

#include <cmath>

namespace {

// Minutes and seconds use the display form of a number, whose blank for the
// sign is dropped; values below 10 get a "0" in front.
std::string TwoPlaceField(double value)
{
    std::string text = SignedPlaceText(value);
    if (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    if (!(value < 10))
        return text;
    std::string padded(1, '0');
    padded += text;
    return padded;
}

} // namespace

// Everything stays a double: huge or non-finite durations give an odd but
// bounded text rather than an overflowing integer conversion.
std::string FormatSeconds(const double &seconds)
{
    const double t = seconds;
    const double h = std::floor(t / 3600);
    const double m = std::floor((t - h * 3600) / 60);
    const double s = t - h * 3600 - m * 60;
    return PlainDecimalText(h) + ":" + TwoPlaceField(m) + ":" + TwoPlaceField(s);
}
