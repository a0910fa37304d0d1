#pragma once

#include "core/store/settingsstore.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// A settings store in memory: names match without regard to case, and every
// read and write is recorded in order so tests can check what a handler did.
class MemoryStore : public SettingsStore {
public:
    struct Access {
        char kind; // 'R' or 'W'
        std::string name;
        std::string text;
    };

    std::string ReadSetting(RegistryRoot, const std::string &keyPath,
                            const std::string &valueName) override
    {
        lastKey = keyPath;
        auto it = values.find(fold(valueName));
        std::string text = it == values.end() ? std::string() : it->second;
        log.push_back({'R', valueName, text});
        return text;
    }

    void WriteSetting(RegistryRoot, const std::string &keyPath, const std::string &valueName,
                      const std::string &text) override
    {
        lastKey = keyPath;
        values[fold(valueName)] = text;
        log.push_back({'W', valueName, text});
    }

    void WriteSettings(RegistryRoot root, const std::string &keyPath,
                       const SettingTexts &texts) override
    {
        ++batches;
        SettingsStore::WriteSettings(root, keyPath, texts);
    }

    std::string Flush() override
    {
        ++flushes;
        return {};
    }

    void set(const std::string &name, const std::string &text) { values[fold(name)] = text; }
    bool has(const std::string &name) const { return values.count(fold(name)) != 0; }
    std::string get(const std::string &name) const
    {
        auto it = values.find(fold(name));
        return it == values.end() ? std::string() : it->second;
    }
    std::vector<Access> writes() const
    {
        std::vector<Access> out;
        for (const auto &a : log)
            if (a.kind == 'W')
                out.push_back(a);
        return out;
    }

    std::map<std::string, std::string> values;
    std::vector<Access> log;
    std::string lastKey;
    int batches = 0; // calls of WriteSettings
    int flushes = 0;

private:
    static std::string fold(std::string s)
    {
        for (auto &c : s)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return s;
    }
};
