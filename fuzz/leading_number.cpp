// LeadingNumber on any text, and the two number-to-text forms on what it reads.

#include "check.h"
#include "core/rules/numbertext.h"

#include <cfloat>

namespace {

// At most 15 significant digits, no exponent, no trailing zeros after a point.
void CheckWrittenForm(const std::string &text, double value)
{
    FUZZ_CHECK(text.find_first_of("eEnN") == std::string::npos, "%s for %.17g", text.c_str(),
               value);
    const std::size_t point = text.find('.');
    if (point != std::string::npos)
        FUZZ_CHECK(text.back() != '0' && text.back() != '.', "%s", text.c_str());
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9')
            digits += c;
    digits.erase(0, digits.find_first_not_of('0'));
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    FUZZ_CHECK(digits.size() <= 15, "%s has more than 15 significant digits", text.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const double value = LeadingNumber(text);
    FUZZ_CHECK(std::isfinite(value), "\"%s\" gave %g", Printable(text).c_str(), value);
    FUZZ_CHECK(!(value == 0 && std::signbit(value)), "\"%s\" gave -0", Printable(text).c_str());

    // Blanks, tabs and line feeds count nowhere in a number.
    std::string squeezed;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            squeezed += c;
    const double again = LeadingNumber(squeezed);
    FUZZ_CHECK(std::memcmp(&again, &value, sizeof value) == 0,
               "\"%s\": %.17g, without blanks %.17g", Printable(text).c_str(), value, again);

    // What is written reads back as the same number, to 15 digits.
    const std::string plain = PlainDecimalText(value);
    const std::string signedPlace = SignedPlaceText(value);
    CheckWrittenForm(plain, value);
    CheckWrittenForm(signedPlace, value);
    FUZZ_CHECK(signedPlace[0] == ' ' || signedPlace[0] == '-', "\"%s\"", signedPlace.c_str());
    const double back = LeadingNumber(plain);
    FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14, "%.17g written %s reads %.17g",
               value, plain.c_str(), back);
    FUZZ_CHECK(LeadingNumber(signedPlace) == back, "%s and %s differ", plain.c_str(),
               signedPlace.c_str());
    return 0;
}
