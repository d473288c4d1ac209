#pragma once

// A small test harness for the Windows build, where no Qt is available: TEST(name) defines a test,
// CHECK and CHECK_EQ record failures and let the test go on, REQUIRE ends the test. main() runs
// every test in the order they appear and prints "windows: N passed, M failed".

#include <cstdio>
#include <exception>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace check {

struct Test
{
    const char *name;
    std::function<void()> body;
};

inline std::vector<Test> &registry()
{
    static std::vector<Test> tests;
    return tests;
}

inline int &failures()
{
    static int count = 0;
    return count;
}

struct Registrar
{
    Registrar(const char *name, std::function<void()> body) { registry().push_back({name, std::move(body)}); }
};

// Thrown by REQUIRE to end the current test.
struct Abort
{ };

// Bytes shown so that control characters and high bytes stay readable in a failure.
inline std::string printable(std::string_view text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out.size() > 400 ? out.substr(0, 400) + "..." : out;
}

template <typename T> std::string show(const T &value)
{
    if constexpr (std::is_convertible_v<const T &, std::string_view>) {
        return '"' + printable(value) + '"';
    } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
        std::string out = "{";
        for (const std::string &item : value)
            out += ' ' + show(item);
        return out + " }";
    } else {
        std::ostringstream out;
        out << value;
        return out.str();
    }
}

inline void fail(const char *file, int line, const std::string &what)
{
    ++failures();
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
}

template <typename A, typename B>
bool equal(const char *file, int line, const char *expression, const A &actual, const B &expected)
{
    if (actual == expected)
        return true;
    fail(file, line,
        std::string(expression) + "\n      actual:   " + show(actual) + "\n      expected: " + show(expected));
    return false;
}

inline int runAll()
{
    int passed = 0;
    int failed = 0;
    for (const Test &test : registry()) {
        const int before = failures();
        try {
            test.body();
        } catch (const Abort &) {
        } catch (const std::exception &error) {
            fail(__FILE__, __LINE__, std::string("unexpected exception: ") + error.what());
        }
        if (failures() == before) {
            ++passed;
        } else {
            ++failed;
            std::printf("FAIL %s\n", test.name);
        }
        std::fflush(stdout);
    }
    std::printf("windows: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

} // namespace check

#define CHECK_CONCAT2(a, b) a##b
#define CHECK_CONCAT(a, b) CHECK_CONCAT2(a, b)
#define TEST(name)                                                                                                     \
    static void name();                                                                                                \
    static const check::Registrar CHECK_CONCAT(registrar_, name)(#name, name);                                         \
    static void name()

#define CHECK(condition) ((condition) ? true : (check::fail(__FILE__, __LINE__, "CHECK(" #condition ")"), false))
#define CHECK_EQ(actual, expected) check::equal(__FILE__, __LINE__, #actual " == " #expected, (actual), (expected))
#define REQUIRE(condition)                                                                                             \
    do {                                                                                                               \
        if (!CHECK(condition))                                                                                         \
            throw check::Abort();                                                                                      \
    } while (false)

// Runs `statement`, which must throw `Type` with exactly the message `message`.
#define CHECK_THROWS_MESSAGE(Type, statement, message)                                                                 \
    do {                                                                                                               \
        try {                                                                                                          \
            statement;                                                                                                 \
            check::fail(__FILE__, __LINE__, "no exception from " #statement);                                          \
        } catch (const Type &error) {                                                                                  \
            check::equal(                                                                                              \
                __FILE__, __LINE__, "message of " #statement, std::string(error.what()), std::string(message));        \
        }                                                                                                              \
    } while (false)
