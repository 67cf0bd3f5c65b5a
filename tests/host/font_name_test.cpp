// The full name read from a TrueType file's naming table: which record
// counts, how far the directory is searched, and damaged files.
#include "engine/font_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/common/font_writer.h"

namespace {

// Reads from a file held in memory; a read past its end fails.
bool ReadMemory(void* context, uint32_t offset, uint8_t* buffer, uint32_t size) {
    const auto* file = static_cast<const std::vector<uint8_t>*>(context);
    if (uint64_t(offset) + size > file->size()) return false;
    std::copy(file->begin() + offset, file->begin() + offset + size, buffer);
    return true;
}

std::string FullName(std::vector<uint8_t> file) {
    char name[kFontNameSize];
    std::memset(name, '~', sizeof name);
    size_t length = ReadFontFullName(ReadMemory, &file, name);
    EXPECT_EQ(length, std::strlen(name));
    return name;
}

TEST(FontName, WhichRecordGivesTheFullName) {
    struct Case {
        const char* label;
        std::vector<FontNameRecord> names;
        std::string expected;
    } cases[] = {
        {"Macintosh full name among others",
         {{3, 4, "Windows Name"}, {1, 1, "Family"}, {1, 4, "Kiln Sans Bold"}, {1, 6, "KilnSans-Bold"}},
         "Kiln Sans Bold"},
        {"the last of several wins", {{1, 4, "First"}, {1, 4, "Second"}, {1, 4, "Third"}}, "Third"},
        {"Windows names only", {{3, 4, "Windows Name"}, {0, 4, "Unicode Name"}}, ""},
        {"an empty last record leaves no name", {{1, 4, "Earlier"}, {1, 4, ""}}, ""},
        {"an empty record before the last", {{1, 4, ""}, {1, 4, "Last"}}, "Last"},
        {"no records", {}, ""},
    };
    for (const Case& c : cases) {
        FontContents font;
        font.names = c.names;
        EXPECT_EQ(FullName(TrueTypeFile(font)), c.expected) << c.label;
    }
}

TEST(FontName, OnlyTheFirstFortyTablesAreSearched) {
    FontContents font;
    font.names = {{1, 4, "Deep Font"}};
    font.tables_before_name = kFontDirectoryLimit - 1;
    EXPECT_EQ(FullName(TrueTypeFile(font)), "Deep Font");
    font.tables_before_name = kFontDirectoryLimit;
    EXPECT_EQ(FullName(TrueTypeFile(font)), "");
    font.has_name_table = false;
    font.tables_before_name = 3;
    EXPECT_EQ(FullName(TrueTypeFile(font)), "");
}

TEST(FontName, LongNameIsCutToTheBuffer) {
    FontContents font;
    font.names = {{1, 4, std::string(300, 'N')}};
    EXPECT_EQ(FullName(TrueTypeFile(font)), std::string(kFontNameSize - 1, 'N'));
}

TEST(FontName, DamagedFilesGiveNoNameAndReadNothingOutside) {
    FontContents font;
    font.names = {{1, 4, "Good"}, {1, 4, "Second"}};
    FontLayout l;
    const std::vector<uint8_t> good = TrueTypeFile(font, &l);
    struct Case {
        const char* label;
        std::vector<uint8_t> file;
        std::string expected;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", {}, ""});
    cases.push_back({"cut inside the offset table", std::vector<uint8_t>(good.begin(), good.begin() + 8), ""});
    cases.push_back(
        {"cut inside the directory", std::vector<uint8_t>(good.begin(), good.begin() + l.name_directory_entry + 8), ""});
    {
        std::vector<uint8_t> f = good;
        SetBig32(f, l.name_directory_entry + 8, 0xFFFFFFF0u);  // naming table far outside
        cases.push_back({"naming table outside the file", f, ""});
    }
    {
        std::vector<uint8_t> f = good;
        SetBig16(f, l.naming_table + 2, 0xFFFF);  // many more records than there are
        cases.push_back({"record count past the end", f, "Second"});
    }
    {
        std::vector<uint8_t> f = good;
        SetBig16(f, l.first_record + 12 + 10, 0xFFF0);  // the second string lies past the end
        cases.push_back({"an unreadable last string leaves no name", f, ""});
    }
    {
        std::vector<uint8_t> f = good;
        SetBig16(f, l.naming_table + 4, 0xFFFF);  // string storage past the end
        cases.push_back({"string storage past the end", f, ""});
    }
    for (const Case& c : cases) EXPECT_EQ(FullName(c.file), c.expected) << c.label;
}

}  // namespace
