#include "core/store/registrystore.h"

#include "core/rules/numbertext.h"
#include "core/text/asciicase.h"
#include "win32/widetext.h"

#include <windows.h>

#include <algorithm>

using widetext::Narrow;
using widetext::Widen;

namespace {

// The predefined roots are 32-bit values that 64-bit Windows sign-extends into
// a handle, exactly as its own headers define HKEY_LOCAL_MACHINE.
HKEY RootHandle(RegistryRoot root)
{
    const auto value = static_cast<LONG>(static_cast<std::uint32_t>(root));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

// The three places a value can be, in the order reads look.
struct Place {
    HKEY root;
    std::wstring path;
    REGSAM view;
};

Place UserPlace(const std::string &keyPath)
{
    return {HKEY_CURRENT_USER, Widen(keyPath), 0};
}

// Where Windows put a standard user's writes of the earlier 32-bit program.
Place VirtualStorePlace(const std::string &keyPath)
{
    const std::wstring path = Widen(keyPath);
    const size_t prefix = 9; // "SOFTWARE\\"
    std::wstring rest = path;
    if (AsciiLowerText(keyPath.substr(0, std::min(keyPath.size(), prefix))) == "software\\")
        rest = L"SOFTWARE\\WOW6432Node\\" + path.substr(prefix);
    return {HKEY_CURRENT_USER, L"Software\\Classes\\VirtualStore\\MACHINE\\" + rest, 0};
}

Place MachinePlace(RegistryRoot root, const std::string &keyPath)
{
    return {RootHandle(root), Widen(keyPath), KEY_WOW64_32KEY};
}

// The text of a string value, up to its first NUL; std::nullopt when the
// key or value is absent or not a string. Nothing is created by a read.
std::optional<std::wstring> ReadPlace(const Place &place, const std::wstring &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::wstring> result;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        // Room for one more character, so odd or unterminated data reads whole.
        std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD read = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE *>(buffer.data()), &read) == ERROR_SUCCESS &&
            type == REG_SZ) {
            buffer.resize(std::min<size_t>(read / sizeof(wchar_t), buffer.size()));
            buffer.resize(std::min(buffer.find(L'\0'), buffer.size()));
            result = std::move(buffer);
        }
    }
    RegCloseKey(key);
    return result;
}

bool WritePlace(const Place &place, const std::wstring &name, const std::wstring &text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(place.root, place.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | place.view,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    // The text with its terminating NUL, which c_str() guarantees.
    const bool ok =
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool HoldsValue(const Place &place, const std::wstring &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
        ERROR_SUCCESS)
        return false;
    const bool held =
        RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return held;
}

// True when the value is gone from the place (or never was there).
bool DeleteFromPlace(const Place &place, const std::wstring &name)
{
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_SET_VALUE | place.view, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return !HoldsValue(place, name);
    const LONG result = RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool IsQuitRequest(const std::string &valueName)
{
    return AsciiLowerText(valueName) == "isclose";
}

} // namespace

std::optional<std::string> RegistryStore::QueryText(RegistryRoot root, const std::string &keyPath,
                                                    const std::string &valueName)
{
    const std::wstring name = Widen(valueName);
    const Place machine = MachinePlace(root, keyPath);
    std::optional<std::wstring> machineText;
    if (IsQuitRequest(valueName)) {
        machineText = ReadPlace(machine, name);
        if (machineText && LeadingNumber(Narrow(*machineText)) == 1)
            return Narrow(*machineText);
    }
    for (const Place &place : {UserPlace(keyPath), VirtualStorePlace(keyPath)}) {
        if (const auto text = ReadPlace(place, name))
            return Narrow(*text);
    }
    if (!machineText)
        machineText = ReadPlace(machine, name);
    if (machineText)
        return Narrow(*machineText);
    return std::nullopt;
}

// Every failure reads as "": the caller then uses its default.
std::string RegistryStore::ReadSetting(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName)
{
    return QueryText(root, keyPath, valueName).value_or(std::string());
}

bool RegistryStore::WriteText(RegistryRoot root, const std::string &keyPath,
                              const std::string &valueName, const std::string &text)
{
    const std::wstring name = Widen(valueName);
    const std::wstring data = Widen(text);
    const Place user = UserPlace(keyPath);
    // The quit request goes machine-wide, to every user, whenever it may.
    const bool perUser = !IsQuitRequest(valueName) &&
                         (HoldsValue(user, name) || HoldsValue(VirtualStorePlace(keyPath), name));
    if (!perUser && WritePlace(MachinePlace(root, keyPath), name, data))
        return true;
    return WritePlace(user, name, data);
}

void RegistryStore::WriteSetting(RegistryRoot root, const std::string &keyPath,
                                 const std::string &valueName, const std::string &text)
{
    WriteText(root, keyPath, valueName, text);
}

bool RegistryStore::DeleteValue(RegistryRoot root, const std::string &keyPath,
                                const std::string &valueName)
{
    const std::wstring name = Widen(valueName);
    bool gone = true;
    for (const Place &place :
         {UserPlace(keyPath), VirtualStorePlace(keyPath), MachinePlace(root, keyPath)})
        gone = DeleteFromPlace(place, name) && gone;
    return gone;
}

std::vector<std::pair<std::string, std::string>>
RegistryStore::ListValues(RegistryRoot root, const std::string &keyPath)
{
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> seen;
    for (const Place &place :
         {UserPlace(keyPath), VirtualStorePlace(keyPath), MachinePlace(root, keyPath)}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
            ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD length = 16384;
            DWORD type = REG_NONE;
            const LONG result =
                RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            if (result != ERROR_SUCCESS || type != REG_SZ)
                continue;
            const std::string narrow = Narrow(std::wstring(name, length));
            if (std::find(seen.begin(), seen.end(), AsciiLowerText(narrow)) != seen.end())
                continue;
            seen.push_back(AsciiLowerText(narrow));
            if (const auto text = QueryText(root, keyPath, narrow))
                values.emplace_back(narrow, *text);
        }
        RegCloseKey(key);
    }
    return values;
}
