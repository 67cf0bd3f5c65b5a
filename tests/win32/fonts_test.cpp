// Installing font files: registered under the full name from the file's
// naming table with the bare file name, in the key of the platform; a
// file without a full name is not registered; a real font is made
// available to the system.
#include <gtest/gtest.h>
#include <windows.h>

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
        for (const auto& [nt, name] : registered_) {
            g_state.is_nt = nt;
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, name.c_str());
                RegCloseKey(key);
            }
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
    // The data of a value under the platform's fonts key, "<absent>" when
    // there is none or it is not a terminated REG_SZ text.
    std::string Registered(const std::string& value_name) {
        registered_.push_back({g_state.is_nt, value_name});
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
    std::vector<std::pair<bool, std::string>> registered_;
};

TEST_F(Fonts, RegisteredUnderItsFullNameWithTheBareFileName) {
    FontContents font;
    font.names = {{3, 4, "Windows Name"}, {1, 1, "Kiln Family"}, {1, 4, "Kiln Test Sans Bold"}};
    std::string path = Write("kilntest.ttf", TrueTypeFile(font));
    for (bool nt : {true, false}) {
        g_state.is_nt = nt;
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
    const struct {
        const char* label;
        std::string path;
    } cases[] = {
        {"Windows names only", Write("winonly.ttf", TrueTypeFile(windows_only))},
        {"naming table as the 41st table", Write("deep.ttf", TrueTypeFile(deep))},
        {"not a font", Write("text.ttf", {'t', 'e', 'x', 't'})},
        {"no file", folder_ + "\\missing.ttf"},
    };
    for (const auto& c : cases) {
        DWORD before = ValueCount();
        InstallFont(c.path.c_str());
        EXPECT_EQ(ValueCount(), before) << c.label;
    }
    EXPECT_EQ(Registered("Too Deep (TrueType)"), "<absent>");
}

TEST_F(Fonts, RealFontIsMadeAvailable) {
    // A TrueType font of the build machine, as Wine sees it.
    const char* source = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    if (GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no DejaVu Sans to install";
    std::string path = folder_ + "\\kilndejavu.ttf";
    ASSERT_TRUE(CopyFileA(source, path.c_str(), FALSE));
    files_.push_back(path);
    InstallFont(path.c_str());
    EXPECT_EQ(Registered("DejaVu Sans (TrueType)"), "kilndejavu.ttf");
    // Only a font that was added can be removed.
    EXPECT_TRUE(RemoveFontResourceA(path.c_str()));
}

}  // namespace
