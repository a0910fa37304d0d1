#pragma once

#include "core/store/valuestore.h"

#include <optional>
#include <string>
#include <vector>

// The settings store of the Windows build: values in the registry, through
// the wide-character calls, so Chinese text never passes through a code page.
//
// The machine-wide key is read in the 32-bit view (WOW6432Node on 64-bit
// Windows), where the earlier 32-bit programs kept it and where
// "reg add ... /reg:32" writes. A standard user may not write there, and a
// 64-bit program gets no VirtualStore redirection, so the store keeps a
// per-user key of its own under HKEY_CURRENT_USER, with the rules of
// placerules.h that the file store follows on Linux: a value is read from the
// user's key when that holds it, otherwise from the user's old VirtualStore
// copy (what Windows redirected the 32-bit program's writes to), otherwise
// machine-wide; a write goes to the user's key when either per-user place
// holds the value or the machine-wide write fails, otherwise machine-wide. So
// no older copy ever hides what was written last. "isClose" reading 1
// machine-wide applies to every user.
class RegistryStore : public ValueStore {
public:
    // Every failure reads as "": the caller then uses its default.
    std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                            const std::string &valueName) override;
    void WriteSetting(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override;

    std::optional<RegValue> QueryValue(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName) override;
    std::optional<std::vector<RegValue>> ListValues(RegistryRoot root,
                                                    const std::string &keyPath) override;
    bool WriteValue(RegistryRoot root, const std::string &keyPath, const RegValue &value) override;
    DeleteResult DeleteValue(RegistryRoot root, const std::string &keyPath,
                             const std::string &valueName) override;
    // HKEY_CURRENT_USER\<key> or the machine-wide key.
    std::string PlaceName(Place place, RegistryRoot root,
                          const std::string &keyPath) const override;

private:
    std::optional<RegValue> lookup(RegistryRoot root, const std::string &keyPath,
                                   const std::string &valueName, bool asStored);
};
