// The settings file's text: reading what people and programs leave there, and
// writing every value so that it reads back exactly. No files: this runs on
// any platform.

#include "core/store/regtext.h"
#include "core/text/asciicase.h"
#include "core/text/utf16.h"
#include "regfilecases.h"
#include "support/testing.h"

#include <algorithm>

namespace {

// What a read of the program's key finds for the name in a parsed file.
std::string ReadFrom(const RegDocument &doc, std::string_view name)
{
    for (const RegKey &key : doc.keys)
        if (SameIgnoringCase(key.path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko"))
            for (const RegValue &v : key.values)
                if (SameIgnoringCase(v.name, name))
                    return v.type == kRegSz ? RegSzDataToText(v.data) : std::string();
    return {};
}

} // namespace

TEST_CASE("readsFileText")
{
    for (const RegFileCase &row : RegFileCases()) {
        INFO(row.name);
        const RegParse parsed = ParseRegText(row.file);
        CHECK_EQ(parsed.skippedCount, std::size_t(row.skipped));
        CHECK_EQ(parsed.skipped.size(), std::size_t(row.skipped));
        CHECK_EQ(ReadFrom(parsed.doc, "X"), row.x);
    }
}

// A skipped line is named by its number and its text as it stands.
TEST_CASE("skippedLinesNamed")
{
    const RegParse parsed =
        ParseRegText(kRegHead + "\"Text1\"=\"25\"\r\n\"Top\"=12\r\n\"Check1\"=\" 1\"\n");
    CHECK_EQ(parsed.skippedCount, 1u);
    CHECK_EQ(parsed.skipped.at(0).number, 5u);
    CHECK_EQ(parsed.skipped.at(0).text, "\"Top\"=12");
    CHECK_EQ(ReadFrom(parsed.doc, "Check1"), " 1");

    std::string many = kRegHead;
    for (int i = 0; i < 250; ++i)
        many += "junk\n";
    const RegParse lots = ParseRegText(many);
    CHECK_EQ(lots.skippedCount, 250u);
    CHECK_EQ(lots.skipped.size(), kMaxListedBadLines);
}

// Written and read again, every text is the same, the file stays UTF-8 with
// one line per value, and writing what was read gives the same text.
TEST_CASE("textsRoundTrip")
{
    for (const auto &[name, text] : RegTextCases()) {
        INFO(name);
        CHECK_EQ(RegSzDataToText(TextToRegSzData(text)), text);
        RegDocument doc;
        doc.keys.push_back({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko",
                            {{"Text1", kRegSz, TextToRegSzData(text)},
                             {"After", kRegSz, TextToRegSzData("next")}}});
        const std::string file = FormatRegText(doc);
        CHECK(IsValidUtf8(file));
        CHECK_EQ(std::count(file.begin(), file.end(), '\n'), 6);
        const RegParse parsed = ParseRegText(file);
        CHECK_EQ(parsed.skippedCount, 0u);
        CHECK_EQ(ReadFrom(parsed.doc, "Text1"), text);
        CHECK_EQ(ReadFrom(parsed.doc, "After"), "next");
        CHECK_EQ(FormatRegText(parsed.doc), file);
    }
}

// Values of other types are written in the registry export's own forms.
TEST_CASE("otherTypesKeepTheirForm")
{
    const std::string file =
        kRegHead + "\"Bin\"=hex:00,ff\n\"Exp\"=hex(2):25,00,00,00\n\"Q\"=hex(b):01,00,00,00,"
                   "00,00,00,00\n@=\"default\"\n\"isClose\"=dword:00000001\n";
    const RegParse parsed = ParseRegText(file);
    CHECK_EQ(parsed.skippedCount, 0u);
    CHECK_EQ(FormatRegText(parsed.doc), file + "\n");
    CHECK_EQ(parsed.doc.keys.at(0).values.at(4).data, RegDwordData(1));
    CHECK_EQ(RegTypeName(kRegDword), "REG_DWORD");
    CHECK_EQ(RegTypeName(11), "REG_QWORD");
    CHECK_EQ(RegTypeName(0x4d), "REG_0x4d");
    CHECK_EQ(RegRootName(RegistryRoot::LocalMachine), "HKEY_LOCAL_MACHINE");
    CHECK_EQ(RegRootName(RegistryRoot(0x1234)), "");
}
