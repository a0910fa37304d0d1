#include "core/store/regvalue.h"

#include "core/text/utf16.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

std::string TextToRegSzData(std::string_view text)
{
    const std::u16string units = Utf8ToUtf16(text);
    std::string data(units.size() * 2 + 2, '\0'); // with the closing NUL
    char *o = data.data();
    for (const char16_t *u = units.data(), *end = u + units.size(); u != end; ++u, o += 2) {
        o[0] = char(*u & 0xFF);
        o[1] = char(*u >> 8);
    }
    return data;
}

std::string RegSzDataToText(std::string_view data)
{
    std::u16string units(data.size() / 2, u'\0');
    const auto *in = reinterpret_cast<const unsigned char *>(data.data());
    for (char16_t *o = units.data(), *end = o + units.size(); o != end; ++o, in += 2)
        *o = char16_t(in[0] | (in[1] << 8));
    units.resize(std::min(units.find(u'\0'), units.size()));
    return Utf16ToUtf8(units);
}

std::string RegDwordData(std::uint32_t v)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
    return out;
}

std::string RegTypeName(std::uint32_t type)
{
    static const char *const names[] = {
        "REG_NONE",
        "REG_SZ",
        "REG_EXPAND_SZ",
        "REG_BINARY",
        "REG_DWORD",
        "REG_DWORD_BIG_ENDIAN",
        "REG_LINK",
        "REG_MULTI_SZ",
        "REG_RESOURCE_LIST",
        "REG_FULL_RESOURCE_DESCRIPTOR",
        "REG_RESOURCE_REQUIREMENTS_LIST",
        "REG_QWORD",
    };
    if (type < std::size(names))
        return names[type];
    char buf[32];
    std::snprintf(buf, sizeof buf, "REG_0x%x", unsigned(type));
    return buf;
}

std::string RegRootName(RegistryRoot root)
{
    switch (static_cast<std::uint32_t>(root)) {
    case 0x80000000u:
        return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
        return "HKEY_CURRENT_USER";
    case 0x80000002u:
        return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
        return "HKEY_USERS";
    case 0x80000005u:
        return "HKEY_CURRENT_CONFIG";
    default:
        return {};
    }
}
