#pragma once

#include "core/store/regtext.h"
#include "core/store/valuestore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings store where there is no registry: two text files in the
// format of regtext.h, which an administrator can read and edit by hand.
//
// Two files make one store, the way Windows treats the machine-wide writes of
// a program run by a standard user, with the rules of placerules.h: a value is
// read from the per-user file when that holds it, otherwise from the
// machine-wide file; a write goes where the value is read from: to the
// per-user file when that holds it, otherwise to the machine-wide file, or to
// the per-user file when the machine-wide one cannot be written. So no older
// copy ever hides what was written last. The quit request is the one
// exception: "isClose" reading 1 in the machine-wide file applies to every
// user, whatever their own file says, and "isClose" is always written
// machine-wide when that may be written.
//
// A write takes an exclusive lock (flock on "<file>.lock"), checks the file
// again, changes its values, writes a new file under a unique name in the
// same folder and renames it over the file: readers see the old file or the
// new one, and two copies writing at once never lose each other's values. A
// symlink or other non-regular file at the store's path is never followed: it
// reads as absent and is never written through. Lines that cannot be read are
// skipped and every other value is kept; the first rewrite of such a file
// first links the original to "<file>.corrupt-<unix time>". A file whose text,
// or its rewrite, would pass the size limit reads as empty and is set aside
// the same way.
//
// Which file. The per-user file takes a value when the machine-wide file may
// not be written: permission refused (EACCES, EPERM), a read-only file system,
// or something other than a regular file in a folder at its path (a folder, a
// FIFO, a symlink). Any other failure there (an I/O error, a full disk, a sync
// that fails) is a failure of the write, never a reason to store the value
// where other users' copies do not read it.
//
// What lasts a power cut. Every write is seen at once by every reader (the
// other copies, brisko-reg). A value the user set (WriteSetting) and every
// write of brisko-reg (WriteText, WriteDword, DeleteValue) is on disk once it
// is in the file: the new file's data is synced before its rename, the folder
// after it. The housekeeping values (WriteSettings: usage total, position) go
// into place unsynced and reach the disk with the next synced write, at the
// latest the first housekeeping write a minute after the last sync, or at
// Flush, whatever the size of the store. A cut may lose at most that last
// minute of them, never the whole file: each synced text also gets the name
// "<file>.flushed" (a hard link, no copy), and the file is only replaced
// unsynced while that name stands. Each text ends in a check line (regtext.h)
// so that a torn one is known: a file that fails it and that an unsynced write
// put in place, untouched since (see MarkFlushedCopy), is read from
// "<file>.flushed"; any other file is taken as it stands, so a hand edit is
// never undone by an old copy. The first write of a run refreshes a copy that
// is not the file it stands beside (left by a copy of the program that did not
// end cleanly), and Flush syncs what is left and removes it. Only file systems
// known to show an unsynced file cut off as empty or zeroed (XFS, btrfs, ext4
// ordered with delayed allocation, tmpfs) get unsynced writes; on any other,
// or one whose options are unknown, every write is synced.
//
// Each file's parse is kept, and a file is read again only when it has changed
// on disk. A value already stored as asked takes no lock and writes nothing.
//
// WriteSetting and WriteSettings are made for the user-interface thread: they
// wait for the lock only a few tens of milliseconds, and a value that could
// not be written (the lock held, or a failure) stays pending in this object
// (reads see it) and is written with the next write; Flush waits for it a few
// seconds. A pending value lands only if nobody else has written that value
// since it was made: the later write stands, as between two registry writers.

// The machine-wide file in a store folder: "<dir>/settings.reg".
std::string MachineSettingsFile(const std::string &dir);
// This user's file: $XDG_CONFIG_HOME/brisko/settings.reg, falling back to
// ~/.config; "" when there is no home folder.
std::string UserSettingsFile();

class FileStore : public ValueStore {
public:
    // userFile may be "": the store is then the machine-wide file alone.
    FileStore(std::string machineFile, std::string userFile);
    ~FileStore() override;
    FileStore(const FileStore &) = delete;
    FileStore &operator=(const FileStore &) = delete;

    std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                            const std::string &valueName) override;
    void WriteSetting(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override;
    void WriteSettings(RegistryRoot root, const std::string &keyPath,
                       const SettingTexts &values) override;
    // Writes what is pending (waiting up to a few seconds for the lock), syncs
    // what housekeeping writes of this object left unsynced and removes the
    // flushed copies of the files it wrote. "" when all that worked.
    std::string Flush() override;
    // Values WriteSetting(s) could not write yet.
    std::size_t PendingWrites() const { return pending_.size(); }

    // The monotonic clock, in milliseconds, that spaces the syncs of the
    // housekeeping values (tests give their own).
    void SetClock(std::function<long long()> milliseconds);
    // How many times this object synced a file.
    std::size_t Syncs() const { return syncs_; }
    // Whether the folder's file system keeps an unsynced replace whole or
    // visibly empty (lockedfile::KeepsUnsyncedReplacesWhole; tests give their
    // own). Asked once per file.
    void SetFileSystemCheck(std::function<bool(const std::string &folder)> keepsWhole);

    std::optional<RegValue> QueryValue(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName) override;
    std::optional<std::vector<RegValue>> ListValues(RegistryRoot root,
                                                    const std::string &keyPath) override;
    // Waits up to a few seconds for the lock; the value is synced.
    bool WriteValue(RegistryRoot root, const std::string &keyPath, const RegValue &value) override;
    // Like WriteSetting, but waiting as WriteValue does and saying whether it
    // worked (LastError() if not).
    bool WriteText(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                   const std::string &text);
    bool WriteDword(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                    std::uint32_t number);
    DeleteResult DeleteValue(RegistryRoot root, const std::string &keyPath,
                             const std::string &valueName) override;
    // The lines of either file that the last look at it had to skip.
    std::vector<BadLines> SkippedLines() override;
    // The per-user or the machine-wide file.
    std::string PlaceName(Place place, RegistryRoot root,
                          const std::string &keyPath) const override;

    // The file the last successful write changed (or found already right).
    const std::string &LastWrittenFile() const
    {
        return LastWrittenPlace() == Place::User ? userFile_ : machineFile_;
    }

    const std::string &machineFile() const { return machineFile_; }
    const std::string &userFile() const { return userFile_; }

    // One value to set or remove (for the store's own use).
    struct Change {
        std::string keyPath; // with its root
        RegValue value;
        bool remove = false;
        // A pending write lands only while reads still see what they saw
        // when it was made (base; none: the value was absent).
        bool guarded = false;
        std::optional<RegValue> base;
    };

private:
    // Busy: another writer held the lock too long. Failed: the write failed
    // (try again later). Denied: this process may not write the file. Refused:
    // the store would grow too large (trying again will not help).
    enum class Outcome { Done, Busy, Failed, Denied, Refused };
    struct Snapshot;
    struct Pending {
        std::string keyPath; // with its root
        RegValue value;
        bool userSet = false;
        std::optional<RegValue> base; // what reads saw when it was made
    };
    // What this object did to one of its files.
    struct Written {
        bool any = false; // it replaced the file
        long long syncedAt = 0;
        bool copyChecked = false; // a stale flushed copy was looked for
        bool syncFailed = false;  // its last synced write is not known to be on disk
        int keepsWhole = -1;      // the file system check, once asked
    };

    Snapshot &look(bool machine);
    const RegValue *lookup(const std::string &path, std::string_view name);
    const RegValue *stored(const std::string &path, std::string_view name);
    void writeTexts(RegistryRoot root, const std::string &keyPath, const SettingTexts &values,
                    bool userSet);
    Outcome writeChanges(std::vector<Change> changes, long waitMicroseconds, bool sync,
                         std::vector<Change> *left);
    Outcome flushPending(long waitMicroseconds);
    Outcome change(const std::string &file, bool machine, const std::vector<Change> &changes,
                   long waitMicroseconds, bool sync);
    Outcome fail(Outcome outcome, const std::string &what, int err);
    bool keepsWhole(bool machine, const std::string &file);

    std::string machineFile_;
    std::string userFile_;
    std::unique_ptr<Snapshot> machineSeen_, userSeen_;
    std::vector<Pending> pending_;
    std::function<long long()> clock_;
    std::function<bool(const std::string &)> fileSystemCheck_;
    Written written_[2]; // the user's file, the machine-wide one
    std::size_t syncs_ = 0;
};
