#include "core/store/filestore.h"

#include "core/rules/numbertext.h"
#include "core/store/lockedfile.h"
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
// seconds, the window no longer than a frame or two.
constexpr long kToolLockWait = 5'000'000;
constexpr long kWindowLockWait = 40'000;
// Ending the program waits a little longer to put what is left on disk.
constexpr long kFlushLockWait = 500'000;
// The housekeeping values reach the disk at least this often.
constexpr long long kHousekeepingSyncMilliseconds = 60'000;
// A bigger text is always synced: one page is written whole or not at all,
// so an unsynced file is never found half written.
constexpr std::size_t kUnsyncedMaxBytes = 4096;
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

bool readsAsOne(const RegValue &v)
{
    return v.type == kRegSz && LeadingNumber(RegSzDataToText(v.data)) == 1;
}

std::string normalKeyPath(std::string_view rootName, std::string_view keyPath)
{
    keyPath = cutAtNul(keyPath);
    while (!keyPath.empty() && keyPath.front() == '\\')
        keyPath.remove_prefix(1);
    while (!keyPath.empty() && keyPath.back() == '\\')
        keyPath.remove_suffix(1);
    std::string path(rootName);
    if (!keyPath.empty())
        path += '\\' + std::string(keyPath);
    return path;
}

bool holdsValues(const RegDocument &doc)
{
    return std::any_of(doc.keys.begin(), doc.keys.end(),
                       [](const RegKey &key) { return !key.values.empty(); });
}

long long steadyMilliseconds()
{
    return lockedfile::MonotonicMicroseconds() / 1000;
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

    // The first rewrite keeps the original under another name.
    bool setAsideFirst() const { return skippedCount > 0 || tooBig; }
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

namespace {

// The quit request, which a machine-wide 1 makes for every user.
bool isQuitRequest(std::string_view keyPath, std::string_view name)
{
    return SameIgnoringCase(keyPath, "HKEY_LOCAL_MACHINE\\" + std::string(kSettingsKey)) &&
           SameIgnoringCase(name, "isClose");
}

} // namespace

FileStore::FileStore(std::string machineFile, std::string userFile)
    : machineFile_(std::move(machineFile)), userFile_(std::move(userFile)),
      machineSeen_(std::make_unique<Snapshot>()), userSeen_(std::make_unique<Snapshot>())
{
    SetClock(steadyMilliseconds);
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
        // A file left empty or zeroed by a power cut after an unsynced
        // replace (or, on some file systems, holding other files' old
        // blocks): its last synced text stands beside it. A file that reads
        // cleanly is taken as it is, even with no values.
        const bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == '\0'; });
        if (state == FileState::Ok && !holdsValues(parsed.doc) &&
            (blank || parsed.skippedCount > 0)) {
            std::string copyText;
            struct stat copySt;
            int copyErr = 0;
            if (lockedfile::ReadRegularFile(lockedfile::FlushedCopyOf(file), kMaxFileBytes,
                                            copyText, copyErr, copySt) == FileState::Ok) {
                RegParse copy = ParseRegText(copyText);
                if (holdsValues(copy.doc)) {
                    if (blank)
                        parsed = std::move(copy); // nothing of it to set aside
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
    const RegValue *user = findValue(findKey(look(false).doc, path), name);
    const RegValue *machine = findValue(findKey(look(true).doc, path), name);
    if (machine && isQuitRequest(path, name) && readsAsOne(*machine))
        return machine;
    return user ? user : machine;
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
    const std::string rootName = RegRootName(root);
    if (rootName.empty())
        return;
    const std::string path = normalKeyPath(rootName, keyPath);
    if (path.find('\n') != std::string::npos)
        return;
    for (const auto &[name, text] : values) {
        RegValue v{std::string(cutAtNul(name)), kRegSz, TextToRegSzData(cutAtNul(text))};
        if (v.name.find('\n') != std::string::npos)
            continue;
        auto same = std::find_if(pending_.begin(), pending_.end(), [&](const Pending &p) {
            return SameIgnoringCase(p.keyPath, path) && SameIgnoringCase(p.value.name, v.name);
        });
        if (same != pending_.end()) {
            same->value = std::move(v); // the newer text replaces the one not yet written
            same->userSet = same->userSet || userSet;
        } else {
            pending_.push_back({path, std::move(v), userSet});
        }
    }
    flushPending(kWindowLockWait);
}

// Writes what is pending, briefly: what cannot be written now stays pending.
// A value the user set is synced, and so is everything written with it.
void FileStore::flushPending(long waitMicroseconds)
{
    if (pending_.empty())
        return;
    bool sync = false;
    std::vector<Change> changes;
    for (auto &p : pending_) {
        sync = sync || p.userSet;
        changes.push_back({std::move(p.keyPath), std::move(p.value), false});
    }
    pending_.clear();
    std::vector<Change> left;
    writeChanges(std::move(changes), waitMicroseconds, sync, &left);
    for (auto &c : left)
        pending_.push_back({std::move(c.keyPath), std::move(c.value), sync});
}

void FileStore::Flush()
{
    flushPending(kFlushLockWait);
    for (bool machine : {false, true}) {
        Written &w = written_[machine];
        const std::string &file = machine ? machineFile_ : userFile_;
        if (!w.any || file.empty())
            continue;
        int err = 0;
        std::string step;
        const lockedfile::Fd lock = lockedfile::LockFile(file, kFlushLockWait, err, step);
        bool synced = false;
        if (!lock)
            fail(Outcome::Failed, file + ": " + step, err);
        else if ((err = lockedfile::FlushAndDropCopy(file, synced, step)))
            fail(Outcome::Failed, file + ": " + step, err);
        else
            w.any = false;
        if (synced) {
            ++syncs_;
            w.syncedAt = clock_();
        }
    }
}

std::optional<RegValue> FileStore::QueryValue(RegistryRoot root, const std::string &keyPath,
                                              const std::string &valueName)
{
    const std::string rootName = RegRootName(root);
    if (rootName.empty())
        return std::nullopt;
    if (const RegValue *v = lookup(normalKeyPath(rootName, keyPath), cutAtNul(valueName)))
        return *v;
    return std::nullopt;
}

std::optional<std::vector<RegValue>> FileStore::ListValues(RegistryRoot root,
                                                           const std::string &keyPath)
{
    const std::string rootName = RegRootName(root);
    if (rootName.empty())
        return std::nullopt;
    const std::string path = normalKeyPath(rootName, keyPath);
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
            else if (isQuitRequest(path, v.name) && readsAsOne(v))
                out[it->second] = v;
        }
    return out;
}

bool FileStore::WriteText(RegistryRoot root, const std::string &keyPath,
                          const std::string &valueName, const std::string &text)
{
    RegValue v{std::string(cutAtNul(valueName)), kRegSz, TextToRegSzData(cutAtNul(text))};
    return write(root, keyPath, v);
}

bool FileStore::WriteDword(RegistryRoot root, const std::string &keyPath,
                           const std::string &valueName, std::uint32_t number)
{
    RegValue v{std::string(cutAtNul(valueName)), kRegDword, RegDwordData(number)};
    return write(root, keyPath, v);
}

bool FileStore::write(RegistryRoot root, const std::string &keyPath, const RegValue &value)
{
    const std::string rootName = RegRootName(root);
    if (rootName.empty()) {
        fail(Outcome::Failed, "unknown registry root", EINVAL);
        return false;
    }
    Change what{normalKeyPath(rootName, keyPath), value, false};
    // A line feed would end the line the name or key stands on.
    if (what.keyPath.find('\n') != std::string::npos ||
        value.name.find('\n') != std::string::npos) {
        fail(Outcome::Failed, "a key or value name cannot hold a line feed", EINVAL);
        return false;
    }
    std::vector<Change> changes;
    changes.push_back(std::move(what));
    return writeChanges(std::move(changes), kToolLockWait, true, nullptr) == Outcome::Done;
}

// Sends each value where reads find it: to the per-user file when that holds
// it, otherwise to the machine-wide file, or to the per-user file when the
// machine-wide one cannot be written. Changes not made go to *left.
FileStore::Outcome FileStore::writeChanges(std::vector<Change> changes, long waitMicroseconds,
                                           bool sync, std::vector<Change> *left)
{
    const long long start = lockedfile::MonotonicMicroseconds();
    std::vector<Change> toMachine, toUser;
    {
        const RegDocument &userDoc = look(false).doc;
        for (auto &c : changes) {
            const bool userHas = !isQuitRequest(c.keyPath, c.value.name) &&
                                 findValue(findKey(userDoc, c.keyPath), c.value.name);
            (userHas ? toUser : toMachine).push_back(std::move(c));
        }
    }
    Outcome outcome = Outcome::Done;
    const auto keep = [&](std::vector<Change> &undone) {
        if (left)
            for (auto &c : undone)
                left->push_back(std::move(c));
    };
    if (!toMachine.empty()) {
        outcome = change(machineFile_, true, toMachine, waitMicroseconds, sync);
        // Busy is a writer at work, not a file we may not use: try again later.
        if (outcome == Outcome::Failed && !userFile_.empty()) {
            for (auto &c : toMachine)
                toUser.push_back(std::move(c));
            outcome = Outcome::Done;
        } else if (outcome != Outcome::Done) {
            keep(toMachine);
        }
    }
    if (!toUser.empty()) {
        // Both files together wait no longer than one would.
        const long waited = long(lockedfile::MonotonicMicroseconds() - start);
        const Outcome user =
            change(userFile_, false, toUser, std::max(0L, waitMicroseconds - waited), sync);
        if (user != Outcome::Done) {
            keep(toUser);
            if (outcome == Outcome::Done || user == Outcome::Failed)
                outcome = user;
        }
    }
    return outcome;
}

FileStore::DeleteResult FileStore::DeleteValue(RegistryRoot root, const std::string &keyPath,
                                               const std::string &valueName)
{
    const std::string rootName = RegRootName(root);
    if (rootName.empty())
        return DeleteResult::NotFound;
    const std::vector<Change> what{
        {normalKeyPath(rootName, keyPath), {std::string(cutAtNul(valueName)), 0, {}}, true}};
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
// file with the new text. Busy means another writer held the lock too long;
// Failed, that this process cannot write the file.
FileStore::Outcome FileStore::change(const std::string &file, bool machine,
                                     const std::vector<Change> &changes, long waitMicroseconds,
                                     bool sync)
{
    const auto failed = [&](const std::string &message, int err) {
        return fail(Outcome::Failed, file + ": " + message, err);
    };
    if (file.empty())
        return fail(Outcome::Failed, "no settings file", ENOENT);
    // A value already stored as asked needs no lock and no write.
    if (holdsAll(look(machine).doc, changes)) {
        lastWrittenFile_ = file;
        return Outcome::Done;
    }
    // Nothing is made beside a device, a folder or a symlink.
    struct stat st;
    if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return failed("not a regular file, not written through", EINVAL);
    if (int err = lockedfile::MakeFolders(lockedfile::FolderOf(file), machine ? 0755 : 0700))
        return failed("cannot create its folder", err);

    int lockErr = 0;
    std::string step;
    const lockedfile::Fd lock = lockedfile::LockFile(file, waitMicroseconds, lockErr, step);
    if (!lock)
        return fail(lockErr == EWOULDBLOCK ? Outcome::Busy : Outcome::Failed, file + ": " + step,
                    lockErr);

    Snapshot &seen = look(machine);
    if (seen.state == FileState::Unusable)
        return failed("not a regular file, not written through", seen.error);
    if (seen.state == FileState::Error)
        return failed("cannot read it", seen.error);
    // The cached parse is changed in place (a big store is not copied), and
    // forgotten when the write does not happen.
    if (!applyChanges(seen.doc, changes)) {
        lastWrittenFile_ = file;
        return Outcome::Done;
    }
    const auto forget = [&](const std::string &message, int err) {
        seen.known = false;
        seen.state = FileState::Absent;
        return failed(message, err);
    };
    const std::string out = FormatRegText(seen.doc);
    if (out.size() > kMaxFileBytes)
        return forget("the store would grow too large", EFBIG);
    // Housekeeping values wait for the minute's sync, as long as the last
    // synced text stays beside the file.
    Written &written = written_[machine];
    sync = sync || out.size() > kUnsyncedMaxBytes || seen.setAsideFirst() ||
           clock_() - written.syncedAt >= kHousekeepingSyncMilliseconds ||
           !lockedfile::KeepFlushedCopy(file);
    if (int err = lockedfile::ReplaceFile(file, out, machine ? 0644 : 0600, seen.setAsideFirst(),
                                          sync, step))
        return forget(step, err);
    written.any = true;
    if (sync) {
        ++syncs_;
        written.syncedAt = clock_();
    }

    // What is on disk now is the cached parse, with nothing left to set aside.
    seen.skipped.clear();
    seen.skippedCount = 0;
    seen.tooBig = false;
    seen.state = FileState::Ok;
    seen.hash = std::hash<std::string_view>{}(out);
    if (::lstat(file.c_str(), &st) == 0)
        seen.record(st);
    else
        seen.known = false;
    lastWrittenFile_ = file;
    return Outcome::Done;
}
