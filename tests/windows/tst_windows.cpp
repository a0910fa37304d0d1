// The Windows build's own checks: the registry store against the real registry
// (inside a throwaway Wine prefix), the rules as the Windows runtime computes
// them, and the thin Win32 wrappers. Run by scripts/wine-test.sh, which sets
// "isClose" from outside beforehand. Ends with the line "N passed, N failed".

#include "core/rules/durationtext.h"
#include "core/rules/numbertext.h"
#include "core/rules/versionrules.h"
#include "core/store/settingsstore.h"
#include "core/store/windows/registrystore.h"
#include "regtool.h"
#include "support/check.h"
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

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string &what)
{
    (ok ? passed : failed) += 1;
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
}

// Bytes as printable ASCII, so the log reads the same in any console code page.
using check::Shown;

std::string Shown(const std::wstring &text)
{
    std::string out = "L\"";
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7f && c != L'\\' && c != L'"') {
            out += static_cast<char>(c);
        } else {
            char escaped[10];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

template <typename Text>
void CheckText(const Text &actual, const Text &expected, const std::string &what)
{
    Check(actual == expected,
          what +
              (actual == expected ? "" : ": got " + Shown(actual) + ", want " + Shown(expected)));
}

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

void TestEnvironment()
{
    Check(GetACP() == 936, "the ANSI code page is 936 (got " + std::to_string(GetACP()) +
                               "; run with LANG/LC_ALL=zh_CN.UTF-8)");
    Check(dynamic_cast<RegistryStore *>(OpenMachineSettingsStore().get()) != nullptr,
          "the machine's settings store is the registry");
}

// Must run first: the script sets the value before the test starts.
void TestOutsideQuitRequest()
{
    const std::string text = Read("isClose");
    CheckText(text, std::string("1"), "\"isClose\" set by reg add reads back");
    Check(LeadingNumber(text) == 1, "\"isClose\" set by reg add reads as the number 1");
    Check(LeadingNumber(Read("ISCLOSE")) == 1, "\"isClose\" is found under any case");
}

void TestAbsentKey()
{
    RemoveMachineKey();
    Check(!KeyExists(L"SOFTWARE\\Pelmora"), "the key's parent could be removed for the test");

    CheckText(Read("Text1"), std::string(), "absent key: a read gives the empty text");
    CheckText(Read("isClose"), std::string(), "absent key: \"isClose\" reads empty");
    Check(!KeyExists(L"SOFTWARE\\Pelmora"), "absent key: reading creates neither key nor parent");

    Write("Check1", " 1");
    Check(KeyExists(kKeyW), "the first write creates the key and its parent");
    CheckText(Read("Check1"), std::string(" 1"), "the first write is read back");

    CheckText(Read("Check2"), std::string(), "absent value: a read gives the empty text");
    Check(!ReadRawW(L"Check2").present, "absent value: reading does not create it");
}

void TestRoundTrip()
{
    const char *const texts[] = {"25", "1000", " 3600", "-2", "", "  spaced  ", "12abc"};
    for (const char *text : texts) {
        Write("Text1", text);
        CheckText(Read("Text1"), std::string(text), std::string("round trip of ") + Shown(text));
    }

    Write("Top", "1000");
    const RawValue raw = ReadRawW(L"Top");
    Check(raw.type == REG_SZ, "a written value is a REG_SZ");
    CheckText(raw.text, std::wstring(L"1000", 5), "a written value ends with one NUL");
}

void TestChinese()
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
        CheckText(Read("Text1"), std::string(row.utf8),
                  "Chinese round trip of " + Shown(std::string(row.utf8)));
        const std::wstring expected = std::wstring(row.utf16) + L'\0';
        CheckText(ReadRawW(L"Text1").text, expected,
                  "Chinese stored as Unicode, seen by the wide calls: " + Shown(expected));
    }

    Write("Text1", "分钟");
    CheckText(ReadRawA("Text1"), std::string("\xB7\xD6\xD6\xD3", 5),
              "Chinese reaches ANSI readers as code page 936");

    SetRawW(L"Text1", std::wstring(L"3\u5206\u949F", 4));
    CheckText(Read("Text1"), std::string("3分钟"), "Chinese written by a Unicode program");

    // Not in code page 936: lost to '?', but nothing breaks and the number stays.
    Write("Text1", "7\xF0\x9F\x98\x80");
    Check(LeadingNumber(Read("Text1")) == 7, "a character outside code page 936 keeps the number");
    Write("Text1", "\xFF\xFE"
                   "9");
    Check(!ReadRawW(L"Text1").text.empty(), "broken UTF-8 is still stored");
}

void TestNameCase()
{
    Write("Text1", "30");
    for (const char *name : {"text1", "TEXT1", "tExT1"}) {
        CheckText(Read(name), std::string("30"), std::string("\"Text1\" read as ") + name);
    }
    Write("TEXT1", "31");
    CheckText(Read("Text1"), std::string("31"), "a write under another case replaces the value");
    Check(ValuesNamed(L"text1") == 1, "names differing in case are one value");
}

void TestOtherTypes()
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
        SetRawA("Check1", row.type, row.data);
        CheckText(Read("Check1"), std::string(), std::string(row.name) + " reads as empty");
    }
    Write("Check1", " 1");
    Check(ReadRawW(L"Check1").type == REG_SZ, "a write turns a value of another type into text");
}

void TestNulAndUnterminated()
{
    Write("Text1", std::string("12\0ab", 5));
    CheckText(Read("Text1"), std::string("12"), "the store's own text with a NUL reads to the NUL");
    CheckText(ReadRawW(L"Text1").text, std::wstring(L"12\0ab\0", 6),
              "a text with a NUL is stored whole");

    SetRawA("Text1", REG_SZ, std::string("ab\0cd\0", 6));
    CheckText(Read("Text1"), std::string("ab"), "outside data with a NUL inside");
    SetRawA("Text1", REG_SZ, std::string("\0xyz", 4));
    CheckText(Read("Text1"), std::string(), "outside data starting with a NUL");

    SetRawA("Text1", REG_SZ, "345");
    CheckText(Read("Text1"), std::string("345"), "data without a terminating NUL reads whole");
    SetRawA("Text1", REG_SZ, "\xB7\xD6\xD6\xD3");
    CheckText(Read("Text1"), std::string("分钟"), "Chinese data without a terminating NUL");
    SetRawW(L"Text1", L"67");
    CheckText(Read("Text1"), std::string("67"), "wide data without a terminating NUL");

    const std::string longText(100000, 'x');
    Write("Text1", longText);
    Check(Read("Text1") == longText, "a 100000-character text round trip");
}

// The machine-wide key sits in the 32-bit view; the user's own key and the
// old VirtualStore copy hide it value by value, and a write never goes behind
// a per-user copy. Wine runs as an administrator, so the refused machine-wide
// write of a standard user is not shown here.
void TestViewsAndPerUserPlaces()
{
    const wchar_t *const user = L"SOFTWARE\\Pelmora\\Brisko";
    const wchar_t *const virtualStore =
        L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Pelmora\\Brisko";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\VirtualStore");

    Write("Left", "1500");
    CheckText(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"Left"), std::wstring(L"1500"),
              "a write lands in the 32-bit view");
    CheckText(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_64KEY, L"Left"), std::wstring(L"<absent>"),
              "and not in the 64-bit view");

    SetAt(HKEY_CURRENT_USER, virtualStore, 0, L"Left", L"1515");
    CheckText(Read("Left"), std::string("1515"), "the old VirtualStore copy hides the machine's");
    Write("Left", "1530");
    CheckText(GetAt(HKEY_CURRENT_USER, user, 0, L"Left"), std::wstring(L"1530"),
              "a value with a per-user copy is written to the user's own key");
    CheckText(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"Left"), std::wstring(L"1500"),
              "and the machine's copy is left alone");
    CheckText(Read("Left"), std::string("1530"), "what was written last is what is read");

    SetAt(HKEY_CURRENT_USER, user, 0, L"Text1", L"\u5341");
    CheckText(Read("Text1"), std::string("十"), "the user's own value wins");
    Write("isClose", "1");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"0");
    CheckText(Read("isClose"), std::string("1"), "isClose 1 machine-wide applies to every user");
    Write("isClose", "0");
    CheckText(GetAt(HKEY_LOCAL_MACHINE, kKeyW, KEY_WOW64_32KEY, L"isClose"), std::wstring(L"0"),
              "isClose is written machine-wide");

    Check(store.DeleteValue(kRoot, kSettingsKey, "Left") == RegistryStore::DeleteResult::Deleted,
          "a value can be deleted everywhere");
    CheckText(Read("Left"), std::string(), "a deleted value reads empty");
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

void TestSettingsTool()
{
    const wchar_t *const user = L"SOFTWARE\\Pelmora\\Brisko";
    RemoveMachineKey();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
    const std::string done = "The operation completed successfully.\n";
    const std::string missing = "ERROR: The system was unable to find";

    ToolRun run = RunTool({"query"});
    Check(run.code == 1 && Has(run.err, missing), "tool: no key yet is not found, status 1");
    run = RunTool({});
    Check(run.code == 2 && Has(run.err, "say what to do: query, add or delete\nUsage:"),
          "tool: nothing to do is a usage error, status 2");
    run = RunTool({"--file", "x.reg", "query"});
    Check(run.code == 2 && Has(run.err, "in the registry"), "tool: --file has no place here");
    run = RunTool({"query", "/reg:64"});
    Check(run.code == 2 && Has(run.err, "32-bit view"), "tool: /reg:64 is refused");
    run = RunTool({"add", "/v", "Top", "/t", "REG_BINARY", "/d", "00"});
    Check(run.code == 2 && Has(run.err, "unsupported type REG_BINARY"),
          "tool: an unsupported type is a usage error");

    // A name the program keeps is made with the program's spelling.
    run = RunTool({"add", "text1", "5分钟", "/reg:32"});
    Check(run.code == 0 && run.out == done && run.err.empty(), "tool: add, " + Shown(run.err));
    CheckText(NameAsStored(L"Text1"), std::wstring(L"Text1"), "tool: text1 is made as Text1");
    CheckText(Read("Text1"), std::string("5分钟"), "tool: the program reads what the tool wrote");

    // REG_DWORD as on Linux: stored as a number, which the program reads as
    // nothing, and shown in hex.
    run = RunTool({"add", "/v", "Top", "/t", "reg_dword", "/d", "0x10", "/f"});
    Check(run.code == 0 && run.out == done, "tool: add a REG_DWORD");
    Check(ReadRawW(L"Top").type == REG_DWORD, "tool: the value is a REG_DWORD");
    CheckText(Read("Top"), std::string(), "tool: a REG_DWORD reads as empty to the program");
    run = RunTool({"add", "/v", "Left", "/t", "REG_DWORD", "/d", "4294967296"});
    Check(run.code == 2 && Has(run.err, "REG_DWORD data must be"),
          "tool: a number too big for a REG_DWORD is refused");

    run = RunTool({"query", "HKLM\\SOFTWARE\\Pelmora\\Brisko", "/v", "TEXT1"});
    CheckText(run.out,
              std::string("\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n"
                          "    Text1    REG_SZ    5分钟\n\n"),
              "tool: query names the value as stored");
    run = RunTool({"query"});
    Check(Has(run.out, "    Text1    REG_SZ    5分钟\n") &&
              Has(run.out, "    Top    REG_DWORD    0x10\n"),
          "tool: query lists values of every type: " + Shown(run.out));
    run = RunTool({"query", "Nope"});
    Check(run.code == 1 && run.out.empty() && Has(run.err, missing),
          "tool: a missing value is not found, status 1");

    // The user's own copy is written and read first; a quit request goes
    // machine-wide, past it.
    SetAt(HKEY_CURRENT_USER, user, 0, L"Check1", L" 0");
    run = RunTool({"add", "Check1", " 1"});
    Check(run.code == 0 &&
              Has(run.err, "stored for this user in HKEY_CURRENT_USER\\SOFTWARE\\Pelmora\\Brisko, "
                           "which is read before HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko"),
          "tool: a value the user holds is stored for the user, and said: " + Shown(run.err));
    CheckText(GetAt(HKEY_CURRENT_USER, user, 0, L"Check1"), std::wstring(L" 1"),
              "tool: the user's own copy took it");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"0");
    run = RunTool({"add", "isClose", "1"});
    Check(run.code == 0 && run.err.empty(), "tool: the quit request is stored machine-wide");
    CheckText(Read("isClose"), std::string("1"), "tool: and ends every user's copies");
    SetAt(HKEY_CURRENT_USER, user, 0, L"isClose", L"1");
    run = RunTool({"add", "isClose", "0"});
    Check(run.code == 0 && Has(run.err, "this user's own copy in HKEY_CURRENT_USER"),
          "tool: a machine-wide write behind the user's copy is said: " + Shown(run.err));

    run = RunTool({"delete", "/v", "Check1", "/f"});
    Check(run.code == 0 && run.out == done, "tool: delete");
    Check(!Has(RunTool({"query"}).out, "Check1"), "tool: a deleted value is gone from every key");
    run = RunTool({"delete", "Check1"});
    Check(run.code == 1 && Has(run.err, missing), "tool: deleting a missing value, status 1");

    RemoveMachineKey();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Pelmora");
}

// The Windows sources' names for the core's one conversion: exact both ways.
void TestWideText()
{
    const std::string texts[] = {"5分钟",
                                 "\xFF\xFE"
                                 "9",
                                 std::string("12\0ab", 5), "\xF0\x9F\x98\x80"};
    for (const std::string &text : texts)
        CheckText(widetext::Narrow(widetext::Widen(text)), text,
                  "Widen and Narrow of " + Shown(text));
    CheckText(widetext::Widen("5分钟"), std::wstring(L"5\u5206\u949F"), "Widen gives UTF-16");
    CheckText(widetext::Narrow(L"\xD800"), std::string("\xEF\xBF\xBD"),
              "a lone surrogate narrows to U+FFFD");
}

void TestRules()
{
    const struct {
        double seconds;
        const char *text;
    } durations[] = {
        {0, "0:00:00"}, {10, "0:00:10"}, {3661, "1:01:01"}, {9.5, "0:00:09.5"}, {-1, "-1:59:59"},
    };
    for (const auto &row : durations) {
        char label[48];
        std::snprintf(label, sizeof label, "FormatSeconds(%g)", row.seconds);
        CheckText(FormatSeconds(row.seconds), std::string(row.text), label);
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
        Check(LeadingNumber(row.text) == row.number, "LeadingNumber(" + Shown(row.text) + ")");
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
        CheckText(PlainDecimalText(row.number), std::string(row.plain),
                  std::string("PlainDecimalText ") + row.plain);
        CheckText(SignedPlaceText(row.number), std::string(row.signedPlace),
                  std::string("SignedPlaceText ") + row.plain);
    }

    CheckText(ParseVersionText("<p>newest: [V1.2.3]</p>"), std::string("v1.2.3"),
              "ParseVersionText in markup");
    CheckText(ParseVersionText("Not Found"), std::string("0"), "ParseVersionText without brackets");
    Check(LeadingNumber(ParseVersionText("[123]")) == 123, "the number of [123]");
    CheckText(FormatVersionNumber(122), std::string("V1.2.2"), "FormatVersionNumber(122)");
    CheckText(FormatVersionNumber(1234), std::string("V12.3.4"), "FormatVersionNumber(1234)");
    CheckText(FormatVersionNumber(122.5), std::string("V1.2.2.5"), "FormatVersionNumber(122.5)");
}

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void TestBeep()
{
    // The program's own tone under Wine, whose Beep returns at once; elsewhere a
    // short one, so the test never waits through seconds.
    const unsigned ms = UnderWine() ? 5000 : 100;
    const auto start = std::chrono::steady_clock::now();
    PlatformBeep(1000, ms);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    Check(true, "Beep(1000, " + std::to_string(ms) + ") returned after " +
                    std::to_string(took.count()) + " ms");
}

bool IsTopmost(HWND window)
{
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool SameRect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void TestTopmost()
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
        std::printf("skip SetWindowPos: no window could be created (error %lu)\n", GetLastError());
        return;
    }
    ShowWindow(main, SW_SHOWNOACTIVATE);
    ShowWindow(other, SW_SHOW);
    SetActiveWindow(other);
    Check(GetActiveWindow() == other, "the other window is active before the calls");

    RECT before{};
    GetWindowRect(main, &before);
    PlatformSetTopmost(main, true);
    Check(IsTopmost(main), "HWND_TOPMOST puts the window into the topmost band");
    PlatformSetTopmost(main, true);
    Check(IsTopmost(main), "repeating HWND_TOPMOST keeps it there");
    Check(GetActiveWindow() == other, "keeping on top does not activate the window");
    RECT after{};
    GetWindowRect(main, &after);
    Check(SameRect(before, after), "keeping on top neither moves nor sizes the window");

    PlatformSetTopmost(main, false);
    Check(!IsTopmost(main), "HWND_NOTOPMOST takes it out of the band");
    PlatformSetTopmost(other, false);
    Check(!IsTopmost(other), "HWND_NOTOPMOST leaves an ordinary window ordinary");
    Check(GetActiveWindow() == other, "leaving the band does not activate the window");

    PlatformSetTopmost(nullptr, true);
    Check(true, "a null window handle is ignored");

    DestroyWindow(other);
    DestroyWindow(main);
}

void TestOpenUrl()
{
    // Only a local address, and the script puts a stand-in browser first on PATH.
    const char *fromScript = std::getenv("BRISKO_TEST_URL");
    const std::string url = fromScript != nullptr ? fromScript : "http://127.0.0.1:9/brk/";
    PlatformOpenUrl(nullptr, url);
    Check(true, "ShellExecuteW handed on " + url);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    TestEnvironment();
    TestOutsideQuitRequest();
    TestAbsentKey();
    TestRoundTrip();
    TestChinese();
    TestNameCase();
    TestOtherTypes();
    TestNulAndUnterminated();
    TestViewsAndPerUserPlaces();
    TestSettingsTool();
    TestWideText();
    TestRules();
    TestBeep();
    TestTopmost();
    TestOpenUrl();

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
