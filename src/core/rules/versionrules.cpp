#include "core/rules/versionrules.h"

#include "core/rules/numbertext.h"
#include "core/text/asciicase.h"

#include <cmath>

double VersionNumberOf(int major, int minor, int revision)
{
    return major * 100.0 + minor * 10.0 + revision;
}

std::string ParseVersionText(std::string_view page)
{
    // Lower-casing and trimming outer spaces touch neither the brackets nor
    // what lies between them, so only the result is lower-cased.
    const std::size_t open = page.find('[');
    const std::size_t close = page.find(']');
    if (open == std::string_view::npos || close == std::string_view::npos || open > close)
        return "0";
    return AsciiLowerText(page.substr(open + 1, close - open - 1));
}

std::string FormatVersionNumber(double version)
{
    const double v = version;
    const double major = std::floor(v / 100);
    const double minor = std::floor((v - 100 * major) / 10);
    const double revision = v - 10 * std::floor(v / 10);
    std::string text(1, 'V');
    text += PlainDecimalText(major);
    text += '.';
    text += PlainDecimalText(minor);
    text += '.';
    text += PlainDecimalText(revision);
    return text;
}
