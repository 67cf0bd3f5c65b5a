// What an installation leaves after its files: the install log on the
// uninstaller read back by the uninstaller's own reader, the uninstall
// entry, the remembered folder found again by the next run, the INI,
// registry and patch entries, program-group shortcuts and self-registered
// libraries; and none of it after a failed installation.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "decoder/archive_state.h"
#include "engine/fonts.h"
#include "engine/install_log.h"
#include "engine/install_log_format.h"
#include "engine/post_install.h"
#include "engine/program_group.h"
#include "engine/shell_folders.h"
#include "tests/common/font_writer.h"
#include "tests/win32/installed_package.h"
#include "wizard/go_to_page.h"
#include "wizard/message_box.h"

namespace {

const std::string kPid = std::to_string(GetCurrentProcessId());
const char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string ShellFolder(int csidl) {
    char folder[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, folder, csidl, FALSE);
    return folder;
}

std::string WithoutBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

std::optional<std::string> RegText(HKEY root, const std::string& key_path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    char value[1024] = "";
    DWORD type = 0, size = sizeof value - 1;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::string(value);
}

std::optional<DWORD> RegNumber(HKEY root, const std::string& key_path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return value;
}

bool KeyExists(HKEY root, const std::string& key_path) {
    HKEY key;
    if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetRegValue(HKEY root, const std::string& key_path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(root, key_path.c_str(), &key), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

std::string Lower(std::string s) {
    CharLowerBuffA(&s[0], DWORD(s.size()));
    return s;
}

// Records as read back, folders compared without regard to case (the
// system spells its own folders as it likes).
struct FileRecord {
    std::string folder, name;
    int flags;
    bool operator==(const FileRecord& o) const {
        return Lower(folder) == Lower(o.folder) && name == o.name && flags == o.flags;
    }
};
struct ShortcutRecord {
    std::string folder, name;
    bool operator==(const ShortcutRecord& o) const { return Lower(folder) == Lower(o.folder) && name == o.name; }
};
std::ostream& operator<<(std::ostream& out, const FileRecord& r) {
    return out << "{" << r.folder << " | " << r.name << " | " << r.flags << "}";
}
std::ostream& operator<<(std::ostream& out, const ShortcutRecord& r) {
    return out << "{" << r.folder << " | " << r.name << "}";
}

std::string Text(LogText t) { return std::string(t.data, t.size); }

// The uninstaller file split into the program as the package carried it
// (without its closing header) and the log the setup program appended.
struct LogReadBack {
    bool accepted = false;
    Bytes program;
    std::vector<FileRecord> files;
    bool has_shortcuts = false;
    std::vector<ShortcutRecord> shortcuts;
    std::optional<std::string> uninstall_key;
};

LogReadBack ReadLogOf(const std::string& uninstaller, size_t body_size) {
    LogReadBack back;
    Bytes all = ReadFileBytes(uninstaller);
    size_t start = body_size - kLogHeaderSize;
    if (all.size() < start) return back;
    back.program.assign(all.begin(), all.begin() + long(start));
    InstallLog log;
    back.accepted = ReadInstallLog(all.data() + start, all.size() - start, &log);
    if (!back.accepted) return back;
    const uint8_t* at = log.files;
    for (uint32_t i = 0; i < log.file_count; ++i) {
        LogFileRecord r = NextLogFileRecord(&at);
        back.files.push_back({Text(r.folder), Text(r.name), r.flags});
    }
    back.has_shortcuts = log.shortcuts != nullptr;
    at = log.shortcuts;
    for (uint32_t i = 0; i < log.shortcut_count; ++i) {
        LogShortcutRecord r = NextLogShortcutRecord(&at);
        back.shortcuts.push_back({Text(r.folder), Text(r.name)});
    }
    if (log.has_uninstall_key) {
        EXPECT_EQ(log.uninstall_root, kLogUninstallRoot);
        back.uninstall_key = Text(log.uninstall_key);
    }
    return back;
}

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

int AnswerNo(const char*, const char*, UINT) { return IDNO; }

class PostInstall : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);  // the setup program initialises OLE at start-up
        SetMessageAnswerer(AnswerNo);
        dest_ = TempFolder("kiln post install");
    }
    void TearDown() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        SetCurrentDirectoryA(temp);  // out of the folders that go
        for (auto it = cleanups_.rbegin(); it != cleanups_.rend(); ++it) (*it)();
        RemoveTree(dest_);
        SetMessageAnswerer(nullptr);
        SetSpecialFolderLookup(nullptr);
        CoUninitialize();
    }
    void Later(std::function<void()> cleanup) { cleanups_.push_back(std::move(cleanup)); }
    void LaterDeleteKey(HKEY root, const std::string& key_path) {
        Later([root, key_path] { RegDeleteTreeA(root, key_path.c_str()), RegDeleteKeyA(root, key_path.c_str()); });
    }
    void LaterDeleteFile(const std::string& path) {
        Later([path] { DeleteFileA(path.c_str()); });
    }

    // A setup type that installs an uninstaller first, under the uninstall key `name`.
    PackagedType TypeWithUninstaller(const std::string& name) {
        PackagedType t{TestType(name, dest_), {}};
        t.type.uninstall_key = name;
        PackagedFile uninstaller = FileOf("uninst.exe", {});
        uninstaller.file.uninstaller = true;
        t.files.push_back(uninstaller);
        LaterDeleteKey(HKEY_LOCAL_MACHINE, kUninstallPrefix + name);
        return t;
    }

    std::string dest_;
    std::vector<std::function<void()>> cleanups_;
};

TEST_F(PostInstall, LogListsEverythingTheUninstallerRemoves) {
    const std::string name = "Kiln PI " + kPid;
    const std::string windows = WindowsFolder(), system = SystemFolder(), fonts = ShellFolder(CSIDL_FONTS);
    const std::string desktop = ShellFolder(CSIDL_DESKTOP), startup = ShellFolder(CSIDL_STARTUP);
    const std::string group = ShellFolder(CSIDL_PROGRAMS) + "\\" + name;
    const std::string windows_file = "kiln-pi-" + kPid + ".txt", shared_file = "kiln-pi-" + kPid + ".dll";
    const std::string font_file = "kiln-pi-" + kPid + ".ttf", font_name = "Kiln PI Font " + kPid;

    PackageContents p;
    p.uninstaller = UninstallerBody("UNINSTALLER PROGRAM");
    PackagedType t = TypeWithUninstaller(name);
    PackagedFile a = FileOf("a.txt", BytesOf("alpha"));
    a.file.desktop_shortcut = name;
    a.file.group_folder = "#startup#";  // any letter case
    a.file.group_shortcut = "A " + kPid;
    t.files.push_back(a);
    PackagedFile b = FileOf("sub\\b.txt", BytesOf("beta"));
    b.file.group_folder = name + "\\Docs";  // two levels, made on demand
    b.file.group_shortcut = "B";
    t.files.push_back(b);
    PackagedFile kept = FileOf("kept.txt", BytesOf("kept"), kPlacementKept);
    kept.file.group_folder = name + "\\Docs";  // the same link again: two records
    kept.file.group_shortcut = "B";
    t.files.push_back(kept);
    PackagedFile in_windows = FileOf(windows_file, BytesOf("windows"));
    in_windows.file.destination_kind = kDestinationWindows;
    t.files.push_back(in_windows);
    PackagedFile shared = FileOf(shared_file, BytesOf("shared"));
    shared.file.destination_kind = kDestinationShared;
    shared.file.shared_count = 1;
    t.files.push_back(shared);
    PackagedFile font = FileOf(font_file, TrueTypeFile({{{1, 4, font_name}}}));
    font.file.destination_kind = kDestinationFonts;
    t.files.push_back(font);
    PackagedFile library = FileOf("register.dll", ReadFileBytes(BuildTreePath(KILN_SELF_REGISTER_PATH)));
    library.file.install_action = 2;
    t.files.push_back(library);
    PackagedFile dependency =
        FileOf("self_register_dependency.dll", ReadFileBytes(BuildTreePath(KILN_SELF_REGISTER_DEPENDENCY_PATH)));
    dependency.file.install_action = 2;  // has no DllRegisterServer: loaded and let go
    t.files.push_back(dependency);
    t.files.push_back(FileOf("made\\by\\setup\\", {}, kPlacementFolder));
    p.types.push_back(t);

    LaterDeleteFile(windows + "\\" + windows_file);
    LaterDeleteFile(system + "\\" + shared_file);
    Later([=] {
        std::string font_path = fonts + "\\" + font_file;
        RemoveFontResourceA(font_path.c_str());
        DeleteFileA(font_path.c_str());
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FontsKey(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, (font_name + " (TrueType)").c_str());
            RegCloseKey(key);
        }
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0,
                          KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, (system + "\\" + shared_file).c_str());
            RegCloseKey(key);
        }
    });
    LaterDeleteFile(desktop + "\\" + name + ".lnk");
    LaterDeleteFile(startup + "\\A " + kPid + ".lnk");
    Later([=] { RemoveTree(group); });

    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);

    LogReadBack log = ReadLogOf(dest_ + "uninst.exe", p.uninstaller.size());
    ASSERT_TRUE(log.accepted);
    EXPECT_EQ(log.program, BytesOf("UNINSTALLER PROGRAM"));
    EXPECT_EQ(log.files, (std::vector<FileRecord>{
                             {".", "a.txt", 0},
                             {desktop, name + ".lnk", 0},
                             {".\\sub", "b.txt", 0},
                             {windows, windows_file, 0},
                             {system, shared_file, kLogSharedFile},
                             {fonts, font_file, kLogFont},
                             {".", "register.dll", kLogSelfRegistered},
                             {".", "self_register_dependency.dll", kLogSelfRegistered},
                             {".\\made\\by\\setup", "", 0},
                         }));
    EXPECT_EQ(log.shortcuts, (std::vector<ShortcutRecord>{
                                 {startup, "A " + kPid + ".lnk"},
                                 {group + "\\Docs", "B.lnk"},
                                 {group + "\\Docs", "B.lnk"},
                             }));
    EXPECT_EQ(log.uninstall_key, kUninstallPrefix + name);

    // What the log names is there.
    EXPECT_TRUE(Exists(desktop + "\\" + name + ".lnk"));
    EXPECT_TRUE(Exists(startup + "\\A " + kPid + ".lnk"));
    EXPECT_TRUE(Exists(group + "\\Docs\\B.lnk"));
    EXPECT_TRUE(Exists(dest_ + "made\\by\\setup"));
    // Registered, with the library it needs found beside it.
    EXPECT_EQ(ReadFileBytes(dest_ + "register.dll.registered"), BytesOf("registered"));

    // The uninstall entry as described: the name, and the uninstaller's bare path.
    std::string key = kUninstallPrefix + name;
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "DisplayName"), name);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "UninstallString"), dest_ + "uninst.exe");
    for (const char* value : {"DisplayVersion", "Publisher", "InstallLocation", "QuietUninstallString"})
        EXPECT_FALSE(RegText(HKEY_LOCAL_MACHINE, key, value)) << value << ": the package does not carry it";
    EXPECT_FALSE(RegNumber(HKEY_LOCAL_MACHINE, key, "EstimatedSize"));

    // The wizard moves on to the finish page; the installation is over.
    EXPECT_EQ(g_state.page_index, 6);
    EXPECT_EQ(g_state.page_result, kPageNext);
    EXPECT_FALSE(g_state.installing);
}

TEST_F(PostInstall, UninstallEntryValuesWhenThePackageCarriesThem) {
    const std::string name = "Kiln PI Values " + kPid;
    PackageContents p;
    p.uninstaller = UninstallerBody(std::string(1500, 'U'));
    PackagedType t = TypeWithUninstaller(name);
    UninstallValues values;
    values.display_version = "4.5";
    values.publisher = "Kiln Tests";
    values.display_icon = "#InstallDir#\\app.exe,0";
    values.install_location = values.estimated_size = values.no_modify = values.no_repair = true;
    values.quiet_uninstall = true;
    t.type.uninstall_values = values;
    t.files.push_back(FileOf("app.exe", Bytes(3000, 'a')));
    t.files.push_back(FileOf("data.bin", Bytes(5000, 'd'), kPlacementKept));
    p.types.push_back(t);

    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);

    std::string key = kUninstallPrefix + name, uninstaller = dest_ + "uninst.exe";
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "DisplayName"), name);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "UninstallString"), uninstaller);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), "4.5");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "Publisher"), "Kiln Tests");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "DisplayIcon"), dest_ + "app.exe,0");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "InstallLocation"), WithoutBackslash(dest_));
    EXPECT_EQ(RegNumber(HKEY_LOCAL_MACHINE, key, "EstimatedSize"), DWORD((p.uninstaller.size() + 8000 + 1023) / 1024));
    EXPECT_EQ(RegNumber(HKEY_LOCAL_MACHINE, key, "NoModify"), 1u);
    EXPECT_EQ(RegNumber(HKEY_LOCAL_MACHINE, key, "NoRepair"), 1u);
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"), "\"" + uninstaller + "\" /QUIET");

    // Without program-group shortcuts: files section, uninstall key, end.
    LogReadBack log = ReadLogOf(uninstaller, p.uninstaller.size());
    ASSERT_TRUE(log.accepted);
    EXPECT_EQ(log.program, Bytes(1500, 'U'));
    EXPECT_EQ(log.files, (std::vector<FileRecord>{{".", "app.exe", 0}}));
    EXPECT_FALSE(log.has_shortcuts);
    EXPECT_EQ(log.uninstall_key, key);
}

// Every change after the files belongs to a successful installation only.
TEST_F(PostInstall, FailedInstallationWritesNoneOfIt) {
    const std::string name = "Kiln PI Failed " + kPid;
    const std::string remembered = "Software\\Kiln Tests\\Failed " + kPid;
    const std::string group = ShellFolder(CSIDL_PROGRAMS) + "\\" + name;
    LaterDeleteKey(HKEY_CURRENT_USER, remembered);
    Later([=] { RemoveTree(group); });
    PackageContents p;
    p.uninstaller = UninstallerBody("PROGRAM");
    PackagedType t = TypeWithUninstaller(name);
    t.type.remember_in_registry = true;
    t.type.registry_root = 1;
    t.type.registry_key = remembered;
    t.type.registry_value = "Folder";
    t.type.registry.push_back({1, false, remembered, "Entry", "#InstallDir#"});
    t.type.ini.push_back({false, "#InstallDir#\\settings.ini", "Paths", "Home", "#InstallDir#"});
    t.type.patches.push_back({0, "a.txt", "PATCHED", {}});
    PackagedFile a = FileOf("a.txt", BytesOf("alpha"));
    a.file.group_folder = name;
    a.file.group_shortcut = "A";
    t.files.push_back(a);
    PackagedFile library = FileOf("register.dll", ReadFileBytes(BuildTreePath(KILN_SELF_REGISTER_PATH)));
    library.file.install_action = 2;
    t.files.push_back(library);
    t.files.push_back(FileOf("self_register_dependency.dll",
                             ReadFileBytes(BuildTreePath(KILN_SELF_REGISTER_DEPENDENCY_PATH))));
    PackagedFile damaged = FileOf("damaged.txt", BytesOf("damaged"));
    damaged.damage_checksum = true;
    t.files.push_back(damaged);
    p.types.push_back(t);

    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    EXPECT_EQ(installed.Install(), 21);

    EXPECT_EQ(ReadFileBytes(dest_ + "uninst.exe"), p.uninstaller) << "no log";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallPrefix + name));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, remembered));
    EXPECT_FALSE(Exists(dest_ + "settings.ini"));
    EXPECT_EQ(ReadFileBytes(dest_ + "a.txt"), BytesOf("alpha"));
    EXPECT_FALSE(Exists(group));
    EXPECT_FALSE(Exists(dest_ + "register.dll.registered"));
    EXPECT_EQ(g_state.page_index, 6) << "the finish page reports the failure";
    EXPECT_FALSE(g_state.installing);
    EXPECT_EQ(g_archive.handle, INVALID_HANDLE_VALUE) << "the archive is closed";
}

// Setup ended at a disk prompt (page result Cancel, install error 15): the
// wizard ends, the finish page is not shown over the user's answer.
TEST_F(PostInstall, CancelAtADiskPromptEndsTheWizard) {
    PackageContents p;
    p.types.push_back({TestType("Kiln PI Cancelled " + kPid, dest_), {FileOf("a.txt", BytesOf("alpha"))}});
    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    g_state.page_index = 6;
    g_state.page_result = kPageCancel;
    g_state.install_error = 15;
    RunPostInstallActions();
    EXPECT_EQ(g_state.page_result, kPageCancel);
    EXPECT_EQ(g_state.page_index, 6);
    EXPECT_FALSE(g_state.installing);
}

TEST_F(PostInstall, UninstallKeyWithoutAnUninstallerMakesNoEntry) {
    const std::string name = "Kiln PI No Uninstaller " + kPid;
    LaterDeleteKey(HKEY_LOCAL_MACHINE, kUninstallPrefix + name);
    PackageContents p;
    p.uninstaller = UninstallerBody("PROGRAM");
    PackagedType t{TestType(name, dest_), {FileOf("a.txt", BytesOf("alpha"))}};
    p.types.push_back(t);
    p.start_page = 3;  // a single page: its own result ends the wizard
    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallPrefix + name));
    EXPECT_EQ(g_state.page_index, 0) << "not moved in single-page mode";
    EXPECT_EQ(g_state.page_result, kPageRunning);
    EXPECT_FALSE(g_state.installing);
}

// A file too short to end with the closing header is no uninstaller the
// log could be appended to: it stays as it is, and the rest goes on.
TEST_F(PostInstall, UninstallerWithoutRoomForTheLogStaysAsItIs) {
    const std::string name = "Kiln PI Short " + kPid;
    PackageContents p;
    p.uninstaller = BytesOf("abc");
    PackagedType t = TypeWithUninstaller(name);
    t.type.registry.push_back({1, false, "Software\\Kiln Tests\\Short " + kPid, "After", "the log"});
    LaterDeleteKey(HKEY_CURRENT_USER, "Software\\Kiln Tests\\Short " + kPid);
    p.types.push_back(t);
    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);
    EXPECT_EQ(ReadFileBytes(dest_ + "uninst.exe"), BytesOf("abc"));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kUninstallPrefix + name, "UninstallString"), dest_ + "uninst.exe");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\Kiln Tests\\Short " + kPid, "After"), "the log");
}

// The next run of the same setup proposes the folder the last one used:
// from the registry (root 7 selects HKEY_CURRENT_USER) or from an INI file.
TEST_F(PostInstall, RememberedFolderIsProposedByTheNextRun) {
    const std::string key = "Software\\Kiln Tests\\Remembered " + kPid;
    const std::string ini = TempFolder("kiln remembered") + "remember.ini";
    LaterDeleteKey(HKEY_CURRENT_USER, key);
    Later([ini] { RemoveTree(ini.substr(0, ini.rfind('\\'))); });
    CreateDirectoryA(ini.substr(0, ini.rfind('\\')).c_str(), nullptr);
    const std::string chosen[2] = {dest_ + "By Registry\\", dest_ + "By INI\\"};
    PackageContents p;
    PackagedType by_registry{TestType("Registry", "C:\\Default Registry"), {FileOf("a.txt", BytesOf("a"))}};
    by_registry.type.remember_in_registry = true;
    by_registry.type.registry_root = 7;
    by_registry.type.registry_key = key;
    by_registry.type.registry_value = "Folder";
    PackagedType by_ini{TestType("INI", "C:\\Default INI"), {FileOf("b.txt", BytesOf("b"))}};
    by_ini.type.remember_in_ini = true;
    by_ini.type.ini_file = ini;
    by_ini.type.ini_section = "Setup";
    by_ini.type.ini_key = "Folder";
    p.types = {by_registry, by_ini};

    for (int type = 0; type < 2; ++type) {
        InstalledPackage installed(p, type, chosen[type]);
        ASSERT_TRUE(installed.loaded);
        ASSERT_EQ(installed.Install(), 0);
    }
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, "Folder"), WithoutBackslash(chosen[0]));
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA("Setup", "Folder", "", value, MAX_PATH, ini.c_str());
    EXPECT_EQ(std::string(value), WithoutBackslash(chosen[1]));

    InstalledPackage next(p, 0, "");
    next.Load();
    ASSERT_TRUE(next.loaded);
    for (int type = 0; type < 2; ++type) {
        SelectSetupType(type);
        EXPECT_EQ(Lower(g_state.destination_folder), Lower(WithoutBackslash(chosen[type]))) << type;
    }
}

// --- INI, registry and file patch entries -------------------------------------

TEST_F(PostInstall, IniAndRegistryEntries) {
    const std::string key = "Software\\Kiln Tests\\Entries " + kPid;
    LaterDeleteKey(HKEY_CURRENT_USER, key);
    const std::string ini = dest_ + "conf\\app.ini";
    // What is there before the installation.
    CreateDirectoryA(dest_.c_str(), nullptr);
    const std::string long_text(40, 'L');
    SetRegValue(HKEY_CURRENT_USER, key, "Long", REG_SZ, long_text.c_str(), DWORD(long_text.size() + 1));
    SetRegValue(HKEY_CURRENT_USER, key, "Empty", REG_SZ, "", 1);
    DWORD zero = 0;
    SetRegValue(HKEY_CURRENT_USER, key, "Number", REG_DWORD, &zero, sizeof zero);
    SetRegValue(HKEY_CURRENT_USER, key, "Replaced", REG_SZ, "old", 4);

    PackageContents p;
    PackagedType t{TestType("Entries", dest_), {}};
    // The INI file is a file of the list, named as the package names it.
    t.files.push_back(FileOf("conf\\app.ini", BytesOf("[Main]\r\nKept=old\r\nEmpty=\r\nReplaced=old\r\n")));
    t.type.ini = {
        {true, "conf\\app.ini", "Main", "Kept", "new"},
        {true, "conf\\app.ini", "Main", "Empty", "filled"},
        {true, "conf\\app.ini", "Main", "Missing", "added"},
        {false, "conf\\app.ini", "Main", "Replaced", "new"},
        {false, "#InstallDir#\\other.ini", "Paths", "Home", "#InstallDir#\\bin"},
    };
    t.type.registry = {
        {1, true, key, "Long", "new"},       // longer than the probe: present
        {1, true, key, "Empty", "filled"},   // empty: written
        {1, true, key, "Number", "text"},    // a number, even 0, is a value
        {1, true, key, "Missing", "added"},
        {1, false, key, "Replaced", "new"},
        {9, false, key, "", "#InstallDir#"},  // root 9: HKEY_CURRENT_USER; no name: the default value
    };
    p.types.push_back(t);
    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);

    auto ini_value = [](const std::string& file, const char* section, const char* name) {
        char value[MAX_PATH] = "";
        GetPrivateProfileStringA(section, name, "<none>", value, MAX_PATH, file.c_str());
        return std::string(value);
    };
    EXPECT_EQ(ini_value(ini, "Main", "Kept"), "old");
    EXPECT_EQ(ini_value(ini, "Main", "Empty"), "filled");
    EXPECT_EQ(ini_value(ini, "Main", "Missing"), "added");
    EXPECT_EQ(ini_value(ini, "Main", "Replaced"), "new");
    EXPECT_EQ(ini_value(dest_ + "other.ini", "Paths", "Home"), dest_ + "bin");

    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, "Long"), long_text);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, "Empty"), "filled");
    EXPECT_EQ(RegNumber(HKEY_CURRENT_USER, key, "Number"), 0u);
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, "Missing"), "added");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, "Replaced"), "new");
    EXPECT_EQ(RegText(HKEY_CURRENT_USER, key, ""), WithoutBackslash(dest_));
}

TEST_F(PostInstall, FilePatchEntries) {
    const std::string windows_file = "kiln-patch-" + kPid + ".bin";
    LaterDeleteFile(WindowsFolder() + "\\" + windows_file);
    Bytes across(40000, '.');  // the pattern crosses the first 16 KiB step
    const std::string mark = "<<MARK>>";
    std::copy(mark.begin(), mark.end(), across.begin() + 16380);
    PackageContents p;
    PackagedType t{TestType("Patches", dest_), {}};
    t.files.push_back(FileOf("offset.bin", BytesOf("0123456789")));
    t.files.push_back(FileOf("across.bin", across));
    t.files.push_back(FileOf("end.bin", BytesOf("....<<MARK>>")));
    t.files.push_back(FileOf("start.bin", BytesOf("<<MARK>>....")));
    t.files.push_back(FileOf("short.bin", BytesOf("<<MA")));
    t.files.push_back(FileOf("absent.bin", BytesOf("nothing to find")));
    t.files.push_back(FileOf("empty-data.bin", BytesOf("0123")));
    PackagedFile elsewhere = FileOf(windows_file, BytesOf("aaaa<<MARK>>bbbbbbbb"));
    elsewhere.file.destination_kind = kDestinationWindows;
    t.files.push_back(elsewhere);
    const Bytes pattern = BytesOf(mark);
    t.type.patches = {
        {4, "offset.bin", "XY", {}},
        {0xFFFFFFFF, "across.bin", "found", pattern},
        {0xFFFFFFFF, "end.bin", "+tail", pattern},  // right after the end: the file grows
        {0xFFFFFFFF, "start.bin", "AB", pattern},
        {0xFFFFFFFF, "short.bin", "never", pattern},
        {0xFFFFFFFF, "absent.bin", "never", pattern},
        {0, "empty-data.bin", "#Unknown#", {}},  // expands to nothing: nothing written
        {0xFFFFFFFF, windows_file, "#Date#", pattern},  // by its name in the package, wherever it went
        {2, "#InstallDir#\\offset.bin", "#InstallDir#", {}},
    };
    p.types.push_back(t);
    InstalledPackage installed(p, 0, dest_);
    ASSERT_TRUE(installed.loaded);
    ASSERT_EQ(installed.Install(), 0);

    Bytes expected_across = across;
    std::string found = "found";
    std::copy(found.begin(), found.end(), expected_across.begin() + 16380 + 8);
    EXPECT_EQ(ReadFileBytes(dest_ + "across.bin"), expected_across);
    EXPECT_EQ(ReadFileBytes(dest_ + "offset.bin"), BytesOf("01" + WithoutBackslash(dest_)));
    EXPECT_EQ(ReadFileBytes(dest_ + "end.bin"), BytesOf("....<<MARK>>+tail"));
    EXPECT_EQ(ReadFileBytes(dest_ + "start.bin"), BytesOf("<<MARK>>AB.."));
    EXPECT_EQ(ReadFileBytes(dest_ + "short.bin"), BytesOf("<<MA"));
    EXPECT_EQ(ReadFileBytes(dest_ + "absent.bin"), BytesOf("nothing to find"));
    EXPECT_EQ(ReadFileBytes(dest_ + "empty-data.bin"), BytesOf("0123"));
    Bytes patched = ReadFileBytes(WindowsFolder() + "\\" + windows_file);
    ASSERT_EQ(patched.size(), 20u);
    std::string date(patched.begin() + 12, patched.end());
    EXPECT_EQ(date.size(), 8u);
    EXPECT_EQ(date.find_first_not_of("0123456789"), std::string::npos) << date;
}

// --- Program-group shortcuts ----------------------------------------------------

// A log of its own on a file that holds only a closing header, for the
// shortcuts section alone.
struct LogOnFile {
    std::string path;
    LogFile log;
    explicit LogOnFile(const std::string& file) : path(file) {
        WriteFileBytes(path, UninstallerBody(""));
        FreeSetupConfig();  // no file list: an empty files section
        OpenInstallLog(&log, path.c_str());
        BeginLogSection(&log, kLogShortcutsTag, LogEnd(&log));
    }
    LogReadBack Close() {
        EndLogSection(&log, kLogShortcutsTag);
        CloseInstallLog(&log);
        return ReadLogOf(path, kLogHeaderSize);
    }
};

bool NoShellFolder(int, char*) { return false; }

TEST_F(PostInstall, ProgramGroupShortcuts) {
    const std::string programs = ShellFolder(CSIDL_PROGRAMS), start_menu = ShellFolder(CSIDL_STARTMENU);
    const std::string startup = ShellFolder(CSIDL_STARTUP), group = "Kiln PG " + kPid;
    const std::string target = dest_ + "app.exe";
    CreateDirectoryA(dest_.c_str(), nullptr);
    WriteFileBytes(target, BytesOf("app"));
    const std::string top_link = "Kiln PG Top " + kPid, start_link = "Kiln PG Start " + kPid;
    LaterDeleteFile(programs + "\\" + top_link + ".lnk");
    LaterDeleteFile(start_menu + "\\" + start_link + ".lnk");
    LaterDeleteFile(startup + "\\" + group + ".lnk");
    Later([=] { RemoveTree(programs + "\\" + group); });

    LogOnFile file(dest_ + "log.bin");
    CreateProgramGroupShortcut(target.c_str(), (group + "\\One\\Two").c_str(), "Deep", "/a", 3, &file.log);
    CreateProgramGroupShortcut(target.c_str(), "", top_link.c_str(), "", 0, &file.log);
    CreateProgramGroupShortcut(target.c_str(), "#START MENU#", start_link.c_str(), "", 0, &file.log);
    CreateProgramGroupShortcut(target.c_str(), "#StartUp#", group.c_str(), "", 0, &file.log);
    // A shell folder that cannot be found: no link, not even in the current folder, and no record.
    SetSpecialFolderLookup(NoShellFolder);
    SetCurrentDirectoryA(dest_.c_str());
    CreateProgramGroupShortcut(target.c_str(), group.c_str(), "Lost", "", 0, &file.log);
    CreateProgramGroupShortcut(target.c_str(), "#Startup#", "Lost", "", 0, &file.log);
    SetSpecialFolderLookup(nullptr);
    LogReadBack log = file.Close();

    ASSERT_TRUE(log.accepted);
    EXPECT_EQ(log.shortcuts, (std::vector<ShortcutRecord>{
                                 {programs + "\\" + group + "\\One\\Two", "Deep.lnk"},
                                 {programs, top_link + ".lnk"},
                                 {start_menu, start_link + ".lnk"},
                                 {startup, group + ".lnk"},
                             }));
    EXPECT_TRUE(Exists(programs + "\\" + group + "\\One\\Two\\Deep.lnk"));
    EXPECT_TRUE(Exists(programs + "\\" + top_link + ".lnk"));
    EXPECT_TRUE(Exists(start_menu + "\\" + start_link + ".lnk"));
    EXPECT_TRUE(Exists(startup + "\\" + group + ".lnk"));
    EXPECT_FALSE(Exists(dest_ + "Lost.lnk"));
    EXPECT_FALSE(Exists(dest_ + group));

    // The icon location is set only for an icon index other than 0.
    IShellLinkA* link = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           reinterpret_cast<void**>(&link))));
    IPersistFile* persist = nullptr;
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))));
    for (auto [path, index] : {std::pair{programs + "\\" + group + "\\One\\Two\\Deep.lnk", 3},
                               std::pair{programs + "\\" + top_link + ".lnk", 0}}) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        ASSERT_TRUE(SUCCEEDED(persist->Load(wide, STGM_READ))) << path;
        char icon[MAX_PATH] = "";
        int icon_index = -1;
        link->GetIconLocation(icon, MAX_PATH, &icon_index);
        EXPECT_EQ(std::string(icon), index ? target : "") << path;
        EXPECT_EQ(icon_index, index) << path;
    }
    persist->Release();
    link->Release();
}

}  // namespace
