#pragma once

// Files for the store's tests on POSIX systems: a scratch folder removed
// afterwards, whole-file reads and writes, and a listing of a folder.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class ScratchDir {
public:
    // In memory when the machine has a tmpfs: the tests that write thousands
    // of times are about locking, not the disk's sync speed.
    ScratchDir()
    {
        const char *tmp = std::getenv("TMPDIR");
        const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                 : tmp && tmp[0] == '/'          ? tmp
                                                                 : "/tmp";
        std::string pattern = base + "/brisko-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a scratch folder in " + base);
        path_ = pattern;
    }
    ~ScratchDir()
    {
        // Folders a test made read-only are opened up first, parents before
        // their children, so that everything in them can go.
        ::nftw(
            path_.c_str(),
            [](const char *p, const struct stat *, int type, FTW *) {
                if (type == FTW_D || type == FTW_DNR)
                    ::chmod(p, 0700);
                return 0;
            },
            16, FTW_PHYS);
        ::nftw(
            path_.c_str(),
            [](const char *p, const struct stat *, int, FTW *) {
                ::remove(p);
                return 0;
            },
            16, FTW_DEPTH | FTW_PHYS);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The file's bytes, or "" when it cannot be read.
inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    out.close();
    return bool(out);
}

inline bool Exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The permission bits of the file, as in 0644.
inline unsigned ModeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

// The names in the folder starting with the prefix, sorted.
inline std::vector<std::string> Entries(const std::string &dir, const std::string &prefix = "")
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0)
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline int Count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}
