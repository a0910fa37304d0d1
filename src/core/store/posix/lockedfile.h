#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// The POSIX file work under the file store: reading a file that is never a
// symlink, FIFO or device; an exclusive lock on "<file>.lock" taken within a
// given wait; and replacing a file atomically through a temporary file of a
// unique name beside it, so readers see the old text or the new one, and
// after a power cut the file or its flushed copy holds a whole text.
namespace lockedfile {

// An open file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd &&other) noexcept : fd_(other.release()) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd &operator=(Fd &&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

enum class FileState { Absent, Ok, TooBig, Unusable, Error };

// Reads the file into text, never through a symlink, a FIFO or a device; st
// is the file's status as read, err the errno of a failure. TooBig once the
// text passes maxBytes.
FileState ReadRegularFile(const std::string &path, std::size_t maxBytes, std::string &text,
                          int &err, struct stat &st);

// The folder of a file path: "." for a bare name.
std::string FolderOf(const std::string &file);
// Creates the folder and any missing parents with the given mode; 0 or the
// errno.
int MakeFolders(const std::string &dir, mode_t mode);

// Takes the exclusive lock of "<file>.lock", waiting at most the given time.
// On failure the Fd is empty, err is set (EWOULDBLOCK: another writer held
// it too long) and what names the step that failed.
Fd LockFile(const std::string &file, long waitMicroseconds, int &err, std::string &what);

// Writes text to a new file beside file, gives it the mode and puts it in
// file's place. With flush, its data is synced first, it also becomes the
// flushed copy (FlushedCopyOf) and the folder is synced after the rename.
// Without, it takes the file's place by an exchange of names where the file
// system can (call MarkFlushedCopy first). With setAsideFirst, the file as it
// stands is first kept as "<file>.corrupt-<unix time>". Temporary files of
// writers that died are removed first (call it with the lock held). 0 or the
// errno, with what naming the step that failed; replaced says whether the new
// text is in place all the same (a folder sync that failed after the rename),
// otherwise file is unchanged.
int ReplaceFile(const std::string &file, std::string_view text, mode_t mode, bool setAsideFirst,
                bool flush, std::string &what, bool &replaced);

// "<file>.flushed": a second name for the last text of the file that was put
// on disk with a flush, kept while the file itself may be newer and unflushed.
std::string FlushedCopyOf(const std::string &file);
// Makes sure a flushed copy stands before an unflushed replace, and marks it
// (call it with the lock held, just before the replace): the copy's change
// time then tells a reader that the file beside it is what an unflushed
// replace put there, untouched since. True when a copy stands and is marked,
// or when the file as it stands could be given that name; false when there is
// no file yet or the copy cannot be marked (the write is then flushed). A
// file is only unflushed while a flushed copy stands, so one found without a
// copy is flushed.
bool MarkFlushedCopy(const std::string &file);
// Whether a flushed copy stands beside the file that is not the file itself.
bool FlushedCopyDiffers(const std::string &file);
// Puts the file's data and its folder on disk. 0 or the errno.
int SyncFile(const std::string &file, std::string &what);
// Puts the file's data and its name on disk unless it is the flushed copy
// already, then drops the copy (call it with the lock held). 0 or the errno;
// synced says whether anything was synced.
int FlushAndDropCopy(const std::string &file, bool &synced, std::string &what);

// Whether the file system holding the folder is known to leave a file that
// replaced another without a sync either whole or visibly empty after a power
// cut, never at its new length over stale blocks. Read from
// /proc/self/mountinfo (and, for ext4, /proc/fs/ext4/<device>/options, which
// also shows what the superblock's default options set); false when unsure.
bool KeepsUnsyncedReplacesWhole(const std::string &folder);
// The rule behind it: the type and super options of a mountinfo line, and an
// ext4 file system's full option list ("" when unknown).
bool KeepsUnsyncedReplacesWhole(std::string_view type, std::string_view superOptions,
                                std::string_view ext4Options);

long long Nanoseconds(const timespec &t);
long long MonotonicMicroseconds();

} // namespace lockedfile
