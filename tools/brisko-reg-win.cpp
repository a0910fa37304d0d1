// brisko-reg for Windows: looks at and changes the program's settings the way
// the program itself reads and writes them (the 32-bit view machine-wide, the
// user's own key first), in the manner of the reg command. "brisko-reg add
// isClose 1" makes every running copy quit.

#include "core/store/registrystore.h"
#include "core/text/asciicase.h"
#include "win32/widetext.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage:\n"
    "  brisko-reg query  [KEY] [/v Name | Name]\n"
    "  brisko-reg add    [KEY] /v Name [/t REG_SZ] [/d Data] [/f]\n"
    "  brisko-reg add    [KEY] Name Data\n"
    "  brisko-reg delete [KEY] /v Name [/f]\n"
    "  brisko-reg delete [KEY] Name\n"
    "\n"
    "  KEY  HKLM\\SOFTWARE\\Pelmora\\Brisko (the default; HKEY_LOCAL_MACHINE\\... works too)\n"
    "\n"
    "A value is read from the user's own key (HKCU\\SOFTWARE\\Pelmora\\Brisko) when that\n"
    "holds it, otherwise machine-wide (the 32-bit view), and written where it is read\n"
    "from; a value nobody holds is written machine-wide when that may be written.\n"
    "isClose set to 1 machine-wide applies to every user.\n"
    "Exit status: 0 done, 1 value not found or not written, 2 bad arguments.\n";

// Text to the console as Unicode; to a file or pipe as UTF-8.
void Print(FILE *stream, const std::string &utf8)
{
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle && GetConsoleMode(handle, &mode)) {
        const std::wstring wide = widetext::Widen(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

int UsageError(const std::string &message)
{
    Print(stderr, "brisko-reg: " + message + "\n\n" + kUsage);
    return 2;
}

bool IsOurKey(const std::string &text)
{
    const std::string key = AsciiLowerText(text);
    for (const char *root : {"hklm\\", "hkey_local_machine\\"}) {
        const std::string full = std::string(root) + "software\\pelmora\\brisko";
        if (key == full || key == full + "\\")
            return true;
    }
    return false;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(widetext::Narrow(argv[i]));
    if (args.empty() || args[0] == "--help" || args[0] == "/?" || args[0] == "-h") {
        Print(stdout, kUsage);
        return args.empty() ? 2 : 0;
    }
    const std::string command = AsciiLowerText(args[0]);
    std::optional<std::string> name;
    std::optional<std::string> data;
    std::vector<std::string> plain;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string option = AsciiLowerText(args[i]);
        const bool hasNext = i + 1 < args.size();
        if (option == "/v" && hasNext) {
            name = args[++i];
        } else if (option == "/d" && hasNext) {
            data = args[++i];
        } else if (option == "/t" && hasNext) {
            if (AsciiLowerText(args[++i]) != "reg_sz")
                return UsageError("only REG_SZ values are kept");
        } else if (option == "/f" || option == "/reg:32") {
        } else if (!option.empty() && option[0] == '/') {
            return UsageError("unknown option " + args[i]);
        } else {
            plain.push_back(args[i]);
        }
    }
    if (!plain.empty() && IsOurKey(plain.front()))
        plain.erase(plain.begin());
    else if (!plain.empty() && AsciiLowerText(plain.front()).starts_with("hk"))
        return UsageError("only HKLM\\SOFTWARE\\Pelmora\\Brisko is the program's key");
    if (!name && !plain.empty()) {
        name = plain.front();
        plain.erase(plain.begin());
    }
    if (!data && !plain.empty() && command == "add") {
        data = plain.front();
        plain.erase(plain.begin());
    }
    if (!plain.empty())
        return UsageError("unexpected argument " + plain.front());

    RegistryStore store;
    const RegistryRoot root = RegistryRoot::LocalMachine;
    if (command == "query") {
        if (name) {
            const auto text = store.QueryText(root, kSettingsKey, *name);
            if (!text) {
                Print(stderr, "ERROR: The system was unable to find the specified registry key "
                              "or value.\n");
                return 1;
            }
            // Named as stored, whatever case was asked for, as reg query does.
            std::string stored = *name;
            for (const auto &value : store.ListValues(root, kSettingsKey))
                if (AsciiLowerText(value.first) == AsciiLowerText(*name))
                    stored = value.first;
            Print(stdout, "    " + stored + "    REG_SZ    " + *text + "\n");
            return 0;
        }
        Print(stdout, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n");
        for (const auto &[valueName, text] : store.ListValues(root, kSettingsKey))
            Print(stdout, "    " + valueName + "    REG_SZ    " + text + "\n");
        return 0;
    }
    if (command == "add") {
        if (!name)
            return UsageError("add needs a value name");
        if (!store.WriteText(root, kSettingsKey, *name, data.value_or(std::string()))) {
            Print(stderr, "ERROR: the value could not be written.\n");
            return 1;
        }
        Print(stdout, "The operation completed successfully.\n");
        return 0;
    }
    if (command == "delete") {
        if (!name)
            return UsageError("delete needs a value name");
        if (!store.QueryText(root, kSettingsKey, *name)) {
            Print(stderr, "ERROR: The system was unable to find the specified registry key or "
                          "value.\n");
            return 1;
        }
        if (!store.DeleteValue(root, kSettingsKey, *name)) {
            Print(stderr, "ERROR: the value could not be deleted everywhere.\n");
            return 1;
        }
        Print(stdout, "The operation completed successfully.\n");
        return 0;
    }
    return UsageError("unknown command " + args[0]);
}
