// The settings tool run as a real process: its arguments, output and exit
// codes, and the per-user file an ordinary user's writes go to.

#include "core/store/posix/filestore.h"
#include "scratchfiles.h"
#include "support/testing.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr auto kRoot = RegistryRoot::LocalMachine;
constexpr uid_t kNobody = 65534;

struct Result {
    int code = -1;
    std::string out, err;
};

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Whether this process may become another user (root in most containers).
bool canDropPrivileges()
{
    if (::geteuid() != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0
                    ? 0
                    : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What else a run of the tool may have: variables for its environment, and a
// limit on the size of the files it writes.
struct Extra {
    std::vector<std::string> env;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

// A machine-wide store holding three values, and the tool to run on it.
class Tool {
public:
    Tool()
        : machineDir(tmp.file("machine")), configDir(tmp.file("config")),
          machineFile(MachineSettingsFile(machineDir))
    {
        FileStore store(machineFile, "");
        CHECK(store.WriteText(kRoot, kSettingsKey, "Text1", "5"));
        CHECK(store.WriteText(kRoot, kSettingsKey, "Check2", " 1"));
        CHECK(store.WriteDword(kRoot, kSettingsKey, "isClose", 1));
    }

    // Runs brisko-reg on the store ("@dir" and "@file" stand for the
    // machine-wide folder and another file), with standard output going to
    // stdoutFile when one is given.
    Result run(std::vector<std::string> args, bool asNobody = false,
               const std::string &stdoutFile = "", Extra extra = {})
    {
        bool chosen = false;
        for (auto &arg : args) {
            chosen = chosen || arg.rfind("--file", 0) == 0 || arg.rfind("--dir", 0) == 0;
            for (const auto &[mark, path] :
                 {std::pair<std::string, std::string>{"@dir", machineDir},
                  {"@file", tmp.file("other.reg")}})
                if (const auto at = arg.find(mark); at != std::string::npos)
                    arg.replace(at, mark.size(), path);
        }
        if (!chosen)
            args.insert(args.begin(), {"--dir", machineDir});

        const std::string outPath = stdoutFile.empty() ? tmp.file("stdout") : stdoutFile;
        const std::string errPath = tmp.file("stderr");
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        Result r;
        if (out < 0 || err < 0)
            return r;
        std::vector<char *> argv{const_cast<char *>(BRISKO_REG_TOOL)};
        for (auto &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string xdg = "XDG_CONFIG_HOME=" + configDir, home = "HOME=" + tmp.file("home");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::putenv(const_cast<char *>(xdg.c_str()));
            ::putenv(const_cast<char *>(home.c_str()));
            for (auto &variable : extra.env)
                ::putenv(variable.data());
            if (extra.fileSizeLimit != RLIM_INFINITY) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{extra.fileSizeLimit, extra.fileSizeLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (asNobody &&
                (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                ::_exit(126);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out);
        ::close(err);
        int status = 0;
        while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        r.code = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (stdoutFile.empty())
            r.out = ReadFile(outPath);
        r.err = ReadFile(errPath);
        return r;
    }

    ScratchDir tmp;
    const std::string machineDir, configDir, machineFile;
};

} // namespace

TEST_CASE("arguments")
{
    const std::string key = "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n";
    const std::string done = "The operation completed successfully.\n";
    const std::string missing = "ERROR: The system was unable to find";
    const std::string none;
    const struct {
        const char *name;
        std::vector<std::string> args;
        int code;
        std::string out; // found in standard output
        std::string err; // found in standard error; none means it is empty
        // Then: "Name=text" reads so, "Name:REG_DWORD" has that type, "Name!" is absent.
        std::string after;
    } rows[] = {
        // What it refuses.
        {"help", {"--help"}, 0, "brisko-reg query", none, none},
        {"nothing to do", {}, 2, none, "say what to do: query, add or delete\nUsage:", none},
        {"unknown operation", {"list"}, 2, none, "unknown operation list", none},
        {"unknown option", {"add", "X", "1", "/z"}, 2, none, "unknown option /z", "X!"},
        {"add without a name", {"add"}, 2, none, "name the value", none},
        {"short add without data", {"add", "Top"}, 2, none, "give the data", "Top!"},
        {"/v without a name", {"query", "/v"}, 2, none, "/v needs a value", none},
        {"unsupported type",
         {"add", "/v", "X", "/t", "REG_BINARY", "/d", "00"},
         2,
         none,
         "unsupported type REG_BINARY",
         "X!"},
        {"dword not a number",
         {"add", "/v", "X", "/t", "REG_DWORD", "/d", "12a"},
         2,
         none,
         "REG_DWORD data must be",
         "X!"},
        {"dword too big",
         {"add", "/v", "X", "/t", "REG_DWORD", "/d", "4294967296"},
         2,
         none,
         "REG_DWORD data must be",
         "X!"},
        {"one name too many", {"query", "Text1", "Top"}, 2, none, "unexpected argument Top", none},
        {"another root", {"query", "HKCU\\Software\\X"}, 2, none, "only keys under HKLM", none},
        {"--file and --dir",
         {"--file", "@file", "--dir", "@dir", "query"},
         2,
         none,
         "cannot be used together",
         none},
        {"/d with query", {"query", "/d", "x"}, 2, none, "/t and /d belong to add", none},
        {"the 64-bit view", {"query", "/reg:64"}, 2, none, "kept in the 32-bit view", none},

        // Queries.
        {"query one", {"query", "text1"}, 0, key + "    Text1    REG_SZ    5\n\n", none, none},
        {"query with key and /v",
         {"query", "HKLM\\SOFTWARE\\Pelmora\\Brisko", "/v", "TEXT1"},
         0,
         key + "    Text1    REG_SZ    5\n\n",
         none,
         none},
        {"long root name, upper case",
         {"QUERY", "HKEY_LOCAL_MACHINE\\Software\\Pelmora\\Brisko", "/V", "check2"},
         0,
         "    Check2    REG_SZ     1\n",
         none,
         none},
        {"the 32-bit view, as reg writes it",
         {"query", "/reg:32", "text1"},
         0,
         key + "    Text1    REG_SZ    5\n\n",
         none,
         none},
        {"query all",
         {"query"},
         0,
         key + "    Text1    REG_SZ    5\n    Check2    REG_SZ     1\n"
               "    isClose    REG_DWORD    0x1\n\n",
         none,
         none},
        {"query missing", {"query", "Nope"}, 1, none, missing, none},
        {"query missing key", {"query", "HKLM\\SOFTWARE\\Other"}, 1, none, missing, none},

        // Changes.
        {"add short", {"add", "isClose", "1"}, 0, done, none, "isClose=1"},
        {"add as reg does",
         {"add", "HKLM\\SOFTWARE\\Pelmora\\Brisko", "/v", "Text1", "/t", "REG_SZ", "/d", "25分钟",
          "/f"},
         0,
         done,
         none,
         "Text1=25分钟"},
        {"add negative number", {"add", "Top", "-100"}, 0, done, none, "Top=-100"},
        {"add without /d", {"add", "/v", "Empty"}, 0, done, none, "Empty="},
        {"add dword",
         {"add", "/v", "Top", "/t", "reg_dword", "/d", "0x10"},
         0,
         done,
         none,
         "Top:REG_DWORD"},
        {"add after --", {"add", "--", "/x", "-y"}, 0, done, none, "/x=-y"},
        {"delete short", {"delete", "TEXT1"}, 0, done, none, "Text1!"},
        {"delete /v /f", {"delete", "/v", "isClose", "/f"}, 0, done, none, "isClose!"},
        {"delete missing", {"delete", "Nope"}, 1, none, missing, none},
    };
    for (const auto &row : rows) {
        Tool tool;
        const Result r = tool.run(row.args);
        INFO(row.name);
        CAPTURE(r.out);
        CAPTURE(r.err);
        CHECK_EQ(r.code, row.code);
        CHECK(Contains(r.out, row.out));
        CHECK(Contains(r.err, row.err));
        if (row.err.empty())
            CHECK_EQ(r.err, "");

        if (row.after.empty())
            continue;
        FileStore store(tool.machineFile, "");
        const std::string &after = row.after;
        if (after.back() == '!') {
            CHECK(!store.QueryValue(kRoot, kSettingsKey, after.substr(0, after.size() - 1)));
        } else if (const auto colon = after.find(':'); colon != std::string::npos) {
            const auto v = store.QueryValue(kRoot, kSettingsKey, after.substr(0, colon));
            REQUIRE(v.has_value());
            CHECK_EQ(RegTypeName(v->type), after.substr(colon + 1));
        } else {
            const auto eq = after.find('=');
            CHECK_EQ(store.ReadSetting(kRoot, kSettingsKey, after.substr(0, eq)),
                     after.substr(eq + 1));
        }
    }
}

// A value the program keeps is made with the program's spelling of its name,
// as the program itself would make it; any other name, or a value already
// there, keeps its own.
TEST_CASE("newValuesSpelledAsTheProgramSpellsThem")
{
    Tool tool;
    CHECK_EQ(tool.run({"add", "top", "300"}).code, 0);
    CHECK_EQ(tool.run({"add", "ISCLOSE", "0"}).code, 0);
    CHECK_EQ(tool.run({"add", "sOMEtHING", "1"}).code, 0);
    CHECK_EQ(tool.run({"add", "HKLM\\SOFTWARE\\Other", "left", "1"}).code, 0);
    CHECK_EQ(tool.run({"query"}).out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n"
                                      "    Text1    REG_SZ    5\n"
                                      "    Check2    REG_SZ     1\n"
                                      "    isClose    REG_SZ    0\n"
                                      "    Top    REG_SZ    300\n"
                                      "    sOMEtHING    REG_SZ    1\n\n");
    CHECK(Contains(tool.run({"query", "HKLM\\SOFTWARE\\Other"}).out, "    left    REG_SZ    1\n"));
}

TEST_CASE("fileOptionUsesThatFileAlone")
{
    Tool tool;
    const std::string machine = ReadFile(tool.machineFile);
    CHECK_EQ(tool.run({"--file", "@file", "add", "Left", "300"}).code, 0);
    CHECK_EQ(tool.run({"--file=@file", "query", "left"}).out,
             "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko\n"
             "    Left    REG_SZ    300\n\n");
    CHECK_EQ(tool.run({"--file", "@file", "query", "Text1"}).code, 1);
    // The write was synced before the tool ended: no copy is left beside it.
    CHECK(Exists(tool.tmp.file("other.reg")));
    CHECK(!Exists(tool.tmp.file("other.reg.flushed")));
    CHECK_EQ(ReadFile(tool.machineFile), machine);
    CHECK(!Exists(tool.configDir));
}

TEST_CASE("outputCannotFakeValuesOrFailSilently")
{
    // Control characters and bytes that are not UTF-8 show as escapes, so a
    // value cannot print as another value's line; the store keeps it exact.
    Tool tool;
    const std::string sneaky = "5\n    isClose    REG_SZ    1\x1b[2J\xff 分\xc2\x9b\xe2\x80\xae";
    FileStore store(tool.machineFile, "");
    CHECK(store.WriteText(kRoot, kSettingsKey, "Text1", sneaky));
    Result r = tool.run({"query"});
    CHECK_EQ(r.code, 0);
    CHECK(Contains(r.out, "    Text1    REG_SZ    5\\n    isClose    REG_SZ    1\\x1B[2J\\xFF "
                          "分\\u009B\\u202E\n"));
    CHECK_EQ(Count(r.out, "\n"), 6); // blank, key, three values, blank
    CHECK_EQ(store.ReadSetting(kRoot, kSettingsKey, "Text1"), sneaky);

    // Output that cannot be written is an error.
    r = tool.run({"query"}, false, "/dev/full");
    CHECK_EQ(r.code, 1);
    CHECK(Contains(r.err, "cannot write the output"));
    r = tool.run({"--help"}, false, "/dev/full");
    CHECK_EQ(r.code, 1);

    // A store that is not a regular file in a folder is refused, and nothing
    // is made beside it.
    const bool lockThere = Exists("/dev/null.lock");
    for (const std::string &notAStore : {std::string("/dev/null"), tool.machineDir,
                                         tool.machineDir + "/", tool.machineFile + "/x.reg"}) {
        r = tool.run({"--file", notAStore, "add", "X", "1"});
        CHECK_EQ(r.code, 2);
        CHECK(Contains(r.err, "not a regular file in a folder"));
    }
    CHECK_EQ(Exists("/dev/null.lock"), lockThere);
}

TEST_CASE("skippedLinesNamed")
{
    Tool tool;
    CHECK(WriteFile(tool.machineFile, "Windows Registry Editor Version 5.00\n\n"
                                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko]\n"
                                      "\"Text1\"=\"25\"\n"
                                      "\"Top\"=12\x1b\n"
                                      "\"Left\"=\"3000\"\n"));
    Result r = tool.run({"query"});
    CHECK_EQ(r.code, 0);
    CHECK(Contains(r.out, "    Text1    REG_SZ    25\n    Left    REG_SZ    3000\n"));
    CHECK_EQ(r.err, "brisko-reg: " + tool.machineFile +
                        ": line 5 cannot be read and is skipped: \"Top\"=12\\x1B\n");

    // The first write keeps the readable values and sets the original aside.
    CHECK_EQ(tool.run({"add", "Check1", " 1"}).code, 0);
    r = tool.run({"query"});
    CHECK_EQ(r.err, "");
    CHECK(Contains(r.out, "    Text1    REG_SZ    25\n    Left    REG_SZ    3000\n"
                          "    Check1    REG_SZ     1\n"));
    CHECK_EQ(Entries(tool.machineDir, "settings.reg.corrupt-").size(), 1u);
}

// A user who may not write the machine-wide file gets a file of their own,
// which their reads take first; the machine-wide values still show through.
TEST_CASE("ordinaryUserGetsOwnFile")
{
    Tool tool;
    const bool asNobody = canDropPrivileges();
    if (asNobody) {
        // Let nobody through the scratch folder and into its own config.
        CHECK(::chmod(tool.tmp.path().c_str(), 0755) == 0);
        CHECK(::mkdir(tool.configDir.c_str(), 0755) == 0);
        CHECK(::chown(tool.configDir.c_str(), kNobody, kNobody) == 0);
    } else if (::geteuid() == 0) {
        MESSAGE("skipped: running as root without the right to become another user");
        return;
    } else {
        CHECK(::chmod(tool.machineDir.c_str(), 0555) == 0);
    }
    const std::string machine = ReadFile(tool.machineFile);

    Result r = tool.run({"add", "Text1", "7"}, asNobody);
    CHECK_EQ(r.code, 0);
    CHECK(Contains(r.err, "for this user"));
    CHECK_EQ(ReadFile(tool.machineFile), machine);
    const std::string userFile = tool.configDir + "/brisko/settings.reg";
    struct stat st;
    REQUIRE(::stat(userFile.c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 07777, 0600u);
    if (asNobody)
        CHECK_EQ(st.st_uid, kNobody);
    CHECK_EQ(ModeOf(tool.configDir + "/brisko"), 0700u);

    CHECK(Contains(tool.run({"query", "Text1"}, asNobody).out, "    Text1    REG_SZ    7\n"));
    CHECK(Contains(tool.run({"query", "isClose"}, asNobody).out,
                   "    isClose    REG_DWORD    0x1\n"));

    // Deleting the user's copy lets the machine-wide value show again; a
    // machine-wide value cannot be deleted by this user.
    r = tool.run({"delete", "Text1"}, asNobody);
    CHECK_EQ(r.code, 0);
    CHECK(Contains(r.err, "now applies"));
    CHECK(Contains(tool.run({"query", "Text1"}, asNobody).out, "    Text1    REG_SZ    5\n"));
    r = tool.run({"delete", "isClose"}, asNobody);
    CHECK_EQ(r.code, 1);
    CHECK(Contains(r.err, "Permission denied"));
    CHECK_EQ(ReadFile(tool.machineFile), machine);
}

// Something other than a file where the machine-wide file belongs: the value
// goes to the user's own file, as when the machine-wide one may not be
// written, so that a quit request still reaches this user's copies.
TEST_CASE("notAFileAtMachinePathFallsBack")
{
    const struct {
        const char *kind;
        int (*plant)(const char *);
    } rows[] = {
        {"a folder", [](const char *p) { return ::mkdir(p, 0755); }},
        {"a FIFO", [](const char *p) { return ::mkfifo(p, 0644); }},
        {"a symlink", [](const char *p) { return ::symlink("/etc/hostname", p); }},
    };
    for (const auto &row : rows) {
        Tool tool;
        CHECK(::unlink(tool.machineFile.c_str()) == 0);
        CHECK_EQ(row.plant(tool.machineFile.c_str()), 0);
        Result r = tool.run({"add", "isClose", "1"});
        INFO(row.kind);
        CAPTURE(r.err);
        CHECK_EQ(r.code, 0);
        CHECK(Contains(r.err, std::string(row.kind) + " stands there"));
        CHECK(Contains(r.err, "for this user"));
        CHECK(Contains(tool.run({"query", "isClose"}).out, "    isClose    REG_SZ    1\n"));
        CHECK(Exists(tool.configDir + "/brisko/settings.reg"));
    }
}

// A machine-wide write that fails for any reason but permission is an error:
// nothing is written to the user's own file instead, where no other user's
// copy would see it.
TEST_CASE("failedWriteIsAnError")
{
    const std::string asan = std::string("ASAN_OPTIONS=") +
                             (std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "") +
                             ":verify_asan_link_order=0";
    const std::string preload = "LD_PRELOAD=" FAILSYNC_MODULE;
    const struct {
        const char *name;
        Extra extra;
        std::string err;
    } rows[] = {
        {"a file's sync fails",
         {{preload, "BRISKO_TEST_FAIL_SYNC=data", asan}},
         "put it on disk: Input/output error"},
        {"the folder's sync fails",
         {{preload, "BRISKO_TEST_FAIL_SYNC=folder", asan}},
         "cannot put its folder on disk: Input/output error"},
        {"the disk is full", {{}, 2000}, "File too large"},
    };
    for (const auto &row : rows) {
        Tool tool;
        // (The limit applies to the tool's standard error as well: the value
        // alone passes it.)
        Result r = tool.run({"add", "isClose", std::string(2500, '0')}, false, "", row.extra);
        INFO(row.name);
        CAPTURE(r.out);
        CAPTURE(r.err);
        CHECK_EQ(r.code, 1);
        CHECK(Contains(r.err, "ERROR: " + tool.machineFile));
        CHECK(Contains(r.err, row.err));
        CHECK(!Contains(r.out, "completed successfully"));
        CHECK(!Exists(tool.configDir));
        // Once the disk works again, so does the tool.
        CHECK_EQ(tool.run({"add", "isClose", "0"}).code, 0);
        CHECK(Contains(tool.run({"query", "isClose"}).out, "    isClose    REG_SZ    0\n"));
    }
}
