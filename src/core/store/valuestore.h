#pragma once

#include "core/store/regtext.h"
#include "core/store/regvalue.h"
#include "core/store/settingsstore.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The settings store as the settings tool sees it: values of any type as the
// program reads them, every value of a key, deleting, and where a write went.
// Both back-ends give it (posix/filestore.h, windows/registrystore.h), so that
// brisko-reg is one program over either.
class ValueStore : public SettingsStore {
public:
    // This user's own place and the machine-wide one (placerules.h).
    enum class Place { User, Machine };

    // The value as a read sees it, of any type, named as it is stored.
    virtual std::optional<RegValue> QueryValue(RegistryRoot root, const std::string &keyPath,
                                               const std::string &valueName) = 0;
    // Every value of the key as reads see them, this user's own first;
    // std::nullopt when no place has the key.
    virtual std::optional<std::vector<RegValue>> ListValues(RegistryRoot root,
                                                            const std::string &keyPath) = 0;
    // Stores a value of any type where reads find it, waiting a few seconds
    // for another writer; it is on disk when this returns true. LastError()
    // says why not.
    virtual bool WriteValue(RegistryRoot root, const std::string &keyPath,
                            const RegValue &value) = 0;

    enum class DeleteResult { Deleted, NotFound, Failed };
    // Removes the value from each place that holds it and that this process
    // may change (so a user's own copy goes, and the machine-wide value may
    // then show through). Failed when no copy could be removed.
    virtual DeleteResult DeleteValue(RegistryRoot root, const std::string &keyPath,
                                     const std::string &valueName) = 0;

    // The lines of a store's files that the last look at them had to skip.
    struct BadLines {
        std::string file;
        std::vector<RegBadLine> lines; // the first few
        std::size_t count = 0;         // all of them
        bool tooBig = false;           // the whole file was left unread
    };
    virtual std::vector<BadLines> SkippedLines() { return {}; }

    // The file or key that holds one place's values, for messages.
    virtual std::string PlaceName(Place place, RegistryRoot root,
                                  const std::string &keyPath) const = 0;

    const std::string &LastError() const { return lastError_; }
    // The place the last successful write changed (or found already right).
    Place LastWrittenPlace() const { return lastWritten_; }
    // Why the last write that went to this user's own place could not go
    // machine-wide ("" when it did not have to).
    const std::string &FallbackReason() const { return fallbackReason_; }

protected:
    std::string lastError_;
    std::string fallbackReason_;
    Place lastWritten_ = Place::Machine;
};
