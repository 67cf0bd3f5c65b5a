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

void BrowseForFolder(HWND owner, char* folder) {
    if (!g_selection_changed) g_selection_changed = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
    char folder_buffer[kPathSize] = "";
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
    dialog.lpstrInitialDir = folder_buffer;
    dialog.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
    dialog.lpfnHook = FolderHook;
    lstrcpynA(folder_buffer, folder, kPathSize);
    g_folder = folder_buffer;
    g_dialog_ready = false;
    if (GetSaveFileNameA(&dialog)) lstrcpynA(folder, folder_buffer, kPathSize);
    g_folder = nullptr;
    ReleaseTemplateCopy(&copy);
}
