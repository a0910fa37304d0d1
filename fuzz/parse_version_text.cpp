// ParseVersionText on any page, and the number and display text it leads to.

#include "check.h"
#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view page(reinterpret_cast<const char *>(data), size);
    const std::string text = ParseVersionText(page);

    // The lower-cased text between the first '[' and the first ']', or "0".
    const std::size_t open = page.find('['), close = page.find(']');
    std::string expected = "0";
    if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
        expected = std::string(page.substr(open + 1, close - open - 1));
        for (char &c : expected)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
    }
    FUZZ_CHECK(text == expected, "page \"%s\": got \"%s\"", Printable(page).c_str(),
               Printable(text).c_str());

    const double number = LeadingNumber(text);
    FUZZ_CHECK(std::isfinite(number), "\"%s\" gave %g", Printable(text).c_str(), number);
    const std::string shown = FormatVersionNumber(number);
    FUZZ_CHECK(!shown.empty() && shown[0] == 'V', "%s", shown.c_str());
    return 0;
}
