// Where file list entries land: destination kinds, files beside the setup
// file, the shared-file search, file references, and folder chains made in
// a real temporary folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/entry_paths.h"
#include "engine/memory.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/test_files.h"
#include "tests/common/entry_writer.h"

namespace {

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool IsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

class EntryPaths : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProcessState();
        GetCurrentDirectoryA(MAX_PATH, saved_directory_);
    }
    void TearDown() override {
        FailAllocationsAfter(-1, 0);
        SetSharedFileFinder(nullptr);
        g_config.current_file_count = 0;
        g_config.current_first_entry = nullptr;
        SetCurrentDirectoryA(saved_directory_);
        ResetProcessState();
    }
    int Resolve(const EntryWriter& entry) {
        bytes_ = entry.Bytes();
        return ResolveEntryPath(bytes_.data());
    }
    void Folders(const char* destination, const char* source) {
        lstrcpynA(g_state.destination_folder, destination, MAX_PATH);
        lstrcpynA(g_state.source_path, source, MAX_PATH);
    }
    std::string WorkPath() const { return g_state.work_path; }

    std::vector<uint8_t> bytes_;
    char saved_directory_[MAX_PATH];
};

TEST_F(EntryPaths, DestinationKindsKeepTheSubFolders) {
    struct Case {
        uint8_t kind;
        std::string folder;
    };
    const Case cases[] = {
        {kDestinationFolder, "C:\\Tools"},
        {kDestinationWindows, WindowsFolder()},
        {kDestinationFonts, WindowsFolder() + "\\Fonts"},
        {9, "C:\\Tools"},  // unknown kinds use the destination folder
    };
    for (const char* destination : {"C:\\Tools", "C:\\Tools\\"}) {
        Folders(destination, "D:\\SETUP.EXE");
        for (const Case& c : cases) {
            EXPECT_EQ(Resolve(Entry("sub\\a.txt", c.kind)), 0);
            EXPECT_PRED2(SamePath, WorkPath(), c.folder + "\\sub\\a.txt") << int(c.kind) << " " << destination;
        }
    }
    // The file name is found after the optional version and file-time blocks.
    Resolve(Entry("b.txt", kDestinationFolder, kPlacementKept, kEntryVersionTest | kEntryHasFileTimes));
    EXPECT_EQ(WorkPath(), "C:\\Tools\\b.txt");
}

TEST_F(EntryPaths, FileBesideTheSetupFileWhateverTheKind) {
    for (uint8_t kind : {kDestinationFolder, kDestinationWindows, kDestinationShared, kDestinationFonts}) {
        Folders("C:\\Tools\\", "D:\\Media\\SETUP.EXE");
        EXPECT_EQ(Resolve(Entry("docs\\readme.txt", kind, kPlacementBesideSetup)), 0);
        EXPECT_EQ(WorkPath(), "D:\\Media\\docs\\readme.txt") << int(kind);

        Folders("C:\\Tools\\", "SETUP.EXE");  // no folder: the name replaces it whole
        Resolve(Entry("readme.txt", kind, kPlacementBesideSetup));
        EXPECT_EQ(WorkPath(), "readme.txt") << int(kind);
    }
}

TEST_F(EntryPaths, SharedFileGoesByItsNameAloneToTheSystemFolder) {
    Folders("C:\\Tools\\", "D:\\SETUP.EXE");
    EXPECT_EQ(Resolve(Entry("sub\\kiln_absent.dll", kDestinationShared)), 0);
    EXPECT_PRED2(SamePath, WorkPath(), SystemFolder() + "\\kiln_absent.dll");

    EXPECT_EQ(Resolve(Entry("kernel32.dll", kDestinationShared)), 0);
    EXPECT_PRED2(SamePath, WorkPath(), SystemFolder() + "\\kernel32.dll");

    // Without memory for the search: destination folder and the full name.
    FailAllocationsAfter(0, 2);
    EXPECT_EQ(Resolve(Entry("sub\\kiln_absent.dll", kDestinationShared)), 0);
    EXPECT_EQ(WorkPath(), "C:\\Tools\\sub\\kiln_absent.dll");
}

TEST_F(EntryPaths, PathThatDoesNotFitOrHasNoFolderIsEmpty) {
    std::memset(g_state.temporary_path, '~', sizeof g_state.temporary_path);  // the field after the work path
    std::string long_name = std::string(300, 'd') + "\\" + std::string(300, 'f');
    for (uint8_t placement : {kPlacementKept, kPlacementBesideSetup}) {
        Folders("C:\\Tools\\", "D:\\SETUP.EXE");
        Resolve(Entry(long_name, kDestinationFolder, placement));
        EXPECT_EQ(WorkPath(), "") << int(placement);
    }
    EXPECT_EQ(g_state.temporary_path[0], '~');

    // With no destination folder the name would be relative to wherever the
    // current directory happens to be.
    Folders("", "D:\\SETUP.EXE");
    Resolve(Entry("a.txt"));
    EXPECT_EQ(WorkPath(), "");
}

TEST_F(EntryPaths, FileReferenceFindsTheEntryOrExpandsTheText) {
    Folders("C:\\Tools\\", "D:\\Media\\SETUP.EXE");
    std::vector<uint8_t> list = FileListBytes({Entry("App.ini"), Entry("Sub\\Kiln.INI", kDestinationWindows),
                                               Entry("notes.txt", kDestinationFolder, kPlacementBesideSetup)});
    g_config.current_file_count = ReadU32(list.data());
    g_config.current_first_entry = list.data() + kFileListHeaderSize;

    struct Case {
        const char* text;
        std::string expected;
    };
    const Case cases[] = {
        {"app.ini", "C:\\Tools\\App.ini"},
        {"sub\\kiln.ini", WindowsFolder() + "\\Sub\\Kiln.INI"},
        {"NOTES.TXT", "D:\\Media\\notes.txt"},
        {"Kiln.INI", "Kiln.INI"},  // the whole name must match
        {"#Windows#\\win.ini", WindowsFolder() + "\\win.ini"},
        {"#InstallDir#\\App.ini", "C:\\Tools\\App.ini"},
    };
    for (const Case& c : cases) {
        ResolveFileReference(c.text);
        EXPECT_PRED2(SamePath, WorkPath(), c.expected) << c.text;
    }

    // An expansion cut to 259 bytes would name another file.
    lstrcpynA(g_state.destination_folder, ("C:\\" + std::string(200, 'x')).c_str(), MAX_PATH);
    ResolveFileReference("#InstallDir#\\#InstallDir#.ini");
    EXPECT_EQ(WorkPath(), "");

    g_config.current_file_count = 0;
    g_config.current_first_entry = nullptr;
    ResolveFileReference("App.ini");
    EXPECT_EQ(WorkPath(), "App.ini");
}

class WithTempFolder : public EntryPaths {
protected:
    void SetUp() override {
        EntryPaths::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        base_ = std::string(temp) + "kiln-paths-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
    }
    void TearDown() override {
        EntryPaths::TearDown();  // leaves the folders before they go
        RemoveTree(base_);
    }
    std::string base_;
};

// What the stand-in for the version library answers, and what it was asked.
struct FinderExchange {
    std::string current, recommended;
    DWORD result = 0;
    DWORD asked_flags = 0;
    std::string asked_name, asked_windows, asked_application;
};
FinderExchange finder;

DWORD WINAPI StandInFinder(DWORD flags, LPSTR name, LPSTR windows_folder, LPSTR application_folder,
                           LPSTR current_folder, PUINT current_size, LPSTR recommended_folder, PUINT recommended_size) {
    finder.asked_flags = flags;
    finder.asked_name = name;
    finder.asked_windows = windows_folder;
    finder.asked_application = application_folder;
    lstrcpynA(current_folder, finder.current.c_str(), int(*current_size));
    lstrcpynA(recommended_folder, finder.recommended.c_str(), int(*recommended_size));
    return finder.result;
}

using SharedFileSearch = WithTempFolder;

TEST_F(SharedFileSearch, RecommendedFolderAndFilesInUse) {
    enum FileState { kAbsent, kPresent, kHeldExclusively };
    struct Case {
        const char* recommended;  // "<base>" and "<system>" stand for those folders
        const char* current;
        DWORD result;
        FileState file;  // the file in the recommended folder
        const char* expected_folder;
        int expected_in_use;
    };
    const Case cases[] = {
        {"<base>", "", 0, kAbsent, "<base>", 0},
        {"", "", 0, kAbsent, "<system>", 0},  // no recommendation: the system folder
        {"<base>", "<base>", VFF_FILEINUSE, kPresent, "<base>", 1},
        {"<base>\\", "<base>", VFF_FILEINUSE, kPresent, "<base>", 1},  // trailing backslash
        // In use, but found elsewhere than where it goes: nothing to wait for here.
        {"<base>", "<system>", VFF_FILEINUSE, kAbsent, "<base>", 0},
        // Cannot be opened, but it is where it was found: in use there.
        {"<base>", "<base>\\", VFF_FILEINUSE, kHeldExclusively, "<base>", 1},
        {"<base>", "", VFF_FILEINUSE, kHeldExclusively, "<base>", 0},
        {"<base>", "<base>", VFF_CURNEDEST, kPresent, "<base>", 0},
    };
    auto folder = [this](std::string text) {
        for (auto [token, value] : {std::pair<std::string, std::string>{"<base>", base_}, {"<system>", SystemFolder()}})
            if (text.compare(0, token.size(), token) == 0) text = value + text.substr(token.size());
        return text;
    };
    SetSharedFileFinder(StandInFinder);
    Folders("C:\\Tools\\", "D:\\SETUP.EXE");
    std::string file = base_ + "\\x.dll";
    for (const Case& c : cases) {
        finder = FinderExchange();
        finder.recommended = folder(c.recommended);
        finder.current = folder(c.current);
        finder.result = c.result;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.file != kAbsent) {
            held = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            if (c.file == kPresent) CloseHandle(held), held = INVALID_HANDLE_VALUE;
        }
        int in_use = Resolve(Entry("sub\\x.dll", kDestinationShared));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        DeleteFileA(file.c_str());

        std::string label = std::string(c.recommended) + " | " + c.current + " | " + std::to_string(c.result);
        EXPECT_EQ(in_use, c.expected_in_use) << label;
        EXPECT_PRED2(SamePath, WorkPath(), folder(c.expected_folder) + "\\x.dll") << label;
        // The search is for the name alone, from the destination folder.
        EXPECT_EQ(finder.asked_flags, DWORD(VFFF_ISSHAREDFILE));
        EXPECT_EQ(finder.asked_name, "x.dll");
        EXPECT_EQ(finder.asked_application, "C:\\Tools");
        EXPECT_PRED2(SamePath, finder.asked_windows, WindowsFolder());
    }
}

using FolderChain = WithTempFolder;

TEST_F(FolderChain, CreatesEveryFolderButNeverTheFile) {
    EXPECT_EQ(CreateFolderChain((base_ + "\\A\\B\\file.txt").c_str()), 0);
    EXPECT_TRUE(IsFolder(base_ + "\\A"));
    EXPECT_TRUE(IsFolder(base_ + "\\A\\B"));
    EXPECT_FALSE(Exists(base_ + "\\A\\B\\file.txt"));

    EXPECT_EQ(CreateFolderChain((base_ + "\\A\\B\\file.txt").c_str()), 0);  // already there

    EXPECT_EQ(CreateFolderChain((base_ + "\\C\\D\\").c_str()), 0);  // a trailing backslash: all folders
    EXPECT_TRUE(IsFolder(base_ + "\\C"));
    EXPECT_TRUE(IsFolder(base_ + "\\C\\D"));

    EXPECT_EQ(CreateFolderChain("C:\\file.txt"), 0);  // only the drive root
    EXPECT_EQ(CreateFolderChain("C:\\"), 0);
}

TEST_F(FolderChain, ABareFileNameMakesNoFolder) {
    ASSERT_TRUE(SetCurrentDirectoryA(base_.c_str()));
    EXPECT_EQ(CreateFolderChain("name.txt"), 0);
    EXPECT_FALSE(Exists(base_ + "\\name.txt"));
}

TEST_F(FolderChain, FailuresAreReported) {
    // A file where a folder should be.
    std::string blocker = base_ + "\\F";
    HANDLE file = CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(CreateFolderChain((blocker + "\\G\\x.txt").c_str()), 1);
    EXPECT_FALSE(Exists(blocker + "\\G"));

    FailAllocationsAfter(0, 2);
    EXPECT_EQ(CreateFolderChain((base_ + "\\H\\x.txt").c_str()), -1);
    EXPECT_FALSE(Exists(base_ + "\\H"));
}

}  // namespace
