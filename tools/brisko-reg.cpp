// brisko-reg: looks at and changes the settings store from the command line,
// in the manner of the Windows reg command, so that other programs and
// administrators can set a value (for example "isClose" to 1 to make every
// running copy quit) where there is no registry.

#include "core/store/filestore.h"
#include "core/text/asciicase.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace {

const char kSynopsis[] = "Usage:\n"
                         "  brisko-reg query  [KEY] [/v Name | Name]\n"
                         "  brisko-reg add    [KEY] /v Name [/t REG_SZ|REG_DWORD] [/d Data] [/f]\n"
                         "  brisko-reg add    [KEY] Name Data\n"
                         "  brisko-reg delete [KEY] /v Name [/f]\n"
                         "  brisko-reg delete [KEY] Name\n";

const char kDetails[] =
    "\n"
    "  KEY      HKLM\\SOFTWARE\\Pelmora\\Brisko (the default; HKEY_LOCAL_MACHINE\\...\n"
    "           works too). Names match without regard to case.\n"
    "  /v Name  the value's name          /t Type  REG_SZ (default) or REG_DWORD\n"
    "  /d Data  the text or number        /f       accepted; brisko-reg never asks\n"
    "\n"
    "  --file PATH  use exactly this store file\n"
    "  --dir DIR    use DIR as the machine-wide folder instead of " BRISKO_SETTINGS_DIR "\n"
    "  --help       show this text\n"
    "\n"
    "A value is read from the user's own file ($XDG_CONFIG_HOME/brisko/settings.reg)\n"
    "when that holds it, otherwise from the machine-wide file, and written where\n"
    "it is read from; a value neither file holds is written machine-wide when\n"
    "that may be written (no permission, a read-only file system or something\n"
    "other than a file at its path send it to the user's own file, and say why;\n"
    "any other failure, such as a full disk, is an error). isClose set to 1\n"
    "machine-wide applies to every user.\n"
    "Query output shows control characters as \\n, \\t, \\xHH or \\uHHHH.\n"
    "Lines of a store file that cannot be read are named on standard error.\n"
    "Exit status: 0 done, 1 value or key not found, not written (or not put on\n"
    "disk), or the output could not be written, 2 bad arguments.\n";

const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";

struct UsageError {
    std::string message;
};

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

struct Command {
    std::string verb;
    std::string key = kSettingsKey;
    std::optional<std::string> name, type, data, file, dir;
    bool help = false;
};

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
        throw UsageError{"only keys under HKLM are stored here: " + arg};
    return std::nullopt;
}

Command parse(int argc, char **argv)
{
    Command c;
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string l = AsciiLowerText(arg);
        const auto next = [&](std::optional<std::string> &into) {
            if (into)
                throw UsageError{arg + " given twice"};
            if (i + 1 >= argc)
                throw UsageError{arg + " needs a value"};
            into = argv[++i];
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
                throw UsageError{arg.substr(0, eq) + " given twice"};
            into = arg.substr(eq + 1);
        } else if (l == "/v" || l == "-v") {
            next(c.name);
        } else if (l == "/t" || l == "-t") {
            next(c.type);
        } else if (l == "/d" || l == "-d") {
            next(c.data);
        } else if (l == "/f" || l == "-f") {
            // reg asks before it overwrites or deletes unless given /f; this
            // tool is for scripts and never asks.
        } else if (looksLikeOption(arg)) {
            throw UsageError{"unknown option " + arg};
        } else {
            positional.push_back(arg);
        }
    }
    if (c.help)
        return c;
    if (positional.empty())
        throw UsageError{"say what to do: query, add or delete"};
    c.verb = AsciiLowerText(positional.front());
    positional.erase(positional.begin());
    if (c.verb != "query" && c.verb != "add" && c.verb != "delete")
        throw UsageError{"unknown operation " + c.verb + " (query, add or delete)"};
    if (!positional.empty())
        if (auto key = keyArgument(positional.front())) {
            c.key = *key;
            positional.erase(positional.begin());
        }
    if (c.file && c.dir)
        throw UsageError{"--file and --dir cannot be used together"};
    if ((c.file && c.file->empty()) || (c.dir && c.dir->empty()))
        throw UsageError{"--file and --dir need a path"};
    if (c.verb != "add" && (c.type || c.data))
        throw UsageError{"/t and /d belong to add"};

    // Short forms: the name, then (for add) the data, as plain arguments.
    std::size_t used = 0;
    const bool shortName = !c.name && used < positional.size();
    if (shortName)
        c.name = positional[used++];
    if (c.verb == "add" && !c.data && used < positional.size())
        c.data = positional[used++];
    if (used < positional.size())
        throw UsageError{"unexpected argument " + positional[used]};
    if (c.verb != "query" && !c.name)
        throw UsageError{"name the value (/v Name)"};
    if (c.verb == "add" && shortName && !c.data)
        throw UsageError{"give the data to store after the name"};
    if (c.type) {
        const std::string t = AsciiLowerText(*c.type);
        if (t != "reg_sz" && t != "reg_dword")
            throw UsageError{"unsupported type " + *c.type + " (REG_SZ or REG_DWORD)"};
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
        // The length and code point of a UTF-8 sequence; 0 when invalid.
        std::size_t len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
        if (b >= 0xF5)
            len = 0;
        char32_t cp = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
            if ((c & 0xC0) != 0x80) {
                len = 0;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (len == 0 || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
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

void printValue(const RegValue &v)
{
    std::printf("    %s    %s    %s\n", v.name.empty() ? "(Default)" : printable(v.name).c_str(),
                RegTypeName(v.type).c_str(), printable(display(v)).c_str());
}

// A store file must be a regular file (or none yet) in a folder: nothing is
// read from or made beside a device such as /dev/null.
void checkStorePath(const std::string &path)
{
    struct stat st;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    if (path.empty() || path.back() == '/' ||
        (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) ||
        (::stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)))
        throw UsageError{"not a regular file in a folder: " + path};
}

// The lines the store had to skip, named so they can be mended by hand.
void reportSkippedLines(FileStore &store)
{
    for (const auto &bad : store.SkippedLines()) {
        if (bad.tooBig) {
            std::fprintf(stderr, "brisko-reg: %s is too large to be a store and reads as empty\n",
                         printable(bad.file).c_str());
            continue;
        }
        for (const auto &line : bad.lines)
            std::fprintf(stderr, "brisko-reg: %s: line %zu cannot be read and is skipped: %s\n",
                         printable(bad.file).c_str(), line.number, printable(line.text).c_str());
        if (bad.count > bad.lines.size())
            std::fprintf(stderr, "brisko-reg: %s: %zu more lines skipped\n",
                         printable(bad.file).c_str(), bad.count - bad.lines.size());
    }
}

int run(const Command &c)
{
    const std::string machine =
        c.file ? *c.file : MachineSettingsFile(c.dir ? *c.dir : std::string(BRISKO_SETTINGS_DIR));
    // A file named on the command line must be one; a machine-wide file that
    // is not is passed over for the user's own, as one that may not be
    // written.
    if (c.file)
        checkStorePath(machine);
    FileStore store(machine, c.file ? std::string() : UserSettingsFile());
    const RegistryRoot root = RegistryRoot::LocalMachine;
    const std::string keyName = "HKEY_LOCAL_MACHINE" + (c.key.empty() ? "" : "\\" + c.key);
    reportSkippedLines(store);

    if (c.verb == "query") {
        std::vector<RegValue> values;
        if (c.name) {
            auto v = store.QueryValue(root, c.key, *c.name);
            if (!v) {
                std::fputs(kNotFound, stderr);
                return 1;
            }
            values.push_back(*v);
        } else {
            auto all = store.ListValues(root, c.key);
            if (!all) {
                std::fputs(kNotFound, stderr);
                return 1;
            }
            values = *all;
        }
        std::printf("\n%s\n", printable(keyName).c_str());
        for (const auto &v : values)
            printValue(v);
        std::printf("\n");
        return 0;
    }

    if (c.verb == "delete") {
        switch (store.DeleteValue(root, c.key, *c.name)) {
        case FileStore::DeleteResult::NotFound:
            std::fputs(kNotFound, stderr);
            return 1;
        case FileStore::DeleteResult::Failed:
            std::fprintf(stderr, "ERROR: %s\n", store.LastError().c_str());
            return 1;
        case FileStore::DeleteResult::Deleted:
            if (store.QueryValue(root, c.key, *c.name))
                std::fprintf(stderr,
                             "brisko-reg: this user's value is deleted; the one in %s, which "
                             "this user may not change, now applies\n",
                             machine.c_str());
            break;
        }
    } else {
        bool ok;
        RegValue wanted;
        if (c.type && *c.type == "REG_DWORD") {
            const auto number = parseDword(c.data.value_or(""));
            if (!number)
                throw UsageError{"REG_DWORD data must be a number from 0 to 4294967295 "
                                 "(or 0x and hex digits): " +
                                 *c.data};
            ok = store.WriteDword(root, c.key, *c.name, *number);
            wanted.type = kRegDword;
            for (int i = 0; i < 4; ++i)
                wanted.data += char((*number >> (8 * i)) & 0xFF);
        } else {
            const std::string text = c.data.value_or("");
            ok = store.WriteText(root, c.key, *c.name, text);
            wanted.type = kRegSz;
            wanted.data = TextToRegSzData(std::string_view(text).substr(0, text.find('\0')));
        }
        if (!ok) {
            std::fprintf(stderr, "ERROR: %s\n", printable(store.LastError()).c_str());
            return 1;
        }
        const std::string &used = store.LastWrittenFile();
        if (used != machine) {
            if (!store.FallbackReason().empty())
                std::fprintf(stderr, "brisko-reg: not written machine-wide: %s\n",
                             printable(store.FallbackReason()).c_str());
            std::fprintf(stderr,
                         "brisko-reg: stored for this user in %s, which is read before %s\n",
                         printable(used).c_str(), printable(machine).c_str());
        }
        // What reads find now; only the quit request can still differ.
        const auto now = store.QueryValue(root, c.key, *c.name);
        if (!now || now->type != wanted.type || now->data != wanted.data) {
            if (used == machine)
                std::fprintf(stderr,
                             "brisko-reg: this user's own copy in %s is still read first; "
                             "brisko-reg delete removes it\n",
                             printable(store.userFile()).c_str());
            else
                std::fprintf(stderr,
                             "brisko-reg: the value in %s, which this user may not change, "
                             "applies to every user\n",
                             printable(machine).c_str());
        }
    }
    // The write is on disk already; this removes the flushed copy beside it
    // (which, left, is the same file and does no harm).
    const std::string left = store.Flush();
    if (!left.empty())
        std::fprintf(stderr, "brisko-reg: %s\n", printable(left).c_str());
    std::printf("The operation completed successfully.\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const Command c = parse(argc, argv);
        int code = 0;
        if (c.help) {
            std::fputs(kSynopsis, stdout);
            std::fputs(kDetails, stdout);
        } else {
            code = run(c);
        }
        // Output that never arrived (a full disk, a closed pipe) is a failure.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "brisko-reg: cannot write the output: %s\n",
                         std::strerror(errno ? errno : EIO));
            return 1;
        }
        return code;
    } catch (const UsageError &e) {
        std::fprintf(stderr, "brisko-reg: %s\n%sTry brisko-reg --help for more.\n",
                     e.message.c_str(), kSynopsis);
        return 2;
    }
}
