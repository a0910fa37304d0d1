// The Windows build's own checks: the registry store against the real registry
// (inside a throwaway Wine prefix), the rules as the Windows runtime computes
// them, and the thin Win32 wrappers. Run by scripts/wine-test.sh, which sets
// "isClose" from outside beforehand. The test cases run in the order they
// stand here (doctest's default): the first ones read what the script set.

#include "core/rules/durationtext.h"
#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"
#include "core/store/settingsstore.h"
#include "core/store/windows/registrystore.h"
#include "regtool.h"
#include "support/testing.h"
#include "win32/widetext.h"
#include "win32/win32calls.h"

#include <windows.h>

#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// --- The registry as other programs see it: wide calls, no store involved ---
// The store's machine-wide key is in the 32-bit view, as "reg add ... /reg:32"
// writes it; these helpers look there.

const wchar_t *const kKeyW = L"SOFTWARE\\Pelmora\\Brisko";

bool KeyExists(const wchar_t *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void RemoveMachineKey()
{
    HKEY software = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                      &software) == ERROR_SUCCESS) {
        RegDeleteTreeW(software, L"Pelmora");
        RegCloseKey(software);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Pelmora", KEY_WOW64_32KEY, 0);
}

// A string value at any place, for the per-user checks.
void SetAt(HKEY root, const wchar_t *path, REGSAM view, const wchar_t *name, const wchar_t *text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                   static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring GetAt(HKEY root, const wchar_t *path, REGSAM view, const wchar_t *name)
{
    wchar_t text[256] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(root, path, name,
                     RRF_RT_REG_SZ | (view == KEY_WOW64_32KEY   ? RRF_SUBKEY_WOW6432KEY
                                      : view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY
                                                                : 0),
                     nullptr, text, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return text;
}

struct RawValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::wstring text; // the stored UTF-16 data, terminating NUL included
};

RawValue ReadRawW(const wchar_t *name)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyW, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + sizeof(wchar_t));
        if (RegQueryValueExW(key, name, nullptr, &value.type, data.data(), &size) ==
            ERROR_SUCCESS) {
            value.present = true;
            value.text.assign(reinterpret_cast<const wchar_t *>(data.data()),
                              size / sizeof(wchar_t));
        }
    }
    RegCloseKey(key);
    return value;
}

// The ANSI bytes a program reading with RegQueryValueExA receives.
std::string ReadRawA(const char *name)
{
    HKEY key = nullptr;
    std::string bytes;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
        return bytes;
    }
    DWORD size = 0;
    RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    bytes.assign(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(bytes.data()),
                         &size) != ERROR_SUCCESS) {
        size = 0;
    }
    bytes.resize(size);
    RegCloseKey(key);
    return bytes;
}

void SetRawA(const char *name, DWORD type, const std::string &bytes)
{
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                    nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void SetRawW(const wchar_t *name, const std::wstring &text)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeyW, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr,
                    &key, nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.data()),
                   static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

int ValuesNamed(const wchar_t *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyW, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS) {
        return 0;
    }
    int count = 0;
    wchar_t found[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumValueW(key, i, found, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        count += lstrcmpiW(found, name) == 0;
    }
    RegCloseKey(key);
    return count;
}

// --- The store ---

RegistryStore store;
constexpr RegistryRoot kRoot = RegistryRoot::LocalMachine;

std::string Read(const std::string &name)
{
    return store.ReadSetting(kRoot, kSettingsKey, name);
}

void Write(const std::string &name, const std::string &text)
{
    store.WriteSetting(kRoot, kSettingsKey, name, text);
}

TEST_CASE("environment")
{
    CHECK_MESSAGE(GetACP() == 936u, "the ANSI code page is 936: run with LANG/LC_ALL=zh_CN.UTF-8");
    CHECK_MESSAGE(dynamic_cast<RegistryStore *>(OpenMachineSettingsStore().get()) != nullptr,
                  "the machine's settings store is the registry");
}

// Must run first: the script sets the value before the test starts.
TEST_CASE("outsideQuitRequest")
{
    const std::string text = Read("isClose");
    CHECK_MESSAGE(text == "1", "\"isClose\" set by reg add reads back");
    CHECK_MESSAGE(LeadingNumber(text) == 1, "\"isClose\" set by reg add reads as the number 1");
    CHECK_MESSAGE(LeadingNumber(Read("ISCLOSE")) == 1, "\"isClose\" is found under any case");
}

TEST_CASE("absentKey")
{
    RemoveMachineKey();
    CHECK_MESSAGE(!KeyExists(L"SOFTWARE\\Pelmora"),
                  "the key's parent could be removed for the test");

    CHECK_MESSAGE(Read("Text1") == "", "absent key: a read gives the empty text");
    CHECK_MESSAGE(Read("isClose") == "", "absent key: \"isClose\" reads empty");
    CHECK_MESSAGE(!KeyExists(L"SOFTWARE\\Pelmora"),
                  "absent key: reading creates neither key nor parent");

    Write("Check1", " 1");
    CHECK_MESSAGE(KeyExists(kKeyW), "the first write creates the key and its parent");
    CHECK_MESSAGE(Read("Check1") == " 1", "the first write is read back");

    CHECK_MESSAGE(Read("Check2") == "", "absent value: a read gives the empty text");
    CHECK_MESSAGE(!ReadRawW(L"Check2").present, "absent value: reading does not create it");
}

TEST_CASE("roundTrip")
{
    const char *const texts[] = {"25", "1000", " 3600", "-2", "", "  spaced  ", "12abc"};
    for (const char *text : texts) {
        Write("Text1", text);
        CHECK_EQ(Read("Text1"), text);
    }

    Write("Top", "1000");
    const RawValue raw = ReadRawW(L"Top");
    CHECK_MESSAGE(raw.type == DWORD(REG_SZ), "a written value is a REG_SZ");
    CHECK_MESSAGE(raw.text == std::wstring(L"1000", 5), "a written value ends with one NUL");
}

TEST_CASE("chinese")
{
    const struct {
        const char *utf8;
        const wchar_t *utf16;
    } rows[] = {
        {"5分钟", L"5\u5206\u949F"},
        {"十分钟 abc", L"\u5341\u5206\u949F abc"},
        {"倒计时进行中.", L"\u5012\u8BA1\u65F6\u8FDB\u884C\u4E2D."},
    };
    for (const auto &row : rows) {
        Write("Text1", row.utf8);
        CHECK_MESSAGE(Read("Text1") == row.utf8, "Chinese round trip");
        CHECK_MESSAGE(ReadRawW(L"Text1").text == std::wstring(row.utf16) + L'\0',
                      "Chinese stored as Unicode, seen by the wide calls");
    }

    Write("Text1", "分钟");
    CHECK_MESSAGE(ReadRawA("Text1") == std::string("\xB7\xD6\xD6\xD3", 5),
                  "Chinese reaches ANSI readers as code page 936");

    SetRawW(L"Text1", std::wstring(L"3\u5206\u949F", 4));
    CHECK_MESSAGE(Read("Text1") == "3分钟", "Chinese written by a Unicode program");

    // Not in code page 936: lost to '?', but nothing breaks and the number stays.
    Write("Text1", "7\xF0\x9F\x98\x80");
    CHECK_MESSAGE(LeadingNumber(Read("Text1")) == 7,
                  "a character outside code page 936 keeps the number");
    Write("Text1", "\xFF\xFE"
                   "9");
    CHECK_MESSAGE(!ReadRawW(L"Text1").text.empty(), "broken UTF-8 is still stored");
}

TEST_CASE("nameCase")
{
    Write("Text1", "30");
    for (const char *name : {"text1", "TEXT1", "tExT1"}) {
        INFO(name);
        CHECK_EQ(Read(name), "30");
    }
    Write("TEXT1", "31");
    CHECK_MESSAGE(Read("Text1") == "31", "a write under another case replaces the value");
    CHECK_MESSAGE(ValuesNamed(L"text1") == 1, "names differing in case are one value");
}

TEST_CASE("otherTypes")
{
    const struct {
        const char *name;
        DWORD type;
        std::string data;
    } rows[] = {
        {"REG_DWORD", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4)},
        {"REG_QWORD", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {"REG_BINARY", REG_BINARY, std::string("1\0", 2)},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("1\0", 2)},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("1\0\0", 3)},
        {"REG_NONE", REG_NONE, std::string("1\0", 2)},
    };
    for (const auto &row : rows) {
        INFO(row.name);
        SetRawA("Check1", row.type, row.data);
        CHECK_EQ(Read("Check1"), "");
    }
    Write("Check1", " 1");
    CHECK_MESSAGE(ReadRawW(L"Check1").type == DWORD(REG_SZ),
                  "a write turns a value of another type into text");
}

TEST_CASE("nulAndUnterminated")
{
    Write("Text1", std::string("12\0ab", 5));
    CHECK_MESSAGE(Read("Text1") == "12", "the store's own text with a NUL reads to the NUL");
    CHECK_MESSAGE(ReadRawW(L"Text1").text == std::wstring(L"12\0ab\0", 6),
                  "a text with a NUL is stored whole");

    SetRawA("Text1", REG_SZ, std::string("ab\0cd\0", 6));
    CHECK_MESSAGE(Read("Text1") == "ab", "outside data with a NUL inside");
    SetRawA("Text1", REG_SZ, std::string("\0xyz", 4));
    CHECK_MESSAGE(Read("Text1") == "", "outside data starting with a NUL");

    SetRawA("Text1", REG_SZ, "345");
    CHECK_MESSAGE(Read("Text1") == "345", "data without a terminating NUL reads whole");
    SetRawA("Text1", REG_SZ, "\xB7\xD6\xD6\xD3");
    CHECK_MESSAGE(Read("Text1") == "分钟", "Chinese data without a terminating NUL");
    SetRawW(L"Text1", L"67");
    CHECK_MESSAGE(Read("Text1") == "67", "wide data without a terminating NUL");

    const std::string longText(100000, 'x');
    Write("Text1", longText);
    CHECK_MESSAGE(Read("Text1") == longText, "a 100000-character text round trip");
}

// The machine-wide key sits in the 32-bit view; the user's own key and the
// old VirtualStore copy hide it value by value, and a write never goes behind
// a per-user copy. Wine runs as an administrator, so the refused machine-wide
// write of a standard user is not shown here.
TEST_CASE("viewsAndPerUserPlaces")
{
    const wchar_t *const user = L"SOFTWARE\\Pelmora\\Brisko";
    const wchar_t *const virtualStore =
        L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Pelmora\\Brisko";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\VirtualStore");

    Write("Left", "1500");
    CHECK_MESSAGE(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"Left") == L"1500",
                  "a write lands in the 32-bit view");
    CHECK_MESSAGE(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_64KEY, L"Left") == L"<absent>",
                  "and not in the 64-bit view");

    SetAt(HKEY_CURRENT_USER, virtualStore, 0, L"Left", L"1515");
    CHECK_MESSAGE(Read("Left") == "1515", "the old VirtualStore copy hides the machine's");
    Write("Left", "1530");
    CHECK_MESSAGE(GetAt(HKEY_CURRENT_USER, user, 0, L"Left") == L"1530",
                  "a value with a per-user copy is written to the user's own key");
    CHECK_MESSAGE(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"Left") == L"1500",
                  "and the machine's copy is left alone");
    CHECK_MESSAGE(Read("Left") == "1530", "what was written last is what is read");

    SetAt(HKEY_CURRENT_USER, user, 0, L"Text1", L"\u5341");
    CHECK_MESSAGE(Read("Text1") == "十", "the user's own value wins");
    Write("isClose", "1");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"0");
    CHECK_MESSAGE(Read("isClose") == "1", "isClose 1 machine-wide applies to every user");
    Write("isClose", "0");
    CHECK_MESSAGE(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"isClose") == L"0",
                  "isClose is written machine-wide");

    CHECK_MESSAGE(store.DeleteValue(kRoot, kSettingsKey, "Left") ==
                      RegistryStore::DeleteResult::Deleted,
                  "a value can be deleted everywhere");
    CHECK_MESSAGE(Read("Left") == "", "a deleted value reads empty");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\VirtualStore");
}

// The settings tool, run in this process over the registry: the same command
// line, messages and exit codes as on Linux (tests/core/tst_briskoreg.cpp).
struct ToolRun {
    int code = -1;
    std::string out, err;
};

ToolRun RunTool(const std::vector<std::string> &args)
{
    ToolRun run;
    RegToolOutput output;
    run.code = RunRegTool(args, StoreBackEnd(), output);
    run.out = output.out;
    run.err = output.err;
    return run;
}

bool Has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// The value's name as the machine-wide key spells it; "" when absent.
std::wstring NameAsStored(const wchar_t *name)
{
    HKEY key = nullptr;
    std::wstring stored;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyW, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return stored;
    wchar_t found[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumValueW(key, i, found, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (lstrcmpiW(found, name) == 0)
            stored.assign(found, length);
    }
    RegCloseKey(key);
    return stored;
}

TEST_CASE("settingsTool")
{
    const wchar_t *const user = L"SOFTWARE\\Pelmora\\Brisko";
    RemoveMachineKey();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
    const std::string done = "The operation completed successfully.\n";
    const std::string missing = "ERROR: The system was unable to find";

    {
        INFO("no key yet is not found, status 1");
        const ToolRun run = RunTool({"query"});
        CHECK_EQ(run.code, 1);
        CHECK(Has(run.err, missing));
    }
    // Usage errors, status 2.
    const struct {
        std::vector<std::string> args;
        const char *err;
    } refused[] = {
        {{}, "say what to do: query, add or delete\nUsage:"},
        {{"--file", "x.reg", "query"}, "in the registry"},
        {{"query", "/reg:64"}, "32-bit view"},
        {{"add", "/v", "Top", "/t", "REG_BINARY", "/d", "00"}, "unsupported type REG_BINARY"},
    };
    for (const auto &row : refused) {
        const ToolRun run = RunTool(row.args);
        CAPTURE(row.args);
        CAPTURE(run.err);
        CHECK_EQ(run.code, 2);
        CHECK(Has(run.err, row.err));
    }

    // A name the program keeps is made with the program's spelling.
    ToolRun run = RunTool({"add", "text1", "5分钟", "/reg:32"});
    CHECK_EQ(run.code, 0);
    CHECK_EQ(run.out, done);
    CHECK_EQ(run.err, "");
    CHECK_MESSAGE(NameAsStored(L"Text1") == L"Text1", "text1 is made as Text1");
    CHECK_MESSAGE(Read("Text1") == "5分钟", "the program reads what the tool wrote");

    // REG_DWORD as on Linux: stored as a number, which the program reads as
    // nothing, and shown in hex.
    run = RunTool({"add", "/v", "Top", "/t", "reg_dword", "/d", "0x10", "/f"});
    CHECK_EQ(run.code, 0);
    CHECK_EQ(run.out, done);
    CHECK_MESSAGE(ReadRawW(L"Top").type == DWORD(REG_DWORD), "the value is a REG_DWORD");
    CHECK_MESSAGE(Read("Top") == "", "a REG_DWORD reads as empty to the program");
    run = RunTool({"add", "/v", "Left", "/t", "REG_DWORD", "/d", "4294967296"});
    CHECK_MESSAGE(run.code == 2, "a number too big for a REG_DWORD is refused");
    CHECK(Has(run.err, "REG_DWORD data must be"));

    run = RunTool({"query", "HKLM\\SOFTWARE\\Pelmora\\Brisko", "/v", "TEXT1"});
    CHECK_MESSAGE(run.out == "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n"
                             "    Text1    REG_SZ    5分钟\n\n",
                  "query names the value as stored");
    run = RunTool({"query"});
    {
        INFO("query lists values of every type");
        CAPTURE(run.out);
        CHECK(Has(run.out, "    Text1    REG_SZ    5分钟\n"));
        CHECK(Has(run.out, "    Top    REG_DWORD    0x10\n"));
    }
    run = RunTool({"query", "Nope"});
    CHECK_MESSAGE(run.code == 1, "a missing value is not found, status 1");
    CHECK_EQ(run.out, "");
    CHECK(Has(run.err, missing));

    // The user's own copy is written and read first; a quit request goes
    // machine-wide, past it.
    CAPTURE(run.err);
    SetAt(HKEY_CURRENT_USER, user, 0, L"Check1", L" 0");
    run = RunTool({"add", "Check1", " 1"});
    CHECK_EQ(run.code, 0);
    CHECK_MESSAGE(Has(run.err,
                      "stored for this user in HKEY_CURRENT_USER\\SOFTWARE\\Pelmora\\Brisko, "
                      "which is read before HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko"),
                  "a value the user holds is stored for the user, and said");
    CHECK_MESSAGE(GetAt(HKEY_CURRENT_USER, user, 0, L"Check1") == L" 1",
                  "the user's own copy took it");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"0");
    run = RunTool({"add", "isClose", "1"});
    CHECK_MESSAGE(run.code == 0, "the quit request is stored machine-wide");
    CHECK_EQ(run.err, "");
    CHECK_MESSAGE(Read("isClose") == "1", "and ends every user's copies");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"1");
    run = RunTool({"add", "isClose", "0"});
    CHECK_EQ(run.code, 0);
    CHECK_MESSAGE(Has(run.err, "this user's own copy in HKEY_CURRENT_USER"),
                  "a machine-wide write behind the user's copy is said");

    run = RunTool({"delete", "/v", "Check1", "/f"});
    CHECK_EQ(run.code, 0);
    CHECK_EQ(run.out, done);
    CHECK_MESSAGE(!Has(RunTool({"query"}).out, "Check1"), "a deleted value is gone from every key");
    run = RunTool({"delete", "Check1"});
    CHECK_MESSAGE(run.code == 1, "deleting a missing value, status 1");
    CHECK(Has(run.err, missing));

    RemoveMachineKey();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
}

// The Windows sources' names for the core's one conversion: exact both ways.
TEST_CASE("wideText")
{
    const std::string texts[] = {"5分钟",
                                 "\xFF\xFE"
                                 "9",
                                 std::string("12\0ab", 5), "\xF0\x9F\x98\x80"};
    for (const std::string &text : texts)
        CHECK_EQ(widetext::Narrow(widetext::Widen(text)), text);
    CHECK_MESSAGE(widetext::Widen("5分钟") == L"5\u5206\u949F", "Widen gives UTF-16");
    CHECK_MESSAGE(widetext::Narrow(L"\xD800") == "\xEF\xBF\xBD",
                  "a lone surrogate narrows to U+FFFD");
}

// The rules as the Windows runtime computes them.
TEST_CASE("rules")
{
    const struct {
        double seconds;
        const char *text;
    } durations[] = {
        {0, "0:00:00"}, {10, "0:00:10"}, {3661, "1:01:01"}, {9.5, "0:00:09.5"}, {-1, "-1:59:59"},
    };
    for (const auto &row : durations) {
        CAPTURE(row.seconds);
        CHECK_EQ(FormatSeconds(row.seconds), row.text);
    }

    const struct {
        const char *text;
        double number;
    } numbers[] = {
        {"", 0},         {"abc", 0},      {" 1", 1},    {"1 000", 1000},
        {"12abc", 12},   {"2.5min", 2.5}, {"&H10", 16}, {"&O17", 15},
        {"1.5e3", 1500}, {"2d-2", 0.02},  {"5分钟", 5}, {"1e999", DBL_MAX},
    };
    for (const auto &row : numbers) {
        CAPTURE(row.text);
        CHECK_EQ(LeadingNumber(row.text), row.number);
    }

    const struct {
        double number;
        const char *plain;
        const char *signedPlace;
    } texts[] = {
        {0, "0", " 0"},
        {1, "1", " 1"},
        {3600, "3600", " 3600"},
        {-2, "-2", "-2"},
        {0.5, "0.5", " .5"},
        {-0.25, "-0.25", "-.25"},
        {1.0 / 3, "0.333333333333333", " .333333333333333"},
        {90.6 - 60, "30.6", " 30.6"},
        {-1e-7, "-0.0000001", "-.0000001"},
        {1e20, "100000000000000000000", " 100000000000000000000"},
    };
    for (const auto &row : texts) {
        CAPTURE(row.number);
        CHECK_EQ(PlainDecimalText(row.number), row.plain);
        CHECK_EQ(SignedPlaceText(row.number), row.signedPlace);
    }

    CHECK_EQ(ParseVersionText("<p>newest: [V1.2.3]</p>"), "v1.2.3");
    CHECK_EQ(ParseVersionText("Not Found"), "0");
    CHECK_EQ(LeadingNumber(ParseVersionText("[123]")), 123.0);
    CHECK_EQ(FormatVersionNumber(122), "V1.2.2");
    CHECK_EQ(FormatVersionNumber(1234), "V12.3.4");
    CHECK_EQ(FormatVersionNumber(122.5), "V1.2.2.5");
}

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST_CASE("beep")
{
    // The program's own tone under Wine, whose Beep returns at once; elsewhere a
    // short one, so the test never waits through seconds.
    const unsigned ms = UnderWine() ? 5000 : 100;
    const auto start = std::chrono::steady_clock::now();
    PlatformBeep(1000, ms);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    MESSAGE(("Beep(1000, " + std::to_string(ms) + ") returned after " +
             std::to_string(took.count()) + " ms"));
}

bool IsTopmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool SameRect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_CASE("topmost")
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "BriskoTestWindow";
    RegisterClassA(&windowClass);
    const HWND main = CreateWindowExA(0, "BriskoTestWindow", "main", WS_OVERLAPPEDWINDOW, 100, 120,
                                      300, 200, nullptr, nullptr, instance, nullptr);
    const HWND other = CreateWindowExA(0, "BriskoTestWindow", "other", WS_OVERLAPPEDWINDOW, 400,
                                       120, 300, 200, nullptr, nullptr, instance, nullptr);
    if (main == nullptr || other == nullptr) {
        MESSAGE(("skip SetWindowPos: no window could be created (error " +
                 std::to_string(GetLastError()) + ")"));
        return;
    }
    ShowWindow(main, SW_SHOWNOACTIVATE);
    ShowWindow(other, SW_SHOW);
    SetActiveWindow(other);
    CHECK_MESSAGE(GetActiveWindow() == other, "the other window is active before the calls");

    RECT before{};
    GetWindowRect(main, &before);
    PlatformSetTopmost(main, true);
    CHECK_MESSAGE(IsTopmost(main), "HWND_TOPMOST puts the window into the topmost band");
    PlatformSetTopmost(main, true);
    CHECK_MESSAGE(IsTopmost(main), "repeating HWND_TOPMOST keeps it there");
    CHECK_MESSAGE(GetActiveWindow() == other, "keeping on top does not activate the window");
    RECT after{};
    GetWindowRect(main, &after);
    CHECK_MESSAGE(SameRect(before, after), "keeping on top neither moves nor sizes the window");

    PlatformSetTopmost(main, false);
    CHECK_MESSAGE(!IsTopmost(main), "HWND_NOTOPMOST takes it out of the band");
    PlatformSetTopmost(other, false);
    CHECK_MESSAGE(!IsTopmost(other), "HWND_NOTOPMOST leaves an ordinary window ordinary");
    CHECK_MESSAGE(GetActiveWindow() == other, "leaving the band does not activate the window");

    // A null window handle is ignored.
    PlatformSetTopmost(nullptr, true);

    DestroyWindow(other);
    DestroyWindow(main);
}

TEST_CASE("openUrl")
{
    // Only a local address, and the script puts a stand-in browser first on PATH.
    const char *fromScript = std::getenv("BRISKO_TEST_URL");
    const std::string url = fromScript != nullptr ? fromScript : "http://127.0.0.1:9/brk/";
    PlatformOpenUrl(nullptr, url);
    MESSAGE(("ShellExecuteW handed on " + url));
}

} // namespace
