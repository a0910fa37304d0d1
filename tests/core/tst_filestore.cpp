// The file store on a real disk: the two files, where reads and writes go,
// the lock and its short wait, pending writes, the kept parse, and files
// left by people, other copies and writers that died.

#include "core/store/posix/filestore.h"
#include "core/store/posix/lockedfile.h"
#include "core/text/asciicase.h"
#include "core/text/utf16.h"
#include "regfilecases.h"
#include "scratchfiles.h"
#include "support/lockholder.h"
#include "support/testing.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <time.h>

namespace {

constexpr auto kRoot = RegistryRoot::LocalMachine;
const std::string kKey = kSettingsKey;
const std::string &kHead = kRegHead;

// What a read gives.
std::string R(FileStore &store, const std::string &name, const std::string &key = kKey)
{
    return store.ReadSetting(kRoot, key, name);
}

} // namespace

using testsupport::LockHolder;
using testsupport::WaitExit;

TEST_CASE("readsFileText")
{
    for (const RegFileCase &row : RegFileCases()) {
        INFO(row.name);
        ScratchDir dir;
        const std::string file = dir.file("settings.reg");
        CHECK(WriteFile(file, row.file));
        FileStore store(file, "");
        CHECK_EQ(R(store, "X"), row.x);
        CHECK_EQ(ReadFile(file), row.file); // reading changes nothing
    }
}

TEST_CASE("textsRoundTrip")
{
    for (const auto &[name, text] : RegTextCases()) {
        INFO(name);
        ScratchDir dir;
        const std::string path = dir.file("settings.reg");
        {
            FileStore store(path, "");
            CHECK(store.WriteText(kRoot, kKey, "Text1", text));
            store.WriteSetting(kRoot, kKey, "After", "next"); // the line after is intact
        }
        FileStore store(path, "");
        CHECK_EQ(R(store, "Text1"), text);
        CHECK_EQ(R(store, "After"), "next");
        // The file stays UTF-8 text with one line per value and its check
        // line, and writing what was read gives the same text again.
        const std::string file = ReadFile(path);
        CHECK(IsValidUtf8(file));
        CHECK_EQ(Count(file, "\n"), 7);
        CHECK(HasValidCheckLine(file));
        const std::string again = FormatRegText(ParseRegText(file).doc);
        CHECK_EQ(again + CheckLineFor(again), file);
    }
}

TEST_CASE("namesIgnoreCase")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    FileStore store(path, "");
    store.WriteSetting(kRoot, kKey, "Text1", "7");
    store.WriteSetting(kRoot, "software\\PELMORA\\brisko", "TEXT1", "8");
    CHECK_EQ(R(store, "text1"), "8");
    CHECK_EQ(R(store, "tExT1", "SOFTWARE\\Pelmora\\Brisko\\"), "8");

    // One key, one value, in the spelling it was first written with.
    const std::string file = ReadFile(path);
    CHECK_EQ(Count(file, "[HKEY"), 1);
    CHECK_EQ(Count(AsciiLowerText(file), "\"text1\""), 1);
    CHECK(file.find("\"Text1\"=\"8\"") != std::string::npos);

    store.WriteSetting(kRoot, kKey, std::string("Nul\0Name", 8), "x");
    CHECK_EQ(R(store, "nul"), "x");
}

TEST_CASE("nonStringTypes")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    FileStore store(path, "");
    CHECK(store.WriteDword(kRoot, kKey, "isClose", 1));
    CHECK_EQ(R(store, "isClose"), "");
    CHECK(ReadFile(path).find("\"isClose\"=dword:00000001\n") != std::string::npos);
    const auto v = store.QueryValue(kRoot, kKey, "ISCLOSE");
    REQUIRE(v.has_value());
    CHECK_EQ(v->type, kRegDword);
    CHECK_EQ(RegTypeName(v->type), "REG_DWORD");

    // A string written over it replaces it, type and all.
    store.WriteSetting(kRoot, kKey, "isclose", "1");
    CHECK_EQ(R(store, "isClose"), "1");

    // A NUL ends the text, as in the registry.
    store.WriteSetting(kRoot, kKey, "Text1", std::string("12\0 34", 6));
    CHECK_EQ(R(store, "Text1"), "12");
}

TEST_CASE("writeKeepsEverythingElse")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    CHECK(
        WriteFile(path, kRegHeadLine + "[HKEY_CURRENT_USER\\Other]\n\"A\"=\"a\"\n\n" + kRegKeyLine +
                            "\"Bin\"=hex:00,ff\n\"Exp\"=hex(2):25,00,00,00\n\"Q\"=hex(b):01,00,00,"
                            "00,00,00,00,00\n@=\"default\"\n"));
    FileStore store(path, "");
    store.WriteSetting(kRoot, kKey, "Top", "1000");
    const std::string file = ReadFile(path);
    for (const char *kept :
         {"[HKEY_CURRENT_USER\\Other]\n\"A\"=\"a\"\n", "\"Bin\"=hex:00,ff\n",
          "\"Exp\"=hex(2):25,00,00,00\n", "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n",
          "@=\"default\"\n", "\"Top\"=\"1000\"\n"}) {
        INFO(kept);
        CHECK(file.find(kept) != std::string::npos);
    }
    CHECK_EQ(ModeOf(path), 0644u);
}

TEST_CASE("absentReadsEmptyAndCreatesNothing")
{
    ScratchDir dir;
    const std::string missing = dir.file("no/such/folder/settings.reg");
    FileStore store(missing, dir.file("user/settings.reg"));
    CHECK_EQ(R(store, "Text1"), "");
    CHECK(!store.QueryValue(kRoot, kKey, "Text1"));
    CHECK(!store.ListValues(kRoot, kKey));
    CHECK(store.DeleteValue(kRoot, kKey, "Text1") == FileStore::DeleteResult::NotFound);
    CHECK_EQ(Entries(dir.path()), std::vector<std::string>{});

    // The first write makes the folders; another key is still absent.
    store.WriteSetting(kRoot, kKey, "Text1", "5");
    CHECK(Exists(missing));
    CHECK_EQ(R(store, "Text1", "SOFTWARE\\Pelmora"), "");
    CHECK(store.ListValues(kRoot, kKey).has_value());
    CHECK(store.ReadSetting(RegistryRoot(0x1234), kKey, "Text1").empty());
}

TEST_CASE("badLinesSkippedOriginalSetAsideOnce")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string typed = kHead + "\"Text1\"=\"25\"\n\"Top\"=12\n\"Check1\"=\" 1\"\n";
    CHECK(WriteFile(path, typed));
    FileStore store(path, "");
    CHECK_EQ(R(store, "Text1"), "25");
    CHECK_EQ(R(store, "Check1"), " 1");
    const auto bad = store.SkippedLines();
    REQUIRE_EQ(bad.size(), 1u);
    CHECK_EQ(bad[0].count, 1u);
    CHECK_EQ(bad[0].lines.at(0).number, 5u);
    CHECK_EQ(bad[0].lines[0].text, "\"Top\"=12");
    CHECK_EQ(ReadFile(path), typed);

    // The first rewrite keeps every readable value and sets the original
    // aside; later ones have nothing more to set aside.
    store.WriteSetting(kRoot, kKey, "Check2", " 1");
    store.WriteSetting(kRoot, kKey, "Check2", " 0");
    CHECK_EQ(R(store, "Text1"), "25");
    CHECK_EQ(R(store, "Check2"), " 0");
    CHECK(store.SkippedLines().empty());
    auto aside = Entries(dir.path(), "settings.reg.corrupt-");
    REQUIRE_EQ(aside.size(), 1u);
    CHECK_EQ(ReadFile(dir.file(aside[0])), typed);

    // Another bad file within the same second: both originals are kept.
    CHECK(WriteFile(path, "garbage"));
    store.WriteSetting(kRoot, kKey, "Check2", " 1");
    aside = Entries(dir.path(), "settings.reg.corrupt-");
    CHECK_EQ(aside.size(), 2u);
    std::set<std::string> kept;
    for (const auto &name : aside)
        kept.insert(ReadFile(dir.file(name)));
    CHECK(kept == (std::set<std::string>{typed, "garbage"}));
}

TEST_CASE("symlinkNotFollowed")
{
    const struct {
        const char *planted; // where the symlink stands
        bool writes;         // whether a one-file store can still write
    } rows[] = {
        {"settings.reg", false},
        {"settings.reg.lock", false},
        {"settings.reg.tmp", true},
    };
    for (const auto &row : rows) {
        INFO(row.planted);
        ScratchDir dir;
        const std::string path = dir.file("settings.reg");
        const std::string target = dir.file("target");
        const std::string secret = kHead + "\"Text1\"=\"secret\"\n";
        CHECK(WriteFile(target, secret));
        CHECK(::symlink(target.c_str(), dir.file(row.planted).c_str()) == 0);

        FileStore single(path, "");
        if (std::string(row.planted) == "settings.reg")
            CHECK_EQ(R(single, "Text1"), "");
        CHECK_EQ(single.WriteText(kRoot, kKey, "Text1", "9"), row.writes);
        CHECK_EQ(ReadFile(target), secret);

        // With a per-user file, a machine-wide file that cannot be used sends
        // the write there instead.
        const std::string user = dir.file("user/settings.reg");
        FileStore redirected(path, user);
        CHECK(redirected.WriteText(kRoot, kKey, "Text1", "10"));
        CHECK_EQ(R(redirected, "Text1"), "10");
        CHECK_EQ(ReadFile(target), secret);
        CHECK_EQ(Exists(user), !row.writes);
    }
}

TEST_CASE("deniedMachineFileRedirectsToUser")
{
    // A folder under a plain file can never be created, whoever we are.
    ScratchDir dir;
    CHECK(WriteFile(dir.file("plain"), "x"));
    const std::string machine = dir.file("plain/settings.reg");
    const std::string user = dir.file("config/brisko/settings.reg");
    FileStore store(machine, user);
    CHECK(store.WriteText(kRoot, kKey, "Text1", "30"));
    CHECK_EQ(store.LastWrittenFile(), user);
    CHECK_EQ(R(store, "Text1"), "30");
    CHECK_EQ(ModeOf(user), 0600u);
    CHECK_EQ(ModeOf(dir.file("config/brisko")), 0700u);

    // Reads take the user's value first, then the machine-wide one.
    const std::string shared = dir.file("shared.reg");
    CHECK(WriteFile(shared, kHead + "\"Text1\"=\"machine\"\n\"isClose\"=\"1\"\n"));
    FileStore both(shared, user);
    CHECK_EQ(R(both, "Text1"), "30");
    CHECK_EQ(R(both, "isClose"), "1");
    const auto all = both.ListValues(kRoot, kKey);
    REQUIRE(all.has_value());
    CHECK_EQ(all->size(), 2u);
}

TEST_CASE("valuesNeverGoBackwards")
{
    // The machine-wide folder cannot be made at first: a plain file stands
    // where it belongs.
    ScratchDir dir;
    const std::string machineDir = dir.file("machine");
    CHECK(WriteFile(machineDir, "x"));
    const std::string machine = machineDir + "/settings.reg";
    const std::string user = dir.file("user/settings.reg");
    {
        FileStore program(machine, user);
        program.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 50"}});
        CHECK_EQ(program.LastWrittenFile(), user);
    }

    // Later the folder may be written (an administrator opened it up).
    CHECK(::unlink(machineDir.c_str()) == 0);
    CHECK(::mkdir(machineDir.c_str(), 0755) == 0);
    FileStore program(machine, user);
    CHECK_EQ(R(program, "js00"), " 50");
    program.WriteSettings(kRoot, kKey, {{"Left", "3015"}, {"js00", " 51"}});
    program.WriteSetting(kRoot, kKey, "Check1", " 1"); // in neither file yet
    CHECK_EQ(program.PendingWrites(), 0u);
    FileStore nextStart(machine, user);
    CHECK_EQ(R(nextStart, "js00"), " 51");
    CHECK_EQ(R(nextStart, "Left"), "3015");
    CHECK_EQ(R(nextStart, "Check1"), " 1");
    CHECK(ReadFile(machine).find("\"Check1\"=\" 1\"") != std::string::npos);

    // An administrator's value shows for a user with none of their own.
    FileStore admin(machine, "");
    CHECK(admin.WriteText(kRoot, kKey, "Text1", "9"));
    CHECK_EQ(R(nextStart, "Text1"), "9");

    // A machine-wide isClose of 1 ends every copy, whatever the user's own
    // file holds; below it, the user's own value applies.
    FileStore own(user, "");
    CHECK(own.WriteText(kRoot, kKey, "isClose", "0"));
    CHECK_EQ(R(nextStart, "isClose"), "0");
    CHECK(admin.WriteText(kRoot, kKey, "isClose", "1"));
    CHECK_EQ(R(nextStart, "isClose"), "1");
    const auto all = nextStart.ListValues(kRoot, kKey);
    REQUIRE(all.has_value());
    CHECK_EQ(std::count_if(all->begin(), all->end(),
                           [](const RegValue &v) {
                               return v.name == "isClose" && RegSzDataToText(v.data) == "1";
                           }),
             1);
    CHECK(admin.WriteText(kRoot, kKey, "isClose", "0"));
    CHECK(own.WriteText(kRoot, kKey, "isClose", "1"));
    CHECK_EQ(R(nextStart, "isClose"), "1");

    // The quit request is written machine-wide even by a process whose own
    // file holds it (an administrator's brisko-reg).
    CHECK(nextStart.WriteText(kRoot, kKey, "isClose", "1"));
    CHECK_EQ(nextStart.LastWrittenFile(), machine);
}

TEST_CASE("pendingValueYieldsToALaterWrite")
{
    // The user ticks a box while another program holds the lock; brisko-reg
    // then sets the box's value and waits. Whoever gets the lock first, the
    // later write stands, as between two writers of the registry.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    FileStore program(path, "");
    program.WriteSettings(kRoot, kKey, {{"js00", " 1"}});
    auto holder = std::make_unique<LockHolder>(path + ".lock");
    program.WriteSetting(kRoot, kKey, "Check2", " 1");
    CHECK_EQ(program.PendingWrites(), 1u);
    const pid_t tool = ::fork();
    REQUIRE(tool >= 0);
    if (tool == 0) {
        FileStore later(path, "");
        ::_exit(later.WriteText(kRoot, kKey, "Check2", " 0") ? 0 : 1);
    }
    const timespec pause{0, 100'000'000};
    ::nanosleep(&pause, nullptr);
    holder.reset();
    CHECK_EQ(WaitExit(tool), 0);
    program.WriteSettings(kRoot, kKey, {{"js00", " 2"}});
    CHECK_EQ(program.PendingWrites(), 0u);
    CHECK_EQ(R(program, "Check2"), " 0");
    FileStore reader(path, "");
    CHECK_EQ(R(reader, "Check2"), " 0");
    CHECK_EQ(R(reader, "js00"), " 2");

    // A value made after that write lands over it, waiting or not.
    holder = std::make_unique<LockHolder>(path + ".lock");
    program.WriteSetting(kRoot, kKey, "Check2", " 1");
    holder.reset();
    program.WriteSettings(kRoot, kKey, {{"js00", " 3"}});
    CHECK_EQ(R(reader, "Check2"), " 1");

    // So does a newer text of a value still waiting, made after another
    // writer changed it.
    holder = std::make_unique<LockHolder>(path + ".lock");
    program.WriteSetting(kRoot, kKey, "Text1", "10");
    holder.reset();
    CHECK(reader.WriteText(kRoot, kKey, "Text1", "20"));
    holder = std::make_unique<LockHolder>(path + ".lock");
    program.WriteSetting(kRoot, kKey, "Text1", "30");
    holder.reset();
    program.WriteSettings(kRoot, kKey, {{"js00", " 4"}});
    CHECK_EQ(R(reader, "Text1"), "30");
}

TEST_CASE("endWaitsForTheLock")
{
    // At the end a value waiting for another writer's lock is stored once the
    // lock is free, within a few seconds (the end-to-end test of the program
    // sees what it says when the lock stays held).
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };
    {
        FileStore program(path, "");
        program.WriteSettings(kRoot, kKey, {{"js00", " 1"}});
        auto holder = std::make_unique<LockHolder>(path + ".lock");
        program.WriteSetting(kRoot, kKey, "Check2", " 1");
        program.WriteSettings(kRoot, kKey, {{"js00", " 2"}});
        CHECK_EQ(program.PendingWrites(), 2u);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1200));
            holder.reset();
        });
        const auto start = Clock::now();
        CHECK_EQ(program.Flush(), "");
        release.join();
        CHECK(seconds(start) >= 1.1);
        CHECK_EQ(program.PendingWrites(), 0u);
    }
    FileStore reader(path, "");
    CHECK_EQ(R(reader, "Check2"), " 1");
    CHECK_EQ(R(reader, "js00"), " 2");
    CHECK_EQ(Entries(dir.path()), (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

TEST_CASE("staleCopyNeverBringsOldValuesBack")
{
    // A copy of the program that did not end cleanly leaves the synced copy
    // beside a newer file. The file is what counts: the next run's first
    // write syncs it and makes it the copy.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string copy = path + ".flushed";
    const auto killedRun = [&](int total) {
        FileStore killed(path, "");
        killed.SetFileSystemCheck([](const std::string &) { return true; });
        killed.WriteSetting(kRoot, kKey, "Text1", "25");
        for (int n = total - 5; n <= total; ++n)
            killed.WriteSettings(kRoot, kKey, {{"js00", " " + std::to_string(n)}});
        CHECK(ReadFile(copy) != ReadFile(path));
    }; // no Flush: as after SIGKILL
    killedRun(105);
    {
        FileStore next(path, "");
        next.SetFileSystemCheck([](const std::string &) { return true; });
        CHECK_EQ(R(next, "js00"), " 105");
        next.WriteSettings(kRoot, kKey, {{"js00", " 106"}});
        CHECK_EQ(next.Syncs(), 1u);
        CHECK_EQ(ReadFile(copy), ReadFile(path));
        next.WriteSettings(kRoot, kKey, {{"js00", " 107"}});
        CHECK_EQ(next.Syncs(), 1u); // one a run
    }

    // Removed by hand: the new file is made synced and becomes the copy.
    killedRun(155);
    CHECK(::unlink(path.c_str()) == 0);
    {
        FileStore next(path, "");
        next.SetFileSystemCheck([](const std::string &) { return true; });
        next.WriteSettings(kRoot, kKey, {{"js00", " 1"}});
        CHECK_EQ(next.Syncs(), 1u);
        CHECK_EQ(ReadFile(copy), ReadFile(path));
    }

    // Emptied by hand once the copy is stale: nothing old comes back, not at
    // the next start and not after its first write either.
    killedRun(205);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    CHECK(WriteFile(path, ""));
    FileStore next(path, "");
    next.SetFileSystemCheck([](const std::string &) { return true; });
    CHECK_EQ(R(next, "Text1"), "");
    CHECK_EQ(R(next, "js00"), "");
    next.WriteSettings(kRoot, kKey, {{"Left", "3000"}});
    CHECK_EQ(ReadFile(copy), ReadFile(path));
    FileStore later(path, "");
    CHECK_EQ(R(later, "Text1"), "");
    CHECK_EQ(R(later, "Left"), "3000");
}

TEST_CASE("unorderedFileSystemSyncsEveryWrite")
{
    // Where a file system may bring back a file at its new length over stale
    // blocks, or is not known, no write is left unsynced.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    std::vector<std::string> asked;
    FileStore store(path, "");
    store.SetFileSystemCheck([&](const std::string &folder) {
        asked.push_back(folder);
        return false;
    });
    for (int n = 1; n <= 5; ++n)
        store.WriteSettings(kRoot, kKey, {{"js00", " " + std::to_string(n)}});
    CHECK_EQ(store.Syncs(), 5u);
    CHECK(asked == std::vector<std::string>{dir.path()}); // once a file
    CHECK_EQ(ReadFile(path + ".flushed"), ReadFile(path));

    // The rule, from mountinfo's type and options and ext4's full list.
    const std::string ordered = "rw\nbsddf\ndelalloc\nauto_da_alloc\ndata=ordered\n";
    const struct {
        const char *type, *super;
        std::string ext4;
        bool whole;
    } rows[] = {
        {"xfs", "rw,inode64,logbufs=8", "", true},
        {"btrfs", "rw,space_cache=v2", "", true},
        {"tmpfs", "rw,size=64k", "", true},
        {"ext4", "rw", ordered, true},
        {"ext4", "rw,data=writeback", ordered, false},
        {"ext4", "rw,nodelalloc", ordered, false},
        {"ext4", "rw,noauto_da_alloc", ordered, false},
        // Set as the superblock's default: only the full list shows it.
        {"ext4", "rw", "rw\nnodelalloc\nauto_da_alloc\ndata=ordered\n", false},
        {"ext4", "rw", "rw\ndelalloc\nauto_da_alloc\ndata=writeback\n", false},
        {"ext4", "rw", "rw\ndelalloc\nauto_da_alloc\ndata=journal\n", false},
        {"ext4", "rw", "rw\ndelalloc\nauto_da_alloc\n", false}, // no journal
        {"ext4", "rw", "", false},                              // options unknown
        {"ext3", "rw", ordered, true},
        {"nfs4", "rw,vers=4.2", "", false},
        {"fuse.sshfs", "rw", "", false},
        {"overlay", "rw,lowerdir=/a", "", false},
        {"f2fs", "rw", "", false},
    };
    for (const auto &row : rows) {
        INFO(row.type);
        INFO(row.super);
        CAPTURE(row.ext4);
        CHECK_EQ(lockedfile::KeepsUnsyncedReplacesWhole(row.type, row.super, row.ext4), row.whole);
    }
    // And on this machine: a folder on tmpfs is known, a missing one is not.
    struct statfs fs;
    CHECK(::statfs(dir.path().c_str(), &fs) == 0);
    if (fs.f_type == TMPFS_MAGIC)
        CHECK(lockedfile::KeepsUnsyncedReplacesWhole(dir.path()));
    CHECK(!lockedfile::KeepsUnsyncedReplacesWhole(dir.file("missing")));
}

TEST_CASE("heldLockNeitherWaitsNorLoses")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    FileStore store(path, "");
    store.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 1"}});
    LockHolder holder(path + ".lock");
    REQUIRE(holder.held());

    using Clock = std::chrono::steady_clock;
    Clock::duration slowest{};
    const auto timed = [&](const std::function<void()> &write) {
        const auto start = Clock::now();
        write();
        slowest = std::max(slowest, Clock::now() - start);
    };
    timed([&] { store.WriteSetting(kRoot, kKey, "Left", "3000"); }); // unchanged: no lock
    CHECK_EQ(store.PendingWrites(), 0u);
    timed([&] { store.WriteSetting(kRoot, kKey, "Text1", "25"); }); // the user's change
    for (int tick = 2; tick <= 4; ++tick)
        timed([&] {
            store.WriteSettings(
                kRoot, kKey,
                {{"Left", std::to_string(3000 + 15 * tick)}, {"js00", " " + std::to_string(tick)}});
        });
    const auto slowestMs = std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count();
    CHECK(slowestMs < 100);
    CHECK_EQ(store.PendingWrites(), 3u); // Text1 and the newest Left and js00
    CHECK_EQ(R(store, "Text1"), "25");
    CHECK(ReadFile(path).find("Text1") == std::string::npos);

    // Once the lock is free, the next write lands everything still pending.
    holder.release();
    store.WriteSettings(kRoot, kKey, {{"Left", "3060"}, {"js00", " 5"}});
    CHECK_EQ(store.PendingWrites(), 0u);
    FileStore other(path, "");
    CHECK_EQ(R(other, "Text1"), "25");
    CHECK_EQ(R(other, "Left"), "3060");
    CHECK_EQ(R(other, "js00"), " 5");
}

TEST_CASE("housekeepingSyncsOnceAMinute")
{
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    {
        FileStore first(path, "");
        first.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 0"}});
        CHECK_EQ(first.Syncs(), 1u); // a new file is made synced
        first.Flush();
    }
    long long now = 5'000'000;
    FileStore store(path, "");
    store.SetClock([&] { return now; });
    store.SetFileSystemCheck([](const std::string &) { return true; });
    FileStore other(path, "");
    const auto tick = [&](int n) {
        store.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " " + std::to_string(n)}});
        now += 1000;
    };

    // Ten ticks: every value seen at once, none synced; the file as it was
    // is kept as the synced copy.
    for (int n = 1; n <= 10; ++n) {
        tick(n);
        CHECK_EQ(R(other, "js00"), " " + std::to_string(n));
    }
    CHECK_EQ(store.Syncs(), 0u);
    CHECK(ReadFile(path + ".flushed").find("\" 0\"") != std::string::npos);
    CHECK_EQ(Entries(dir.path()), (std::vector<std::string>{"settings.reg", "settings.reg.flushed",
                                                            "settings.reg.lock"}));

    // A value the user set is synced at once and becomes the copy.
    store.WriteSetting(kRoot, kKey, "Text1", "25");
    store.WriteSetting(kRoot, kKey, "Text1", "25"); // unchanged: nothing written
    CHECK_EQ(store.Syncs(), 1u);
    CHECK_EQ(ReadFile(path + ".flushed"), ReadFile(path));

    // 61 seconds of ticks: one sync, a minute after the last.
    for (int n = 11; n <= 71; ++n)
        tick(n);
    CHECK_EQ(store.Syncs(), 2u);
    CHECK(ReadFile(path + ".flushed").find("\" 71\"") != std::string::npos);
    tick(72);
    CHECK_EQ(store.Syncs(), 2u);

    // Ending syncs what is left and removes the copy; then nothing is left.
    store.Flush();
    CHECK_EQ(store.Syncs(), 3u);
    CHECK_EQ(Entries(dir.path()), (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
    store.Flush();
    CHECK_EQ(store.Syncs(), 3u);
    FileStore next(path, "");
    CHECK_EQ(R(next, "js00"), " 72");
    CHECK_EQ(R(next, "Text1"), "25");

    // A user's value waiting for the lock is synced when it lands.
    {
        LockHolder holder(path + ".lock");
        store.WriteSetting(kRoot, kKey, "Check1", " 1");
    }
    tick(73);
    CHECK_EQ(store.PendingWrites(), 0u);
    CHECK_EQ(store.Syncs(), 4u);
}

TEST_CASE("powerCutLeavesTheSyncedText")
{
    // A cut after an unsynced replace may leave the file empty, as long as it
    // was with zeros in it, short, or holding other files' old blocks; its
    // values then come from the synced copy.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const auto cutAfterTicks = [&] {
        for (const auto &name : Entries(dir.path()))
            CHECK(::unlink(dir.file(name).c_str()) == 0);
        FileStore before(path, "");
        before.SetFileSystemCheck([](const std::string &) { return true; });
        before.WriteSetting(kRoot, kKey, "Text1", "25");
        before.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " 9"}});
        CHECK_EQ(before.Syncs(), 1u);
        CHECK(ReadFile(path).find("\" 9\"") != std::string::npos);
    };
    const std::string elf = "\x7f"
                            "ELF\x02\x01\n\x01\x02\n";
    for (const std::string &left :
         {std::string(), std::string(300, '\0'), elf, kHead + "\"Text1\"=\"25\"\n\"Le"}) {
        CAPTURE(left);
        cutAfterTicks();
        CHECK(WriteFile(path, left));
        FileStore after(path, "");
        CHECK_EQ(R(after, "Text1"), "25");
        CHECK_EQ(R(after, "js00"), ""); // the unsynced value is what goes
        after.WriteSettings(kRoot, kKey, {{"Left", "3015"}, {"js00", " 10"}});
        FileStore next(path, "");
        CHECK_EQ(R(next, "Text1"), "25");
        CHECK_EQ(R(next, "js00"), " 10");
        // What was left of the text is kept aside, unless it held nothing.
        const bool blank = left.find_first_not_of('\0') == std::string::npos;
        CHECK_EQ(Entries(dir.path(), "settings.reg.corrupt-").size(), blank ? 0u : 1u);
    }

    // A whole text, as its check line shows, is taken as it stands, with or
    // without values.
    cutAfterTicks();
    CHECK(WriteFile(path, kHead + CheckLineFor(kHead)));
    FileStore emptied(path, "");
    CHECK_EQ(R(emptied, "Text1"), "");
    const std::string edited = kHead + "\"Text1\"=\"7\"\n";
    CHECK(WriteFile(path, edited + CheckLineFor(edited)));
    FileStore another(path, "");
    CHECK_EQ(R(another, "Text1"), "7");
}

TEST_CASE("bigStoreKeepsTheMinuteAndTornTextIsKnown")
{
    // A store of several pages: the housekeeping values still wait for the
    // minute's sync, and a text torn at any page is not believed.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string minutes(20000, '7');
    long long now = 1'000'000;
    FileStore store(path, "");
    store.SetClock([&] { return now; });
    store.SetFileSystemCheck([](const std::string &) { return true; });
    store.WriteSetting(kRoot, kKey, "Text1", minutes); // a new file is made synced
    for (int n = 1; n <= 10; ++n, now += 1000)
        store.WriteSettings(kRoot, kKey, {{"Left", "3000"}, {"js00", " " + std::to_string(n)}});
    CHECK_EQ(store.Syncs(), 1u);
    CHECK(ReadFile(path).size() > 4 * 4096);
    {
        FileStore whole(path, "");
        CHECK_EQ(R(whole, "js00"), " 10");
    }

    const std::string text = ReadFile(path);
    const struct {
        const char *name;
        std::string left;
    } cuts[] = {
        {"cut at a page", text.substr(0, 8192)},
        {"a page of zeros", text.substr(0, 4096) + std::string(4096, '\0') + text.substr(8192)},
        {"the last page missing", text.substr(0, text.size() / 4096 * 4096)},
        {"all zeros", std::string(text.size(), '\0')},
    };
    for (const auto &cut : cuts) {
        INFO(cut.name);
        CHECK(WriteFile(path, cut.left));
        FileStore after(path, "");
        CHECK_EQ(R(after, "Text1"), minutes);
        CHECK_EQ(R(after, "js00"), ""); // never written synced
        CHECK_EQ(R(after, "Left"), "");
    }
}

TEST_CASE("temporaryNamesNeverJam")
{
    // Whatever stands at a name a temporary file could have is left alone,
    // and writes go on.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    CHECK(::mkdir(dir.file("settings.reg.tmp").c_str(), 0700) == 0);
    CHECK(::mkdir(dir.file("settings.reg.tmp-AAAAAA").c_str(), 0700) == 0);
    FileStore store(path, "");
    for (int i = 0; i < 3; ++i)
        CHECK(store.WriteText(kRoot, kKey, "Left", std::to_string(i)));
    CHECK_EQ(R(store, "Left"), "2");
    store.Flush();
    CHECK_EQ(Entries(dir.path()),
             (std::vector<std::string>{"settings.reg", "settings.reg.lock", "settings.reg.tmp",
                                       "settings.reg.tmp-AAAAAA"}));

    // The temporary file of a writer that died goes with the next write.
    CHECK(WriteFile(dir.file("settings.reg.tmp-Zz0123"), "half a store"));
    CHECK(store.WriteText(kRoot, kKey, "Left", "3"));
    CHECK(!Exists(dir.file("settings.reg.tmp-Zz0123")));
}

TEST_CASE("failedMachineWriteIsNotSentElsewhere")
{
    // A machine-wide write that fails for another reason than permission
    // (here a write past the file size limit, as on a full disk) is a
    // failure: the program keeps the value pending and writes it once it can,
    // brisko-reg is told; nothing goes to the user's own file, which other
    // users' copies never read.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string user = dir.file("user/settings.reg");
    {
        FileStore machine(path, "");
        CHECK(machine.WriteText(kRoot, kKey, "Pad", std::string(4000, 'p')));
    }
    const std::string before = ReadFile(path);
    const pid_t pid = ::fork();
    REQUIRE(pid >= 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{3000, limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
        FileStore store(path, user);
        int fault = 0;
        store.WriteSetting(kRoot, kKey, "Text1", "25");
        store.WriteSettings(kRoot, kKey, {{"js00", " 7"}});
        fault |= store.PendingWrites() == 2 ? 0 : 1;
        fault |= store.ReadSetting(kRoot, kKey, "Text1") == "25" ? 0 : 2;
        fault |= !store.WriteText(kRoot, kKey, "isClose", "1") &&
                         store.LastError().find("File too large") != std::string::npos
                     ? 0
                     : 4;
        fault |= Exists(user) ? 8 : 0;
        // Room again: the next write lands what waited.
        ::setrlimit(RLIMIT_FSIZE, &limit);
        store.WriteSettings(kRoot, kKey, {{"js00", " 8"}});
        fault |= store.PendingWrites() == 0 && store.LastWrittenFile() == path ? 0 : 16;
        ::_exit(fault);
    }
    CHECK_EQ(WaitExit(pid), 0);
    CHECK(!Exists(user));
    FileStore store(path, user);
    CHECK_EQ(R(store, "Text1"), "25");
    CHECK_EQ(R(store, "js00"), " 8");
    CHECK_EQ(R(store, "isClose"), "");
    CHECK(ReadFile(path) != before);
    CHECK_EQ(Entries(dir.path(), "settings.reg.tmp"), std::vector<std::string>{});

    // One whose rewrite would pass the store's size limit can never be
    // written: refused, and not kept waiting either.
    {
        FileStore machine(path, "");
        CHECK(machine.WriteText(kRoot, kKey, "Pad", std::string((16 << 20) - 300, 'p')));
    }
    store.WriteSetting(kRoot, kKey, "Check2", std::string(400, '1'));
    CHECK_EQ(store.PendingWrites(), 0u);
    CHECK(!store.WriteText(kRoot, kKey, "Check2", std::string(400, '1')));
    CHECK(store.LastError().find("too large") != std::string::npos);
    CHECK_EQ(R(store, "Check2"), "");
    CHECK(!Exists(user));
}

TEST_CASE("fileTooBigToWriteBackIsNotTaken")
{
    // Under the size limit as it stands, over it as it would be written back
    // (each one-digit byte comes back as two digits): such a file is never
    // taken as good, and the first write sets it aside.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    std::string big = kHead + "\"X\"=\"1\"\n\"Big\"=hex:";
    for (int i = 0; i < 5'800'000; ++i)
        big += "1,";
    big += "1\n";
    CHECK(big.size() < (16u << 20));
    CHECK(WriteFile(path, big));
    FileStore store(path, "");
    CHECK_EQ(R(store, "X"), "");
    const auto bad = store.SkippedLines();
    REQUIRE_EQ(bad.size(), 1u);
    CHECK(bad[0].tooBig);

    store.WriteSetting(kRoot, kKey, "Text1", "25");
    CHECK_EQ(store.PendingWrites(), 0u);
    CHECK(ReadFile(path).size() < 200);
    const auto aside = Entries(dir.path(), "settings.reg.corrupt-");
    REQUIRE_EQ(aside.size(), 1u);
    CHECK(ReadFile(dir.file(aside[0])) == big);
}

TEST_CASE("changedFileIsReadAgain")
{
    // Each file's parse is kept, but never past a change: another writer's
    // value of the same length, or a hand edit in place.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    FileStore store(path, "");
    store.WriteSetting(kRoot, kKey, "Left", "3000");
    CHECK_EQ(R(store, "Left"), "3000");
    FileStore other(path, "");
    CHECK(other.WriteText(kRoot, kKey, "Left", "3015"));
    CHECK_EQ(R(store, "Left"), "3015");

    const int fd = ::open(path.c_str(), O_RDWR);
    REQUIRE(fd >= 0);
    const std::string text = ReadFile(path);
    const bool edited = ::pwrite(fd, "3030", 4, off_t(text.find("3015"))) == 4;
    ::close(fd);
    CHECK(edited);
    CHECK_EQ(R(store, "Left"), "3030");
    // A write starts from the file as it is now, not from the kept parse.
    store.WriteSetting(kRoot, kKey, "Top", "1500");
    CHECK_EQ(R(other, "Left"), "3030");
    CHECK_EQ(R(other, "Top"), "1500");
}

TEST_CASE("concurrentWritersLoseNothing")
{
    constexpr int kWrites = 1000;
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    pid_t pids[2];
    for (int p = 0; p < 2; ++p) {
        pids[p] = ::fork();
        REQUIRE(pids[p] >= 0);
        if (pids[p] == 0) {
            FileStore store(path, "");
            int failures = 0;
            for (int i = 0; i < kWrites; ++i)
                failures +=
                    !store.WriteText(kRoot, kKey, std::string(1, char('A' + p)) + std::to_string(i),
                                     std::to_string(i * 7));
            ::_exit(failures ? 1 : 0);
        }
    }
    CHECK_EQ(WaitExit(pids[0]), 0);
    CHECK_EQ(WaitExit(pids[1]), 0);

    FileStore store(path, "");
    const auto all = store.ListValues(kRoot, kKey);
    REQUIRE(all.has_value());
    CHECK_EQ(int(all->size()), 2 * kWrites);
    std::set<std::string> found;
    for (const auto &v : *all)
        found.insert(v.name + "=" + RegSzDataToText(v.data));
    for (const char *who : {"A", "B"})
        for (int i = 0; i < kWrites; ++i) {
            const std::string want = who + std::to_string(i) + "=" + std::to_string(i * 7);
            INFO(want);
            CHECK(found.count(want) == 1);
        }
}

TEST_CASE("killedWriterLeavesReadableFile")
{
    // A big neighbour makes each write long enough to be caught in the middle.
    ScratchDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string pad(200000, 'p');
    FileStore store(path, "");
    CHECK(store.WriteText(kRoot, kKey, "Pad", pad));
    long last = 0;
    CHECK(store.WriteText(kRoot, kKey, "Count", "0"));
    std::minstd_rand random(std::random_device{}());
    for (int round = 1; round <= 40; ++round) {
        CAPTURE(round);
        const pid_t pid = ::fork();
        REQUIRE(pid >= 0);
        if (pid == 0) {
            FileStore writer(path, "");
            for (long i = round * 1000000L;; ++i)
                writer.WriteText(kRoot, kKey, "Count", std::to_string(i));
        }
        const timespec pause{0, long(random() % 20000) * 1000};
        ::nanosleep(&pause, nullptr);
        ::kill(pid, SIGKILL);
        CHECK_EQ(WaitExit(pid), -SIGKILL);

        const RegParse parsed = ParseRegText(ReadFile(path));
        CHECK_EQ(parsed.skippedCount, 0u);
        CHECK(R(store, "Pad") == pad);
        const std::string count = R(store, "Count");
        char *end = nullptr;
        const long now = std::strtol(count.c_str(), &end, 10);
        CHECK(!count.empty());
        CHECK(*end == '\0');
        CHECK(now >= last);
        last = now;
    }
    // The lock died with the writer, and its leftover is cleared.
    CHECK(store.WriteText(kRoot, kKey, "Count", "done"));
    store.Flush();
    CHECK_EQ(Entries(dir.path()), (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}
