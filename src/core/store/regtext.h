#pragma once

#include "core/store/regvalue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The text of a settings file: UTF-8, laid out like a registry export, so an
// administrator can read it and edit it by hand.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Pelmora\Brisko]
//   "Text1"="5"
//   "Check2"=" 1"
//   "isClose"=dword:00000001
//   "Note"=hex(1):31,00,0a,00,32,00,00,00
//
// A string value that fits on one line is written as "text", with \ and "
// escaped by a backslash. One that cannot (a line feed or another control
// character, or bytes that are not UTF-8) is written as hex(1): its UTF-16LE
// code units with a terminating NUL, as a registry export writes a string. A
// byte that is not part of valid UTF-8 travels as the lone code unit
// U+DC00 + byte, so every text reads back exactly as it was written.
// dword:, hex: and hex(n): values of other types are kept as they are. Lines
// may end in CR LF; hex data may continue on the next line after a trailing
// backslash; lines starting with ';' are comments. Key and value names match
// without regard to case; a later line for the same name wins, and "=-"
// removes a value, as when a file is imported.

struct RegKey {
    std::string path; // with its root: "HKEY_LOCAL_MACHINE\SOFTWARE\..."
    std::vector<RegValue> values;
};

struct RegDocument {
    std::vector<RegKey> keys;
};

// A line of a settings file that could not be read.
struct RegBadLine {
    std::size_t number = 0; // from 1
    std::string text;       // as it stands in the file, without its line end
};

struct RegParse {
    RegDocument doc;                 // every value that could be read
    std::vector<RegBadLine> skipped; // the first kMaxListedBadLines of them
    std::size_t skippedCount = 0;    // all of them
};

inline constexpr std::size_t kMaxListedBadLines = 100;

// Reads a settings file's text, skipping the lines it cannot read. Safe on
// any bytes.
RegParse ParseRegText(std::string_view text);
std::string FormatRegText(const RegDocument &doc);

// The comment line the file store closes each text with, so that a reader can
// tell a text written whole from one a power cut left torn:
//   ; check: 1234 bytes, crc32 89abcdef
// giving the length and the CRC-32 of everything before it. Readers that do
// not know it skip it as a comment; a hand edit simply makes it stale.
std::string CheckLineFor(std::string_view text);
// True when the text ends with a check line that matches what comes before it.
bool HasValidCheckLine(std::string_view text);
