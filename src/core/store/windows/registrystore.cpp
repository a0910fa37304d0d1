#include "core/store/windows/registrystore.h"

#include "core/store/placerules.h"
#include "core/text/asciicase.h"
#include "core/text/utf16.h"

#include <windows.h>

#include <algorithm>

namespace {

// The predefined roots are 32-bit values that 64-bit Windows sign-extends into
// a handle, exactly as its own headers define HKEY_LOCAL_MACHINE.
HKEY RootHandle(RegistryRoot root)
{
    const auto value = static_cast<LONG>(static_cast<std::uint32_t>(root));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

// The three places a value can be, in the order reads look.
struct KeyPlace {
    HKEY root;
    std::wstring path;
    REGSAM view;
    std::string shown; // its name in messages
};

// The key path below its root, as FullKeyPath tidies it.
std::string BelowRoot(RegistryRoot root, const std::string &keyPath)
{
    const std::string full = FullKeyPath(root, keyPath);
    const std::size_t slash = full.find('\\');
    return slash == std::string::npos ? std::string() : full.substr(slash + 1);
}

KeyPlace UserPlace(RegistryRoot root, const std::string &keyPath)
{
    const std::string path = BelowRoot(root, keyPath);
    return {HKEY_CURRENT_USER, Utf8ToWide(path), 0, "HKEY_CURRENT_USER\\" + path};
}

// Where Windows put a standard user's writes of the earlier 32-bit program.
KeyPlace VirtualStorePlace(RegistryRoot root, const std::string &keyPath)
{
    std::string path = BelowRoot(root, keyPath);
    if (StartsIgnoringCase(path, "software\\"))
        path = "SOFTWARE\\WOW6432Node\\" + path.substr(9);
    path = "Software\\Classes\\VirtualStore\\MACHINE\\" + path;
    return {HKEY_CURRENT_USER, Utf8ToWide(path), 0, "HKEY_CURRENT_USER\\" + path};
}

KeyPlace MachinePlace(RegistryRoot root, const std::string &keyPath)
{
    return {RootHandle(root), Utf8ToWide(BelowRoot(root, keyPath)), KEY_WOW64_32KEY,
            FullKeyPath(root, keyPath)};
}

// "<key>: <the system's words for the error>".
std::string Failure(const KeyPlace &place, LONG code)
{
    wchar_t *words = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&words), 0, nullptr);
    std::string text = length ? WideToUtf8(std::wstring_view(words, length)) : std::string();
    LocalFree(words);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(code);
    return place.shown + ": " + text;
}

// The names of a key's values as they are stored.
std::vector<std::wstring> ValueNames(HKEY key)
{
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        const LONG result =
            RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS)
            names.emplace_back(name, length);
    }
    return names;
}

// The value's type and bytes, whatever its type; std::nullopt when the key or
// value is absent or cannot be read. asStored: named as the key spells it
// rather than as asked. Nothing is created by a read.
std::optional<RegValue> ReadPlace(const KeyPlace &place, const std::string &name, bool asStored)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring wide = Utf8ToWide(name);
    std::optional<RegValue> value;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, wide.c_str(), nullptr, &type, nullptr, &size);
    std::string data;
    // A value that grows between the two calls is asked for again.
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.assign(size, '\0');
        result = RegQueryValueExW(key, wide.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE *>(data.data()), &size);
        if (result == ERROR_SUCCESS) {
            data.resize(std::min<std::size_t>(size, data.size()));
            value = RegValue{name, type, std::move(data)};
            break;
        }
    }
    if (value && asStored) {
        for (const std::wstring &stored : ValueNames(key))
            if (SameIgnoringCase(WideToUtf8(stored), name)) {
                value->name = WideToUtf8(stored);
                break;
            }
    }
    RegCloseKey(key);
    return value;
}

LONG WritePlace(const KeyPlace &place, const RegValue &value)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(place.root, place.path.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | place.view, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    const std::wstring name = Utf8ToWide(value.name);
    result = RegSetValueExW(key, name.c_str(), 0, value.type,
                            reinterpret_cast<const BYTE *>(value.data.data()),
                            static_cast<DWORD>(value.data.size()));
    RegCloseKey(key);
    return result;
}

bool HoldsValue(const KeyPlace &place, const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
        ERROR_SUCCESS)
        return false;
    const bool held = RegQueryValueExW(key, Utf8ToWide(name).c_str(), nullptr, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return held;
}

} // namespace

std::optional<RegValue> RegistryStore::lookup(RegistryRoot root, const std::string &keyPath,
                                              const std::string &valueName, bool asStored)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty())
        return std::nullopt;
    std::optional<RegValue> user = ReadPlace(UserPlace(root, keyPath), valueName, asStored);
    if (!user)
        user = ReadPlace(VirtualStorePlace(root, keyPath), valueName, asStored);
    // The machine-wide copy matters beside a user's own only for the quit
    // request; the housekeeping tick reads that every second.
    if (user && !IsQuitRequest(path, valueName))
        return user;
    std::optional<RegValue> machine = ReadPlace(MachinePlace(root, keyPath), valueName, asStored);
    const RegValue *seen =
        CopyReadsSee(path, user ? &*user : nullptr, machine ? &*machine : nullptr);
    if (!seen)
        return std::nullopt;
    return *seen;
}

std::string RegistryStore::ReadSetting(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName)
{
    const auto value = lookup(root, keyPath, valueName, false);
    if (!value || value->type != kRegSz)
        return {};
    return RegSzDataToText(value->data);
}

void RegistryStore::WriteSetting(RegistryRoot root, const std::string &keyPath,
                                 const std::string &valueName, const std::string &text)
{
    // The whole text, a NUL in it included; reads stop at the NUL.
    WriteValue(root, keyPath, {valueName, kRegSz, TextToRegSzData(text)});
}

std::optional<RegValue> RegistryStore::QueryValue(RegistryRoot root, const std::string &keyPath,
                                                  const std::string &valueName)
{
    return lookup(root, keyPath, valueName, true);
}

bool RegistryStore::WriteValue(RegistryRoot root, const std::string &keyPath, const RegValue &value)
{
    const std::string path = FullKeyPath(root, keyPath);
    if (path.empty()) {
        lastError_ = "unknown registry root";
        return false;
    }
    fallbackReason_.clear();
    const KeyPlace user = UserPlace(root, keyPath);
    const bool userHolds =
        HoldsValue(user, value.name) || HoldsValue(VirtualStorePlace(root, keyPath), value.name);
    if (!WritesToUserCopy(path, value.name, userHolds)) {
        const KeyPlace machine = MachinePlace(root, keyPath);
        const LONG result = WritePlace(machine, value);
        if (result == ERROR_SUCCESS) {
            lastWritten_ = Place::Machine;
            return true;
        }
        fallbackReason_ = Failure(machine, result);
    }
    const LONG result = WritePlace(user, value);
    if (result != ERROR_SUCCESS) {
        lastError_ = Failure(user, result);
        return false;
    }
    lastWritten_ = Place::User;
    return true;
}

ValueStore::DeleteResult RegistryStore::DeleteValue(RegistryRoot root, const std::string &keyPath,
                                                    const std::string &valueName)
{
    if (FullKeyPath(root, keyPath).empty())
        return DeleteResult::NotFound;
    bool found = false, deleted = false;
    const std::wstring name = Utf8ToWide(valueName);
    for (const KeyPlace &place : {UserPlace(root, keyPath), VirtualStorePlace(root, keyPath),
                                  MachinePlace(root, keyPath)}) {
        if (!HoldsValue(place, valueName))
            continue;
        found = true;
        HKEY key = nullptr;
        LONG result =
            RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_SET_VALUE | place.view, &key);
        if (result == ERROR_SUCCESS) {
            result = RegDeleteValueW(key, name.c_str());
            RegCloseKey(key);
        }
        if (result == ERROR_SUCCESS)
            deleted = true;
        else
            lastError_ = Failure(place, result);
    }
    if (!found)
        return DeleteResult::NotFound;
    return deleted ? DeleteResult::Deleted : DeleteResult::Failed;
}

std::optional<std::vector<RegValue>> RegistryStore::ListValues(RegistryRoot root,
                                                               const std::string &keyPath)
{
    if (FullKeyPath(root, keyPath).empty())
        return std::nullopt;
    std::optional<std::vector<RegValue>> values;
    std::vector<std::string> seen;
    for (const KeyPlace &place : {UserPlace(root, keyPath), VirtualStorePlace(root, keyPath),
                                  MachinePlace(root, keyPath)}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) !=
            ERROR_SUCCESS)
            continue;
        const std::vector<std::wstring> names = ValueNames(key);
        RegCloseKey(key);
        if (!values)
            values.emplace();
        for (const std::wstring &wide : names) {
            const std::string name = WideToUtf8(wide);
            if (std::find(seen.begin(), seen.end(), AsciiLowerText(name)) != seen.end())
                continue;
            seen.push_back(AsciiLowerText(name));
            if (auto value = lookup(root, keyPath, name, true))
                values->push_back(std::move(*value));
        }
    }
    return values;
}

std::string RegistryStore::PlaceName(Place place, RegistryRoot root,
                                     const std::string &keyPath) const
{
    return place == Place::User ? UserPlace(root, keyPath).shown
                                : MachinePlace(root, keyPath).shown;
}
