#include "startup/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* line;
    bool has_source;
    const char* source;
    bool delete_self;
};

TEST(CommandLine, SwitchesAsTheSetupProgramReadsThem) {
    const Case cases[] = {
        {"", false, "", false},
        {"/S \"C:\\Program Files\\setup.exe\" /DEL", true, "C:\\Program Files\\setup.exe", true},
        {"/S C:\\Program Files\\setup.exe", true, "C:\\Program", false},  // unquoted: up to the blank
        {"-s a:\\setup.exe -del", true, "a:\\setup.exe", true},           // '-' and any case
        {"/SA:\\setup.exe", true, "A:\\setup.exe", false},                // the path may follow at once
        {"/S\"a b\"/DEL", true, "a b", true},
        {"/x /Q:quiet /DEL", false, "", true},                            // unknown switches skipped
        {"/DELAY /S x", true, "x", false},                                // /DELAY is not /DEL
        {"word /DEL", false, "", false},                                  // the first plain word ends it
        {"/S", true, "", false},
        {"/S \"unterminated path", true, "unterminated path", false},
    };
    for (const Case& c : cases) {
        char source[260] = "untouched";
        CommandLine parsed = ParseCommandLine(c.line, source, sizeof source);
        EXPECT_EQ(parsed.has_source, c.has_source) << c.line;
        EXPECT_EQ(parsed.delete_self, c.delete_self) << c.line;
        if (c.has_source) EXPECT_STREQ(source, c.source) << c.line;
        else EXPECT_STREQ(source, "untouched") << c.line;
    }
}

struct QuietCase {
    const char* line;
    bool quiet, help;
    int type;
    const char* folder;
    const char* log;
};

TEST(CommandLine, QuietSwitches) {
    const QuietCase cases[] = {
        {"/QUIET", true, false, 0, "-", "-"},
        {"/quiet /DIR=\"C:\\My Apps\\x\" /TYPE=2 /LOG=\"C:\\a b.log\"", true, false, 2, "C:\\My Apps\\x", "C:\\a b.log"},
        {"-Quiet -dir=C:\\x -type=12", true, false, 12, "C:\\x", "-"},
        {"/QUIET /DIR=C:/x/y /S a.exe", true, false, 0, "C:/x/y", "-"},  // slashes inside a value stay
        {"/?", false, true, 0, "-", "-"},
        {"/QUIETLY", false, false, 0, "-", "-"},  // not /QUIET
        {"/TYPE=0", false, false, -1, "-", "-"},  // types count from 1
        {"/TYPE=", false, false, -1, "-", "-"},
        {"/TYPE=x1", false, false, -1, "-", "-"},
        {"/TYPE=100", false, false, -1, "-", "-"},
        {"/TYPE=1x", false, false, -1, "-", "-"},
        {"/QUIET word /TYPE=2", true, false, 0, "-", "-"},  // the first plain word ends it
    };
    for (const QuietCase& c : cases) {
        char source[260] = "", folder[260] = "-", log[260] = "-";
        CommandLine parsed = ParseCommandLine(c.line, source, sizeof source, {folder, log, sizeof folder});
        EXPECT_EQ(parsed.quiet, c.quiet) << c.line;
        EXPECT_EQ(parsed.help, c.help) << c.line;
        EXPECT_EQ(parsed.type, c.type) << c.line;
        EXPECT_STREQ(folder, c.folder) << c.line;
        EXPECT_STREQ(log, c.log) << c.line;
    }
}

// A folder typed without quotes runs up to the next switch: never a part
// of it (C:\My), and the switches after it are still read. A plain word
// that ends the parse is stray: a quiet install refuses such a line.
TEST(CommandLine, UnquotedFoldersAndStrayWords) {
    const struct {
        const char* line;
        const char* folder;
        const char* log;
        int type;
        bool stray;
    } cases[] = {
        {"/QUIET /DIR=C:\\My Folder /TYPE=2", "C:\\My Folder", "-", 2, false},
        {"/QUIET /DIR=C:\\My Folder", "C:\\My Folder", "-", 0, false},
        {"/QUIET /DIR=C:\\My - Folder /LOG=C:\\a b.log", "C:\\My - Folder", "C:\\a b.log", 0, false},
        {"/QUIET /DIR=C:\\x   ", "C:\\x", "-", 0, false},
        {"/QUIET /DIR=C:\\a /b /TYPE=3", "C:\\a /b", "-", 3, false},  // "/b" is no switch of Setup's
        {"/QUIET word /TYPE=2", "-", "-", 0, true},
        {"/QUIET /DIR=\"C:\\a\" word", "C:\\a", "-", 0, true},
        {"/QUIET", "-", "-", 0, false},
    };
    for (const auto& c : cases) {
        char source[260] = "", folder[260] = "-", log[260] = "-";
        CommandLine parsed = ParseCommandLine(c.line, source, sizeof source, {folder, log, sizeof folder});
        EXPECT_STREQ(folder, c.folder) << c.line;
        EXPECT_STREQ(log, c.log) << c.line;
        EXPECT_EQ(parsed.type, c.type) << c.line;
        EXPECT_EQ(parsed.stray, c.stray) << c.line;
        EXPECT_TRUE(parsed.quiet) << c.line;
    }
}

// /LANG's tag, quoted or not; a folder typed without quotes stops before it.
TEST(CommandLine, LanguageSwitch) {
    const struct {
        const char* line;
        const char* language;
        const char* folder;
    } cases[] = {
        {"/LANG=de", "de", "-"},
        {"-lang=\"pt-BR\" /QUIET", "pt-BR", "-"},
        {"/QUIET /DIR=C:\\My Folder /LANG=ru /TYPE=2", "ru", "C:\\My Folder"},
        {"/LANG=averyverylongtag", "averyverylo", "-"},  // cut to its buffer: no language has such a tag
        {"/LANG= /QUIET", "", "-"},
        {"/LANGUAGE=de", "", "-"},  // no switch of Setup's
        {"/QUIET", "", "-"},
    };
    for (const auto& c : cases) {
        char source[260] = "", folder[260] = "-", log[260] = "-";
        CommandLine parsed = ParseCommandLine(c.line, source, sizeof source, {folder, log, sizeof folder});
        EXPECT_STREQ(parsed.language, c.language) << c.line;
        EXPECT_STREQ(folder, c.folder) << c.line;
    }
}

TEST(CommandLine, LongSourceIsCutToItsBuffer) {
    std::string line = "/S " + std::string(400, 'p') + " /DEL";
    char source[260];
    CommandLine parsed = ParseCommandLine(line.c_str(), source, sizeof source);
    EXPECT_EQ(std::string(source), std::string(259, 'p'));
    EXPECT_TRUE(parsed.delete_self);
}

}  // namespace
