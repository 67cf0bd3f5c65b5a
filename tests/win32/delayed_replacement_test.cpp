// Files in use replaced at the next restart: the [Rename] lines of
// WININIT.INI on the older platform, and the delayed moves that Windows NT
// keeps in the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/delayed_replacement.h"
#include "startup/process_state.h"

namespace {

bool ReadWhole(const std::string& path, std::string* text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    text->assign(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!text->empty()) ReadFile(h, &(*text)[0], DWORD(text->size()), &got, nullptr);
    CloseHandle(h);
    return true;
}

void WriteWhole(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    if (!text.empty()) WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ShortPathOf(const std::string& path) {
    char out[MAX_PATH] = "";
    GetShortPathNameA(path.c_str(), out, MAX_PATH);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        if (end > at) lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// The lines of one section, without its header.
std::vector<std::string> SectionLines(const std::string& text, const std::string& header) {
    std::vector<std::string> out;
    bool inside = false;
    for (const std::string& line : Lines(text)) {
        if (line[0] == '[') inside = lstrcmpiA(line.c_str(), header.c_str()) == 0;
        else if (inside) out.push_back(line);
    }
    return out;
}

using Strings = std::vector<std::string>;

// Long-named files in a folder of their own, so that every path has an 8.3
// form that differs from it.
struct LongNamedFiles {
    std::string folder;
    LongNamedFiles() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "Kiln delayed replacement test " + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    std::string Make(const std::string& name) {
        std::string path = folder + "\\" + name;
        WriteWhole(path, "content of " + name);
        made.push_back(path);
        return path;
    }
    ~LongNamedFiles() {
        for (const std::string& p : made) DeleteFileA(p.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    Strings made;
};

// The older platform, with WININIT.INI of the Wine prefix saved and put back.
class DelayedReplacementWininit : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        g_state.is_nt = false;
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        ini = std::string(windows) + "\\WININIT.INI";
        existed = ReadWhole(ini, &saved);
        DeleteFileA(ini.c_str());
    }
    void TearDown() override {
        if (existed) WriteWhole(ini, saved);
        else DeleteFileA(ini.c_str());
        ResetProcessState();
    }
    std::string Text() const {
        std::string text;
        ReadWhole(ini, &text);
        return text;
    }
    Strings Rename() const { return SectionLines(Text(), "[Rename]"); }

    std::string ini, saved;
    bool existed = false;
    LongNamedFiles files;
};

TEST_F(DelayedReplacementWininit, ReplacementIsKeyedByTheDestinationInShortPaths) {
    std::string source = files.Make("Prepared replacement file.tmp");
    std::string destination = files.Make("Installed library in use.dll");
    std::string short_source = ShortPathOf(source), short_destination = ShortPathOf(destination);
    ASSERT_NE(short_source, source);
    ASSERT_NE(short_destination, destination);
    ReplaceAtRestart(destination.c_str(), source.c_str());
    EXPECT_EQ(Rename(), Strings({short_destination + "=" + short_source}));
}

TEST_F(DelayedReplacementWininit, EachDeletionBecomesItsOwnNulLine) {
    std::string first = files.Make("First copy of the setup program.exe");
    std::string second = files.Make("Second copy of the setup program.exe");
    std::string source = files.Make("Prepared replacement file.tmp");
    std::string destination = files.Make("Installed library in use.dll");
    ReplaceAtRestart(nullptr, first.c_str());
    ReplaceAtRestart(destination.c_str(), source.c_str());
    ReplaceAtRestart(nullptr, second.c_str());
    EXPECT_EQ(Rename(), Strings({"NUL=" + ShortPathOf(first), ShortPathOf(destination) + "=" + ShortPathOf(source),
                                 "NUL=" + ShortPathOf(second)}));
}

// The placeholder is changed on its own line only: the same bytes at the end
// of another key, or under the same key in another section, stay as they are.
TEST_F(DelayedReplacementWininit, OnlyThePlaceholderLineIsPatched) {
    std::string source = files.Make("Copy of the setup program.exe");
    std::string short_source = ShortPathOf(source);
    WriteWhole(ini, "[Other]\r\nxyz=" + short_source + "\r\n[Rename]\r\nKEEPxyz=" + short_source + "\r\n");
    ReplaceAtRestart(nullptr, source.c_str());
    std::string text = Text();
    EXPECT_EQ(SectionLines(text, "[Other]"), Strings({"xyz=" + short_source}));
    EXPECT_EQ(SectionLines(text, "[Rename]"), Strings({"KEEPxyz=" + short_source, "NUL=" + short_source}));
}

// 8.3 paths are all that start-up on that platform reads: a path without
// one (a file that does not exist) leaves WININIT.INI alone.
TEST_F(DelayedReplacementWininit, NothingIsWrittenForAPathWithoutAShortForm) {
    std::string source = files.Make("Prepared replacement file.tmp");
    std::string missing = files.folder + "\\Not installed yet.dll";
    ReplaceAtRestart(missing.c_str(), source.c_str());
    ReplaceAtRestart("", source.c_str());
    ReplaceAtRestart(source.c_str(), missing.c_str());
    ReplaceAtRestart(nullptr, missing.c_str());
    EXPECT_EQ(Rename(), Strings());
    EXPECT_EQ(Text().find("xyz"), std::string::npos);
}

// PendingFileRenameOperations, where Windows NT keeps its delayed moves as
// pairs of names: source, then destination ("!" first when it is to be
// replaced) or an empty text for a deletion.
class DelayedReplacementNt : public ::testing::Test {
protected:
    static constexpr const char* kKey = "System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char* kValue = "PendingFileRenameOperations";

    void SetUp() override {
        ResetProcessState();
        g_state.is_nt = true;
        existed = Read(&saved, &saved_type);
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        ini = std::string(windows) + "\\WININIT.INI";
        ini_existed = ReadWhole(ini, &ini_saved);
    }
    void TearDown() override {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (existed) RegSetValueExA(key, kValue, 0, saved_type, saved.data(), DWORD(saved.size()));
            else RegDeleteValueA(key, kValue);
            RegCloseKey(key);
        }
        ResetProcessState();
    }
    static bool Read(std::vector<BYTE>* data, DWORD* type) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        DWORD size = 0;
        bool found = RegQueryValueExA(key, kValue, nullptr, type, nullptr, &size) == ERROR_SUCCESS;
        data->assign(size, 0);
        if (found && size) RegQueryValueExA(key, kValue, nullptr, type, data->data(), &size);
        RegCloseKey(key);
        return found;
    }
    // The names in the value, empty ones included.
    static Strings Names() {
        std::vector<BYTE> data;
        DWORD type = 0;
        Read(&data, &type);
        Strings names;
        std::string name;
        for (BYTE b : data) {
            if (b) {
                name += char(b);
            } else {
                names.push_back(name);
                name.clear();
            }
        }
        return names;
    }
    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && lstrcmpiA(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
    }
    // Whether a pair source → destination test is recorded.
    static bool HasPair(const std::string& source, bool (*destination_matches)(const std::string&)) {
        Strings names = Names();
        for (size_t i = 0; i + 1 < names.size(); ++i)
            if (EndsWith(names[i], source) && destination_matches(names[i + 1])) return true;
        return false;
    }

    std::vector<BYTE> saved;
    DWORD saved_type = REG_MULTI_SZ;
    bool existed = false;
    std::string ini, ini_saved;
    bool ini_existed = false;
    LongNamedFiles files;
};

std::string g_destination;

TEST_F(DelayedReplacementNt, SchedulesDelayedMovesAndDeletions) {
    std::string source = files.Make("Prepared replacement file.tmp");
    std::string doomed = files.Make("Copy of the setup program.exe");
    g_destination = files.Make("Installed library in use.dll");
    ReplaceAtRestart(g_destination.c_str(), source.c_str());
    ReplaceAtRestart(nullptr, doomed.c_str());
    EXPECT_TRUE(HasPair(source, [](const std::string& d) { return d[0] == '!' && EndsWith(d, g_destination); }));
    EXPECT_TRUE(HasPair(doomed, [](const std::string& d) { return d.empty(); }));
    std::string ini_now;
    EXPECT_EQ(ReadWhole(ini, &ini_now), ini_existed) << "WININIT.INI is the older platform's";
    if (ini_existed) EXPECT_EQ(ini_now, ini_saved);
}

}  // namespace
