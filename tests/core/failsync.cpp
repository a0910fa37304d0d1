// Loaded into brisko-reg with LD_PRELOAD by its tests: makes syncs fail with
// EIO, as a failing disk does. BRISKO_TEST_FAIL_SYNC=data fails the syncs of
// files, =folder those of folders.

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool failsFor(int fd)
{
    const char *what = std::getenv("BRISKO_TEST_FAIL_SYNC");
    struct stat st;
    if (!what || ::fstat(fd, &st) != 0)
        return false;
    return std::strcmp(what, S_ISDIR(st.st_mode) ? "folder" : "data") == 0;
}

} // namespace

extern "C" int fdatasync(int fd)
{
    if (failsFor(fd)) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fdatasync, fd));
}

extern "C" int fsync(int fd)
{
    if (failsFor(fd)) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}
