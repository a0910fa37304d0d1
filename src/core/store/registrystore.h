#pragma once

#include "core/store/settingsstore.h"

#include <optional>
#include <utility>
#include <vector>

// The settings store of the Windows build: string values in the registry,
// through the wide-character calls, so Chinese text never passes through a
// code page.
//
// The machine-wide key is read in the 32-bit view (WOW6432Node on 64-bit
// Windows), where the earlier 32-bit programs kept it and where
// "reg add ... /reg:32" writes. A standard user may not write there, and a
// 64-bit program gets no VirtualStore redirection, so the store keeps a
// per-user key of its own under HKEY_CURRENT_USER, as the two-file store does
// on Linux: a value is read from the user's key when that holds it, otherwise
// from the user's old VirtualStore copy (what Windows redirected the 32-bit
// program's writes to), otherwise machine-wide; a write goes to the user's key
// when either per-user place holds the value or the machine-wide write is
// refused, otherwise machine-wide. So no older copy ever hides what was
// written last. "isClose" reading 1 machine-wide applies to every user.
class RegistryStore : public SettingsStore {
public:
    std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                            const std::string &valueName) override;
    void WriteSetting(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override;

    // As a read sees it; std::nullopt when no place holds a string value.
    std::optional<std::string> QueryText(RegistryRoot root, const std::string &keyPath,
                                         const std::string &valueName);
    // Like WriteSetting, saying whether the text was stored somewhere.
    bool WriteText(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                   const std::string &text);
    // Removes the value from every place this user may change; true when it
    // is no longer seen by reads.
    bool DeleteValue(RegistryRoot root, const std::string &keyPath, const std::string &valueName);
    // Every string value as reads see them (name, text).
    std::vector<std::pair<std::string, std::string>> ListValues(RegistryRoot root,
                                                                const std::string &keyPath);
};
