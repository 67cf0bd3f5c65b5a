// The install driver over whole file lists: progress, entries that lie
// beside the setup file, shared-file counts, a failure in the middle, and
// the example product installed from the setup file kiln built.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "builder/manifest/dialog_templates.h"
#include "engine/checksum.h"
#include "engine/install_driver.h"
#include "engine/progress.h"
#include "package/file_list.h"
#include "package/package_loader.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"
#include "tests/win32/package_file.h"
#include "wizard/message_box.h"

namespace {

struct PackagedFile {
    ProductFile file;
    Bytes content;
    bool damage_checksum = false;
};

std::string TempFolder(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "kiln-driver-" + name + "-" + std::to_string(GetCurrentProcessId()) + "\\";
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& folder) {
    std::string double_terminated = folder + '\0';
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = double_terminated.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
}

// A setup file holding these files, loaded as the setup program loads it,
// with the destination folder set.
struct LoadedPackage {
    std::unique_ptr<SetupFileOnDisk> file;
    LoadedPackage(const std::vector<PackagedFile>& files, const std::string& destination) {
        Bytes archive;
        std::vector<Bytes> entries;
        for (const PackagedFile& f : files) {
            ArchivedFile a;
            if (PlacementIsExtracted(f.file.placement)) {
                Bytes stream = StoredStreamOf(f.content);
                a.archive_offset = uint32_t(archive.size());
                a.stored_size = uint32_t(stream.size());
                a.unpacked_size = uint32_t(f.content.size());
                a.checksum = ChecksumUpdate(0, f.content.data(), f.content.size()) + (f.damage_checksum ? 1 : 0);
                archive.insert(archive.end(), stream.begin(), stream.end());
            }
            entries.push_back(FileListEntry(f.file, a, 0));
        }
        file.reset(new SetupFileOnDisk({
            {kTagDialogTemplates, BuildDialogTemplateTable(DefaultDialogTemplates())},
            {kTagSetupType, SetupTypeRecord(TestType("Driver", destination))},
            {kTagFileList, FileList(entries)},
            {kTagArchive, ArchiveRecordBody(archive)},
        }));
        ResetProcessState();
        lstrcpynA(g_state.source_path, file->path.c_str(), MAX_PATH);
        EXPECT_TRUE(LoadPackage(kTestStubLength));
        lstrcpynA(g_state.destination_folder, destination.c_str(), MAX_PATH);
    }
    ~LoadedPackage() { FreeSetupConfig(); }
};

// The bar's values as they change (the status line reports too, with the bar unchanged).
std::vector<int> g_percents;
void RecordPercent(int percent, const char*) {
    if (percent != (g_percents.empty() ? 0 : g_percents.back())) g_percents.push_back(percent);
}

// Runs the driver to the end; the number of steps that returned 1.
int RunDriver() {
    int steps = 0;
    if (!StartInstall()) return -1;
    while (InstallStep()) ++steps;
    return steps;
}

ProductFile FileNamed(const std::string& target) {
    ProductFile f;
    f.target = target;
    f.file_times = false;
    return f;
}

TEST(InstallDriver, EmptyListEndsAtOnceAndTenEntriesStepTheBar) {
    std::string dest = TempFolder("bar");
    {
        LoadedPackage p({}, dest);
        SetProgress(0);
        g_percents.clear();
        SetProgressObserver(RecordPercent);
        EXPECT_EQ(RunDriver(), 0);
        EXPECT_EQ(g_state.install_error, 0);
        EXPECT_TRUE(g_percents.empty()) << "the bar does not move";
    }
    std::vector<PackagedFile> ten;
    for (int i = 0; i < 10; ++i) ten.push_back({FileNamed("f" + std::to_string(i) + ".txt"), Bytes(100 + i, 'a' + i)});
    {
        LoadedPackage p(ten, dest);
        SetProgress(0);
        g_percents.clear();
        EXPECT_EQ(RunDriver(), 10);
        EXPECT_EQ(g_state.install_error, 0);
        EXPECT_EQ(g_percents, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        for (int i = 0; i < 10; ++i) EXPECT_EQ(ReadFileBytes(dest + "f" + std::to_string(i) + ".txt"), ten[size_t(i)].content);
    }
    SetProgressObserver(nullptr);
    RemoveTree(dest.substr(0, dest.size() - 1));
}

TEST(InstallDriver, OnlyPlacementsTwoAndThreeAreNotExtracted) {
    std::string dest = TempFolder("beside");
    PackagedFile beside{FileNamed("beside-me.txt"), {}};
    beside.file.placement = kPlacementBesideSetup;
    beside.file.role = 1;  // document to open
    beside.file.desktop_shortcut = "Kiln beside test";
    PackagedFile folder{FileNamed("made\\by\\setup\\"), {}};
    folder.file.placement = kPlacementFolder;
    PackagedFile fourth{FileNamed("placement-four.txt"), Bytes(40, '4')};
    fourth.file.placement = 4;  // extracted like every placement but 2 and 3
    LoadedPackage p({beside, folder, fourth}, dest);
    CoInitialize(nullptr);  // the setup program initialises OLE at start-up
    EXPECT_EQ(RunDriver(), 3);
    CoUninitialize();
    EXPECT_EQ(g_state.install_error, 0);
    std::string setup_folder = p.file->path.substr(0, p.file->path.rfind('\\') + 1);
    EXPECT_STREQ(g_state.document_to_open, (setup_folder + "beside-me.txt").c_str());
    EXPECT_FALSE(Exists(dest + "beside-me.txt"));
    EXPECT_TRUE(Exists(dest + "made\\by\\setup"));
    EXPECT_EQ(ReadFileBytes(dest + "placement-four.txt"), fourth.content);
    char desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOP, FALSE));
    std::string link = std::string(desktop) + "\\Kiln beside test.lnk";
    EXPECT_TRUE(Exists(link));
    DeleteFileA(link.c_str());
    RemoveTree(dest.substr(0, dest.size() - 1));
}

TEST(InstallDriver, SharedFileCountsEveryInstallation) {
    std::string dest = TempFolder("shared");
    PackagedFile shared{FileNamed("kiln-driver-shared.txt"), Bytes(10, 's')};
    shared.file.destination_kind = kDestinationWindows;
    shared.file.shared_count = 1;
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string installed = std::string(windows) + "\\kiln-driver-shared.txt";
    auto count = [&installed] {
        DWORD value = 0, size = sizeof value;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return DWORD(0);
        RegQueryValueExA(key, installed.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return value;
    };
    for (DWORD expected : {1u, 2u}) {
        LoadedPackage p({shared}, dest);
        EXPECT_EQ(RunDriver(), 1);
        EXPECT_EQ(count(), expected);
    }
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, installed.c_str());
    RegCloseKey(key);
    DeleteFileA(installed.c_str());
}

TEST(InstallDriver, FailureInTheMiddleKeepsWhatCameBefore) {
    std::string dest = TempFolder("fail");
    PackagedFile bad{FileNamed("second.txt"), Bytes(50, 'b')};
    bad.damage_checksum = true;
    LoadedPackage p({{FileNamed("first.txt"), Bytes(40, 'a')}, bad, {FileNamed("third.txt"), Bytes(30, 'c')}}, dest);
    EXPECT_EQ(RunDriver(), 1);
    EXPECT_EQ(g_state.install_error, 21);
    EXPECT_EQ(ReadFileBytes(dest + "first.txt"), Bytes(40, 'a'));
    EXPECT_FALSE(Exists(dest + "second.txt"));
    EXPECT_FALSE(Exists(dest + "second.$$A")) << "its temporary file is gone";
    EXPECT_FALSE(Exists(dest + "third.txt"));
    RemoveTree(dest.substr(0, dest.size() - 1));
}

// The example's setup file, built by kiln: every file lands byte for byte.
TEST(InstallDriver, InstallsTheBuiltExample) {
    const char* path = std::getenv("KILN_EXAMPLE_SETUP");
    if (!path) GTEST_SKIP() << "KILN_EXAMPLE_SETUP not set";
    std::string source_dir = std::string("Z:") + KILN_SOURCE_DIR + "/examples/sample/payload/";
    for (char& c : source_dir)
        if (c == '/') c = '\\';
    std::string dest = TempFolder("example");
    uint32_t stub_length = StubLengthOfFile(path);
    ASSERT_NE(stub_length, 0u);
    ResetProcessState();
    lstrcpynA(g_state.source_path, path, MAX_PATH);
    ASSERT_TRUE(LoadPackage(stub_length));
    lstrcpynA(g_state.destination_folder, dest.c_str(), MAX_PATH);
    EXPECT_EQ(RunDriver(), 4);  // the uninstaller and three files
    EXPECT_EQ(g_state.install_error, 0);
    for (const char* name : {"readme.txt", "license.txt", "settings.ini"})
        EXPECT_EQ(ReadFileBytes(dest + name), ReadFileBytes(source_dir + name)) << name;
    FreeSetupConfig();
    RemoveTree(dest.substr(0, dest.size() - 1));
}

}  // namespace
