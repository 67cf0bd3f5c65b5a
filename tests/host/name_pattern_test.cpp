// Source patterns match the same names on Windows as on Linux: the matcher
// kiln carries is held against the C library's fnmatch (with FNM_PERIOD,
// what kiln on Linux used), over every pattern and name of a table.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include "builder/manifest/name_pattern.h"

TEST(NamePattern, AgreesWithFnmatch) {
    const char* patterns[] = {
        "*", "*.dll", "*.DLL", "lib?.so", "?", "??", "a*b*c", "*a*", "**", "[abc]*", "[!abc]*", "[^abc]*",
        "[a-c]x", "[]a]", "[!]a]", "[a-]", "[", "[abc", "a[", "\\*", "a\\?b", "\\[x]", ".*", ".?", "*.",
        "[.]*", "x[\\]]y", "*[0-9].txt", "data-*.bin", "",
    };
    const char* names[] = {
        "a", "ab", "abc", "a.dll", "A.DLL", "libx.so", "libxy.so", ".hidden", ".", "x", "]", "-", "[", "*",
        "a?b", "axb", "[x]", "file9.txt", "file.txt", "data-1.bin", "x]y", "a[", "cba", "aXbYc", "déjà.txt",
    };
    for (const char* p : patterns)
        for (const char* n : names)
            EXPECT_EQ(NameMatchesPattern(p, n), fnmatch(p, n, FNM_PERIOD) == 0) << "pattern '" << p << "', name '" << n << "'";
}

TEST(NamePattern, HiddenFilesAndSets) {
    struct Case {
        const char *pattern, *name;
        bool matches;
    } cases[] = {
        {"*", ".profile", false},  // a leading dot is matched only by a dot
        {".*", ".profile", true},
        {"[a-z]*.txt", "readme.txt", true},
        {"[!a-z]*.txt", "Readme.txt", true},
        {"*.dll", "kernel32.DLL", false},  // case counts on every system
    };
    for (const Case& c : cases) EXPECT_EQ(NameMatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}
