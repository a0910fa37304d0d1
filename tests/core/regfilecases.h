#pragma once

// Settings files as people and other programs leave them, with what value
// "X" of the program's key reads as: shared by the text format's test and the
// file store's, which reads the same files from disk.

#include <string>
#include <vector>

struct RegFileCase {
    const char *name;
    std::string file;
    int skipped;   // lines that cannot be read
    std::string x; // what value "X" reads as
};

inline const std::string kRegHeadLine = "Windows Registry Editor Version 5.00\n\n";
inline const std::string kRegKeyLine = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pelmora\\Brisko]\n";
inline const std::string kRegHead = kRegHeadLine + kRegKeyLine;

inline std::string ReplacedAll(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

inline std::vector<RegFileCase> RegFileCases()
{
    const std::string &head = kRegHead;
    return {
        // Files that read whole.
        {"empty file", "", 0, ""},
        {"plain", head + "\"X\"=\"abc\"\n", 0, "abc"},
        {"CR LF, BOM, blanks, comment",
         "\xEF\xBB\xBF" + ReplacedAll(head, "\n", "\r\n") +
             "; a comment\r\n  \"X\" = \"a b \"  \r\n",
         0, "a b "},
        {"old header", "REGEDIT4\n\n" + kRegKeyLine + "\"X\"=\"1\"\n", 0, "1"},
        {"no header", kRegKeyLine + "\"X\"=\"1\"\n", 0, "1"},
        {"escapes", head + R"("X"="a\\b\"c\d")" + "\n", 0, R"(a\b"c\d)"},
        {"key case",
         kRegHeadLine + "[hkey_local_machine\\software\\PELMORA\\brisko]\n\"X\"=\"k\"\n", 0, "k"},
        {"last of two wins", head + "\"x\"=\"1\"\n\"X\"=\"2\"\n", 0, "2"},
        {"removed by =-", head + "\"X\"=\"1\"\n\"X\"=-\n", 0, ""},
        {"dword reads empty", head + "\"X\"=dword:0000001f\n", 0, ""},
        {"expand string reads empty", head + "\"X\"=hex(2):41,00,00,00\n", 0, ""},
        {"hex(1) over lines", head + "\"X\"=hex(1):87,65,\\\n  2c,67,00,00\n", 0, "文本"},
        {"hex(1) without NUL", head + "\"X\"=hex(1):41,00,42,00\n", 0, "AB"},
        {"hex(1) NUL inside", head + "\"X\"=hex(1):41,00,00,00,42,00\n", 0, "A"},
        {"other key only", kRegHeadLine + "[HKEY_LOCAL_MACHINE\\X]\n\"X\"=\"no\"\n", 0, ""},

        // One bad line costs that line alone.
        {"value before key", "Windows Registry Editor Version 5.00\n\"X\"=\"1\"\n", 1, ""},
        {"open quote", head + "\"Y\"=\"1\n\"X\"=\"2\"\n", 1, "2"},
        {"text after value", head + "\"Y\"=\"1\" junk\n\"X\"=\"x\"\n", 1, "x"},
        {"bad hex", head + "\"X\"=hex(1):4g,00\n\"Y\"=\"1\"\n", 1, ""},
        {"hex runs off the end", head + "\"X\"=\"a\"\n\"Y\"=hex:41,\\\n", 1, "a"},
        {"bad continuation keeps the next value", head + "\"Y\"=hex:41,\\\n\"X\"=\"b\"\n", 1, "b"},
        {"dword too long", head + "\"X\"=dword:100000000\n", 1, ""},
        {"values under a bad key line are not moved",
         head + "\"X\"=\"k\"\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"X\"=\"moved\"\n", 2, "k"},
        {"UTF-16 file", std::string("\xFF\xFEW\0i\0n\0", 8), 1, ""},
        {"truncated write", head + "\"X\"=\"1\"\n\"Y\"=\"", 1, "1"},
    };
}

// Texts a value may hold, each of which must read back exactly.
inline std::vector<std::pair<const char *, std::string>> RegTextCases()
{
    return {
        {"empty", ""},
        {"minutes", "5"},
        {"Chinese", "25分钟 时间到了"},
        {"blanks around", "  1 "},
        {"quotes and backslashes", R"("\" \\ \ "" trailing\)"},
        {"brackets and equals", "[x]=\"@\"=-"},
        {"line feed", "one\ntwo\n"},
        {"CR LF", "one\r\ntwo\r"},
        {"tab and controls", "\t\x01\x1b\x7f"},
        {"outside the BMP", "\xF0\x9F\x98\x80 \xF0\xA0\x80\x80"},
        {"not UTF-8", "a\xFF\xFE\xC3(\xE6\x96"},
        {"encoded surrogate", "\xED\xA0\x80\xED\xB3\xBF"},
        {"long", std::string(100000, 'x') + "分"},
    };
}
