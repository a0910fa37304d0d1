#include "core/store/posix/filestore.h"

#include "core/store/placerules.h"
#include "core/store/posix/lockedfile.h"
#include "core/text/asciicase.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <utility>

#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using lockedfile::FileState;

namespace {

// Far beyond anything the program stores; a bigger file is not ours.
constexpr std::size_t kMaxFileBytes = 16u << 20;
// How long a write waits for another writer: the command-line tool a few
// seconds, the window no longer than a frame or two. Ending the program waits
// as long as the tool would, so that nothing held back is lost.
constexpr long kToolLockWait = 5'000'000;
constexpr long kWindowLockWait = 40'000;
// The housekeeping values reach the disk at least this often.
constexpr long long kHousekeepingSyncMilliseconds = 60'000;
// An unsynced write marks the flushed copy just before the file takes its
// place, so their change times lie this close together while nothing else
// has touched the file (two seconds for file systems that keep whole seconds
// only, and a mark that reached the disk without the exchange after it).
constexpr long long kUnsyncedPairNanoseconds = 2'000'000'000;
// A file changed this recently may change again without its size or times
// showing it (they are only as fine as the file system's clock): its cached
// parse is checked against its bytes before it is trusted.
constexpr long kRacyNanoseconds = 1'000'000'000;

std::string_view cutAtNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

// For a document and a const one alike.
template <class Doc> auto findKey(Doc &doc, std::string_view path) -> decltype(&doc.keys.front())
{
    for (auto &key : doc.keys)
        if (SameIgnoringCase(key.path, path))
            return &key;
    return nullptr;
}

template <class Key>
auto findValue(Key *key, std::string_view name) -> decltype(&key->values.front())
{
    if (key)
        for (auto &v : key->values)
            if (SameIgnoringCase(v.name, name))
                return &v;
    return nullptr;
}

long long steadyMilliseconds()
{
    return lockedfile::MonotonicMicroseconds() / 1000;
}

bool sameValue(const RegValue *a, const std::optional<RegValue> &b)
{
    return a ? b && a->type == b->type && a->data == b->data : !b;
}

// Errors that mean this process may not write there, as opposed to a write
// that failed: no permission, a read-only file system, or a path that is not
// a regular file in a folder.
bool mayNotWrite(int err)
{
    return err == EACCES || err == EPERM || err == EROFS || err == ENOTDIR || err == ELOOP ||
           err == EISDIR;
}

// What stands at a path that is not a regular file, for messages.
const char *kindOf(mode_t mode)
{
    return S_ISDIR(mode)    ? "a folder"
           : S_ISFIFO(mode) ? "a FIFO"
           : S_ISLNK(mode)  ? "a symlink"
           : S_ISSOCK(mode) ? "a socket"
                            : "a device";
}

} // namespace

std::string MachineSettingsFile(const std::string &dir)
{
    if (!dir.empty() && dir.back() == '/')
        return dir + "settings.reg";
    return dir + "/settings.reg";
}

std::string UserSettingsFile()
{
    // Relative folders in these variables are to be ignored.
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char *home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else if (const passwd *pw = ::getpwuid(::getuid());
               pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        base = std::string(pw->pw_dir) + "/.config";
    }
    return base.empty() ? std::string() : base + "/brisko/settings.reg";
}

// ---- The store --------------------------------------------------------------

// What this process last read of one file.
struct FileStore::Snapshot {
    bool known = false;
    FileState state = FileState::Absent;
    int error = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtime = 0, ctime = 0;
    // Changed so recently that its times may not show the next change.
    bool racy = false;
    std::size_t hash = 0; // of the text, to check a racy one
    RegDocument doc;      // what reads see: empty unless the file is Ok
    std::vector<RegBadLine> skipped;
    std::size_t skippedCount = 0;
    bool tooBig = false;
    bool fromCopy = false; // read from the flushed copy: the file was torn
    bool torn = false;     // ... and holds something worth keeping aside

    // The first rewrite keeps the original under another name.
    bool setAsideFirst() const { return skippedCount > 0 || tooBig || torn; }
    bool matches(const struct stat &st) const
    {
        return known && dev == st.st_dev && ino == st.st_ino && size == st.st_size &&
               mtime == lockedfile::Nanoseconds(st.st_mtim) &&
               ctime == lockedfile::Nanoseconds(st.st_ctim);
    }
    void record(const struct stat &st)
    {
        known = true;
        dev = st.st_dev;
        ino = st.st_ino;
        size = st.st_size;
        mtime = lockedfile::Nanoseconds(st.st_mtim);
        ctime = lockedfile::Nanoseconds(st.st_ctim);
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        racy = lockedfile::Nanoseconds(now) - std::max(mtime, ctime) < kRacyNanoseconds;
    }
    void clear(FileState to, int err)
    {
        *this = Snapshot{};
        known = true;
        state = to;
        error = err;
    }
};

FileStore::FileStore(std::string machineFile, std::string userFile)
    : machineFile_(std::move(machineFile)), userFile_(std::move(userFile)),
      machineSeen_(std::make_unique<Snapshot>()), userSeen_(std::make_unique<Snapshot>()),
      fileSystemCheck_(
          [](const std::string &folder) { return lockedfile::KeepsUnsyncedReplacesWhole(folder); })
{
    SetClock(steadyMilliseconds);
}

void FileStore::SetFileSystemCheck(std::function<bool(const std::string &folder)> keepsWhole)
{
    fileSystemCheck_ = std::move(keepsWhole);
    for (Written &w : written_)
        w.keepsWhole = -1;
}

bool FileStore::keepsWhole(bool machine, const std::string &file)
{
    int &known = written_[machine].keepsWhole;
    if (known < 0)
        known = fileSystemCheck_(lockedfile::FolderOf(file)) ? 1 : 0;
    return known == 1;
}

void FileStore::SetClock(std::function<long long()> milliseconds)
{
    clock_ = std::move(milliseconds);
    for (Written &w : written_)
        w.syncedAt = clock_();
}

FileStore::~FileStore() = default;

// The file's parse, read again only when the file has changed.
FileStore::Snapshot &FileStore::look(bool machine)
{
    const std::string &file = machine ? machineFile_ : userFile_;
    Snapshot &seen = machine ? *machineSeen_ : *userSeen_;
    struct stat st;
    if (file.empty()) {
        seen.clear(FileState::Absent, 0);
        return seen;
    }
    if (::lstat(file.c_str(), &st) != 0) {
        seen.clear(errno == ENOENT ? FileState::Absent : FileState::Error, errno);
        return seen;
    }
    if (!S_ISREG(st.st_mode)) {
        seen.clear(FileState::Unusable, EINVAL);
        return seen;
    }
    const bool readBefore = seen.state == FileState::Ok || seen.state == FileState::TooBig;
    if (readBefore && seen.matches(st) && !seen.racy)
        return seen;

    std::string text;
    int err = 0;
    FileState state = lockedfile::ReadRegularFile(file, kMaxFileBytes, text, err, st);
    if (state != FileState::Ok && state != FileState::TooBig) {
        seen.clear(state, err);
        return seen;
    }
    const std::size_t hash = std::hash<std::string_view>{}(text);
    if (!(readBefore && seen.state == state && seen.hash == hash)) {
        RegParse parsed;
        if (state == FileState::Ok) {
            parsed = ParseRegText(text);
            // A file that could not be written back is not taken as it is.
            if (FormatRegText(parsed.doc).size() > kMaxFileBytes) {
                state = FileState::TooBig;
                parsed = RegParse{};
            }
        }
        // A text the store wrote ends in a check line. One that fails it and
        // that an unsynced write put in place, untouched since, was cut off
        // by a power cut (empty, zeroed, short, or holding stale blocks): its
        // last synced text stands beside it. Any other file, a hand edit
        // included, is taken as it stands.
        bool fromCopy = false, torn = false;
        if (state == FileState::Ok && !HasValidCheckLine(text)) {
            std::string copyText;
            struct stat copySt;
            int copyErr = 0;
            const long long changed = lockedfile::Nanoseconds(st.st_ctim);
            if (lockedfile::ReadRegularFile(lockedfile::FlushedCopyOf(file), kMaxFileBytes,
                                            copyText, copyErr, copySt) == FileState::Ok &&
                (copySt.st_dev != st.st_dev || copySt.st_ino != st.st_ino) &&
                std::llabs(changed - lockedfile::Nanoseconds(copySt.st_ctim)) <=
                    kUnsyncedPairNanoseconds) {
                RegParse copy = ParseRegText(copyText);
                if (copy.skippedCount == 0) {
                    fromCopy = true;
                    const bool blank =
                        std::all_of(text.begin(), text.end(), [](char c) { return c == '\0'; });
                    torn = !blank; // kept aside; an empty or zeroed file holds nothing
                    if (blank)
                        parsed = std::move(copy);
                    else
                        parsed.doc = std::move(copy.doc);
                }
            }
        }
        seen.clear(state, 0);
        seen.doc = std::move(parsed.doc);
        seen.skipped = std::move(parsed.skipped);
        seen.skippedCount = parsed.skippedCount;
        seen.tooBig = state == FileState::TooBig;
        seen.fromCopy = fromCopy;
        seen.torn = torn;
        seen.hash = hash;
    }
    seen.record(st);
    return seen;
}

const RegValue *FileStore::lookup(const std::string &path, std::string_view name)
{
    for (const Pending &p : pending_)
        if (SameIgnoringCase(p.keyPath, path) && SameIgnoringCase(p.value.name, name))
            return &p.value;
    return stored(path, name);
}

// The value as the files hold it, without what is pending here.
const RegValue *FileStore::stored(const std::string &path, std::string_view name)
{
    const RegValue *user = findValue(findKey(look(false).doc, path), name);
    const RegValue *machine = findValue(findKey(look(true).doc, path), name);
    return CopyReadsSee(path, user, machine);
}

std::string FileStore::ReadSetting(RegistryRoot root, const std::string &keyPath,
                                   const std::string &valueName)
{
    const auto value = QueryValue(root, keyPath, valueName);
    if (!value || value->type != kRegSz)
        return {};
    return RegSzDataToText(value->data);
}

void FileStore::WriteSetting(RegistryRoot root, const std::string &keyPath,
                             const std::string &valueName, const std::string &text)
{
    writeTexts(root, keyPath, {{valueName, text}}, true);
}

void FileStore::WriteSettings(RegistryRoot root, const std::string &keyPath,
                              const SettingTexts &values)
{
    writeTexts(root, keyPath, values, false);
}

void FileStore::writeTexts(RegistryRoot root, const std::string &keyPath,
                           const SettingTexts &values, bool userSet)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty() || path.find('\n') != std::string::npos)
        return;
    for (const auto &[name, text] : values) {
        RegValue v{std::string(cutAtNul(name)), kRegSz, TextToRegSzData(cutAtNul(text))};
        if (v.name.find('\n') != std::string::npos)
            continue;
        // What reads see now, without this object's pending values: the write
        // lands only if that is still so when it gets the lock.
        std::optional<RegValue> base;
        if (const RegValue *now = stored(path, v.name))
            base = *now;
        auto same = std::find_if(pending_.begin(), pending_.end(), [&](const Pending &p) {
            return SameIgnoringCase(p.keyPath, path) && SameIgnoringCase(p.value.name, v.name);
        });
        if (same != pending_.end()) {
            // The newer text replaces the one not yet written, made now.
            same->value = std::move(v);
            same->userSet = same->userSet || userSet;
            same->base = std::move(base);
        } else {
            pending_.push_back({path, std::move(v), userSet, std::move(base)});
        }
    }
    flushPending(kWindowLockWait);
}

// Writes what is pending, within the wait: what cannot be written now stays
// pending. A value the user set is synced, and so is everything written with
// it.
FileStore::Outcome FileStore::flushPending(long waitMicroseconds)
{
    if (pending_.empty())
        return Outcome::Done;
    bool sync = false;
    std::vector<Change> changes;
    for (auto &p : pending_) {
        sync = sync || p.userSet;
        changes.push_back(
            {std::move(p.keyPath), std::move(p.value), false, true, std::move(p.base)});
    }
    pending_.clear();
    std::vector<Change> left;
    const Outcome outcome = writeChanges(std::move(changes), waitMicroseconds, sync, &left);
    for (auto &c : left)
        pending_.push_back({std::move(c.keyPath), std::move(c.value), sync, std::move(c.base)});
    return outcome;
}

std::string FileStore::Flush()
{
    const long long deadline = lockedfile::MonotonicMicroseconds() + kToolLockWait;
    const auto remaining = [&] {
        return long(std::max(0LL, deadline - lockedfile::MonotonicMicroseconds()));
    };
    // One more try, waiting for another writer's lock; a write that fails
    // is not tried again.
    flushPending(remaining());
    std::string problem;
    if (!pending_.empty()) {
        std::string names;
        for (const Pending &p : pending_)
            names += (names.empty() ? "" : ", ") + p.value.name;
        problem = names + " not stored: " + lastError_;
    }
    for (bool machine : {false, true}) {
        Written &w = written_[machine];
        const std::string &file = machine ? machineFile_ : userFile_;
        if (!w.any || file.empty())
            continue;
        int err = 0;
        std::string step;
        const lockedfile::Fd lock = lockedfile::LockFile(file, remaining(), err, step);
        bool synced = false, resynced = false;
        if (lock && w.syncFailed) {
            resynced = true;
            err = lockedfile::SyncFile(file, step);
        }
        if (!lock || err || (err = lockedfile::FlushAndDropCopy(file, synced, step))) {
            fail(Outcome::Failed, file + ": " + step, err);
            if (problem.find(lastError_) == std::string::npos)
                problem += (problem.empty() ? "" : "; ") + lastError_;
        } else {
            w.any = false;
            w.syncFailed = false;
        }
        if (synced || resynced) {
            ++syncs_;
            w.syncedAt = clock_();
        }
    }
    return problem;
}

std::optional<RegValue> FileStore::QueryValue(RegistryRoot root, const std::string &keyPath,
                                              const std::string &valueName)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty())
        return std::nullopt;
    if (const RegValue *v = lookup(path, cutAtNul(valueName)))
        return *v;
    return std::nullopt;
}

std::optional<std::vector<RegValue>> FileStore::ListValues(RegistryRoot root,
                                                           const std::string &keyPath)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty())
        return std::nullopt;
    const RegKey *user = findKey(look(false).doc, path);
    const RegKey *machine = findKey(look(true).doc, path);
    if (!user && !machine)
        return std::nullopt;
    std::vector<RegValue> out;
    std::unordered_map<std::string, std::size_t> shown;
    if (user)
        for (const auto &v : user->values) {
            shown.emplace(AsciiLowerText(v.name), out.size());
            out.push_back(v);
        }
    if (machine)
        for (const auto &v : machine->values) {
            const auto it = shown.find(AsciiLowerText(v.name));
            if (it == shown.end())
                out.push_back(v);
            else if (CopyReadsSee(path, &out[it->second], &v) == &v)
                out[it->second] = v;
        }
    return out;
}

bool FileStore::WriteText(RegistryRoot root, const std::string &keyPath,
                          const std::string &valueName, const std::string &text)
{
    return WriteValue(root, keyPath,
                      {std::string(valueName), kRegSz, TextToRegSzData(cutAtNul(text))});
}

bool FileStore::WriteDword(RegistryRoot root, const std::string &keyPath,
                           const std::string &valueName, std::uint32_t number)
{
    return WriteValue(root, keyPath, {std::string(valueName), kRegDword, RegDwordData(number)});
}

bool FileStore::WriteValue(RegistryRoot root, const std::string &keyPath, const RegValue &value)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty()) {
        fail(Outcome::Failed, "unknown registry root", EINVAL);
        return false;
    }
    Change what{path, value, false, false, std::nullopt};
    what.value.name = std::string(cutAtNul(value.name));
    // A line feed would end the line the name or key stands on.
    if (what.keyPath.find('\n') != std::string::npos ||
        what.value.name.find('\n') != std::string::npos) {
        fail(Outcome::Failed, "a key or value name cannot hold a line feed", EINVAL);
        return false;
    }
    std::vector<Change> changes;
    changes.push_back(std::move(what));
    return writeChanges(std::move(changes), kToolLockWait, true, nullptr) == Outcome::Done;
}

// Sends each value where reads find it: to the per-user file when that holds
// it, otherwise to the machine-wide file, or to the per-user file when this
// process may not write the machine-wide one. Changes not made that may be
// made later go to *left.
FileStore::Outcome FileStore::writeChanges(std::vector<Change> changes, long waitMicroseconds,
                                           bool sync, std::vector<Change> *left)
{
    const long long start = lockedfile::MonotonicMicroseconds();
    std::vector<Change> toMachine, toUser;
    {
        const RegDocument &userDoc = look(false).doc;
        for (auto &c : changes) {
            const bool userHas = WritesToUserCopy(
                c.keyPath, c.value.name, findValue(findKey(userDoc, c.keyPath), c.value.name));
            (userHas ? toUser : toMachine).push_back(std::move(c));
        }
    }
    Outcome outcome = Outcome::Done;
    const auto keep = [&](std::vector<Change> &undone, Outcome why) {
        // A busy lock or a failed write may work later; the rest never will.
        if (left && (why == Outcome::Busy || why == Outcome::Failed))
            for (auto &c : undone)
                left->push_back(std::move(c));
    };
    fallbackReason_.clear();
    if (!toMachine.empty()) {
        outcome = change(machineFile_, true, toMachine, waitMicroseconds, sync);
        if (outcome == Outcome::Denied && !userFile_.empty()) {
            fallbackReason_ = lastError_;
            for (auto &c : toMachine)
                toUser.push_back(std::move(c));
            outcome = Outcome::Done;
        } else if (outcome != Outcome::Done) {
            keep(toMachine, outcome);
        }
    }
    if (!toUser.empty()) {
        // Both files together wait no longer than one would.
        const long waited = long(lockedfile::MonotonicMicroseconds() - start);
        Outcome user =
            change(userFile_, false, toUser, std::max(0L, waitMicroseconds - waited), sync);
        // This user's own file is the last place left: a value that may not
        // go there is tried again as well.
        if (user == Outcome::Denied)
            user = Outcome::Failed;
        if (user != Outcome::Done) {
            keep(toUser, user);
            if (outcome == Outcome::Done || user != Outcome::Busy)
                outcome = user;
        }
    }
    return outcome;
}

FileStore::DeleteResult FileStore::DeleteValue(RegistryRoot root, const std::string &keyPath,
                                               const std::string &valueName)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty())
        return DeleteResult::NotFound;
    const std::vector<Change> what{
        {path, {std::string(cutAtNul(valueName)), 0, {}}, true, false, std::nullopt}};
    bool found = false, deleted = false;
    for (bool machine : {false, true}) {
        if (!findValue(findKey(look(machine).doc, what[0].keyPath), what[0].value.name))
            continue;
        found = true;
        if (change(machine ? machineFile_ : userFile_, machine, what, kToolLockWait, true) ==
            Outcome::Done)
            deleted = true;
    }
    if (!found)
        return DeleteResult::NotFound;
    return deleted ? DeleteResult::Deleted : DeleteResult::Failed;
}

std::string FileStore::PlaceName(Place place, RegistryRoot, const std::string &) const
{
    return place == Place::User ? userFile_ : machineFile_;
}

std::vector<FileStore::BadLines> FileStore::SkippedLines()
{
    std::vector<BadLines> out;
    for (bool machine : {false, true}) {
        const Snapshot &seen = look(machine);
        if (seen.setAsideFirst())
            out.push_back(
                {machine ? machineFile_ : userFile_, seen.skipped, seen.skippedCount, seen.tooBig});
    }
    return out;
}

FileStore::Outcome FileStore::fail(Outcome outcome, const std::string &what, int err)
{
    lastError_ = what + ": " + std::strerror(err);
    return outcome;
}

namespace {

// Makes the changes in doc; false when it already held them all.
bool applyChanges(RegDocument &doc, const std::vector<FileStore::Change> &changes)
{
    bool changed = false;
    for (const auto &what : changes) {
        RegKey *key = findKey(doc, what.keyPath);
        RegValue *value = findValue(key, what.value.name);
        if (what.remove) {
            if (value) {
                key->values.erase(key->values.begin() + (value - key->values.data()));
                changed = true;
            }
        } else if (value) {
            if (value->type != what.value.type || value->data != what.value.data) {
                value->type = what.value.type; // the name keeps the spelling it has
                value->data = what.value.data;
                changed = true;
            }
        } else {
            if (!key) {
                doc.keys.push_back({what.keyPath, {}});
                key = &doc.keys.back();
            }
            key->values.push_back(what.value);
            changed = true;
        }
    }
    return changed;
}

bool holdsAll(const RegDocument &doc, const std::vector<FileStore::Change> &changes)
{
    for (const auto &what : changes) {
        const RegValue *value = findValue(findKey(doc, what.keyPath), what.value.name);
        if (what.remove
                ? value != nullptr
                : !value || value->type != what.value.type || value->data != what.value.data)
            return false;
    }
    return true;
}

} // namespace

// One write: lock, look at the file again, change its values and replace the
// file with the new text.
FileStore::Outcome FileStore::change(const std::string &file, bool machine,
                                     const std::vector<Change> &changes, long waitMicroseconds,
                                     bool sync)
{
    const auto failed = [&](const std::string &message, int err) {
        return fail(mayNotWrite(err) ? Outcome::Denied : Outcome::Failed, file + ": " + message,
                    err);
    };
    if (file.empty())
        return fail(Outcome::Denied, "no settings file", ENOENT);
    Written &written = written_[machine];
    // A synced write whose folder sync failed is synced again, even when the
    // file already holds the values.
    const bool resync = sync && written.syncFailed;
    // A value already stored as asked needs no lock and no write.
    if (!resync && holdsAll(look(machine).doc, changes)) {
        lastWritten_ = machine ? Place::Machine : Place::User;
        return Outcome::Done;
    }
    // Nothing is made beside a folder, a device or a symlink.
    struct stat st;
    if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail(Outcome::Denied,
                    file + ": " + kindOf(st.st_mode) + " stands there, not written through",
                    EINVAL);
    if (int err = lockedfile::MakeFolders(lockedfile::FolderOf(file), machine ? 0755 : 0700))
        return failed("cannot create its folder", err);

    int lockErr = 0;
    std::string step;
    const lockedfile::Fd lock = lockedfile::LockFile(file, waitMicroseconds, lockErr, step);
    if (!lock) {
        if (lockErr == EWOULDBLOCK)
            return fail(Outcome::Busy, file + ": " + step, lockErr);
        // A lock file that is not a regular file is no place to write either.
        if (lockErr == EINVAL)
            return fail(Outcome::Denied, file + ": " + step, lockErr);
        return failed(step, lockErr);
    }

    // A pending value stands down when another writer has changed the value
    // since it was made: the later write wins.
    std::vector<Change> landing;
    for (const Change &c : changes)
        if (!c.guarded || sameValue(stored(c.keyPath, c.value.name), c.base))
            landing.push_back(c);

    Snapshot &seen = look(machine);
    if (seen.state == FileState::Unusable)
        return fail(Outcome::Denied, file + ": not a regular file, not written through",
                    seen.error);
    if (seen.state == FileState::Error)
        return failed("cannot read it", seen.error);

    // The cached parse is changed in place (a big store is not copied), and
    // forgotten when the write does not happen.
    if (!applyChanges(seen.doc, landing)) {
        if (resync) {
            if (int err = lockedfile::SyncFile(file, step))
                return failed(step, err);
            ++syncs_;
            written.syncFailed = false;
            written.syncedAt = clock_();
        }
        lastWritten_ = machine ? Place::Machine : Place::User;
        return Outcome::Done;
    }
    const auto forget = [&](const std::string &message, int err) {
        seen.known = false;
        seen.state = FileState::Absent;
        return failed(message, err);
    };
    std::string out = FormatRegText(seen.doc);
    out += CheckLineFor(out);
    if (out.size() > kMaxFileBytes) {
        seen.known = false;
        seen.state = FileState::Absent;
        return fail(Outcome::Refused, file + ": the store would grow too large", EFBIG);
    }
    // The first write of a run finds a flushed copy left by a program that did
    // not end cleanly, now older than the file (which was taken as it stands):
    // this write is synced and becomes the copy, so the old text never wins.
    bool staleCopy = false;
    if (!written.copyChecked) {
        written.copyChecked = true;
        staleCopy = !seen.fromCopy && lockedfile::FlushedCopyDiffers(file);
    }
    // Housekeeping values wait for the minute's sync, as long as the last
    // synced text stays beside the file and the file system shows a file cut
    // off by a power cut as such. A new file is made synced, so that no older
    // copy can ever stand in for it.
    sync = sync || staleCopy || seen.state == FileState::Absent || seen.setAsideFirst() ||
           written.syncFailed || clock_() - written.syncedAt >= kHousekeepingSyncMilliseconds ||
           !keepsWhole(machine, file) || !lockedfile::MarkFlushedCopy(file);
    bool replaced = false;
    if (int err = lockedfile::ReplaceFile(file, out, machine ? 0644 : 0600, seen.setAsideFirst(),
                                          sync, step, replaced)) {
        if (!replaced)
            return forget(step, err);
        // In place but perhaps not on disk: a failure, synced again next time.
        written.any = true;
        written.syncFailed = true;
        seen.known = false;
        return fail(Outcome::Failed, file + ": " + step, err);
    }
    written.any = true;
    if (sync) {
        ++syncs_;
        written.syncedAt = clock_();
        written.syncFailed = false;
    }

    // What is on disk now is the cached parse, with nothing left to set aside.
    seen.skipped.clear();
    seen.skippedCount = 0;
    seen.tooBig = false;
    seen.fromCopy = false;
    seen.torn = false;
    seen.state = FileState::Ok;
    seen.hash = std::hash<std::string_view>{}(out);
    if (::lstat(file.c_str(), &st) == 0)
        seen.record(st);
    else
        seen.known = false;
    lastWritten_ = machine ? Place::Machine : Place::User;
    return Outcome::Done;
}
