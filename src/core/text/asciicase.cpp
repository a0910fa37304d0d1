#include "core/text/asciicase.h"

// The loops work on plain pointers: a store with thousands of values stays
// quick even in an unoptimised build.

std::string AsciiLowerText(std::string_view text)
{
    std::string out(text);
    for (char *p = out.data(), *end = p + out.size(); p != end; ++p)
        *p = AsciiLower(*p);
    return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const char *p = a.data(), *q = b.data(), *end = p + a.size();
    for (; p != end; ++p, ++q)
        if (*p != *q && AsciiLower(*p) != AsciiLower(*q))
            return false;
    return true;
}

bool StartsIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}
