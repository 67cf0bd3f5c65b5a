// The builder's built-in dialog templates, created for real: every template
// makes a dialog carrying the controls the setup program looks up, and the
// folder browser template runs as the platform's old-style save dialog with
// a hook. Windows need a display; without one (Wine with no X server) the
// tests skip themselves.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

#include "builder/manifest/dialog_templates.h"
#include "tests/common/required_dialog_controls.h"

namespace {

using required_controls::kRequiredControls;
using required_controls::RequiredControl;

const char* ClassName(required_controls::Kind kind) {
    switch (kind) {
        case required_controls::kButton: return "Button";
        case required_controls::kEdit: return "Edit";
        case required_controls::kStatic: return "Static";
        case required_controls::kListBox: return "ListBox";
        case required_controls::kComboBox: return "ComboBox";
    }
    return "";
}

INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Stands in for the background window: a plain top-level window, never shown.
struct ParentWindow {
    HWND hwnd = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    ~ParentWindow() { if (hwnd) DestroyWindow(hwnd); }
};

std::vector<uint8_t> Table() { return BuildDialogTemplateTable(DefaultDialogTemplates()); }

size_t OffsetOf(const std::vector<uint8_t>& table, int n) {
    uint32_t offset;
    std::memcpy(&offset, &table[4 * size_t(n)], 4);
    return offset;
}

// The page runner's copy: every byte from the template's offset to the end
// of the table, in a zero-filled movable block of the copy size, locked.
struct TemplateCopy {
    HGLOBAL block;
    void* data;
    TemplateCopy(const std::vector<uint8_t>& table, int n, UINT flags = GMEM_MOVEABLE) {
        block = GlobalAlloc(flags | GMEM_ZEROINIT, kTemplateCopySize);
        data = block ? GlobalLock(block) : nullptr;
        size_t offset = OffsetOf(table, n);
        if (data) std::memcpy(data, &table[offset], table.size() - offset);
    }
    ~TemplateCopy() {
        if (data) GlobalUnlock(block);
        if (block) GlobalFree(block);
    }
};

TEST(DialogTemplatesOnWindows, EveryTemplateCreatesWithTheControlsTheProgramLooksUp) {
    ParentWindow parent;
    if (!parent.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    std::vector<uint8_t> table = Table();
    for (int n = 0; n < kTemplateCount; ++n) {
        TemplateCopy copy(table, n);
        ASSERT_NE(copy.data, nullptr);
        // Modeless, with a procedure that handles nothing, destroyed at once.
        HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), static_cast<LPCDLGTEMPLATEA>(copy.data),
                                                 parent.hwnd, IgnoreEverything, 0);
        ASSERT_NE(dialog, nullptr) << "template " << n << ", error " << GetLastError();
        for (const RequiredControl& r : kRequiredControls) {
            if (r.template_number != n) continue;
            HWND item = GetDlgItem(dialog, r.id);
            ASSERT_NE(item, nullptr) << "template " << n << " lacks " << r.id << ": " << r.use;
            char name[32] = "";
            GetClassNameA(item, name, sizeof name);
            EXPECT_EQ(lstrcmpiA(name, ClassName(r.kind)), 0) << "template " << n << ", control " << r.id;
        }
        EXPECT_TRUE(DestroyWindow(dialog));
    }
}

// What the hook of the browse test saw.
struct BrowseRun {
    std::string missing;         // required identifiers the dialog lacked
    bool initialised = false;
    bool folder_changed = false;  // the selection-change message arrived
    char folder[MAX_PATH] = "";   // the current folder when it did
    bool timed_out = false;
    UINT selection_changed = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
};
BrowseRun* g_run;

// Checks the controls, opens the "sub" folder from the folder list as a
// double click would, and ends the dialog the way the folder browser does on
// OK: WM_COMMAND with IDABORT and lParam 1. A timer ends it if anything hangs.
UINT_PTR CALLBACK BrowseHook(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        g_run->initialised = true;
        for (const RequiredControl& r : kRequiredControls)
            if (r.template_number == kTemplateFolderBrowser && !GetDlgItem(dialog, r.id))
                g_run->missing += std::to_string(r.id) + " ";
        SetTimer(dialog, 1, 10000, nullptr);
        HWND folders = GetDlgItem(dialog, 0x0461);
        LRESULT sub = SendMessageA(folders, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("[sub]"));
        SendMessageA(folders, LB_SETCURSEL, WPARAM(sub), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(0x0461, LBN_DBLCLK), LPARAM(folders));
        PostMessageA(dialog, WM_COMMAND, IDABORT, 1);
        return 1;
    }
    if (message == g_run->selection_changed) {
        g_run->folder_changed = true;
        GetFullPathNameA(".", MAX_PATH, g_run->folder, nullptr);
        return 0;
    }
    if (message == WM_TIMER) {
        g_run->timed_out = true;
        EndDialog(dialog, 0);
    }
    return 0;
}

// The file dialog locks the template handle with LockResource, which on NT
// and Wine gives the handle back as it is: the template must lie in a fixed
// block, whose handle is its address.
TEST(DialogTemplatesOnWindows, FolderBrowserRunsAsTheOldStyleSaveDialog) {
    ParentWindow parent;
    if (!parent.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    char start[MAX_PATH], saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    GetTempPathA(MAX_PATH, start);
    lstrcatA(start, ("kiln_browse_" + std::to_string(GetCurrentProcessId())).c_str());
    std::string sub = std::string(start) + "\\sub";
    ASSERT_TRUE(CreateDirectoryA(start, nullptr));
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));

    std::vector<uint8_t> table = Table();
    TemplateCopy copy(table, kTemplateFolderBrowser, GMEM_FIXED);
    ASSERT_NE(copy.data, nullptr);
    BrowseRun run;
    g_run = &run;
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the size the setup program passes
    ofn.hwndOwner = parent.hwnd;
    ofn.hInstance = static_cast<HINSTANCE>(copy.block);
    ofn.lpstrFilter = "*.*\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = start;
    ofn.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
    ofn.lpfnHook = BrowseHook;
    BOOL chosen = GetSaveFileNameA(&ofn);
    DWORD error = CommDlgExtendedError();

    SetCurrentDirectoryA(saved);
    RemoveDirectoryA(sub.c_str());
    RemoveDirectoryA(start);

    EXPECT_TRUE(chosen) << "extended error " << error;
    EXPECT_TRUE(run.initialised);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.missing, "");
    EXPECT_TRUE(run.folder_changed);
    EXPECT_EQ(lstrcmpiA(run.folder, sub.c_str()), 0) << run.folder;
}

}  // namespace
