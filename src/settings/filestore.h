#pragma once

#include "settings/settingsstore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings store where there is no registry: a UTF-8 text file laid out
// like a registry export, so an administrator can read it and edit it by hand.
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
// dword:, hex: and hex(n): values of other types are kept as they are and read
// as "". Lines may end in CR LF; hex data may continue on the next line after
// a trailing backslash; lines starting with ';' are comments.
//
// Two files make one store, the way Windows treats the machine-wide writes of
// a program run by a standard user:
//   - writes go to the machine-wide file when this process may write it (or
//     create it in its folder), otherwise to the per-user file;
//   - reads look for the value in the per-user file first, then in the
//     machine-wide one.
// So an ordinary user's settings are remembered, and an administrator can
// still set a value for every user.
//
// Every write takes an exclusive lock (flock on "<file>.lock"), re-reads the
// file, changes one value, writes "<file>.tmp" in the same folder, syncs it
// and renames it over the file: readers see the old file or the new one, and
// two copies writing at once never lose each other's values. A symlink or
// other non-regular file at the store's path is never followed: it reads as
// absent and is never written through (the machine-wide write then goes to
// the per-user file). A file that cannot be parsed reads as empty, and the
// next write first renames it to "<file>.corrupt-<unix time>".

struct RegValue {
    std::string name;
    std::uint32_t type = 0; // REG_SZ = 1, REG_DWORD = 4, ...
    std::string data;       // the value's bytes as the registry holds them
};

struct RegKey {
    std::string path; // with its root: "HKEY_LOCAL_MACHINE\SOFTWARE\..."
    std::vector<RegValue> values;
};

struct RegDocument {
    std::vector<RegKey> keys;
};

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// Reads a store file's text; std::nullopt when it is not in the format above.
// Safe on any bytes.
std::optional<RegDocument> ParseRegText(std::string_view text);
std::string FormatRegText(const RegDocument &doc);

// REG_SZ data (UTF-16LE) to and from UTF-8 text. Reading stops at a NUL.
std::string TextToRegSzData(std::string_view text);
std::string RegSzDataToText(std::string_view data);

// "REG_SZ", "REG_DWORD", ...; "REG_0x<hex>" for a type without a name.
std::string RegTypeName(std::uint32_t type);

// "HKEY_LOCAL_MACHINE" and the other predefined roots; "" for an unknown one.
std::string RegRootName(RegistryRoot root);

// The machine-wide file in a store folder: "<dir>/settings.reg".
std::string MachineSettingsFile(const std::string &dir);
// This user's file: $XDG_CONFIG_HOME/brisko/settings.reg, falling back to
// ~/.config; "" when there is no home folder.
std::string UserSettingsFile();

class FileStore : public SettingsStore {
public:
    // userFile may be "": the store is then the machine-wide file alone.
    FileStore(std::string machineFile, std::string userFile);

    std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                            const std::string &valueName) override;
    void WriteSetting(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override;

    // The value as a read sees it, of any type.
    std::optional<RegValue> QueryValue(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName);
    // Every value of the key, per-user ones first; std::nullopt when neither
    // file has the key.
    std::optional<std::vector<RegValue>> ListValues(RegistryRoot root, const std::string &keyPath);

    // Like WriteSetting, but saying whether it worked (LastError() if not).
    bool WriteText(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                   const std::string &text);
    bool WriteDword(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                    std::uint32_t number);

    enum class DeleteResult { Deleted, NotFound, Failed };
    // Removes the value from each file that holds it and that this process
    // may write (so a user's own copy goes, and the machine-wide value may
    // then show through). Failed when no copy could be removed.
    DeleteResult DeleteValue(RegistryRoot root, const std::string &keyPath,
                             const std::string &valueName);

    const std::string &LastError() const { return lastError_; }
    // The file the last successful write changed (or found already right).
    const std::string &LastWrittenFile() const { return lastWrittenFile_; }

    const std::string &machineFile() const { return machineFile_; }
    const std::string &userFile() const { return userFile_; }

private:
    enum class Outcome { Done, Denied, Failed };
    struct Change;

    bool write(RegistryRoot root, const std::string &keyPath, const RegValue &value);
    Outcome change(const std::string &file, bool machine, const Change &what);
    Outcome fail(Outcome outcome, const std::string &what, int err);

    std::string machineFile_;
    std::string userFile_;
    std::string lastError_;
    std::string lastWrittenFile_;
};
