#include "core/store/posix/lockedfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sysmacros.h>

namespace lockedfile {

FileState ReadRegularFile(const std::string &path, std::size_t maxBytes, std::string &text,
                          int &err, struct stat &st)
{
    text.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        err = errno;
        if (err == ENOENT)
            return FileState::Absent;
        return err == ELOOP ? FileState::Unusable : FileState::Error;
    }
    if (::fstat(fd.get(), &st) != 0) {
        err = errno;
        return FileState::Error;
    }
    if (!S_ISREG(st.st_mode)) {
        err = EINVAL;
        return FileState::Unusable;
    }
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            return FileState::Error;
        }
        if (n == 0)
            return FileState::Ok;
        text.append(buf, std::size_t(n));
        if (text.size() > maxBytes)
            return FileState::TooBig;
    }
}

std::string FolderOf(const std::string &file)
{
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

int MakeFolders(const std::string &dir, mode_t mode)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const std::string parent = FolderOf(dir);
    if (parent != dir)
        if (int err = MakeFolders(parent, mode))
            return err;
    if (::mkdir(dir.c_str(), mode) != 0)
        return errno == EEXIST ? 0 : errno;
    ::chmod(dir.c_str(), mode); // whatever the umask says
    return 0;
}

namespace {

// Takes the lock, waiting at most the given time. A writer holds it for a few
// milliseconds; one that holds it longer is stuck, and the caller gives up
// rather than wait for it.
bool lockWithin(int fd, long waitMicroseconds)
{
    timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    long pause = 1000;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return false;
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long waited =
            (now.tv_sec - start.tv_sec) * 1000000L + (now.tv_nsec - start.tv_nsec) / 1000;
        if (waited >= waitMicroseconds) {
            errno = EWOULDBLOCK;
            return false;
        }
        const long nap = std::min(pause, waitMicroseconds - waited);
        const timespec ts{nap / 1000000, (nap % 1000000) * 1000};
        ::nanosleep(&ts, nullptr);
        pause = std::min(pause * 2, 50000L);
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

// Gives an unreadable file a name of its own so that the write replacing it
// loses nothing: "<file>.corrupt-<unix time>", with "-2", "-3"... if taken.
int moveAside(const std::string &file)
{
    const std::string base = file + ".corrupt-" + std::to_string(std::time(nullptr));
    for (int n = 1; n < 100; ++n) {
        const std::string aside = n == 1 ? base : base + "-" + std::to_string(n);
        // A hard link never replaces anything, and the file keeps its name
        // until the new one is renamed over it.
        if (::link(file.c_str(), aside.c_str()) == 0)
            return 0;
        if (errno == EEXIST)
            continue;
        struct stat st;
        if (::lstat(aside.c_str(), &st) == 0)
            continue;
        return ::rename(file.c_str(), aside.c_str()) == 0 ? 0 : errno;
    }
    return EEXIST;
}

// Removes the temporary files of writers that died before their rename. A
// temporary file is only made while its writer holds the lock, so one found
// by the lock's holder is nobody's. Only regular files of our own naming go.
void removeDeadTemporaries(const std::string &file)
{
    const std::string dir = FolderOf(file);
    const std::string slash = file.rfind('/') == std::string::npos ? "" : dir + "/";
    const std::string prefix = file.substr(file.rfind('/') + 1) + ".tmp-";
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent *e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
            continue;
        const std::string path = slash + std::string(name);
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

// Puts the folder's entries (a rename, a link) on disk.
int syncFolder(const std::string &file)
{
    const Fd dir(::open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return errno;
    return ::fsync(dir.get()) == 0 ? 0 : errno;
}

// Exchanges the two names atomically; false where the file system cannot
// (the caller then renames).
bool swapNames(const std::string &a, const std::string &b)
{
#ifdef RENAME_EXCHANGE
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#else
    (void)a;
    (void)b;
    return false;
#endif
}

// A new name for an existing file, in place of what stands at that name.
int linkOver(const std::string &from, const std::string &to)
{
    const std::string fresh = to + ".new";
    ::unlink(fresh.c_str()); // left by a writer that died
    if (::link(from.c_str(), fresh.c_str()) != 0)
        return errno;
    if (::rename(fresh.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(fresh.c_str());
        return err;
    }
    return 0;
}

} // namespace

Fd LockFile(const std::string &file, long waitMicroseconds, int &err, std::string &what)
{
    const std::string lockPath = file + ".lock";
    Fd lock(::open(lockPath.c_str(),
                   O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
    struct stat st;
    if (!lock) {
        err = errno;
        what = "cannot open the lock file";
    } else if (::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err = EINVAL;
        what = "the lock file is not a regular file";
    } else if (!lockWithin(lock.get(), waitMicroseconds)) {
        err = errno;
        what = "cannot lock it";
    } else {
        return lock;
    }
    return Fd();
}

int ReplaceFile(const std::string &file, std::string_view text, mode_t mode, bool setAsideFirst,
                bool flush, std::string &what, bool &replaced)
{
    replaced = false;
    removeDeadTemporaries(file);
    std::string tmpPath = file + ".tmp-XXXXXX";
    Fd tmp(::mkostemp(tmpPath.data(), O_CLOEXEC));
    if (!tmp) {
        what = "cannot create a temporary file beside it";
        return errno;
    }
    if (!writeAll(tmp.get(), text) || ::fchmod(tmp.get(), mode) != 0 ||
        (flush && ::fdatasync(tmp.get()) != 0) || ::close(tmp.release()) != 0) {
        const int err = errno;
        ::unlink(tmpPath.c_str());
        what =
            flush ? "cannot write " + tmpPath + " and put it on disk" : "cannot write " + tmpPath;
        return err;
    }
    if (setAsideFirst) {
        if (int err = moveAside(file)) {
            ::unlink(tmpPath.c_str());
            what = "cannot set the unreadable file aside";
            return err;
        }
    }
    // Without a link the flushed copy stays the older text, still whole; the
    // next unflushed replace then flushes.
    if (flush && linkOver(tmpPath, FlushedCopyOf(file)) != 0)
        ::unlink(FlushedCopyOf(file).c_str());
    // An unsynced text swaps names with the file and the old file goes: ext4
    // (auto_da_alloc) and btrfs write a file renamed over another at once,
    // a block a second for the housekeeping values; swapped, it is gone from
    // memory before it is ever written. The flushed copy covers the cut.
    if (!flush && swapNames(tmpPath, file)) {
        ::unlink(tmpPath.c_str()); // now the old file
        replaced = true;
        return 0;
    }
    if (::rename(tmpPath.c_str(), file.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpPath.c_str());
        what = "cannot replace it";
        return err;
    }
    replaced = true;
    // The rename and the copy's new name last a power cut once the folder is
    // synced; an unflushed replace leaves that to the file system.
    if (flush)
        if (int err = syncFolder(file)) {
            what = "cannot put its folder on disk";
            return err;
        }
    return 0;
}

std::string FlushedCopyOf(const std::string &file)
{
    return file + ".flushed";
}

bool MarkFlushedCopy(const std::string &file)
{
    const std::string copy = FlushedCopyOf(file);
    struct stat st;
    if (::lstat(copy.c_str(), &st) == 0) {
        // Setting the mode it has changes nothing but the copy's change time,
        // which reaches the disk no later than the exchange of names after it.
        return S_ISREG(st.st_mode) && ::chmod(copy.c_str(), st.st_mode & 07777) == 0;
    }
    // A new file is first made synced; one that stands without a copy is
    // synced already (Flush syncs a file before it removes its copy). The new
    // name marks the copy's change time as well.
    return ::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && linkOver(file, copy) == 0;
}

bool FlushedCopyDiffers(const std::string &file)
{
    struct stat st, copySt;
    return ::lstat(FlushedCopyOf(file).c_str(), &copySt) == 0 && S_ISREG(copySt.st_mode) &&
           ::lstat(file.c_str(), &st) == 0 &&
           (st.st_dev != copySt.st_dev || st.st_ino != copySt.st_ino);
}

int SyncFile(const std::string &file, std::string &what)
{
    const Fd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    int err = !fd || ::fdatasync(fd.get()) != 0 ? errno : 0;
    if (!err)
        err = syncFolder(file);
    if (err)
        what = "cannot put it on disk";
    return err;
}

int FlushAndDropCopy(const std::string &file, bool &synced, std::string &what)
{
    synced = false;
    const std::string copy = FlushedCopyOf(file);
    struct stat st, copySt;
    if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        !(::lstat(copy.c_str(), &copySt) == 0 && copySt.st_dev == st.st_dev &&
          copySt.st_ino == st.st_ino)) {
        synced = true;
        // On failure the copy stays: it is still the file's last whole text.
        if (int err = SyncFile(file, what))
            return err;
    }
    ::unlink((copy + ".new").c_str());
    if (::unlink(copy.c_str()) != 0 && errno != ENOENT) {
        what = "cannot remove " + copy;
        return errno;
    }
    return 0;
}

// ---- What the file system keeps of an unsynced replace ----------------------

namespace {

// Whether the option stands in a list separated by commas, blanks or line
// feeds.
bool hasOption(std::string_view options, std::string_view name)
{
    std::size_t at = 0;
    while (at <= options.size()) {
        std::size_t end = options.find_first_of(", \t\n", at);
        if (end == std::string_view::npos)
            end = options.size();
        if (options.substr(at, end - at) == name)
            return true;
        at = end + 1;
    }
    return false;
}

std::string readSmallFile(const std::string &path)
{
    std::string text;
    int err = 0;
    struct stat st;
    if (ReadRegularFile(path, 4u << 20, text, err, st) != FileState::Ok)
        text.clear();
    return text;
}

// The fields of a mountinfo line after its optional fields: type, source and
// super options.
struct MountLine {
    std::string id, device, type, superOptions;
};

std::vector<std::string> splitBlanks(std::string_view line)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.emplace_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

std::optional<MountLine> parseMountLine(std::string_view line)
{
    const std::vector<std::string> f = splitBlanks(line);
    // id parent major:minor root mount-point options [optional...] - type source super
    std::size_t dash = 6;
    while (dash < f.size() && f[dash] != "-")
        ++dash;
    if (dash + 2 >= f.size())
        return std::nullopt;
    return MountLine{f[0], f[2], f[dash + 1], dash + 3 < f.size() ? f[dash + 3] : ""};
}

} // namespace

bool KeepsUnsyncedReplacesWhole(std::string_view type, std::string_view superOptions,
                                std::string_view ext4Options)
{
    // Nothing in memory outlives a power cut, synced or not.
    if (type == "tmpfs" || type == "ramfs")
        return true;
    // XFS logs a file's new size only once its data is written, so a file cut
    // off comes back empty or zeroed, never with other files' blocks; btrfs
    // points at new data only once it is written.
    if (type == "xfs" || type == "btrfs")
        return true;
    // ext4 writes a file's data before the rename that replaces another file
    // commits only in its default ordered mode with delayed allocation and
    // auto_da_alloc. The superblock may set other defaults, which mountinfo
    // does not show: the full list in /proc/fs/ext4 is needed. Without a
    // journal there is no order at all.
    if (type == "ext4" || type == "ext3" || type == "ext2") {
        for (const char *unordered :
             {"data=writeback", "data=journal", "nodelalloc", "noauto_da_alloc"})
            if (hasOption(superOptions, unordered) || hasOption(ext4Options, unordered))
                return false;
        return hasOption(ext4Options, "data=ordered") && hasOption(ext4Options, "delalloc") &&
               hasOption(ext4Options, "auto_da_alloc");
    }
    // Network and user-space file systems, and any other: unknown.
    return false;
}

bool KeepsUnsyncedReplacesWhole(const std::string &folder)
{
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0)
        return false;
    // The mount by its id where the kernel gives it (bind mounts and btrfs
    // subvolumes share devices), by the device number otherwise.
    std::string mountId;
    struct statx sx;
    if (::statx(AT_FDCWD, folder.c_str(), 0, STATX_MNT_ID, &sx) == 0 &&
        (sx.stx_mask & STATX_MNT_ID))
        mountId = std::to_string(sx.stx_mnt_id);
    const std::string device =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));

    const std::string mounts = readSmallFile("/proc/self/mountinfo");
    std::optional<MountLine> found;
    for (std::size_t at = 0; at < mounts.size();) {
        const std::size_t end = std::min(mounts.find('\n', at), mounts.size());
        if (auto line = parseMountLine(std::string_view(mounts).substr(at, end - at)))
            if (mountId.empty() ? line->device == device : line->id == mountId)
                found = std::move(line); // the last one is on top
        at = end + 1;
    }
    if (!found)
        return false;
    std::string ext4Options;
    if (found->type.rfind("ext", 0) == 0) {
        char target[PATH_MAX];
        const std::string link = "/sys/dev/block/" + found->device;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0) {
            const std::string path(target, std::size_t(n));
            ext4Options =
                readSmallFile("/proc/fs/ext4/" + path.substr(path.rfind('/') + 1) + "/options");
        }
    }
    return KeepsUnsyncedReplacesWhole(found->type, found->superOptions, ext4Options);
}

long long Nanoseconds(const timespec &t)
{
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

long long MonotonicMicroseconds()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return Nanoseconds(now) / 1000;
}

} // namespace lockedfile
