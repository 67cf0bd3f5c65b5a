// Package texts used as formats take exactly the one argument the program
// has; anything else in them is text. Results are cut to the buffer.
#include "package/safe_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kCanary = '\x7E';

// Formats into a buffer of `capacity` bytes followed by canaries, checks that
// none was touched and that the returned length matches the text.
template <typename Formatter>
std::string Run(Formatter format, size_t capacity) {
    std::vector<char> buffer(capacity + 8, kCanary);
    size_t length = format(buffer.data(), capacity);
    for (size_t k = capacity; k < buffer.size(); ++k) EXPECT_EQ(buffer[k], kCanary) << "written at " << k;
    if (capacity == 0) {
        EXPECT_EQ(length, 0u);
        return "<nothing>";
    }
    EXPECT_LT(length, capacity);
    EXPECT_EQ(std::strlen(buffer.data()), length);
    return std::string(buffer.data());
}

std::string WithString(const char* format, const char* argument, size_t capacity = 256) {
    return Run([&](char* out, size_t cap) { return FormatWithString(out, cap, format, argument); }, capacity);
}

std::string WithNumber(const char* format, uint32_t value, size_t capacity = 256) {
    return Run([&](char* out, size_t cap) { return FormatWithNumber(out, cap, format, value); }, capacity);
}

TEST(FormatWithString, OnlyTheFirstStringDirectiveTakesTheArgument) {
    struct Case {
        const char* format;
        const char* argument;
        const char* expected;
    } cases[] = {
        {"Cannot write %s.", "C:\\Kiln\\a.dll", "Cannot write C:\\Kiln\\a.dll."},
        {"%s", "", ""},
        {"no directive", "x", "no directive"},
        {"%s and %s", "one", "one and %s"},
        {"100%% of %s", "x", "100% of x"},
        {"%%s is %s", "x", "%s is x"},
        {"%d %x %n %5s %-s %S %ls then %s", "x", "%d %x %n %5s %-s %S %ls then x"},
        {"ends with %", "x", "ends with %"},
        {"%", "x", "%"},
        {"%%%", "x", "%%"},
        {"%s", "arg with %s, %d and %n", "arg with %s, %d and %n"},  // the argument is not a format
        {"in %s", nullptr, "in "},
        {nullptr, "x", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithString(c.format, c.argument), c.expected) << (c.format ? c.format : "(null)");
}

TEST(FormatWithNumber, SignedAndUnsignedDirectivesOnly) {
    struct Case {
        const char* format;
        uint32_t value;
        const char* expected;
    } cases[] = {
        {"Insert disk %d.", 2, "Insert disk 2."},
        {"%d MB", 0, "0 MB"},
        {"%u", 4294967295u, "4294967295"},
        {"%lu", 4294967295u, "4294967295"},
        {"%d", 4294967295u, "-1"},
        {"%ld", 0x80000000u, "-2147483648"},
        {"%i|%li", 7, "7|%li"},
        {"%d of %d", 1, "1 of %d"},
        {"%s MB", 5, "%s MB"},
        {"%5d %x %n %lx %% %u", 12, "%5d %x %n %lx % 12"},
        {"%l", 3, "%l"},
        {"trailing %", 3, "trailing %"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithNumber(c.format, c.value), c.expected) << c.format;
}

TEST(SafeFormat, LongResultsAreCutToTheBuffer) {
    EXPECT_EQ(WithString("Hello %s!", "World", 8), "Hello W");
    EXPECT_EQ(WithString("%s tail", "abcdef", 4), "abc");
    EXPECT_EQ(WithString("ab%%cd", "", 4), "ab%");
    EXPECT_EQ(WithString("abc", "x", 1), "");
    EXPECT_EQ(WithString("abc", "x", 0), "<nothing>");
    EXPECT_EQ(WithNumber("disk %u", 123456, 8), "disk 12");
    EXPECT_EQ(WithNumber("%d", 0x80000000u, 3), "-2");
    EXPECT_EQ(WithNumber("x", 1, 0), "<nothing>");

    // A disk prompt far longer than its 200-byte buffer.
    std::string prompt = std::string(300, 'p') + " %d";
    EXPECT_EQ(WithNumber(prompt.c_str(), 3, 200), std::string(199, 'p'));
}

}  // namespace
