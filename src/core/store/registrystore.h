#pragma once

#include "core/store/settingsstore.h"

// The settings store of the Windows build: string values in the registry,
// reached through the ANSI registry calls, so values set by other programs
// under the same key (such as the request to quit) are seen as they wrote them.
class RegistryStore : public SettingsStore {
public:
    std::string ReadSetting(RegistryRoot root, const std::string &keyPath,
                            const std::string &valueName) override;
    void WriteSetting(RegistryRoot root, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override;
};
