#include "regtool.h"

#include "core/design/storedvalues.h"
#include "core/store/placerules.h"
#include "core/text/asciicase.h"
#include "core/text/utf16.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

const char kSynopsis[] = "Usage:\n"
                         "  brisko-reg query  [KEY] [/v Name | Name]\n"
                         "  brisko-reg add    [KEY] /v Name [/t REG_SZ|REG_DWORD] [/d Data] [/f]\n"
                         "  brisko-reg add    [KEY] Name Data\n"
                         "  brisko-reg delete [KEY] /v Name [/f]\n"
                         "  brisko-reg delete [KEY] Name\n";

const char kOptions[] =
    "\n"
    "  KEY      HKLM\\SOFTWARE\\Pelmora\\Brisko (the default; HKEY_LOCAL_MACHINE\\...\n"
    "           works too). Names match without regard to case.\n"
    "  /v Name  the value's name          /t Type  REG_SZ (default) or REG_DWORD\n"
    "  /d Data  the text or number        /f       accepted; brisko-reg never asks\n"
    "  /reg:32  accepted: the settings are kept in the 32-bit view\n"
    "  --help   show this text\n";

const char kExitStatus[] =
    "Query output shows control characters as \\n, \\t, \\xHH or \\uHHHH.\n"
    "Exit status: 0 done, 1 value or key not found, not written (or not put on\n"
    "disk), or the output could not be written, 2 bad arguments.\n";

const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

const char kDone[] = "The operation completed successfully.\n";

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "/x", "-xy" or "--word": meant as an option, so an unknown one is an error
// rather than a value name. "-5" or "/usr/x" are not.
bool looksLikeOption(const std::string &arg)
{
    if (arg.rfind("--", 0) == 0)
        return arg.size() > 2;
    if (arg.size() < 2 || arg.size() > 3 || (arg[0] != '/' && arg[0] != '-'))
        return false;
    for (std::size_t i = 1; i < arg.size(); ++i)
        if (!isLetter(arg[i]) && arg[i] != '?')
            return false;
    return true;
}

// The key argument: HKLM\... or HKEY_LOCAL_MACHINE\..., or nothing.
std::optional<std::string> keyArgument(const std::string &arg)
{
    const std::string l = AsciiLowerText(arg);
    for (const char *root : {"hklm", "hkey_local_machine"}) {
        const std::string r = root;
        if (l == r)
            return std::string();
        if (l.rfind(r + "\\", 0) == 0)
            return arg.substr(r.size() + 1);
    }
    if (l.rfind("hk", 0) == 0 && l.find('\\') != std::string::npos)
        throw RegToolUsageError{"only keys under HKLM are stored here: " + arg};
    return std::nullopt;
}

RegCommand parse(const std::vector<std::string> &args, const RegToolBackEnd &backEnd)
{
    RegCommand c;
    c.key = kSettingsKey;
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const std::string l = AsciiLowerText(arg);
        const auto next = [&](std::optional<std::string> &into) {
            if (into)
                throw RegToolUsageError{arg + " given twice"};
            if (i + 1 >= args.size())
                throw RegToolUsageError{arg + " needs a value"};
            into = args[++i];
        };
        if (optionsEnd) {
            positional.push_back(arg);
        } else if (l == "--") {
            optionsEnd = true;
        } else if (l == "--help" || l == "-h" || l == "/?" || l == "-?") {
            c.help = true;
        } else if (l == "--file") {
            next(c.file);
        } else if (l == "--dir") {
            next(c.dir);
        } else if (l.rfind("--file=", 0) == 0 || l.rfind("--dir=", 0) == 0) {
            const std::size_t eq = arg.find('=');
            auto &into = l[2] == 'f' ? c.file : c.dir;
            if (into)
                throw RegToolUsageError{arg.substr(0, eq) + " given twice"};
            into = arg.substr(eq + 1);
        } else if (l == "/v" || l == "-v") {
            next(c.name);
        } else if (l == "/t" || l == "-t") {
            next(c.type);
        } else if (l == "/d" || l == "-d") {
            next(c.data);
        } else if (l == "/f" || l == "-f" || l == "/reg:32") {
            // reg asks before it overwrites or deletes unless given /f; this
            // tool is for scripts and never asks. The program's key is always
            // in the 32-bit view.
        } else if (l == "/reg:64") {
            throw RegToolUsageError{"the settings are kept in the 32-bit view (/reg:32)"};
        } else if (looksLikeOption(arg)) {
            throw RegToolUsageError{"unknown option " + arg};
        } else {
            positional.push_back(arg);
        }
    }
    if (c.help)
        return c;
    if (positional.empty())
        throw RegToolUsageError{"say what to do: query, add or delete"};
    c.verb = AsciiLowerText(positional.front());
    positional.erase(positional.begin());
    if (c.verb != "query" && c.verb != "add" && c.verb != "delete")
        throw RegToolUsageError{"unknown operation " + c.verb + " (query, add or delete)"};
    if (!positional.empty())
        if (auto key = keyArgument(positional.front())) {
            c.key = *key;
            positional.erase(positional.begin());
        }
    if ((c.file || c.dir) && !backEnd.storeFiles)
        throw RegToolUsageError{"--file and --dir name a settings file; here the settings are "
                                "in the registry"};
    if (c.file && c.dir)
        throw RegToolUsageError{"--file and --dir cannot be used together"};
    if ((c.file && c.file->empty()) || (c.dir && c.dir->empty()))
        throw RegToolUsageError{"--file and --dir need a path"};
    if (c.verb != "add" && (c.type || c.data))
        throw RegToolUsageError{"/t and /d belong to add"};

    // Short forms: the name, then (for add) the data, as plain arguments.
    std::size_t used = 0;
    const bool shortName = !c.name && used < positional.size();
    if (shortName)
        c.name = positional[used++];
    if (c.verb == "add" && !c.data && used < positional.size())
        c.data = positional[used++];
    if (used < positional.size())
        throw RegToolUsageError{"unexpected argument " + positional[used]};
    if (c.verb != "query" && !c.name)
        throw RegToolUsageError{"name the value (/v Name)"};
    if (c.verb == "add" && shortName && !c.data)
        throw RegToolUsageError{"give the data to store after the name"};
    if (c.type) {
        const std::string t = AsciiLowerText(*c.type);
        if (t != "reg_sz" && t != "reg_dword")
            throw RegToolUsageError{"unsupported type " + *c.type + " (REG_SZ or REG_DWORD)"};
        c.type = t == "reg_sz" ? "REG_SZ" : "REG_DWORD";
    }
    return c;
}

std::optional<std::uint32_t> parseDword(const std::string &s)
{
    if (s.empty())
        return 0;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const std::string digits = hex ? s.substr(2) : s;
    if (digits.empty() || digits.size() > 10)
        return std::nullopt;
    unsigned long long v = 0;
    for (char ch : digits) {
        int d = -1;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (hex && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (hex && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        if (d < 0)
            return std::nullopt;
        v = v * (hex ? 16 : 10) + unsigned(d);
    }
    if (v > 0xFFFFFFFFull)
        return std::nullopt;
    return std::uint32_t(v);
}

// Text for the terminal: what could move the cursor, end a line or change how
// the text shows (control characters, bidirectional overrides, bytes that
// are not UTF-8) is written as an escape, so a value cannot fake a line.
std::string printable(std::string_view s)
{
    std::string out;
    char buf[16];
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= 0x20 && b < 0x7F) {
            out += char(b);
            ++i;
            continue;
        }
        if (b == '\n' || b == '\r' || b == '\t') {
            out += b == '\n' ? "\\n" : b == '\r' ? "\\r" : "\\t";
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = b < 0x80 ? 0 : DecodeUtf8(s, i, cp);
        if (len == 0) {
            std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(b));
            out += buf;
            ++i;
            continue;
        }
        const bool hidden = cp < 0xA0 || cp == 0x2028 || cp == 0x2029 ||
                            (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
        if (hidden) {
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(cp));
            out += buf;
        } else {
            out.append(s.substr(i, len));
        }
        i += len;
    }
    return out;
}

// The data as reg shows it.
std::string display(const RegValue &v)
{
    char buf[32];
    switch (v.type) {
    case 1: // REG_SZ
    case 2: // REG_EXPAND_SZ
        return RegSzDataToText(v.data);
    case 7: { // REG_MULTI_SZ: the strings, each ending in a NUL
        std::string out;
        std::size_t start = 0;
        for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
            if (v.data[i] != '\0' || v.data[i + 1] != '\0')
                continue;
            if (i == start)
                break;
            if (!out.empty())
                out += "\\0";
            out += RegSzDataToText(v.data.substr(start, i - start));
            start = i + 2;
        }
        return out;
    }
    case 4:
    case 11:
        if (v.data.size() == (v.type == 4 ? 4u : 8u)) {
            unsigned long long n = 0;
            for (std::size_t i = v.data.size(); i-- > 0;)
                n = (n << 8) | static_cast<unsigned char>(v.data[i]);
            std::snprintf(buf, sizeof buf, "0x%llx", n);
            return buf;
        }
        [[fallthrough]];
    default: {
        std::string out;
        for (unsigned char b : v.data) {
            std::snprintf(buf, sizeof buf, "%02X", unsigned(b));
            out += buf;
        }
        return out;
    }
    }
}

std::string valueLine(const RegValue &v)
{
    return "    " + (v.name.empty() ? std::string("(Default)") : printable(v.name)) + "    " +
           RegTypeName(v.type) + "    " + printable(display(v)) + "\n";
}

// The lines the store had to skip, named so they can be mended by hand.
void reportSkippedLines(ValueStore &store, std::string &err)
{
    for (const auto &bad : store.SkippedLines()) {
        const std::string file = printable(bad.file);
        if (bad.tooBig) {
            err += "brisko-reg: " + file + " is too large to be a store and reads as empty\n";
            continue;
        }
        for (const auto &line : bad.lines)
            err += "brisko-reg: " + file + ": line " + std::to_string(line.number) +
                   " cannot be read and is skipped: " + printable(line.text) + "\n";
        if (bad.count > bad.lines.size())
            err += "brisko-reg: " + file + ": " + std::to_string(bad.count - bad.lines.size()) +
                   " more lines skipped\n";
    }
}

// A value the program keeps is made with the program's spelling of its name
// ("text1" becomes "Text1"); one that exists keeps the spelling it has.
std::string nameToWrite(ValueStore &store, const RegCommand &c)
{
    constexpr auto root = RegistryRoot::LocalMachine;
    const StoredValue *known = StoredValueNamed(*c.name);
    if (!known || FullKeyPath(root, c.key) != FullKeyPath(root, kSettingsKey) ||
        store.QueryValue(root, c.key, *c.name))
        return *c.name;
    return std::string(known->name);
}

int run(const RegCommand &c, ValueStore &store, RegToolOutput &output)
{
    const RegistryRoot root = RegistryRoot::LocalMachine;
    const std::string keyName = "HKEY_LOCAL_MACHINE" + (c.key.empty() ? "" : "\\" + c.key);
    const std::string machine = store.PlaceName(ValueStore::Place::Machine, root, c.key);
    const std::string user = store.PlaceName(ValueStore::Place::User, root, c.key);
    std::string &err = output.err;
    reportSkippedLines(store, err);

    if (c.verb == "query") {
        std::vector<RegValue> values;
        if (c.name) {
            auto v = store.QueryValue(root, c.key, *c.name);
            if (!v) {
                err += kNotFound;
                return 1;
            }
            values.push_back(*v);
        } else {
            auto all = store.ListValues(root, c.key);
            if (!all) {
                err += kNotFound;
                return 1;
            }
            values = *all;
        }
        output.out += "\n" + printable(keyName) + "\n";
        for (const auto &v : values)
            output.out += valueLine(v);
        output.out += "\n";
        return 0;
    }

    if (c.verb == "delete") {
        switch (store.DeleteValue(root, c.key, *c.name)) {
        case ValueStore::DeleteResult::NotFound:
            err += kNotFound;
            return 1;
        case ValueStore::DeleteResult::Failed:
            err += "ERROR: " + printable(store.LastError()) + "\n";
            return 1;
        case ValueStore::DeleteResult::Deleted:
            if (store.QueryValue(root, c.key, *c.name))
                err += "brisko-reg: this user's value is deleted; the one in " +
                       printable(machine) + ", which this user may not change, now applies\n";
            break;
        }
    } else {
        RegValue wanted{nameToWrite(store, c), kRegSz, {}};
        const std::string data = c.data.value_or("");
        if (c.type && *c.type == "REG_DWORD") {
            const auto number = parseDword(data);
            if (!number)
                throw RegToolUsageError{"REG_DWORD data must be a number from 0 to 4294967295 "
                                        "(or 0x and hex digits): " +
                                        data};
            wanted.type = kRegDword;
            wanted.data = RegDwordData(*number);
        } else {
            wanted.data = TextToRegSzData(std::string_view(data).substr(0, data.find('\0')));
        }
        if (!store.WriteValue(root, c.key, wanted)) {
            err += "ERROR: " + printable(store.LastError()) + "\n";
            return 1;
        }
        const bool machineWide = store.LastWrittenPlace() == ValueStore::Place::Machine;
        if (!machineWide) {
            if (!store.FallbackReason().empty())
                err +=
                    "brisko-reg: not written machine-wide: " + printable(store.FallbackReason()) +
                    "\n";
            err += "brisko-reg: stored for this user in " + printable(user) +
                   ", which is read before " + printable(machine) + "\n";
        }
        // What reads find now; only the quit request can still differ.
        const auto now = store.QueryValue(root, c.key, wanted.name);
        if (!now || now->type != wanted.type || now->data != wanted.data) {
            if (machineWide)
                err += "brisko-reg: this user's own copy in " + printable(user) +
                       " is still read first; brisko-reg delete removes it\n";
            else
                err += "brisko-reg: the value in " + printable(machine) +
                       ", which this user may not change, applies to every user\n";
        }
    }
    // The write is on disk already; this removes the flushed copy beside a
    // settings file (which, left, is the same file and does no harm).
    const std::string left = store.Flush();
    if (!left.empty())
        err += "brisko-reg: " + printable(left) + "\n";
    output.out += kDone;
    return 0;
}

} // namespace

int RunRegTool(const std::vector<std::string> &args, const RegToolBackEnd &backEnd,
               RegToolOutput &output)
{
    try {
        const RegCommand c = parse(args, backEnd);
        if (c.help) {
            output.out += std::string(kSynopsis) + kOptions + backEnd.options + "\n" +
                          backEnd.whereValuesLive + kExitStatus;
            return 0;
        }
        const std::unique_ptr<ValueStore> store = backEnd.open(c);
        return run(c, *store, output);
    } catch (const RegToolUsageError &e) {
        output.err +=
            "brisko-reg: " + e.message + "\n" + kSynopsis + "Try brisko-reg --help for more.\n";
        return 2;
    }
}

std::string CannotWriteOutput(const std::string &why)
{
    return "brisko-reg: cannot write the output: " + why + "\n";
}
