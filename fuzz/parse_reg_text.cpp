// The settings store's file parser on any bytes: it never fails on them, the
// lines it skips are lines of the input, what it keeps is written back in a
// form it reads again to the same values, and any text survives the trip
// through REG_SZ data.

#include "check.h"
#include "core/store/regtext.h"

#include <algorithm>

namespace {

bool SameDocument(const RegDocument &a, const RegDocument &b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        const RegKey &x = a.keys[k], &y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size())
            return false;
        for (std::size_t v = 0; v < x.values.size(); ++v)
            if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
                x.values[v].data != y.values[v].data)
                return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    // Every text reads back exactly as it was written, up to a NUL.
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    const std::string back = RegSzDataToText(TextToRegSzData(text));
    FUZZ_CHECK(back == text, "\"%s\" came back as \"%s\"", Printable(text).c_str(),
               Printable(back).c_str());

    // Whatever it skips, what it keeps is written back in a form that reads
    // again to the same values, with no line skipped and nothing changed.
    const RegParse parsed = ParseRegText(bytes);
    FUZZ_CHECK(parsed.skipped.size() == std::min(parsed.skippedCount, kMaxListedBadLines),
               "%zu lines listed of %zu skipped", parsed.skipped.size(), parsed.skippedCount);
    for (const RegBadLine &bad : parsed.skipped)
        FUZZ_CHECK(bad.number >= 1 && bytes.find(bad.text) != std::string_view::npos,
                   "skipped line %zu not in the input: \"%s\"", bad.number,
                   Printable(bad.text).c_str());
    const std::string written = FormatRegText(parsed.doc);
    const RegParse again = ParseRegText(written);
    FUZZ_CHECK(again.skippedCount == 0, "written form has %zu unreadable lines:\n%s",
               again.skippedCount, Printable(written).c_str());
    FUZZ_CHECK(SameDocument(parsed.doc, again.doc),
               "values changed on the way:\n%s\n--- written ---\n%s", Printable(bytes).c_str(),
               Printable(written).c_str());
    FUZZ_CHECK(FormatRegText(again.doc) == written, "written form not stable:\n%s",
               Printable(written).c_str());
    return 0;
}
