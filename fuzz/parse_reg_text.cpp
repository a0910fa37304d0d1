// The settings store's file parser on any bytes: it never fails on them, what
// it accepts is written back in a form it reads again to the same values, and
// any text survives the trip through REG_SZ data.

#include "check.h"
#include "settings/filestore.h"

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

    const auto doc = ParseRegText(bytes);
    if (!doc)
        return 0;
    const std::string written = FormatRegText(*doc);
    const auto again = ParseRegText(written);
    FUZZ_CHECK(again, "written form not readable:\n%s", Printable(written).c_str());
    FUZZ_CHECK(SameDocument(*doc, *again), "values changed on the way:\n%s\n--- written ---\n%s",
               Printable(bytes).c_str(), Printable(written).c_str());
    FUZZ_CHECK(FormatRegText(*again) == written, "written form not stable:\n%s",
               Printable(written).c_str());
    return 0;
}
