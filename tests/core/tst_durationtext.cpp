// Durations as H:MM:SS.

#include "core/rules/durationtext.h"
#include "support/testing.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <type_traits>

TEST_CASE("formatSeconds")
{
    const struct {
        double seconds;
        const char *text;
    } rows[] = {
        // Whole seconds, minutes and hours; hours unpadded and unbounded.
        {0, "0:00:00"},
        {9, "0:00:09"},
        {59, "0:00:59"},
        {60, "0:01:00"},
        {61, "0:01:01"},
        {599, "0:09:59"},
        {3599, "0:59:59"},
        {3600, "1:00:00"},
        {3661, "1:01:01"},
        {86399, "23:59:59"},
        {86400, "24:00:00"},
        {360000, "100:00:00"},
        {1e15, "277777777777:46:40"},
        // A fraction shows in the seconds field only.
        {0.5, "0:00:0.5"},
        {9.5, "0:00:09.5"},
        {29.6, "0:00:29.6"},
        {90.6, "0:01:30.6"},
        {3599.5, "0:59:59.5"},
        // Below zero.
        {-1, "-1:59:59"},
        {-0.0, "0:00:00"},
    };
    for (const auto &row : rows) {
        INFO(row.text);
        CHECK_EQ(FormatSeconds(row.seconds), row.text);
    }
}

// The caller's value is taken by reference and cannot be changed through it.
static_assert(std::is_same_v<decltype(&FormatSeconds), std::string (*)(const double &)>);

// The text of an absurd duration may look odd, but it must come back at once,
// short enough to show, with its three fields.
TEST_CASE("oddInputsStayBounded")
{
    const struct {
        const char *name;
        double seconds;
    } rows[] = {
        {"1e300", 1e300},
        {"-1e300", -1e300},
        {"largest", DBL_MAX},
        {"infinity", std::numeric_limits<double>::infinity()},
        {"minus infinity", -std::numeric_limits<double>::infinity()},
        {"NaN", std::numeric_limits<double>::quiet_NaN()},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        const std::string text = FormatSeconds(row.seconds);
        CHECK(text.size() < 1000);
        CHECK_EQ(std::count(text.begin(), text.end(), ':'), 2);
    }
}
