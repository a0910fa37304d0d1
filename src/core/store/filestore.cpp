#include "core/store/filestore.h"

#include "core/rules/numbertext.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <unordered_map>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
// Far beyond anything the program stores; a bigger file is not ours.
constexpr std::size_t kMaxFileBytes = 16u << 20;
// How long a write waits for another writer: the command-line tool a few
// seconds, the window no longer than a frame or two.
constexpr long kToolLockWait = 5'000'000;
constexpr long kWindowLockWait = 40'000;
// A file changed this recently may change again without its size or times
// showing it (they are only as fine as the file system's clock): its cached
// parse is checked against its bytes before it is trusted.
constexpr long kRacyNanoseconds = 1'000'000'000;

char foldChar(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The loops over characters below work on plain pointers: a store with
// thousands of values stays quick even in an unoptimised build.

std::string fold(std::string_view s)
{
    std::string out(s);
    for (char *p = out.data(), *end = p + out.size(); p != end; ++p)
        *p = foldChar(*p);
    return out;
}

bool sameFolded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const char *p = a.data(), *q = b.data(), *end = p + a.size();
    for (; p != end; ++p, ++q)
        if (*p != *q && foldChar(*p) != foldChar(*q))
            return false;
    return true;
}

bool startsFolded(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && sameFolded(s.substr(0, prefix.size()), prefix);
}

std::string_view cutAtNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

// ---- UTF-8 and UTF-16 -------------------------------------------------------

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 if invalid.
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t &cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // overlong
        if (b0 == 0xED)
            hi = 0x9F; // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned b = byte(i + k);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return len;
}

bool isValidUtf8(std::string_view s)
{
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = decodeUtf8(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// UTF-8 to UTF-16; a byte outside valid UTF-8 becomes the lone unit
// U+DC00 + byte, which valid text never holds, so the way back is exact.
std::u16string toUtf16(std::string_view s)
{
    std::u16string out(s.size(), u'\0'); // never more units than bytes
    char16_t *o = out.data();
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        const std::size_t n = decodeUtf8(s, i, cp);
        if (n == 0) {
            *o++ = char16_t(0xDC00 + b);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *o++ = char16_t(0xD800 + (cp >> 10));
            *o++ = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = char16_t(cp);
        }
        i += n;
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}

char *putUtf8(char *o, char32_t cp)
{
    if (cp < 0x80) {
        *o++ = char(cp);
    } else if (cp < 0x800) {
        *o++ = char(0xC0 | (cp >> 6));
        *o++ = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = char(0xE0 | (cp >> 12));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    } else {
        *o++ = char(0xF0 | (cp >> 18));
        *o++ = char(0x80 | ((cp >> 12) & 0x3F));
        *o++ = char(0x80 | ((cp >> 6) & 0x3F));
        *o++ = char(0x80 | (cp & 0x3F));
    }
    return o;
}

// UTF-16 to UTF-8, undoing toUtf16's escapes; any other lone surrogate
// becomes U+FFFD. Stops at the first NUL.
std::string fromUtf16(const std::u16string &u)
{
    std::string out(u.size() * 3, '\0'); // at most 3 bytes a unit
    char *o = out.data();
    for (std::size_t i = 0; i < u.size(); ++i) {
        const char16_t c = u[i];
        if (c == 0)
            break;
        if (c < 0x80) {
            *o++ = char(c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
                   u[i + 1] <= 0xDFFF) {
            o = putUtf8(o, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (u[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            *o++ = char(c - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            o = putUtf8(o, 0xFFFD);
        } else {
            o = putUtf8(o, c);
        }
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}

std::u16string unitsOf(std::string_view data)
{
    std::u16string units(data.size() / 2, u'\0');
    const auto *in = reinterpret_cast<const unsigned char *>(data.data());
    for (char16_t *o = units.data(), *end = o + units.size(); o != end; ++o, in += 2)
        *o = char16_t(in[0] | (in[1] << 8));
    return units;
}

// ---- Parsing ----------------------------------------------------------------

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = foldChar(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Lines split at LF, each without a CR before the LF, counted from 1.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(std::string_view &line)
    {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++number_;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }
    // The number of the line next() gave last.
    std::size_t number() const { return number_; }

    struct Mark {
        std::size_t pos, number;
    };
    Mark mark() const { return {pos_, number_}; }
    void reset(Mark m)
    {
        pos_ = m.pos;
        number_ = m.number;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// The quoted text starting at s[i] == '"'; i ends after the closing quote.
// A backslash escapes \ and "; before anything else it stands for itself.
std::optional<std::string> parseQuoted(std::string_view s, std::size_t &i)
{
    std::string out;
    for (++i;;) {
        const std::size_t stop = s.find_first_of("\"\\", i);
        if (stop == std::string_view::npos)
            return std::nullopt;
        out.append(s.substr(i, stop - i));
        i = stop + 1;
        if (s[stop] == '"')
            return out;
        if (i < s.size() && (s[i] == '\\' || s[i] == '"'))
            out += s[i++];
        else
            out += '\\';
    }
}

// "00,1f,..." (blanks allowed around each byte) into bytes.
bool parseHexBytes(std::string_view s, std::string &out)
{
    s = trim(s);
    if (s.empty())
        return true;
    std::size_t i = 0;
    for (;;) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        int value = 0, digits = 0;
        while (i < s.size() && digits < 3 && hexDigit(s[i]) >= 0) {
            value = value * 16 + hexDigit(s[i]);
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 2)
            return false;
        out += char(value);
        while (i < s.size() && isBlank(s[i]))
            ++i;
        if (i == s.size())
            return true;
        if (s[i] != ',')
            return false;
        ++i;
    }
}

bool parseHexNumber(std::string_view s, std::uint32_t &value)
{
    if (s.empty() || s.size() > 8)
        return false;
    value = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        value = value * 16 + std::uint32_t(d);
    }
    return true;
}

std::string littleEndian(std::uint32_t v)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
    return out;
}

// Parses the data after '=' (with continuation lines for hex data).
// Returns false when it is not a value; `remove` is set for "=-".
bool parseData(std::string_view rest, Lines &lines, RegValue &value, bool &remove)
{
    rest = trim(rest);
    remove = false;
    if (!rest.empty() && rest.front() == '"') {
        std::size_t i = 0;
        auto text = parseQuoted(rest, i);
        if (!text || !trim(rest.substr(i)).empty())
            return false;
        value.type = kRegSz;
        value.data = TextToRegSzData(*text);
        return true;
    }
    if (rest == "-") {
        remove = true;
        return true;
    }
    if (startsFolded(rest, "dword:")) {
        std::uint32_t number;
        if (!parseHexNumber(rest.substr(6), number))
            return false;
        value.type = kRegDword;
        value.data = littleEndian(number);
        return true;
    }
    if (!startsFolded(rest, "hex"))
        return false;
    rest.remove_prefix(3);
    value.type = 3; // REG_BINARY
    if (!rest.empty() && rest.front() == '(') {
        const std::size_t close = rest.find(')');
        if (close == std::string_view::npos ||
            !parseHexNumber(rest.substr(1, close - 1), value.type))
            return false;
        rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':')
        return false;
    rest.remove_prefix(1);
    std::string joined(trim(rest));
    while (!joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        std::string_view more;
        if (!lines.next(more))
            return false;
        joined += trim(more);
    }
    value.data.clear();
    return parseHexBytes(joined, value.data);
}

// ---- Formatting -------------------------------------------------------------

// Appends "s" with \ and " escaped, a run of plain characters at a time.
void appendQuoted(std::string &out, std::string_view s)
{
    out += '"';
    const char *run = s.data(), *end = run + s.size();
    for (const char *p = run; p != end; ++p) {
        if (*p != '"' && *p != '\\')
            continue;
        out.append(run, std::size_t(p - run));
        out += '\\';
        run = p;
    }
    out.append(run, std::size_t(end - run));
    out += '"';
}

// The text of REG_SZ data that can be written as "text" and read back to the
// very same bytes: one NUL at the end and none before, valid UTF-8, no
// control characters.
std::optional<std::string> quotableText(std::string_view data)
{
    if (data.size() < 2 || data.size() % 2 != 0)
        return std::nullopt;
    // Printable ASCII, by far the most common, is checked without converting.
    const std::size_t count = data.size() / 2 - 1;
    std::string ascii(count, '\0');
    const char *in = data.data();
    std::size_t n = 0;
    for (; n < count; ++n, in += 2) {
        const auto lo = static_cast<unsigned char>(in[0]);
        if (in[1] != 0 || lo < 0x20 || lo >= 0x7F)
            break;
        ascii[n] = char(lo);
    }
    if (n == count && in[0] == 0 && in[1] == 0)
        return ascii;
    const std::u16string units = unitsOf(data);
    if (units.back() != 0 || units.find(u'\0') != units.size() - 1)
        return std::nullopt;
    std::string text = fromUtf16(units);
    for (const char *p = text.data(), *end = p + text.size(); p != end; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
            return std::nullopt;
    if (!isValidUtf8(text) || TextToRegSzData(text) != data)
        return std::nullopt;
    return text;
}

std::string hexList(std::string_view data)
{
    static const char digits[] = "0123456789abcdef";
    if (data.empty())
        return {};
    std::string out(data.size() * 3 - 1, ',');
    char *o = out.data();
    for (const char *p = data.data(), *end = p + data.size(); p != end; ++p, o += 3) {
        const auto b = static_cast<unsigned char>(*p);
        o[0] = digits[b >> 4];
        o[1] = digits[b & 15];
    }
    return out;
}

void appendData(std::string &out, const RegValue &v)
{
    char buf[32];
    if (v.type == kRegSz) {
        if (auto text = quotableText(v.data)) {
            appendQuoted(out, *text);
            return;
        }
    }
    if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(v.data[std::size_t(i)]);
        std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(n));
        out += buf;
        return;
    }
    if (v.type == 3) {
        out += "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", unsigned(v.type));
        out += buf;
    }
    out += hexList(v.data);
}

// ---- Files ------------------------------------------------------------------

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

enum class FileState { Absent, Ok, TooBig, Unusable, Error };

// Reads a store file, never through a symlink, a FIFO or a device; st is the
// file's status as read.
FileState readStoreFile(const std::string &path, std::string &text, int &err, struct stat &st)
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
        if (text.size() > kMaxFileBytes)
            return FileState::TooBig;
    }
}

// For a document and a const one alike.
template <class Doc> auto findKey(Doc &doc, std::string_view path) -> decltype(&doc.keys.front())
{
    for (auto &key : doc.keys)
        if (sameFolded(key.path, path))
            return &key;
    return nullptr;
}

template <class Key>
auto findValue(Key *key, std::string_view name) -> decltype(&key->values.front())
{
    if (key)
        for (auto &v : key->values)
            if (sameFolded(v.name, name))
                return &v;
    return nullptr;
}

std::string folderOf(const std::string &file)
{
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// Creates the folder and any missing parents; 0 or the errno.
int makeFolders(const std::string &dir, mode_t mode)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const std::string parent = folderOf(dir);
    if (parent != dir)
        if (int err = makeFolders(parent, mode))
            return err;
    if (::mkdir(dir.c_str(), mode) != 0)
        return errno == EEXIST ? 0 : errno;
    ::chmod(dir.c_str(), mode); // whatever the umask says
    return 0;
}

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
    const std::string dir = folderOf(file);
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

// Puts the new file's data on disk before its rename, so that after a power
// cut the store holds the old text or the new, never a torn one.
bool flushToDisk(int fd)
{
    return ::fsync(fd) == 0;
}

long long nanoseconds(const timespec &t)
{
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
}

long long monotonicMicroseconds()
{
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return nanoseconds(now) / 1000;
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

} // namespace

// ---- Format -----------------------------------------------------------------

std::string TextToRegSzData(std::string_view text)
{
    const std::u16string units = toUtf16(text);
    std::string data(units.size() * 2 + 2, '\0'); // with the closing NUL
    char *o = data.data();
    for (const char16_t *u = units.data(), *end = u + units.size(); u != end; ++u, o += 2) {
        o[0] = char(*u & 0xFF);
        o[1] = char(*u >> 8);
    }
    return data;
}

std::string RegSzDataToText(std::string_view data)
{
    return fromUtf16(unitsOf(data));
}

RegParse ParseRegText(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    RegParse out;
    RegDocument &doc = out.doc;
    const auto skip = [&out](std::size_t number, std::string_view line) {
        if (out.skipped.size() < kMaxListedBadLines)
            out.skipped.push_back({number, std::string(line.substr(0, 1000))});
        ++out.skippedCount;
    };

    // Folded key path -> index, and per key folded value name -> index, so
    // that a huge file of repeated names is still read in linear time.
    std::unordered_map<std::string, std::size_t> keyIndex;
    // Values removed by "=-" are only marked, and dropped at the end.
    struct Index {
        std::unordered_map<std::string, std::size_t> byName;
        std::vector<bool> removed;
    };
    std::vector<Index> valueIndex;
    // Stays null under a key line that cannot be read, so that the values
    // below it are not put under another key.
    RegKey *key = nullptr;
    Index *values = nullptr;

    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const std::string_view raw = line;
        const std::size_t number = lines.number();
        line = trim(line);
        if (line.empty() || line.front() == ';' || line == kHeader || line == kOldHeader)
            continue;
        if (line.front() == '[') {
            key = nullptr;
            values = nullptr;
            if (line.size() < 3 || line.back() != ']' || line[1] == '-') {
                skip(number, raw);
                continue;
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            auto [it, added] = keyIndex.try_emplace(fold(path), doc.keys.size());
            if (added) {
                doc.keys.push_back({std::string(path), {}});
                valueIndex.emplace_back();
            }
            key = &doc.keys[it->second];
            values = &valueIndex[it->second];
            continue;
        }
        RegValue value;
        std::size_t i = 0;
        bool ok = key != nullptr;
        if (ok && line.front() == '@') {
            i = 1;
        } else if (ok && line.front() == '"') {
            auto name = parseQuoted(line, i);
            ok = name.has_value();
            if (ok)
                value.name = std::move(*name);
        } else {
            ok = false;
        }
        while (ok && i < line.size() && isBlank(line[i]))
            ++i;
        ok = ok && i < line.size() && line[i] == '=';
        bool remove = false;
        const Lines::Mark after = lines.mark();
        if (!ok || !parseData(line.substr(i + 1), lines, value, remove)) {
            // Lines it took as continuations are read again on their own.
            lines.reset(after);
            skip(number, raw);
            continue;
        }

        // A later line for the same name wins, as when a file is imported.
        const std::string folded = fold(value.name);
        auto found = values->byName.find(folded);
        if (remove) {
            if (found != values->byName.end()) {
                values->removed[found->second] = true;
                values->byName.erase(found);
            }
        } else if (found != values->byName.end()) {
            RegValue &old = key->values[found->second];
            old.type = value.type;
            old.data = std::move(value.data);
        } else {
            values->byName.emplace(folded, key->values.size());
            values->removed.push_back(false);
            key->values.push_back(std::move(value));
        }
    }
    for (std::size_t k = 0; k < doc.keys.size(); ++k) {
        auto &list = doc.keys[k].values;
        const auto &removed = valueIndex[k].removed;
        std::size_t kept = 0;
        for (std::size_t v = 0; v < list.size(); ++v) {
            if (removed[v])
                continue;
            if (kept != v)
                list[kept] = std::move(list[v]);
            ++kept;
        }
        list.resize(kept);
    }
    return out;
}

std::string FormatRegText(const RegDocument &doc)
{
    std::string out(kHeader);
    out += "\n\n";
    for (const auto &key : doc.keys) {
        out += '[';
        out += key.path;
        out += "]\n";
        for (const auto &v : key.values) {
            if (v.name.empty())
                out += '@';
            else
                appendQuoted(out, v.name);
            out += '=';
            appendData(out, v);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

std::string RegTypeName(std::uint32_t type)
{
    static const char *const names[] = {
        "REG_NONE",
        "REG_SZ",
        "REG_EXPAND_SZ",
        "REG_BINARY",
        "REG_DWORD",
        "REG_DWORD_BIG_ENDIAN",
        "REG_LINK",
        "REG_MULTI_SZ",
        "REG_RESOURCE_LIST",
        "REG_FULL_RESOURCE_DESCRIPTOR",
        "REG_RESOURCE_REQUIREMENTS_LIST",
        "REG_QWORD",
    };
    if (type < std::size(names))
        return names[type];
    char buf[32];
    std::snprintf(buf, sizeof buf, "REG_0x%x", unsigned(type));
    return buf;
}

std::string RegRootName(RegistryRoot root)
{
    switch (static_cast<std::uint32_t>(root)) {
    case 0x80000000u:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
        return "HKEY_CURRENT_USER";
    case 0x80000002u:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
        return "HKEY_USERS";
    case 0x80000005u:
        return "HKEY_CURRENT_CONFIG";
    default:
        return {};
    }
}

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
               mtime == nanoseconds(st.st_mtim) && ctime == nanoseconds(st.st_ctim);
    }
    void record(const struct stat &st)
    {
        known = true;
        dev = st.st_dev;
        ino = st.st_ino;
        size = st.st_size;
        mtime = nanoseconds(st.st_mtim);
        ctime = nanoseconds(st.st_ctim);
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        racy = nanoseconds(now) - std::max(mtime, ctime) < kRacyNanoseconds;
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
    return sameFolded(keyPath, "HKEY_LOCAL_MACHINE\\" + std::string(kSettingsKey)) &&
           sameFolded(name, "isClose");
}

} // namespace

FileStore::FileStore(std::string machineFile, std::string userFile)
    : machineFile_(std::move(machineFile)), userFile_(std::move(userFile)),
      machineSeen_(std::make_unique<Snapshot>()), userSeen_(std::make_unique<Snapshot>())
{
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
    FileState state = readStoreFile(file, text, err, st);
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
        if (sameFolded(p.keyPath, path) && sameFolded(p.value.name, name))
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
    WriteSettings(root, keyPath, {{valueName, text}});
}

void FileStore::WriteSettings(RegistryRoot root, const std::string &keyPath,
                              const SettingTexts &values)
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
            return sameFolded(p.keyPath, path) && sameFolded(p.value.name, v.name);
        });
        if (same != pending_.end())
            same->value = std::move(v); // the newer text replaces the one not yet written
        else
            pending_.push_back({path, std::move(v)});
    }
    flushPending();
}

// Writes what is pending, briefly: what cannot be written now stays pending.
void FileStore::flushPending()
{
    if (pending_.empty())
        return;
    std::vector<Change> changes;
    for (auto &p : pending_)
        changes.push_back({std::move(p.keyPath), std::move(p.value), false});
    pending_.clear();
    std::vector<Change> left;
    writeChanges(std::move(changes), kWindowLockWait, &left);
    for (auto &c : left)
        pending_.push_back({std::move(c.keyPath), std::move(c.value)});
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
            shown.emplace(fold(v.name), out.size());
            out.push_back(v);
        }
    if (machine)
        for (const auto &v : machine->values) {
            const auto it = shown.find(fold(v.name));
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
    RegValue v{std::string(cutAtNul(valueName)), kRegDword, littleEndian(number)};
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
    return writeChanges(std::move(changes), kToolLockWait, nullptr) == Outcome::Done;
}

// Sends each value where reads find it: to the per-user file when that holds
// it, otherwise to the machine-wide file, or to the per-user file when the
// machine-wide one cannot be written. Changes not made go to *left.
FileStore::Outcome FileStore::writeChanges(std::vector<Change> changes, long waitMicroseconds,
                                           std::vector<Change> *left)
{
    const long long start = monotonicMicroseconds();
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
        outcome = change(machineFile_, true, toMachine, waitMicroseconds);
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
        const long waited = long(monotonicMicroseconds() - start);
        const Outcome user =
            change(userFile_, false, toUser, std::max(0L, waitMicroseconds - waited));
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
        if (change(machine ? machineFile_ : userFile_, machine, what, kToolLockWait) ==
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

// One write: lock, look at the file again, change its values, write a new
// file beside it under a name of its own, flush it and rename it over. Busy
// means another writer held the lock too long; Failed, that this process
// cannot write the file.
FileStore::Outcome FileStore::change(const std::string &file, bool machine,
                                     const std::vector<Change> &changes, long waitMicroseconds)
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
    const mode_t fileMode = machine ? 0644 : 0600;
    if (int err = makeFolders(folderOf(file), machine ? 0755 : 0700))
        return failed("cannot create its folder", err);

    const std::string lockPath = file + ".lock";
    Fd lock(::open(lockPath.c_str(),
                   O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
    if (!lock)
        return failed("cannot open the lock file", errno);
    if (::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed("the lock file is not a regular file", EINVAL);
    if (!lockWithin(lock.get(), waitMicroseconds)) {
        const int err = errno;
        return fail(err == EWOULDBLOCK ? Outcome::Busy : Outcome::Failed, file + ": cannot lock it",
                    err);
    }

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

    removeDeadTemporaries(file);
    std::string tmpPath = file + ".tmp-XXXXXX";
    Fd tmp(::mkostemp(tmpPath.data(), O_CLOEXEC));
    if (!tmp)
        return forget("cannot create a temporary file beside it", errno);
    if (!writeAll(tmp.get(), out) || ::fchmod(tmp.get(), fileMode) != 0 ||
        !flushToDisk(tmp.get()) || ::close(tmp.release()) != 0) {
        const int err = errno;
        ::unlink(tmpPath.c_str());
        return forget("cannot write " + tmpPath, err);
    }
    if (seen.setAsideFirst()) {
        if (int err = moveAside(file)) {
            ::unlink(tmpPath.c_str());
            return forget("cannot set the unreadable file aside", err);
        }
    }
    if (::rename(tmpPath.c_str(), file.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmpPath.c_str());
        return forget("cannot replace it", err);
    }
    // The folder itself is not synced: losing the rename only loses the last
    // second's value, and syncing it on every tick cost most of the idle CPU.
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
