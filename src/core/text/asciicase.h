#pragma once

#include <string>
#include <string_view>

// Letter case of ASCII letters only, whatever the locale: value and key names
// match the way the registry matches them, and version texts are compared in
// lower case. Bytes outside A-Z are left as they are.

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerText(std::string_view text);
bool SameIgnoringCase(std::string_view a, std::string_view b);
bool StartsIgnoringCase(std::string_view text, std::string_view prefix);
