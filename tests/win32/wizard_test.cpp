// Wizard pages in real windows: the finish page's layouts and its restart
// button (with stand-ins for the system's restart calls), the main dialog's
// cancel question, and the destination page's disk check beyond 32 bits and
// with read-only targets.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "builder/manifest/default_texts.h"
#include "builder/manifest/dialog_templates.h"
#include "package/file_list.h"
#include "package/package_loader.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/win32/package_file.h"
#include "tests/win32/test_files.h"
#include "engine/progress.h"
#include "graphics/progress_bar.h"
#include "wizard/disk_check.h"
#include "wizard/folder_browser.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"
#include "wizard/restart.h"

namespace {

// A package of one setup type with the builder's default texts and
// dialogs, loaded as the setup program loads it, with a background window
// and the main dialog up.
struct Wizard {
    std::unique_ptr<SetupFileOnDisk> file;
    TemplateCopy main_copy = {};
    explicit Wizard(const std::vector<ProductFile>& files, const std::string& folder = "C:\\Kiln Wizard Test") {
        ProductType type = TestType("Wizard", folder);
        for (int g = 0; g < kStringGroupCount; ++g) type.texts[size_t(g)] = DefaultGroupTexts(g);
        type.texts[kGroupMessages][0] = "Wizard Setup";
        std::vector<Bytes> entries;
        for (const ProductFile& f : files) {
            ArchivedFile a;
            a.unpacked_size = 0xF0000000;  // 3.75 GB each: sums pass 4 GB at once
            entries.push_back(FileListEntry(f, a, 0));
        }
        file.reset(new SetupFileOnDisk({
            {kTagDialogTemplates, BuildDialogTemplateTable(DefaultDialogTemplates())},
            {kTagSetupType, SetupTypeRecord(type)},
            {kTagFileList, FileList(entries)},
            {kTagArchive, ArchiveRecordBody({})},
        }));
        ResetProcessState();
        g_state.instance = GetModuleHandleA(nullptr);
        lstrcpynA(g_state.source_path, file->path.c_str(), MAX_PATH);
        EXPECT_TRUE(LoadPackage(kTestStubLength));
        WNDCLASSA c = {};
        c.lpfnWndProc = DefWindowProcA;
        c.hInstance = g_state.instance;
        c.lpszClassName = "KilnWizardTestBackground";
        RegisterClassA(&c);
        g_state.background_window = CreateWindowExA(0, c.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                                    nullptr, nullptr, g_state.instance, nullptr);
        g_state.screen_width = 800;
        g_state.screen_height = 600;
        EXPECT_TRUE(CopyDialogTemplate(kTemplateMainFullScreen, &main_copy));
        g_state.main_dialog = CreateDialogIndirectParamA(g_state.instance, main_copy.dialog, g_state.background_window,
                                                         MainDialogProc, 0);
        EXPECT_NE(g_state.main_dialog, nullptr);
    }
    ~Wizard() {
        DestroyWindow(g_state.main_dialog);
        DestroyWindow(g_state.background_window);
        ReleaseTemplateCopy(&main_copy);
        FreeSetupConfig();
        SetMessageAnswerer(nullptr);
    }
    // Creates the page at index (without its message loop) and returns it.
    HWND Open(int page_index, int template_number, DLGPROC procedure) {
        g_state.page_index = page_index;
        g_state.page_result = 0;
        TemplateCopy copy;
        EXPECT_TRUE(CopyDialogTemplate(template_number, &copy));
        HWND page = CreateDialogIndirectParamA(g_state.instance, copy.dialog, g_state.main_dialog, procedure, 0);
        ReleaseTemplateCopy(&copy);
        EXPECT_NE(page, nullptr);
        return page;
    }
};

std::string Text(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Shown by the page itself (the test's windows stay off the screen).
bool Visible(HWND dialog, int id) { return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }

RECT Rect(HWND dialog, int id) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    return r;
}

TEST(FinishPage, InstallErrorShowsOnlyTheFramedErrorText) {
    Wizard w({});
    g_state.install_error = 18;
    g_state.restart_needed = true;
    lstrcpyA(g_state.message_argument, "C:\\data\\big.dat");
    lstrcpyA(g_state.program_to_run, "app.exe");
    lstrcpyA(g_state.document_to_open, "readme.txt");
    HWND page = w.Open(kPageFinish, kTemplateFinish, FinishPageProc);
    EXPECT_FALSE(Visible(page, 1001));
    EXPECT_FALSE(Visible(page, 1002));
    EXPECT_EQ(Text(page, 1003), "");  // no success text stays beside the error
    std::string shown = Text(page, 1000);
    EXPECT_EQ(shown.rfind("Setup could not complete the installation:", 0), 0u) << shown;
    EXPECT_NE(shown.find("C:\\data\\big.dat"), std::string::npos) << shown;
    EXPECT_FALSE(g_state.restart_needed);
    EXPECT_FALSE(Enabled(g_state.main_dialog, kControlBack));
    EXPECT_EQ(g_state.program_to_run[0], 0);
    EXPECT_EQ(g_state.document_to_open[0], 0);
    EXPECT_FALSE(Visible(page, 1014));
    EXPECT_FALSE(Visible(page, 1015));
    DestroyWindow(page);
}

TEST(FinishPage, RefusedPlacementIsReportedAsError22) {
    Wizard w({TestFile("a.dll")});
    WriteU16(g_config.current_first_entry + kEntryInstallStatus, 27);
    HWND page = w.Open(kPageFinish, kTemplateFinish, FinishPageProc);
    EXPECT_EQ(g_state.install_error, 22);
    EXPECT_NE(Text(page, 1000).find("could not be replaced"), std::string::npos) << Text(page, 1000);
    DestroyWindow(page);
}

TEST(FinishPage, RunProgramBoxTakesTheDocumentButtonsPlace) {
    Wizard w({});
    lstrcpyA(g_state.program_to_run, "app.exe");
    HWND page = w.Open(kPageFinish, kTemplateFinish, FinishPageProc);
    EXPECT_TRUE(Visible(page, 1015));
    EXPECT_FALSE(Visible(page, 1014));
    EXPECT_EQ(Rect(page, 1015).top, Rect(page, 1014).top);
    EXPECT_EQ(Text(page, 1002), "");
    EXPECT_EQ(Text(g_state.main_dialog, kControlCancel), "&Finish");
    // Unchecking the box keeps the program from being started.
    CheckDlgButton(page, 1015, BST_UNCHECKED);
    SendMessageA(page, WM_COMMAND, 1015, 0);
    EXPECT_FALSE(g_state.run_program);
    DestroyWindow(page);
}

// What the restart button would have asked of the system.
struct RestartRecord {
    DWORD token_access = 0;
    LUID privilege = {};
    DWORD privilege_attributes = 0;
    UINT exit_flags = 0xFFFF;
    int exits = 0;
} g_restart;

BOOL WINAPI RecordOpenToken(HANDLE, DWORD access, PHANDLE token) {
    g_restart.token_access = access;
    *token = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // any handle the page may close
    return TRUE;
}
BOOL WINAPI RecordAdjust(HANDLE, BOOL, PTOKEN_PRIVILEGES state, DWORD, PTOKEN_PRIVILEGES, PDWORD) {
    if (state->PrivilegeCount == 1) {
        g_restart.privilege = state->Privileges[0].Luid;
        g_restart.privilege_attributes = state->Privileges[0].Attributes;
    }
    return TRUE;
}
BOOL WINAPI RecordExit(UINT flags, DWORD) {
    g_restart.exit_flags = flags;
    ++g_restart.exits;
    return TRUE;
}

TEST(FinishPage, RestartButtonRestartsWithTheShutdownPrivilege) {
    Wizard w({});
    g_state.restart_needed = true;
    g_state.is_nt = true;
    HWND page = w.Open(kPageFinish, kTemplateFinish, FinishPageProc);
    EXPECT_TRUE(Enabled(g_state.main_dialog, kControlBack));
    EXPECT_EQ(Text(g_state.main_dialog, kControlBack), "&Restart");
    // Without a document button or a program box the notice follows the first text.
    EXPECT_NE(Text(page, 1001).find("restarted"), std::string::npos) << Text(page, 1001);
    const RestartCalls stand_ins = {RecordOpenToken, RecordAdjust, RecordExit};
    SetRestartCalls(&stand_ins);
    g_restart = {};
    SendMessageA(g_state.main_dialog, WM_COMMAND, kControlBack, 0);
    SetRestartCalls(nullptr);
    LUID shutdown;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
    EXPECT_EQ(g_restart.token_access, DWORD(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
    EXPECT_EQ(g_restart.privilege.LowPart, shutdown.LowPart);
    EXPECT_EQ(g_restart.privilege_attributes, DWORD(SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(g_restart.exits, 1);
    EXPECT_EQ(g_restart.exit_flags, UINT(EWX_REBOOT));
    EXPECT_EQ(g_state.page_result, 0);  // the page stays while Windows restarts
    // Finish (Cancel) ends the wizard without the cancel question.
    SetMessageAnswerer([](const char*, const char*, UINT) -> int {
        ADD_FAILURE() << "asked";
        return IDNO;
    });
    SendMessageA(g_state.main_dialog, WM_COMMAND, kControlCancel, 0);
    EXPECT_EQ(g_state.page_result, kPageCancel);
    DestroyWindow(page);
}

int g_answer = IDNO;
std::vector<std::string> g_asked;
int Answer(const char* text, const char*, UINT style) {
    g_asked.push_back(text);
    return (style & MB_TYPEMASK) == MB_YESNO ? g_answer : IDOK;
}

TEST(MainDialog, CancelAsksAndOnYesForgetsWhatWasToStart) {
    Wizard w({});
    HWND page = w.Open(kPageWelcome, kTemplateWelcomeReady, WelcomePageProc);
    SetMessageAnswerer(Answer);
    lstrcpyA(g_state.program_to_run, "app.exe");
    for (int answer : {IDNO, IDYES}) {
        g_answer = answer;
        g_asked.clear();
        SendMessageA(g_state.main_dialog, WM_COMMAND, kControlCancel, 0);
        if (answer == IDNO) {
            EXPECT_EQ(g_asked.size(), 1u);
            EXPECT_EQ(g_state.page_result, 0);
            EXPECT_STREQ(g_state.program_to_run, "app.exe");
        } else {
            EXPECT_EQ(g_asked.size(), 2u);  // the question, then the notice
            EXPECT_EQ(g_state.page_result, kPageCancel);
            EXPECT_EQ(g_state.program_to_run[0], 0);
        }
    }
    // The close box ends the page without a question.
    g_state.page_result = 0;
    g_asked.clear();
    SendMessageA(g_state.main_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(g_state.page_result, kPageCancel);
    EXPECT_TRUE(g_asked.empty());
    DestroyWindow(page);
}

INT_PTR CALLBACK PlainPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The install driver's status line reaches the progress page's control
// 1008, shortened, while that page is the progress window.
TEST(ProgressPage, StatusLineShowsTheFileBeingInstalled) {
    Wizard w({});
    HWND page = w.Open(kPageProgress, kTemplateProgress, PlainPage);
    SetProgressWindow(page);
    ShowStatus("C:\\Program Files\\Sample Product\\a rather long folder name\\readme.txt");
    std::string shown = Text(page, 1008);
    EXPECT_LT(shown.size(), 40u);  // shortened for the line
    EXPECT_NE(shown.find("readme.txt"), std::string::npos) << shown;
    SetProgressWindow(nullptr);
    ShowStatus("C:\\elsewhere.txt");
    EXPECT_EQ(Text(page, 1008), shown);  // no page any more: nothing is written to it
    DestroyWindow(page);
}

uint64_t g_free_kilobytes = 0;
uint64_t FreeSpaceStandIn(const char*) { return g_free_kilobytes; }

// Three files of 3.75 GB need 11.25 GB; in 32-bit sums that wraps to less
// than 4 GB and an 8 GB drive would seem to have room.
TEST(DiskCheck, SizesBeyondFourGigabytesNeitherWrapNorRefuseBigDrives) {
    Wizard w({TestFile("one.bin"), TestFile("two.bin"), TestFile("three.bin")});
    lstrcpyA(g_state.destination_folder, "C:\\Kiln Disk Check Test\\");
    SetFreeSpaceQuery(FreeSpaceStandIn);
    g_free_kilobytes = 8ull << 20;  // 8 GB
    EXPECT_EQ(RunDiskCheck(), kDiskCheckNoRoom);
    g_free_kilobytes = 20ull << 30;  // 20 TB
    EXPECT_EQ(RunDiskCheck(), kDiskCheckPassed);
    g_free_kilobytes = ~uint64_t(0);  // unknown
    EXPECT_EQ(RunDiskCheck(), kDiskCheckPassed);
    SetFreeSpaceQuery(nullptr);
    EXPECT_EQ(RequiredBytes(), 3ull * 0xF0000000);
}

TEST(DiskCheck, ReadOnlyTargetIsMadeWritableOnlyForTheTestAndPutBack) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "kiln-readonly-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string target = folder + "locked.txt";
    ASSERT_TRUE(WriteFileBytes(target, {'x'}));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    Wizard w({TestFile("locked.txt"), TestFile("new.txt")});
    lstrcpyA(g_state.destination_folder, folder.c_str());
    SetFreeSpaceQuery(FreeSpaceStandIn);
    g_free_kilobytes = 100ull << 30;
    EXPECT_EQ(RunDiskCheck(), kDiskCheckPassed);
    SetFreeSpaceQuery(nullptr);
    EXPECT_TRUE(g_read_only_files_found);
    EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

namespace {

// The folder browser opens in the deepest folder of the destination that
// exists, not in the setup program's current folder.
TEST(FolderBrowser, StartsInTheDeepestExistingFolderOfTheDestination) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base = std::string(temp) + "kiln_deepest_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((base + "\\a").c_str(), nullptr));
    std::string file = base + "\\a\\file.txt";
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const struct {
        std::string path, expected;
    } cases[] = {
        {base + "\\a", base + "\\a"},                         // exists
        {base + "\\a\\b\\c", base + "\\a"},                   // two missing levels
        {base + "\\a\\file.txt\\x", base + "\\a"},            // a file on the way is no folder
        {base + "/a/b", base + "/a"},                         // forward slashes
        {"C:\\kiln_no_such_folder_anywhere", "C:\\"},         // the drive's root keeps its backslash
        {"Q:\\kiln\\x", ""},                                  // no such drive
        {"", ""},
    };
    for (const auto& c : cases) {
        char out[kPathSize];
        DeepestExistingFolder(c.path.c_str(), out);
        EXPECT_EQ(std::string(out), c.expected) << c.path;
    }
    DeleteFileA(file.c_str());
    RemoveDirectoryA((base + "\\a").c_str());
    RemoveDirectoryA(base.c_str());
}

}  // namespace
