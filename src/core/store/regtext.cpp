#include "core/store/regtext.h"

#include "core/text/asciicase.h"
#include "core/text/utf16.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";

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
    c = AsciiLower(c);
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
    if (StartsIgnoringCase(rest, "dword:")) {
        std::uint32_t number;
        if (!parseHexNumber(rest.substr(6), number))
            return false;
        value.type = kRegDword;
        value.data = RegDwordData(number);
        return true;
    }
    if (!StartsIgnoringCase(rest, "hex"))
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
    // Cut at the first NUL: the round trip below then holds only for data
    // with one NUL, at its end.
    std::string text = RegSzDataToText(data);
    for (const char *p = text.data(), *end = p + text.size(); p != end; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
            return std::nullopt;
    if (!IsValidUtf8(text) || TextToRegSzData(text) != data)
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

} // namespace

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
            auto [it, added] = keyIndex.try_emplace(AsciiLowerText(path), doc.keys.size());
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
        const std::string folded = AsciiLowerText(value.name);
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

// ---- The check line -----------------------------------------------------------

namespace {

constexpr std::string_view kCheckPrefix = "; check: ";

std::uint32_t crc32Of(std::string_view text)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : text)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace

std::string CheckLineFor(std::string_view text)
{
    char buf[80];
    std::snprintf(buf, sizeof buf, "%zu bytes, crc32 %08x\n", text.size(), unsigned(crc32Of(text)));
    return std::string(kCheckPrefix) + buf;
}

bool HasValidCheckLine(std::string_view text)
{
    if (text.empty() || text.back() != '\n')
        return false;
    const std::size_t start = text.rfind('\n', text.size() - 2);
    const std::size_t at = start == std::string_view::npos ? 0 : start + 1;
    // Compared as written, so that no other spelling of the line passes.
    return text.substr(at) == CheckLineFor(text.substr(0, at));
}
