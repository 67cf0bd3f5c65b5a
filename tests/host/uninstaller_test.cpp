// The uninstaller's portable side: the install log and the texts part are
// accepted whole and refused when cut or malformed, and a log that passes
// still reaches only the places an installation could have written.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "builder/manifest/default_texts.h"
#include "builder/assembly/package_builder.h"
#include "builder/program/uninstaller_program.h"
#include "engine/install_log_format.h"
#include "engine/removal_targets.h"
#include "engine/uninstaller_data.h"
#include "tests/common/install_log_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const LogText& t) { return std::string(t.data, t.size); }

TestLog SampleLog() {
    TestLog log;
    log.files = {{".", "app.exe", 0}, {".\\sub", "lib.dll", kLogSelfRegistered}, {"C:\\WINDOWS\\SYSTEM", "s.dll", 1},
                 {".", "", 0}};
    log.shortcuts = std::vector<TestLogShortcut>{{"C:\\Start Menu\\Programs\\App", "App.lnk"}};
    log.uninstall_key = "App";
    return log;
}

TEST(InstallLog, ReadsWhatTheSetupProgramWrites) {
    Bytes bytes = InstallLogBytes(SampleLog());
    InstallLog log;
    ASSERT_TRUE(ReadInstallLog(bytes.data(), bytes.size(), &log));
    ASSERT_EQ(log.file_count, 4u);
    const uint8_t* at = log.files;
    LogFileRecord r = NextLogFileRecord(&at);
    EXPECT_EQ(Str(r.folder), ".");
    EXPECT_EQ(Str(r.name), "app.exe");
    r = NextLogFileRecord(&at);
    EXPECT_EQ(Str(r.folder), ".\\sub");
    EXPECT_EQ(r.flags, kLogSelfRegistered);
    NextLogFileRecord(&at);
    EXPECT_EQ(Str(NextLogFileRecord(&at).name), "");
    ASSERT_EQ(log.shortcut_count, 1u);
    at = log.shortcuts;
    EXPECT_EQ(Str(NextLogShortcutRecord(&at).name), "App.lnk");
    ASSERT_TRUE(log.has_uninstall_key);
    EXPECT_EQ(log.uninstall_root, kLogUninstallRoot);
    EXPECT_EQ(Str(log.uninstall_key), std::string(kTestUninstallPrefix) + "App");

    // The smallest log: an empty files section and the end header.
    Bytes empty = InstallLogBytes(TestLog{});
    ASSERT_TRUE(ReadInstallLog(empty.data(), empty.size(), &log));
    EXPECT_EQ(log.file_count, 0u);
    EXPECT_EQ(log.shortcuts, nullptr);
    EXPECT_FALSE(log.has_uninstall_key);
}

TEST(InstallLog, RefusesEveryCutAndEveryMalformedLayout) {
    Bytes whole = InstallLogBytes(SampleLog());
    InstallLog log;
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_FALSE(ReadInstallLog(whole.data(), n, &log)) << "cut to " << n << " bytes";

    auto patched = [&](size_t at, uint8_t value) {
        Bytes b = whole;
        b[at] = value;
        return b;
    };
    Bytes end_first = InstallLogBytes(TestLog{});
    end_first.insert(end_first.begin(), whole.end() - 8, whole.end());
    // The uninstall key section: what the key adds before the end header.
    TestLog keyless = SampleLog();
    keyless.uninstall_key.reset();
    size_t key_at = InstallLogBytes(keyless).size() - kLogHeaderSize;
    Bytes key_twice = whole;
    key_twice.insert(key_twice.end() - 8, whole.begin() + long(key_at), whole.end() - 8);
    Bytes trailing = whole;
    trailing.push_back(0);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"files section missing", Bytes(whole.begin() + long(whole.size() - 8), whole.end())},
        {"end header first", end_first},
        {"section repeated", key_twice},
        {"byte after the end header", trailing},
        {"file count one too high", patched(8, 5)},
        {"file count one too low", patched(8, 3)},
        {"flags in the header's reserved bytes", patched(2, 1)},
        {"unknown tag", patched(0, 0x37)},
    };
    for (const auto& c : cases) EXPECT_FALSE(ReadInstallLog(c.bytes.data(), c.bytes.size(), &log)) << c.name;
}

TEST(UninstallerData, TextsComeFromTheTypesTablesAndLeadToTheLog) {
    StringTable texts = DefaultStringTable();
    texts[kGroupMessages][0] = "Sample Product";
    texts[kGroupUninstaller][0] = "Entfernen?";
    Bytes data = UninstallerEntryData(texts);
    Bytes file = WithInstallLog(data, InstallLogBytes(SampleLog()));

    UninstallerTexts t;
    size_t log_start = ReadUninstallerTexts(file.data(), file.size(), &t);
    ASSERT_EQ(log_start, data.size() - kLogHeaderSize);
    EXPECT_EQ(Str(t.text[kTextProductName]), "Sample Product");
    EXPECT_EQ(Str(t.text[kTextQuestion]), "Entfernen?");
    EXPECT_EQ(Str(t.text[kTextDamaged]), texts[kGroupUninstaller][4]);
    InstallLog log;
    EXPECT_TRUE(ReadInstallLog(file.data() + log_start, file.size() - log_start, &log));

    // As the package carries it, before any log: the closing header alone.
    ASSERT_EQ(ReadUninstallerTexts(data.data(), data.size(), &t), log_start);
    EXPECT_EQ(ReadU16(&data[log_start]), kLogEndTag);
    EXPECT_FALSE(ReadInstallLog(data.data() + log_start, data.size() - log_start, &log)) << "no files section yet";

    for (size_t n = 0; n < data.size(); ++n)
        EXPECT_EQ(ReadUninstallerTexts(data.data(), n, &t), 0u) << "cut to " << n << " bytes";
    Bytes miscounted = data;
    miscounted[4] += 1;
    EXPECT_EQ(ReadUninstallerTexts(miscounted.data(), miscounted.size(), &t), 0u);
}

TEST(UninstallerProgram, DataBlockTellsTheProgramsLength) {
    Bytes program(300, 'P');
    std::memcpy(&program[100], kUninstallerMarker, sizeof kUninstallerMarker);
    Bytes prepared = PrepareUninstallerProgram(program);
    EXPECT_EQ(ReadU32(&prepared[106]), 300u);

    EXPECT_THROW(PrepareUninstallerProgram(Bytes(300, 'P')), BuildError);
    std::memcpy(&program[200], kUninstallerMarker, sizeof kUninstallerMarker);
    EXPECT_THROW(PrepareUninstallerProgram(program), BuildError);
}

// ---------------------------------------------------------------- places

const char kInstall[] = "C:\\Program Files\\App";
const char kPrograms[] = "C:\\users\\me\\Start Menu\\Programs";
const char kStartMenu[] = "C:\\users\\me\\Start Menu";
const char kStartup[] = "C:\\users\\me\\Start Menu\\Programs\\Startup";

InstalledFolders Folders(const char* install = kInstall) {
    return InstalledFolders{install,
                            "C:\\WINDOWS",
                            "C:\\WINDOWS\\system32",
                            "C:\\WINDOWS\\Fonts",
                            "C:\\users\\me\\Desktop",
                            {kPrograms, kStartMenu, kStartup}};
}

LogText T(const std::string& s) {
    static std::deque<std::string> keep;  // the texts outlive the record; never moved
    keep.push_back(s);
    return LogText{keep.back().data(), uint16_t(keep.back().size())};
}

struct FileCase {
    std::string folder, name;
    uint8_t flags;
    RemovalPlace place;
    std::string path;  // expected when admitted
};

TEST(RemovalTargets, FileRecordsReachOnlyTheirOwnPlaces) {
    using P = RemovalPlace;
    const std::string in = std::string(kInstall) + "\\";
    const FileCase cases[] = {
        {".", "app.exe", 0, P::kInstallFolder, in + "app.exe"},
        {".\\sub\\deep", "x.dll", kLogSelfRegistered | kLogSharedFile, P::kInstallFolder, in + "sub\\deep\\x.dll"},
        {".", "", 0, P::kInstallFolder, kInstall},
        {".\\data", "", 0, P::kInstallFolder, in + "data"},
        {"c:\\program files\\APP\\sub", "y.txt", 0, P::kInstallFolder, "c:\\program files\\APP\\sub\\y.txt"},
        {"C:\\WINDOWS\\system32", "shared.dll", kLogSharedFile, P::kSharedFolder, "C:\\WINDOWS\\system32\\shared.dll"},
        {"C:\\windows\\SYSTEM32", "com.dll", kLogSharedFile | kLogSelfRegistered, P::kSharedFolder,
         "C:\\windows\\SYSTEM32\\com.dll"},
        {"C:\\WINDOWS", "old.dll", kLogSharedFile, P::kSharedFolder, "C:\\WINDOWS\\old.dll"},
        {"C:\\WINDOWS\\Fonts", "abc.ttf", kLogFont, P::kFontsFolder, "C:\\WINDOWS\\Fonts\\abc.ttf"},
        {"C:\\WINDOWS\\Fonts", "abc.ttf", kLogFont | kLogSharedFile, P::kFontsFolder, "C:\\WINDOWS\\Fonts\\abc.ttf"},
        {"C:\\users\\me\\Desktop", "App.lnk", 0, P::kDesktop, "C:\\users\\me\\Desktop\\App.lnk"},
        // What no installation writes, or not with these flags.
        {"C:\\WINDOWS\\system32", "kernel32.dll", 0, P::kRefused, ""},
        {"C:\\WINDOWS\\system32", "kernel32.dll", kLogSelfRegistered, P::kRefused, ""},
        {"C:\\WINDOWS\\system32", "x.ttf", kLogFont | kLogSharedFile, P::kRefused, ""},
        {"C:\\WINDOWS\\system32\\drivers", "x.sys", kLogSharedFile, P::kRefused, ""},
        {"C:\\WINDOWS\\Fonts", "abc.ttf", 0, P::kRefused, ""},
        {".", "abc.ttf", kLogFont, P::kRefused, ""},
        {"C:\\users\\me\\Desktop", "App.exe", 0, P::kRefused, ""},
        {"C:\\users\\me\\Desktop", "App.lnk", kLogSharedFile, P::kRefused, ""},
        {"C:\\users\\me\\Desktop", "", 0, P::kRefused, ""},
        {"C:\\Program Files\\AppOther", "z.txt", 0, P::kRefused, ""},
        {"C:", "boot.ini", kLogSharedFile, P::kRefused, ""},
        {"C:\\other", "x.txt", 0, P::kRefused, ""},
        {".", "x.txt", 8, P::kRefused, ""},
        // Ways out of a folder, and names the platform would read otherwise.
        {".\\..", "kernel32.dll", 0, P::kRefused, ""},
        {".\\sub\\..\\..", "x.dll", 0, P::kRefused, ""},
        {".\\.. ", "x.dll", 0, P::kRefused, ""},
        {".\\. .", "x.dll", 0, P::kRefused, ""},
        {".\\...", "x.dll", 0, P::kRefused, ""},
        {".\\", "x.dll", 0, P::kRefused, ""},
        {".\\a\\\\b", "x.dll", 0, P::kRefused, ""},
        {"..", "x.dll", 0, P::kRefused, ""},
        {".x", "y.dll", 0, P::kRefused, ""},
        {".", "..", 0, P::kRefused, ""},
        {".", "a\\b", 0, P::kRefused, ""},
        {".", "a/../../b", 0, P::kRefused, ""},
        {".", "a.txt:stream", 0, P::kRefused, ""},
        {".", "*.*", 0, P::kRefused, ""},
        {".", std::string("a\tb"), 0, P::kRefused, ""},
        {"C:\\WINDOWS\\system32\\..", "shared.dll", kLogSharedFile, P::kRefused, ""},
        {"C:\\Program Files\\App\\..\\..\\WINDOWS", "win.ini", 0, P::kRefused, ""},
        {"C:WINDOWS", "win.ini", 0, P::kRefused, ""},
        {"\\WINDOWS", "win.ini", 0, P::kRefused, ""},
        {".", std::string(300, 'x'), 0, P::kRefused, ""},
    };
    InstalledFolders folders = Folders();
    for (const FileCase& c : cases) {
        RemovalTarget t;
        RemovalPlace place = ResolveFileRecord({T(c.folder), T(c.name), c.flags}, folders, &t);
        EXPECT_EQ(int(place), int(c.place)) << c.folder << " | " << c.name;
        if (place != RemovalPlace::kRefused) EXPECT_EQ(t.path, c.path) << c.folder << " | " << c.name;
    }
}

TEST(RemovalTargets, EmptyFoldersGoUpToTheInstallFolderOrTheShortcutRoot) {
    InstalledFolders folders = Folders();
    RemovalTarget t;
    ResolveFileRecord({T(".\\a\\b"), T("x.dll"), 0}, folders, &t);
    EXPECT_EQ(std::string(t.path, t.keep), "C:\\Program Files") << "the install folder may go, its parent stays";
    ResolveFileRecord({T("C:\\WINDOWS\\system32"), T("s.dll"), kLogSharedFile}, folders, &t);
    EXPECT_EQ(std::string(t.path, t.keep), "C:\\WINDOWS\\system32");

    const struct {
        std::string folder, name;
        const char* root;  // null: refused
    } shortcuts[] = {
        {std::string(kPrograms) + "\\Sample Product\\Tools", "Read me.lnk", kPrograms},
        {kStartup, "App.lnk", kStartup},
        {kStartMenu, "App.lnk", kStartMenu},
        {std::string(kPrograms) + "\\Sample Product", "App.exe", nullptr},
        {std::string(kPrograms) + "\\..\\..\\..", "x.lnk", nullptr},
        {"C:\\users\\me\\Desktop", "App.lnk", nullptr},
        {".", "App.lnk", nullptr},
        {"C:\\users\\me\\Start Menu2", "App.lnk", nullptr},
    };
    for (const auto& c : shortcuts) {
        RemovalPlace place = ResolveShortcutRecord({T(c.folder), T(c.name)}, folders, &t);
        if (!c.root) {
            EXPECT_EQ(place, RemovalPlace::kRefused) << c.folder;
            continue;
        }
        ASSERT_EQ(place, RemovalPlace::kShortcutRoot) << c.folder;
        EXPECT_EQ(std::string(t.path), c.folder + "\\" + c.name);
        EXPECT_EQ(std::string(t.path, t.keep), c.root);
    }
}

TEST(RemovalTargets, AnInstallFolderThatStandsForTheSystemAdmitsNothing) {
    for (const char* install : {"C:", "C:\\", "C:\\WINDOWS", "c:\\windows\\system32", "\\\\server\\share", "", "C:\\a\\..",
                                "C:\\App\\"}) {
        RemovalTarget t;
        EXPECT_EQ(ResolveFileRecord({T("."), T("x.txt"), 0}, Folders(install), &t), RemovalPlace::kRefused) << install;
        EXPECT_EQ(ResolveFileRecord({T(".\\WINDOWS\\system32"), T("kernel32.dll"), 0}, Folders(install), &t),
                  RemovalPlace::kRefused)
            << install;
    }
    RemovalTarget t;
    EXPECT_EQ(ResolveFileRecord({T("."), T("x.txt"), 0}, Folders("\\\\server\\share\\App"), &t),
              RemovalPlace::kInstallFolder);
    EXPECT_STREQ(t.path, "\\\\server\\share\\App\\x.txt");
    EXPECT_EQ(ResolveFileRecord({T("."), T("x.txt"), 0}, Folders("C:\\WINDOWS\\App"), &t), RemovalPlace::kInstallFolder);
}

TEST(RemovalTargets, OnlyAnUninstallEntryKeyIsDeleted) {
    const struct {
        uint32_t root;
        std::string key;
        const char* expected;  // null: refused
    } cases[] = {
        {kLogUninstallRoot, std::string(kTestUninstallPrefix) + "Sample Product",
         "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Product"},
        {kLogUninstallRoot, "software\\microsoft\\windows\\currentversion\\uninstall\\x",
         "software\\microsoft\\windows\\currentversion\\uninstall\\x"},
        {0x80000001, std::string(kTestUninstallPrefix) + "Sample Product", nullptr},
        {kLogUninstallRoot, kTestUninstallPrefix, nullptr},
        {kLogUninstallRoot, std::string(kTestUninstallPrefix) + "a\\b", nullptr},
        {kLogUninstallRoot, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\x", nullptr},
        {kLogUninstallRoot, "Software", nullptr},
    };
    for (const auto& c : cases) {
        InstallLog log = {};
        log.has_uninstall_key = true;
        log.uninstall_root = c.root;
        log.uninstall_key = T(c.key);
        char key[kRemovalPathSize];
        EXPECT_EQ(ResolveUninstallKey(log, key), c.expected != nullptr) << c.key;
        if (c.expected) EXPECT_STREQ(key, c.expected);
    }
    InstallLog none = {};
    char key[kRemovalPathSize];
    EXPECT_FALSE(ResolveUninstallKey(none, key));
}

}  // namespace
