#include "core/store/registrystore.h"

#include "win32/win32text.h"

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

} // namespace

// Every failure reads as "": the caller then uses its default. Result codes
// are otherwise ignored, and nothing is created by a read.
std::string RegistryStore::ReadSetting(RegistryRoot root, const std::string &keyPath,
                                       const std::string &valueName)
{
    const std::string ansiKey = win32text::Utf8ToAnsi(keyPath);
    const std::string ansiName = win32text::Utf8ToAnsi(valueName);

    HKEY key = nullptr;
    if (RegOpenKeyA(RootHandle(root), ansiKey.c_str(), &key) != ERROR_SUCCESS) {
        return {};
    }

    std::string result;
    DWORD type = REG_NONE;
    DWORD size = 0;
    RegQueryValueExA(key, ansiName.c_str(), nullptr, &type, nullptr, &size);
    // A missing value leaves the type at REG_NONE.
    if (type == REG_SZ && size > 0) {
        std::string buffer(size, ' ');
        DWORD read = size;
        if (RegQueryValueExA(key, ansiName.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE *>(buffer.data()), &read) == ERROR_SUCCESS) {
            // The size asked for first may exceed what arrives; keep only what
            // the read delivered, up to the first NUL. Data stored without a
            // terminating NUL is thus read whole.
            buffer.resize(std::min<size_t>(read, buffer.size()));
            buffer.resize(std::min(buffer.find('\0'), buffer.size()));
            result = win32text::AnsiToUtf8(buffer);
        }
    }
    RegCloseKey(key);
    return result;
}

void RegistryStore::WriteSetting(RegistryRoot root, const std::string &keyPath,
                                 const std::string &valueName, const std::string &text)
{
    const std::string ansiKey = win32text::Utf8ToAnsi(keyPath);
    const std::string ansiName = win32text::Utf8ToAnsi(valueName);
    const std::string data = win32text::Utf8ToAnsi(text);

    HKEY key = nullptr;
    if (RegCreateKeyA(RootHandle(root), ansiKey.c_str(), &key) != ERROR_SUCCESS) {
        return;
    }
    // The text with its terminating NUL, which c_str() guarantees.
    RegSetValueExA(key, ansiName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}
