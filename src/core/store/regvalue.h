#pragma once

#include "core/store/settingsstore.h"

#include <cstdint>
#include <string>
#include <string_view>

// One registry value as both stores keep it: its name, its type and its bytes
// as the registry holds them (REG_SZ as UTF-16LE with a closing NUL, REG_DWORD
// as four bytes, little-endian), so the settings file and the registry give
// the settings tool the same thing.

struct RegValue {
    std::string name;
    std::uint32_t type = 0; // REG_SZ = 1, REG_DWORD = 4, ...
    std::string data;       // the value's bytes as the registry holds them
};

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// REG_SZ data (UTF-16LE) to and from UTF-8 text (core/text/utf16.h: bytes
// that are not UTF-8 survive the trip). Reading stops at a NUL.
std::string TextToRegSzData(std::string_view text);
std::string RegSzDataToText(std::string_view data);
// REG_DWORD data: the number's four bytes, little-endian.
std::string RegDwordData(std::uint32_t number);

// "REG_SZ", "REG_DWORD", ...; "REG_0x<hex>" for a type without a name.
std::string RegTypeName(std::uint32_t type);

// "HKEY_LOCAL_MACHINE" and the other predefined roots; "" for an unknown one.
std::string RegRootName(RegistryRoot root);
