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

TEST(CommandLine, LongSourceIsCutToItsBuffer) {
    std::string line = "/S " + std::string(400, 'p') + " /DEL";
    char source[260];
    CommandLine parsed = ParseCommandLine(line.c_str(), source, sizeof source);
    EXPECT_EQ(std::string(source), std::string(259, 'p'));
    EXPECT_TRUE(parsed.delete_self);
}

}  // namespace
