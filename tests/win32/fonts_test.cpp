// Installing font files: registered under the full name from the file's
// naming table with the bare file name, in the key of the platform; a
// file without a full name is not registered; a real font is made
// available to the system.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/fonts.h"
#include "startup/process_state.h"
#include "tests/common/font_writer.h"

namespace {

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "kiln-fonts-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
    }
    void TearDown() override {
        // Values the test looked at go back to what they were (most were absent).
        for (auto it = registered_.rbegin(); it != registered_.rend(); ++it) {
            g_state.is_nt = it->nt;
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) continue;
            if (it->existed)
                RegSetValueExA(key, it->name.c_str(), 0, it->type, it->data.data(), DWORD(it->data.size()));
            else
                RegDeleteValueA(key, it->name.c_str());
            RegCloseKey(key);
        }
        for (const std::string& file : files_) DeleteFileA(file.c_str());
        RemoveDirectoryA(folder_.c_str());
        ResetProcessState();
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& content) {
        std::string path = folder_ + "\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        if (!content.empty()) WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(path);
        return path;
    }
    // Notes a value the test may write, as it is before the test writes it.
    void WillRegister(const std::string& value_name) {
        Saved saved{g_state.is_nt, value_name};
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            DWORD size = 0;
            saved.existed =
                RegQueryValueExA(key, value_name.c_str(), nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS;
            saved.data.resize(size);
            if (saved.existed && size)
                RegQueryValueExA(key, value_name.c_str(), nullptr, &saved.type, saved.data.data(), &size);
            RegCloseKey(key);
        }
        registered_.push_back(saved);
    }
    // The data of a value under the platform's fonts key, "<absent>" when
    // there is none or it is not a terminated REG_SZ text.
    std::string Registered(const std::string& value_name) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "<no key>";
        char data[MAX_PATH] = "";
        DWORD type = 0, size = sizeof data;
        LONG result = RegQueryValueExA(key, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS || type != REG_SZ || size == 0 || data[size - 1] != 0) return "<absent>";
        return data;
    }
    DWORD ValueCount() {
        HKEY key;
        DWORD count = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(key);
        return count;
    }

    std::string folder_;
    std::vector<std::string> files_;
    struct Saved {
        bool nt;
        std::string name;
        bool existed = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    std::vector<Saved> registered_;
};

TEST_F(Fonts, RegisteredUnderItsFullNameWithTheBareFileName) {
    FontContents font;
    font.names = {{3, 4, "Windows Name"}, {1, 1, "Kiln Family"}, {1, 4, "Kiln Test Sans Bold"}};
    std::string path = Write("kilntest.ttf", TrueTypeFile(font));
    for (bool nt : {true, false}) {
        g_state.is_nt = nt;
        WillRegister("Kiln Test Sans Bold (TrueType)");
        InstallFont(path.c_str());
        EXPECT_EQ(Registered("Kiln Test Sans Bold (TrueType)"), "kilntest.ttf") << (nt ? "NT" : "older platform");
    }
    // The two platforms keep their fonts under different keys.
    g_state.is_nt = true;
    std::string nt_key = FontsKey();
    g_state.is_nt = false;
    EXPECT_NE(nt_key, FontsKey());
}

TEST_F(Fonts, WithoutAFullNameNothingIsRegistered) {
    FontContents windows_only;
    windows_only.names = {{3, 4, "Windows Name"}};
    FontContents deep;
    deep.names = {{1, 4, "Too Deep"}};
    deep.tables_before_name = 40;
    FontContents empty_last;
    empty_last.names = {{1, 4, "Kiln Earlier Name"}, {1, 4, ""}};
    const struct {
        const char* label;
        std::string path;
    } cases[] = {
        {"Windows names only", Write("winonly.ttf", TrueTypeFile(windows_only))},
        {"naming table as the 41st table", Write("deep.ttf", TrueTypeFile(deep))},
        {"the last full name empty", Write("emptylast.ttf", TrueTypeFile(empty_last))},
        {"not a font", Write("text.ttf", {'t', 'e', 'x', 't'})},
        {"no file", folder_ + "\\missing.ttf"},
    };
    WillRegister("Too Deep (TrueType)");
    WillRegister("Kiln Earlier Name (TrueType)");
    for (const auto& c : cases) {
        DWORD before = ValueCount();
        InstallFont(c.path.c_str());
        EXPECT_EQ(ValueCount(), before) << c.label;
    }
    EXPECT_EQ(Registered("Too Deep (TrueType)"), "<absent>");
    EXPECT_EQ(Registered("Kiln Earlier Name (TrueType)"), "<absent>");
}

int CALLBACK NoteFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontFamilyAvailable(const char* face) {
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face, LF_FACESIZE);
    HDC dc = GetDC(nullptr);
    bool found = false;
    EnumFontFamiliesExA(dc, &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// Every occurrence of from (as single-byte text and as UTF-16BE) replaced
// by to, of the same length.
void Rename(std::vector<uint8_t>& file, const std::string& from, const std::string& to) {
    std::vector<uint8_t> narrow(from.begin(), from.end()), wide, narrow_to(to.begin(), to.end()), wide_to;
    for (char c : from) wide.insert(wide.end(), {0, uint8_t(c)});
    for (char c : to) wide_to.insert(wide_to.end(), {0, uint8_t(c)});
    for (auto [pattern, replacement] : {std::pair{narrow, narrow_to}, std::pair{wide, wide_to}})
        for (auto at = file.begin(); (at = std::search(at, file.end(), pattern.begin(), pattern.end())) != file.end();)
            at = std::copy(replacement.begin(), replacement.end(), at);
}

TEST_F(Fonts, RealFontIsMadeAvailable) {
    // A TrueType font of the build machine, renamed so that it is not the
    // face Wine has already loaded from the same file.
    HANDLE source = CreateFileA("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no DejaVu Sans to install";
    std::vector<uint8_t> font(GetFileSize(source, nullptr));
    DWORD got;
    ReadFile(source, font.data(), DWORD(font.size()), &got, nullptr);
    CloseHandle(source);
    Rename(font, "DejaVu", "KilnVu");
    std::string path = Write("kilnvu.ttf", font);
    ASSERT_FALSE(FontFamilyAvailable("KilnVu Sans"));

    WillRegister("KilnVu Sans (TrueType)");
    InstallFont(path.c_str());
    EXPECT_EQ(Registered("KilnVu Sans (TrueType)"), "kilnvu.ttf");
    EXPECT_TRUE(FontFamilyAvailable("KilnVu Sans"));
    RemoveFontResourceA(path.c_str());
}

}  // namespace
