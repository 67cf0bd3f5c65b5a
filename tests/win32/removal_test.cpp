// Removal by install log on the real platform: what the log names goes in
// reverse order, with shared counts, fonts, self-registration, files in use,
// read-only files, program groups and the uninstall key handled as an
// installation left them; what the log does not name, or names outside the
// installation's places, stays.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "engine/fonts.h"
#include "engine/install_driver.h"
#include "engine/removal.h"
#include "engine/shared_files.h"
#include "engine/shell_folders.h"
#include "startup/process_state.h"
#include "tests/common/font_writer.h"
#include "tests/common/install_log_writer.h"
#include "tests/win32/pending_renames.h"
#include "tests/win32/test_files.h"

namespace {

using Strings = std::vector<std::string>;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ShellFolderPath(int csidl) {
    char path[MAX_PATH];
    SpecialFolderPath(csidl, path);
    return path;
}

// The count of a shared file, -1 when it has none.
long SharedCount(const std::string& path) {
    HKEY key;
    DWORD count = 0, size = sizeof count;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return -1;
    bool found = RegQueryValueExA(key, path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size) ==
                 ERROR_SUCCESS;
    RegCloseKey(key);
    return found ? long(count) : -1;
}

std::string RegistryText(HKEY root, const char* key_path, const std::string& name) {
    HKEY key;
    char data[MAX_PATH] = "";
    DWORD size = sizeof data - 1;
    if (RegOpenKeyExA(root, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "<absent>";
    LONG found = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return found == ERROR_SUCCESS ? data : "<absent>";
}

class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        OleInitialize(nullptr);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        tag_ = "kiln-removal-" + std::to_string(GetCurrentProcessId());
        base_ = std::string(temp) + tag_;
        install_ = base_ + "\\App";
        CreateDirectoryA(base_.c_str(), nullptr);
        CreateDirectoryA(install_.c_str(), nullptr);
    }
    void TearDown() override {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
        }
        RemoveDirectoryA(install_.c_str());
        RemoveDirectoryA(base_.c_str());
        pending_.Restore();
        OleUninitialize();
        ResetProcessState();
    }

    // A file (or, with a trailing backslash, a folder) that the test removes
    // again when the uninstallation left it.
    std::string Make(const std::string& path, const std::string& content = "x") {
        size_t from = 3;
        for (size_t slash; (slash = path.find('\\', from)) != std::string::npos; from = slash + 1) {
            std::string folder = path.substr(0, slash);
            if (CreateDirectoryA(folder.c_str(), nullptr)) made_.push_back(folder);
        }
        if (path.back() != '\\') {
            WriteFileBytes(path, std::vector<uint8_t>(content.begin(), content.end()));
            made_.push_back(path);
        }
        return path;
    }
    std::string In(const std::string& name) { return install_ + "\\" + name; }

    RemovalReport Remove(const TestLog& test_log) {
        std::vector<uint8_t> bytes = InstallLogBytes(test_log);
        InstallLog log;
        RemovalReport report = {};
        EXPECT_TRUE(ReadInstallLog(bytes.data(), bytes.size(), &log));
        SystemFolders folders;
        FindSystemFolders(install_.c_str(), &folders);
        RemoveInstallation(log, folders.view, nullptr, true, &report);
        return report;
    }

    std::string tag_, base_, install_;
    Strings made_;
    SavedPendingRenames pending_;
};

TEST_F(Removal, TakesWhatTheLogNamesAndLeavesTheUsersFilesWithTheirFolder) {
    Make(In("data\\a.txt"));
    std::string read_only = Make(In("app.exe"));
    SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
    Make(In("sub\\deep\\x.dll"));
    std::string mine = Make(In("data\\mine.txt"), "the user's own");
    TestLog log;
    log.files = {{".", "data", 0}, {".\\data", "a.txt", 0}, {".", "app.exe", 0}, {".\\sub\\deep", "x.dll", 0},
                 {".", "gone-already.txt", 0}};
    RemovalReport report = Remove(log);
    EXPECT_EQ(report.failed, 0) << report.failures;
    EXPECT_EQ(report.scheduled, 0);
    EXPECT_EQ(RemovalExitCode(report), 0);
    EXPECT_FALSE(Exists(In("data\\a.txt")));
    EXPECT_FALSE(Exists(In("app.exe"))) << "read-only, yet named";
    EXPECT_FALSE(Exists(In("sub"))) << "emptied folders go up to the install folder";
    EXPECT_TRUE(Exists(mine));
    EXPECT_TRUE(Exists(In("data"))) << "a folder the user still has files in stays";

    // Once the folder is empty, the same record takes it, and the install folder with it.
    DeleteFileA(mine.c_str());
    report = Remove(TestLog{{{".", "data", 0}}, {}, {}});
    EXPECT_EQ(report.removed, 1);
    EXPECT_FALSE(Exists(install_));
    EXPECT_TRUE(Exists(base_)) << "nothing above the install folder";
}

TEST_F(Removal, SharedFilesStayUntilTheirCountFallsToZero) {
    std::string shared = Make(SystemFolder() + "\\" + tag_ + ".dll");
    std::string uncounted = Make(SystemFolder() + "\\" + tag_ + "-uncounted.dll");
    // The system's own library, there before the installation without a count.
    std::string existing = Make(SystemFolder() + "\\" + tag_ + "-existing.dll");
    CountSharedFile(shared.c_str(), false);  // the installation created it
    CountSharedFile(shared.c_str(), true);   // a second product uses it
    CountSharedFile(existing.c_str(), true);
    EXPECT_EQ(SharedCount(existing), 2) << "its earlier owner and this installation";
    TestLog log;
    log.files = {{SystemFolder(), tag_ + ".dll", kLogSharedFile},
                 {SystemFolder(), tag_ + "-uncounted.dll", kLogSharedFile},
                 {SystemFolder(), tag_ + "-existing.dll", kLogSharedFile}};

    RemovalReport first = Remove(log);
    EXPECT_EQ(first.failed, 0) << first.failures;
    EXPECT_EQ(SharedCount(shared), 1);
    EXPECT_TRUE(Exists(shared));
    EXPECT_TRUE(Exists(uncounted)) << "without a count another product may use it";
    EXPECT_EQ(SharedCount(existing), 1);
    EXPECT_TRUE(Exists(existing)) << "the file that was there before the installation stays";

    RemovalReport second = Remove(log);
    EXPECT_EQ(second.failed, 0) << second.failures;
    EXPECT_EQ(SharedCount(shared), -1);
    EXPECT_FALSE(Exists(shared));
    EXPECT_TRUE(Exists(SystemFolder())) << "the system folder is never an emptied folder";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, existing.c_str());
        RegCloseKey(key);
    }
}

TEST_F(Removal, RecordsOutsideTheInstallationsPlacesTouchNothing) {
    std::string canary = Make(base_ + "\\canary.txt");
    std::string system_file = Make(SystemFolder() + "\\" + tag_ + ".dll");
    std::string kernel = SystemFolder() + "\\kernel32.dll";
    std::string windows_ini = WindowsFolder() + "\\win.ini";
    ASSERT_TRUE(Exists(kernel) && Exists(windows_ini));
    TestLog log;
    log.files = {{SystemFolder(), "kernel32.dll", 0},     {SystemFolder(), "kernel32.dll", kLogSelfRegistered},
                 {WindowsFolder(), "win.ini", 0},         {".\\..", "canary.txt", 0},
                 {".\\x\\..\\..", "canary.txt", 0},       {base_, "canary.txt", 0},
                 {SystemFolder(), tag_ + ".dll", 0},      {".", "..", 0},
                 {SystemFolder() + "\\..", "win.ini", kLogSharedFile}};
    log.shortcuts = std::vector<TestLogShortcut>{{base_, "canary.txt"}, {base_, "x.lnk"}};
    log.uninstall_key = "..\\Run";
    RemovalReport report = Remove(log);
    EXPECT_EQ(report.failed, 12) << report.failures;
    EXPECT_EQ(report.removed, 0);
    EXPECT_NE(std::string(report.failures).find("kernel32.dll"), std::string::npos) << "refusals are reported";
    EXPECT_EQ(RemovalExitCode(report), int(ERROR_INSTALL_FAILURE));
    for (const std::string& path : {canary, system_file, kernel, windows_ini, install_}) EXPECT_TRUE(Exists(path)) << path;
}

TEST_F(Removal, AFileInUseGoesAtTheNextRestart) {
    std::string busy = Make(In("busy.dll"));
    Make(In("free.txt"));
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RemovalReport report = Remove(TestLog{{{".", "busy.dll", 0}, {".", "free.txt", 0}}, {}, {}});
    CloseHandle(held);
    EXPECT_EQ(report.scheduled, 1);
    EXPECT_EQ(report.failed, 0) << report.failures;
    EXPECT_EQ(RemovalExitCode(report), int(ERROR_SUCCESS_REBOOT_REQUIRED));
    EXPECT_FALSE(Exists(In("free.txt")));
    EXPECT_NE(PendingRenames().find("busy.dll"), std::string::npos) << PendingRenames();
}

TEST_F(Removal, FontsLoseTheirRegistrationAndLibrariesUnregisterBeforeTheyGo) {
    // A font as the installation left it: in the Fonts folder, registered.
    FontContents contents;
    contents.names = {{1, 4, "Kiln Removal Test " + tag_}};
    std::vector<uint8_t> font_bytes = TrueTypeFile(contents);
    std::string font = ShellFolderPath(CSIDL_FONTS) + "\\" + tag_ + ".ttf";
    Make(font, std::string(font_bytes.begin(), font_bytes.end()));
    InstallFont(font.c_str());
    std::string value = "Kiln Removal Test " + tag_ + " (TrueType)";
    ASSERT_EQ(RegistryText(HKEY_LOCAL_MACHINE, FontsKey(), value), tag_ + ".ttf");

    std::string library = In("selfreg.dll");
    ASSERT_TRUE(CopyFileA((WindowsPathOf(KILN_UNREGISTER_LIBRARY)).c_str(), library.c_str(), FALSE));
    made_.push_back(library);

    TestLog log;
    log.files = {{ShellFolderPath(CSIDL_FONTS), tag_ + ".ttf", kLogFont}, {".", "selfreg.dll", kLogSelfRegistered}};
    RemovalReport report = Remove(log);
    EXPECT_EQ(report.failed, 0) << report.failures;
    EXPECT_FALSE(Exists(font));
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, FontsKey(), value), "<absent>");
    EXPECT_FALSE(Exists(library));
    EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, "Software\\Kiln Tests\\Registration", library), "unregistered");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kiln Tests\\Registration");
}

TEST_F(Removal, ShortcutsProgramGroupsAndTheUninstallKeyGo) {
    std::string programs = ShellFolderPath(CSIDL_PROGRAMS);
    std::string group = programs + "\\" + tag_ + "\\Tools";
    std::string link = Make(group + "\\App.lnk");
    std::string other_group_link = Make(programs + "\\" + tag_ + "-other\\Other.lnk");
    std::string desktop_link = Make(ShellFolderPath(CSIDL_DESKTOP) + "\\" + tag_ + ".lnk");
    std::string key = std::string(kTestUninstallPrefix) + tag_;
    HKEY created;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &created), ERROR_SUCCESS);
    RegSetValueExA(created, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(created);

    TestLog log;
    log.files = {{ShellFolderPath(CSIDL_DESKTOP), tag_ + ".lnk", 0}};
    log.shortcuts = std::vector<TestLogShortcut>{{group, "App.lnk"}};
    log.uninstall_key = tag_;
    RemovalReport report = Remove(log);
    EXPECT_EQ(report.failed, 0) << report.failures;
    EXPECT_EQ(report.removed, 3);
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(programs + "\\" + tag_)) << "the program group, left empty, goes";
    EXPECT_TRUE(Exists(programs));
    EXPECT_TRUE(Exists(other_group_link));
    EXPECT_FALSE(Exists(desktop_link));
    EXPECT_TRUE(Exists(ShellFolderPath(CSIDL_DESKTOP)));
    HKEY gone;
    EXPECT_NE(RegOpenKeyA(HKEY_LOCAL_MACHINE, key.c_str(), &gone), ERROR_SUCCESS);
}

}  // namespace
