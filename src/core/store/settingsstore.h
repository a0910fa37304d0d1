#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The program's settings live as text values under one key of a registry-like
// store: the real registry on Windows, a file store of our own elsewhere.
// Text crosses this interface as UTF-8.

// Predefined registry roots, with the values Windows gives their handles.
enum class RegistryRoot : std::uint32_t {
    LocalMachine = 0x80000002u,
};

inline constexpr const char *kSettingsKey = "SOFTWARE\\Pelmora\\Brisko";

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The value's text, or "" when the key or value is absent, is not a
    // string, or cannot be read. Names match without regard to case. A NUL in
    // the stored text ends what is read.
    virtual std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                                    const std::string &valueName) = 0;

    // Stores the text as a string value, creating the key as needed: a value
    // the user set, which a store puts on disk before it returns. Failures
    // are swallowed: the value then simply is not there next time.
    virtual void WriteSetting(RegistryRoot root, const std::string &keyPath,
                              const std::string &valueName, const std::string &text) = 0;

    // The housekeeping values the program keeps for itself (name, text),
    // taken as one change where the store can: one lock and one rewrite of a
    // settings file. Other programs see them at once like any write; a store
    // may put them on disk later (a file store: within a minute, or at Flush).
    using SettingTexts = std::vector<std::pair<std::string, std::string>>;
    virtual void WriteSettings(RegistryRoot root, const std::string &keyPath,
                               const SettingTexts &values)
    {
        for (const auto &[name, text] : values)
            WriteSetting(root, keyPath, name, text);
    }

    // Puts on disk what WriteSettings left for later and stores what is still
    // waiting (a file store waits a few seconds for another writer's lock),
    // before the program ends cleanly. Returns "" when everything is stored,
    // otherwise a line saying what is not. Nothing to do for a store that
    // keeps nothing back.
    virtual std::string Flush() { return {}; }
};

// The machine-wide store this build uses: the registry store on Windows, the
// file store elsewhere (store/windows/ and store/posix/, one built).
std::unique_ptr<SettingsStore> OpenMachineSettingsStore();
