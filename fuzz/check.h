#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

// A broken promise of the code under test: report it and abort, so that
// libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "CHECK FAILED %s:%d: %s\n  ", __FILE__, __LINE__, #condition);    \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fputc('\n', stderr);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Any double from the fuzzer's bytes: "=<text>" is read with strtod (so that
// the seeds can be readable, "=86400" or "=nan"); anything else gives the bits
// of its first eight bytes, which reach every NaN, infinity and subnormal.
inline double DoubleFromBytes(const std::uint8_t *data, std::size_t size)
{
    if (size > 0 && data[0] == '=') {
        const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
        return std::strtod(text.c_str(), nullptr);
    }
    std::uint8_t bits[8] = {};
    std::memcpy(bits, data, size < 8 ? size : 8);
    double value;
    std::memcpy(&value, bits, sizeof value);
    return value;
}

inline std::string Printable(std::string_view s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += char(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}
