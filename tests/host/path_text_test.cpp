// Path and text routines: trailing backslashes, extensions, display
// shortening and the bounds every one of them keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/install_log_format.h"
#include "engine/path_text.h"

namespace {

// A buffer of `capacity` bytes followed by guard bytes that must stay intact.
struct Guarded {
    static constexpr size_t kGuard = 16;
    std::vector<char> bytes;
    size_t capacity;
    Guarded(const std::string& text, size_t capacity) : bytes(capacity + kGuard, '~'), capacity(capacity) {
        std::memcpy(bytes.data(), text.c_str(), text.size() + 1);
    }
    char* data() { return bytes.data(); }
    std::string text() const { return bytes.data(); }
    bool GuardIntact() const {
        for (size_t i = capacity; i < bytes.size(); ++i)
            if (bytes[i] != '~') return false;
        return true;
    }
};

TEST(PathText, AddAndStripBackslash) {
    struct Case {
        const char* path;
        const char* added;
        const char* stripped;
    };
    const Case cases[] = {
        {"", "", ""},
        {"C:", "C:\\", "C:"},
        {"C:\\", "C:\\", "C:\\"},  // a drive root keeps its backslash
        {"C:\\Tools", "C:\\Tools\\", "C:\\Tools"},
        {"C:\\Tools\\", "C:\\Tools\\", "C:\\Tools"},
        {"C:\\Tools\\\\", "C:\\Tools\\\\", "C:\\Tools\\"},  // only one is removed
        {"ab\\", "ab\\", "ab\\"},                           // three characters: kept
    };
    for (const Case& c : cases) {
        Guarded added(c.path, 260);
        EXPECT_TRUE(AddBackslash(added.data(), added.capacity)) << c.path;
        EXPECT_EQ(added.text(), c.added) << c.path;
        std::string stripped = c.path;
        StripBackslash(&stripped[0]);
        EXPECT_STREQ(stripped.c_str(), c.stripped) << c.path;
    }
}

TEST(PathText, AddBackslashThatDoesNotFitEmptiesThePath) {
    std::string folder(258, 'a');
    Guarded fits(folder, 260);  // 258 + backslash + terminator
    EXPECT_TRUE(AddBackslash(fits.data(), fits.capacity));
    EXPECT_EQ(fits.text(), folder + "\\");

    folder += 'a';
    Guarded full(folder, 260);
    EXPECT_FALSE(AddBackslash(full.data(), full.capacity));
    EXPECT_EQ(full.text(), "");
    EXPECT_TRUE(full.GuardIntact());
}

TEST(PathText, ReplaceExtension) {
    struct Case {
        const char* path;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\App\\setup.exe", ".$$A", "C:\\App\\setup.$$A"},
        {"C:\\App\\data.tar.gz", ".$AA", "C:\\App\\data.tar.$AA"},
        {"C:\\App\\README", ".$$A", "C:\\App\\README.$$A"},
        {"C:\\App.v2\\README", ".$$A", "C:\\App.v2\\README.$$A"},  // the dot is the folder's
        {"D:\\SETUP.EXE", ".D01", "D:\\SETUP.D01"},
        {"name.", ".D02", "name.D02"},
        {"", ".$$A", ".$$A"},
    };
    for (const Case& c : cases) {
        Guarded path(c.path, 260);
        EXPECT_TRUE(ReplaceExtension(path.data(), c.extension, path.capacity)) << c.path;
        EXPECT_EQ(path.text(), c.expected) << c.path;
    }
}

TEST(PathText, ReplaceExtensionNeverWritesPastTheBuffer) {
    // 255 characters without extension: appending ".$$A" just fits 260 bytes.
    std::string name(255, 'n');
    Guarded fits(name, 260);
    EXPECT_TRUE(ReplaceExtension(fits.data(), ".$$A", fits.capacity));
    EXPECT_EQ(fits.text(), name + ".$$A");
    EXPECT_TRUE(fits.GuardIntact());

    // One more, and a cut name would be a different file (or the target
    // itself): the path is emptied instead.
    Guarded over(name + "n", 260);
    EXPECT_FALSE(ReplaceExtension(over.data(), ".$$A", over.capacity));
    EXPECT_EQ(over.text(), "");
    EXPECT_TRUE(over.GuardIntact());

    // A long new extension replacing a short one.
    Guarded longer("C:\\a.b", 8);
    EXPECT_FALSE(ReplaceExtension(longer.data(), ".longer", longer.capacity));
    EXPECT_TRUE(longer.GuardIntact());
}

TEST(PathText, CopyAndAppendStayInsideTheBuffer) {
    Guarded copy("", 8);
    EXPECT_FALSE(CopyText(copy.data(), "0123456789", copy.capacity));
    EXPECT_EQ(copy.text(), "0123456");
    EXPECT_TRUE(copy.GuardIntact());
    EXPECT_TRUE(CopyText(copy.data(), "0123456", copy.capacity));
    EXPECT_EQ(copy.text(), "0123456");

    char untouched[2] = {'x', 0};
    EXPECT_FALSE(CopyText(untouched, "abc", 0));
    EXPECT_EQ(untouched[0], 'x');

    Guarded path("C:\\", 8);
    EXPECT_TRUE(AppendToPath(path.data(), "abcd", path.capacity));
    EXPECT_EQ(path.text(), "C:\\abcd");
    EXPECT_FALSE(AppendToPath(path.data(), "e", path.capacity));
    EXPECT_EQ(path.text(), "");
    EXPECT_TRUE(path.GuardIntact());
}

TEST(PathText, ShortenPathForDisplay) {
    struct Case {
        const char* path;
        size_t limit;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Company\\App\\bin\\file.dll", 30, "C:\\Program Files\\...\\file.dll"},
        {"C:\\short\\name.txt", 30, "C:\\short\\name.txt"},
        // Exactly at the limit: left alone.
        {"C:\\Program Files\\Company\\a.txt", 30, "C:\\Program Files\\Company\\a.txt"},
        // One backslash only, or too little between the first and last.
        {"C:\\a_single_backslash_and_a_long_file_name.txt", 30, "C:\\a_single_backslash_and_a_long_file_name.txt"},
        {"C:\\ab\\a_long_file_name_after_a_short_folder.txt", 30,
         "C:\\ab\\a_long_file_name_after_a_short_folder.txt"},
        {"no_backslash_at_all_in_this_long_name.txt", 30, "no_backslash_at_all_in_this_long_name.txt"},
        // A file name too long to keep any folder: the head is the drive.
        {"C:\\Program Files\\Company\\a_very_long_file_name_to_display.txt", 30,
         "C:\\...\\a_very_long_file_name_to_display.txt"},
        {"\\\\server\\share\\dir\\sub\\file.txt", 20, "\\\\server\\...\\file.txt"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        ShortenPathForDisplay(&path[0], c.limit);
        EXPECT_STREQ(path.c_str(), c.expected) << c.path;
        EXPECT_LE(std::strlen(path.c_str()), std::strlen(c.path));
    }
}

// In a double-byte code page the second byte of a character may be 0x5C:
// with Windows-932's lead bytes, "\x95\x5c" is one character and no
// backslash; without them, as every single-byte system has it, it ends in
// one.
TEST(PathText, SecondBytesOfTwoByteCharactersAreNoBackslash) {
    const unsigned char kWindows932[12] = {0x81, 0x9F, 0xE0, 0xFC};
    const unsigned char kNone[12] = {};
    const std::string hyo = "\x95\x5c";  // U+8868 in Windows-932
    struct Case {
        bool double_byte;
        std::string path, added, stripped;
        long last;  // index of the last backslash; -1: none
    } cases[] = {
        {true, "C:\\" + hyo, "C:\\" + hyo + "\\", "C:\\" + hyo, 2},
        {true, "C:\\" + hyo + "\\", "C:\\" + hyo + "\\", "C:\\" + hyo, 5},
        {true, hyo + hyo, hyo + hyo + "\\", hyo + hyo, -1},
        {true, "\\\x81", "\\\x81\\", "\\\x81", 0},  // a lead byte at the end stands alone
        {false, "C:\\" + hyo, "C:\\" + hyo, "C:\\\x95", 4},
    };
    for (const Case& c : cases) {
        SetLeadBytes(c.double_byte ? kWindows932 : kNone);
        Guarded added(c.path, 64), stripped(c.path, 64);
        EXPECT_TRUE(AddBackslash(added.data(), 64));
        EXPECT_EQ(added.text(), c.added) << c.path;
        StripBackslash(stripped.data());
        EXPECT_EQ(stripped.text(), c.stripped) << c.path;
        const char* last = FindLastBackslash(c.path.c_str());
        EXPECT_EQ(last ? last - c.path.c_str() : -1, c.last) << c.path;
    }
    // The install log splits such a path at its real backslashes.
    SetLeadBytes(kWindows932);
    std::string destination = "C:\\" + hyo + "\\", path = destination + "\x83\x5c.txt";
    LogPathParts parts = SplitLogPath(destination.c_str(), path.c_str());
    EXPECT_TRUE(parts.relative);
    EXPECT_EQ(parts.folder_size, 0u);
    EXPECT_STREQ(parts.name, "\x83\x5c.txt");
    SetLeadBytes(kNone);
}

}  // namespace
