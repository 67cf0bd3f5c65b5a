#include "wizard/folder_browser.h"

#include <commdlg.h>

#include "graphics/dialog_graphics.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "wizard/page_runner.h"

namespace {

enum : int { kFolderText = 101, kFolderLabel = 1009, kDrivesLabel = 1091 };

UINT g_selection_changed = 0;
char* g_folder = nullptr;  // the folder buffer of the dialog that runs
bool g_dialog_ready = false;

void ShowCurrentFolder(HWND dialog) {
    DWORD n = GetFullPathNameA(".", kPathSize, g_folder, nullptr);
    if (n == 0 || n >= kPathSize) return;
    OemToCharA(g_folder, g_folder);
    SetDlgItemTextA(dialog, kFolderText, g_folder);
}

// Over the parent, else over the screen; never off the top-left edge.
void Centre(HWND dialog) {
    RECT own, around;
    GetWindowRect(dialog, &own);
    HWND parent = GetParent(dialog);
    if (parent) {
        GetWindowRect(parent, &around);
    } else {
        around = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    int x = around.left + ((around.right - around.left) - (own.right - own.left)) / 2;
    int y = around.top + ((around.bottom - around.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

UINT_PTR CALLBACK FolderHook(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == g_selection_changed && g_selection_changed) {
        if (g_dialog_ready) ShowCurrentFolder(dialog);
        return 0;
    }
    switch (message) {
    case WM_INITDIALOG:
        ApplyDialogFont(dialog);
        SetDlgItemTextA(dialog, kFolderText, g_folder);
        g_dialog_ready = true;
        SetWindowTextA(dialog, LookUpText(kGroupMessages, 1));
        SetDlgItemTextA(dialog, kFolderLabel, LookUpText(kGroupMessages, 2));
        SetDlgItemTextA(dialog, kDrivesLabel, LookUpText(kGroupMessages, 3));
        SetDlgItemTextA(dialog, IDOK, LookUpText(kGroupButtons, 4));
        SetDlgItemTextA(dialog, IDCANCEL, LookUpText(kGroupButtons, 5));
        Centre(dialog);
        return 1;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            GetDlgItemTextA(dialog, kFolderText, g_folder, kPathSize);
            if (g_folder[0]) PostMessageA(dialog, WM_COMMAND, IDABORT, 1);
        }
        return 0;
    }
    return 0;
}

}  // namespace

void DeepestExistingFolder(const char* path, char* out) {
    lstrcpynA(out, path, kPathSize);
    for (;;) {
        DWORD attributes = GetFileAttributesA(out);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
        char* cut = nullptr;
        for (char* p = out; *p; p = CharNextA(p))
            if (*p == '\\' || *p == '/') cut = p;
        if (!cut) break;
        // "C:\" keeps its backslash: "C:" alone names the drive's current folder.
        if (cut > out && cut[-1] == ':') {
            if (cut[1] == 0) break;
            cut[1] = 0;
        } else {
            *cut = 0;
        }
    }
    out[0] = 0;
}

void BrowseForFolder(HWND owner, char* folder) {
    if (!g_selection_changed) g_selection_changed = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
    char folder_buffer[kPathSize] = "";
    char start_folder[kPathSize] = "";
    char file_name[kPathSize] = "";
    TemplateCopy copy;
    if (!CopyDialogTemplate(kTemplateFolderBrowser, &copy)) return;
    OPENFILENAMEA dialog = {};
    // The structure without the later platforms' additions (76 bytes in a
    // 32-bit program), so that the dialog keeps its old style.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.hInstance = reinterpret_cast<HINSTANCE>(copy.block);
    dialog.lpstrFilter = "*.*\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file_name;
    dialog.nMaxFile = kPathSize;
    // A folder the dialog can open, not the current one, which may be the
    // setup program's own: the destination usually does not exist yet.
    DeepestExistingFolder(folder, start_folder);
    dialog.lpstrInitialDir = start_folder[0] ? start_folder : nullptr;
    dialog.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
    dialog.lpfnHook = FolderHook;
    lstrcpynA(folder_buffer, folder, kPathSize);
    g_folder = folder_buffer;
    g_dialog_ready = false;
    if (GetSaveFileNameA(&dialog)) lstrcpynA(folder, folder_buffer, kPathSize);
    g_folder = nullptr;
    ReleaseTemplateCopy(&copy);
}
