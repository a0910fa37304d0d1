// The rules both stores share: which of a user's own copy and the
// machine-wide one reads see, where a write goes, and the quit request that a
// machine-wide 1 makes for every user. No files, no registry: this runs on any
// platform, Windows under Wine too.

#include "core/store/placerules.h"
#include "support/testing.h"

#include <optional>

namespace {

const std::string kProgramKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko";

RegValue Text(const std::string &name, const std::string &text)
{
    return {name, kRegSz, TextToRegSzData(text)};
}

} // namespace

TEST_CASE("keyPathsAreTidied")
{
    constexpr auto machine = RegistryRoot::LocalMachine;
    CHECK_EQ(FullKeyPath(machine, kSettingsKey), kProgramKey);
    CHECK_EQ(FullKeyPath(machine, "\\SOFTWARE\\Pelmora\\Brisko\\\\"), kProgramKey);
    CHECK_EQ(FullKeyPath(machine, std::string("SOFTWARE\0junk", 13)),
             "HKEY_LOCAL_MACHINE\\SOFTWARE");
    CHECK_EQ(FullKeyPath(machine, ""), "HKEY_LOCAL_MACHINE");
    CHECK_EQ(FullKeyPath(static_cast<RegistryRoot>(7u), kSettingsKey), "");
}

// The user's own copy wins, of any type; only "isClose" reading 1 as a string
// machine-wide, under the program's own key, stands over it.
TEST_CASE("copyReadsSee")
{
    const struct {
        const char *name;
        std::string key;
        std::optional<RegValue> user, machine;
        const char *seen; // "user", "machine" or "none"
    } rows[] = {
        {"neither", kProgramKey, std::nullopt, std::nullopt, "none"},
        {"machine only", kProgramKey, std::nullopt, Text("Text1", "5"), "machine"},
        {"user only", kProgramKey, Text("Text1", "7"), std::nullopt, "user"},
        {"user over machine", kProgramKey, Text("Text1", "7"), Text("Text1", "5"), "user"},
        {"a user's DWORD hides a string", kProgramKey, RegValue{"Left", kRegDword, RegDwordData(3)},
         Text("Left", "1500"), "user"},
        {"quit for everyone", kProgramKey, Text("isClose", "0"), Text("ISCLOSE", " 1"), "machine"},
        {"quit read as a number", kProgramKey, Text("isClose", "0"), Text("isClose", "1.0"),
         "machine"},
        {"machine-wide 0 is no quit", kProgramKey, Text("isClose", "1"), Text("isClose", "0"),
         "user"},
        {"a DWORD is no quit", kProgramKey, Text("isClose", "0"),
         RegValue{"isClose", kRegDword, RegDwordData(1)}, "user"},
        {"another key's isClose", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", Text("isClose", "0"),
         Text("isClose", "1"), "user"},
        {"another value reading 1", kProgramKey, Text("Check1", " 0"), Text("Check1", " 1"),
         "user"},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        const RegValue *user = row.user ? &*row.user : nullptr;
        const RegValue *machine = row.machine ? &*row.machine : nullptr;
        const RegValue *seen = CopyReadsSee(row.key, user, machine);
        CHECK_EQ(std::string(seen == nullptr ? "none"
                             : seen == user  ? "user"
                                             : "machine"),
                 row.seen);
    }
}

// A write follows reads to the user's own copy, except the quit request.
TEST_CASE("writesFollowReads")
{
    CHECK(WritesToUserCopy(kProgramKey, "Text1", true));
    CHECK(!WritesToUserCopy(kProgramKey, "Text1", false));
    CHECK(!WritesToUserCopy(kProgramKey, "isclose", true));
    CHECK(WritesToUserCopy("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "isClose", true));
    CHECK(IsQuitRequest("hkey_local_machine\\software\\pelmora\\brisko", "IsClose"));
    CHECK(!IsQuitRequest(kProgramKey, "isClose2"));
}
