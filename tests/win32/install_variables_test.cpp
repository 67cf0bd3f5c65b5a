// Install variables: the values, the text around them, measuring, cutting
// to the caller's buffer, the work area's bound and the fallback without
// memory. Runs against the real Wine registry and folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/install_variables.h"
#include "engine/memory.h"
#include "engine/message_argument.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"

namespace {

// Expands into a fresh buffer, checking on the way that measuring agrees
// and that expanding in place gives the same text.
std::string Expand(const std::string& input) {
    uint32_t measured = ExpandInstallVariables(nullptr, input.c_str(), 0);
    std::vector<char> out(measured + 1, '~');
    uint32_t length = ExpandInstallVariables(out.data(), input.c_str(), measured + 1);
    EXPECT_EQ(length, measured) << input;
    EXPECT_EQ(std::strlen(out.data()), length) << input;

    std::vector<char> in_place(input.size() + measured + 1);
    std::memcpy(in_place.data(), input.c_str(), input.size() + 1);
    ExpandInstallVariables(in_place.data(), in_place.data(), uint32_t(in_place.size()));
    EXPECT_STREQ(in_place.data(), out.data()) << input;
    return out.data();
}

class InstallVariables : public ::testing::Test {
protected:
    void SetUp() override { ResetProcessState(); }
    void TearDown() override {
        FailAllocationsAfter(-1, 0);
        ResetProcessState();
    }
    void Folders(const char* destination, const char* source) {
        lstrcpynA(g_state.destination_folder, destination, MAX_PATH);
        lstrcpynA(g_state.source_path, source, MAX_PATH);
    }
};

TEST_F(InstallVariables, ValuesAndTheTextAroundThem) {
    struct Case {
        const char* destination;
        const char* source;
        const char* input;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\Tools\\", "", "#installdir#\\App.exe", "C:\\Tools\\App.exe"},
        {"C:\\Tools", "", "#InstallDir#\\App.exe", "C:\\Tools\\App.exe"},
        {"C:\\", "", "#installdir#\\App.exe", "C:\\\\App.exe"},  // the root keeps its backslash
        {"", "D:\\SETUP.EXE", "#SourceDir#", "D:"},
        {"", "D:\\Media\\Disk1\\SETUP.EXE", "#SOURCEDIR#\\data.D01", "D:\\Media\\Disk1\\data.D01"},
        {"", "SETUP.EXE", "[#SourceDir#]", "[SETUP.EXE]"},
        {"", "", "#Windows#\\win.ini", WindowsFolder() + "\\win.ini"},
        {"", "", "#system#", SystemFolder()},
        {"", "", "#Foo#bar", "bar"},
        {"", "", "100%#", "100%#"},
        {"", "", "a##b", "ab"},
        {"", "", "50#a#b", "50b"},
        {"", "", "#a#b#c#", "b"},
        {"", "", "#Start Menu#\\App", "\\App"},  // shortcut placeholders are not variables
        {"C:\\Tools", "", "C:\\#InstallDir", "C:\\#InstallDir"},
        {"", "", "", ""},
        {"", "", "#", "#"},
    };
    for (const Case& c : cases) {
        Folders(c.destination, c.source);
        EXPECT_EQ(Expand(c.input), c.expected) << c.input;
    }
}

TEST_F(InstallVariables, DestinationFolderExpandsInPlace) {
    Folders("#Windows#\\Kiln\\", "");
    uint32_t length = ExpandInstallVariables(g_state.destination_folder, g_state.destination_folder, MAX_PATH);
    std::string expected = WindowsFolder() + "\\Kiln\\";
    EXPECT_EQ(g_state.destination_folder, expected);
    EXPECT_EQ(length, expected.size());
}

TEST_F(InstallVariables, OutputIsCutToCapacityAndTheFullLengthReturned) {
    Folders("C:\\Tools\\", "");
    const char* input = "#InstallDir#\\App.exe";  // C:\Tools\App.exe, 16 bytes
    struct Case {
        uint32_t capacity;
        const char* expected;
    };
    for (const Case& c : {Case{5, "C:\\T"}, Case{1, ""}, Case{16, "C:\\Tools\\App.ex"}, Case{17, "C:\\Tools\\App.exe"}}) {
        std::vector<char> out(c.capacity + 8, '~');
        EXPECT_EQ(ExpandInstallVariables(out.data(), input, c.capacity), 16u) << c.capacity;
        EXPECT_STREQ(out.data(), c.expected) << c.capacity;
        EXPECT_EQ(std::string(out.begin() + c.capacity, out.end()), std::string(8, '~')) << c.capacity;
    }
    // Capacity 0 only measures: the output is not touched.
    char untouched[4] = "xyz";
    EXPECT_EQ(ExpandInstallVariables(untouched, input, 0), 16u);
    EXPECT_STREQ(untouched, "xyz");
}

TEST_F(InstallVariables, DateIsTodayInUtc) {
    auto format = [](const SYSTEMTIME& t) { return std::to_string(t.wYear * 10000 + t.wMonth * 100 + t.wDay); };
    SYSTEMTIME before, after;
    GetSystemTime(&before);
    std::string date = Expand("#Date#");
    GetSystemTime(&after);
    EXPECT_TRUE(date == format(before) || date == format(after)) << date;
    EXPECT_EQ(date.size(), 8u);
}

// The machine's ProgramFilesDir value, put back as it was when the test ends.
class ProgramFilesValue {
public:
    ProgramFilesValue() {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
            key_ = nullptr;
        DWORD size = sizeof saved_;
        had_ = key_ && RegQueryValueExA(key_, kName, nullptr, &type_, saved_, &size) == ERROR_SUCCESS;
        saved_size_ = size;
    }
    ~ProgramFilesValue() {
        if (!key_) return;
        if (had_) RegSetValueExA(key_, kName, 0, type_, saved_, saved_size_);
        else RegDeleteValueA(key_, kName);
        RegCloseKey(key_);
    }
    bool Usable() const { return key_ != nullptr; }
    std::string Saved() const { return had_ ? std::string(reinterpret_cast<const char*>(saved_)) : ""; }
    void Set(DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExA(key_, kName, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void SetText(const char* text) { Set(REG_SZ, text, DWORD(std::strlen(text) + 1)); }
    void Remove() { RegDeleteValueA(key_, kName); }

private:
    static constexpr const char* kName = "ProgramFilesDir";
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD type_ = REG_SZ;
    BYTE saved_[MAX_PATH + 1] = {};
    DWORD saved_size_ = 0;
};

TEST_F(InstallVariables, ProgramFilesComesFromTheRegistry) {
    ProgramFilesValue value;
    ASSERT_TRUE(value.Usable());
    ASSERT_FALSE(value.Saved().empty()) << "Wine sets ProgramFilesDir";
    std::string expected = value.Saved();
    if (expected.size() > 3 && expected.back() == '\\') expected.pop_back();
    EXPECT_EQ(Expand("#Program Files#\\Kiln"), expected + "\\Kiln");

    value.SetText("E:\\Apps\\");  // a value longer than a root loses its backslash
    EXPECT_EQ(Expand("#PROGRAM FILES#\\Kiln"), "E:\\Apps\\Kiln");

    const char unterminated[4] = {'E', ':', '\\', 'P'};  // stored without its terminator
    value.Set(REG_SZ, unterminated, sizeof unterminated);
    EXPECT_EQ(Expand("#Program Files#"), "E:\\P");
}

TEST_F(InstallVariables, UnreadableProgramFilesStaysAsWritten) {
    ProgramFilesValue value;
    ASSERT_TRUE(value.Usable());
    value.Remove();
    EXPECT_EQ(Expand("#program files#\\Kiln"), "#program files#\\Kiln");

    DWORD number = 7;  // not a text
    value.Set(REG_DWORD, &number, sizeof number);
    EXPECT_EQ(Expand("#Program Files#"), "#Program Files#");

    std::string too_long(300, 'p');  // more than the 260 bytes read
    value.SetText(too_long.c_str());
    EXPECT_EQ(Expand("#Program Files#"), "#Program Files#");
}

// The work area bounds every expansion: a longer one is cut at its end, and
// measuring, expanding and expanding in place all agree on that length.
TEST_F(InstallVariables, ExpansionLongerThanTheWorkAreaIsCutAtItsEnd) {
    const std::string folder = "C:\\Tools\\Folder";
    Folders((folder + "\\").c_str(), "");
    std::string input, full;
    for (int i = 0; i < 7000; ++i) input += "#InstallDir#", full += folder;  // 98,000 bytes expanded
    const uint32_t kept = kWorkAreaSize - 1;

    EXPECT_EQ(ExpandInstallVariables(nullptr, input.c_str(), 0), kept);

    std::vector<char> out(kWorkAreaSize + 4096, '~');
    EXPECT_EQ(ExpandInstallVariables(out.data(), input.c_str(), uint32_t(out.size())), kept);
    EXPECT_EQ(std::string(out.data()), full.substr(0, kept));
    EXPECT_EQ(out[kept + 1], '~');

    std::vector<char> in_place(input.c_str(), input.c_str() + input.size() + 1);
    EXPECT_EQ(ExpandInstallVariables(in_place.data(), in_place.data(), uint32_t(in_place.size())), kept);
    EXPECT_EQ(std::string(in_place.data()), full.substr(0, kept));

    // Plain text alone, and a name longer than the work area, are bounded too.
    std::string plain(70000, 'a');
    EXPECT_EQ(ExpandInstallVariables(nullptr, plain.c_str(), 0), kept);
    std::string long_name = "#" + std::string(70000, 'x') + "#tail";
    EXPECT_EQ(Expand(long_name), "tail");
}

TEST_F(InstallVariables, WithoutMemoryTheInputIsCopiedUnchanged) {
    Folders("C:\\Tools\\", "");
    const char* input = "#InstallDir#\\x";  // 14 bytes

    FailAllocationsAfter(0, 2);
    std::vector<char> out(16, '~');
    EXPECT_EQ(ExpandInstallVariables(out.data(), input, 8), 14u);
    EXPECT_STREQ(out.data(), "#Instal");
    EXPECT_EQ(out[8], '~');

    FailAllocationsAfter(0, 2);
    EXPECT_EQ(ExpandInstallVariables(nullptr, input, 0), 14u);

    char in_place[MAX_PATH] = "#InstallDir#\\x";
    FailAllocationsAfter(0, 2);
    EXPECT_EQ(ExpandInstallVariables(in_place, in_place, MAX_PATH), 14u);
    EXPECT_STREQ(in_place, input);

    // One failure is retried and the expansion goes ahead.
    FailAllocationsAfter(0, 1);
    EXPECT_EQ(ExpandInstallVariables(out.data(), input, 16), 10u);
    EXPECT_STREQ(out.data(), "C:\\Tools\\x");
}

TEST_F(InstallVariables, MessageArgumentIsCutToItsBuffer) {
    SetMessageArgument("D:\\SETUP.D02");
    EXPECT_STREQ(g_state.message_argument, "D:\\SETUP.D02");

    std::memset(g_state.path_a, '~', sizeof g_state.path_a);  // the field after it
    std::string long_text(400, 'm');
    SetMessageArgument(long_text.c_str());
    EXPECT_EQ(std::string(g_state.message_argument), long_text.substr(0, sizeof g_state.message_argument - 1));
    EXPECT_EQ(g_state.path_a[0], '~');

    SetMessageArgument(nullptr);
    EXPECT_STREQ(g_state.message_argument, "");
}

}  // namespace
