#pragma once

// A small test harness for the parts of the program that need no toolkit, so
// that their tests build and run anywhere the core builds: natively without
// Qt, and for Windows under Wine.
//
//   TEST_CASE(stopwatchCountsUp) {
//       CHECK(engine.running());
//       CHECK_EQ(engine.display(), "0:00:01");
//   }
//
// A failed check reports its place and values and ends its test case; the
// run goes on with the next one. The executable ends with the line
// "N passed, N failed" (test cases) and exits 1 when any failed. Arguments
// select the test cases whose names contain one of them.

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace check {

struct TestCase {
    const char *name;
    void (*run)();
};

inline std::vector<TestCase> &Registry()
{
    static std::vector<TestCase> cases;
    return cases;
}

struct Register {
    Register(const char *name, void (*run)()) { Registry().push_back({name, run}); }
};

// Thrown by a failed check to end its test case.
struct Failure {};

// Values as a failure message shows them: texts quoted with their control
// and non-ASCII bytes escaped, so the log reads the same in any console.
inline std::string Shown(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out + "\"";
}
inline std::string Shown(const std::string &text)
{
    return Shown(std::string_view(text));
}
inline std::string Shown(const char *text)
{
    return Shown(std::string_view(text));
}
inline std::string Shown(bool value)
{
    return value ? "true" : "false";
}
template <typename T> std::string Shown(const T &value)
{
    if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(value));
    } else {
        std::ostringstream out;
        out.precision(17);
        out << value;
        return out.str();
    }
}

inline void Fail(const char *file, int line, const std::string &what)
{
    std::printf("    %s:%d: %s\n", file, line, what.c_str());
    throw Failure{};
}

// Prints what is being checked when a check inside a loop fails.
#define CHECK_CONTEXT(...) ::check::Context check_context_guard_(__VA_ARGS__)
struct Context {
    template <typename... Parts> explicit Context(const Parts &...parts)
    {
        std::ostringstream out;
        ((out << parts), ...);
        Stack().push_back(out.str());
    }
    ~Context() { Stack().pop_back(); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    static std::vector<std::string> &Stack()
    {
        static std::vector<std::string> stack;
        return stack;
    }
    static std::string Describe()
    {
        std::string all;
        for (const auto &part : Stack())
            all += " [" + part + "]";
        return all;
    }
};

inline int RunAll(int argc, char **argv)
{
    int passed = 0;
    int failed = 0;
    for (const TestCase &test : Registry()) {
        bool selected = argc < 2;
        for (int i = 1; i < argc && !selected; ++i)
            selected = std::string_view(test.name).find(argv[i]) != std::string_view::npos;
        if (!selected)
            continue;
        bool ok = true;
        try {
            test.run();
        } catch (const Failure &) {
            ok = false;
        } catch (const std::exception &e) {
            std::printf("    unexpected exception: %s\n", e.what());
            ok = false;
        }
        Context::Stack().clear();
        std::printf("%s %s\n", ok ? "ok  " : "FAIL", test.name);
        (ok ? passed : failed) += 1;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}

} // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)

#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static const ::check::Register CHECK_CAT(check_register_, name)(#name, &name);                 \
    static void name()

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::check::Fail(__FILE__, __LINE__,                                                      \
                          std::string("CHECK(" #condition ")") + ::check::Context::Describe());    \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        const auto &check_a_ = (actual);                                                           \
        const auto &check_e_ = (expected);                                                         \
        if (!(check_a_ == check_e_))                                                               \
            ::check::Fail(__FILE__, __LINE__,                                                      \
                          std::string(#actual " is ") + ::check::Shown(check_a_) + ", want " +     \
                              ::check::Shown(check_e_) + ::check::Context::Describe());            \
    } while (0)
