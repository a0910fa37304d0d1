// FormatVersionNumber on any double: "V" and three numbers; a whole version
// number reads back from its parts.

#include "check.h"
#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const double version = DoubleFromBytes(data, size);
    const std::string text = FormatVersionNumber(version);
    FUZZ_CHECK(text.size() >= 6 && text[0] == 'V', "%.17g: \"%s\"", version, text.c_str());
    FUZZ_CHECK(text.find_first_of("eEnN ") == std::string::npos, "%.17g: \"%s\"", version,
               text.c_str());
    if (!(version >= 0 && version < 9e15 && version == std::floor(version)))
        return 0;

    FUZZ_CHECK(std::count(text.begin(), text.end(), '.') == 2, "%.17g: \"%s\"", version,
               text.c_str());
    const std::size_t d1 = text.find('.'), d2 = text.rfind('.');
    const double major = LeadingNumber(text.substr(1, d1 - 1));
    const double minor = LeadingNumber(text.substr(d1 + 1, d2 - d1 - 1));
    const double revision = LeadingNumber(text.substr(d2 + 1));
    FUZZ_CHECK(minor >= 0 && minor <= 9 && revision >= 0 && revision <= 9 &&
                   major * 100 + minor * 10 + revision == version,
               "%.17g: \"%s\"", version, text.c_str());
    return 0;
}
