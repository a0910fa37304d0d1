#pragma once

// Another process that takes a store's lock and keeps it until released, as
// a writer stopped with SIGSTOP would (POSIX).

#include <cerrno>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// The child's exit status, or minus the signal that ended it.
inline int WaitExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class LockHolder {
public:
    // Returns once the other process holds the lock; held() is false when it
    // could not take it.
    explicit LockHolder(const std::string &lockPath)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                ::_exit(1);
            (void)!::write(ready[1], "x", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char c = 0;
        const bool locked = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
        if (!locked)
            release();
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    bool held() const { return pid_ > 0; }
    void release()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            WaitExit(pid_);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

} // namespace testsupport
