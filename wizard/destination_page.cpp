// Destination page: the folder field, the space figures, and on Next the
// folder's validation and the disk check.
#include <windows.h>

#include "engine/entry_paths.h"
#include "engine/path_text.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/disk_check.h"
#include "wizard/disk_figures.h"
#include "wizard/folder_browser.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

namespace {

enum : int {
    kFolderField = 1004,
    kBrowseButton = 1005,
    kRequiredFigure = 1016,
    kRequiredLabel = 1017,
    kFreeLabel = 1018,
    kFreeFigure = 1019,
};

void ShowMegabytes(HWND page, int control, uint32_t megabytes) {
    char text[100];
    FormatWithNumber(text, sizeof text, LookUpText(kGroupDestination, 7), megabytes);
    SetDlgItemTextA(page, control, text);
}

void RefreshFreeSpace(HWND page) {
    ShowMegabytes(page, kFreeFigure, MegabytesOfKilobytes(FreeKilobytes(g_state.destination_folder)));
}

// The field into the destination folder, without a trailing backslash.
void ReadFolderField(HWND page) {
    GetDlgItemTextA(page, kFolderField, g_state.destination_folder, kPathSize);
    StripBackslash(g_state.destination_folder);
}

void ShowPageTexts(HWND page) {
    for (int i = 2; i <= 4; ++i) SetDlgItemTextA(page, kControlText1 - 1 + i, LookUpText(kGroupDestination, i));
}

// True when the typed folder exists or was made, as a full path with one
// trailing backslash in the destination folder.
bool TakeFolder(HWND page) {
    ReadFolderField(page);
    MakeDestinationFull();
    if (!DestinationFolderReady(false)) {
        if (ShowMessage(LookUpText(kGroupMessages, 6), MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
        if (!DestinationFolderReady(true)) {
            ShowMessage(LookUpText(kGroupMessages, 5), MB_ICONINFORMATION);
            return false;
        }
    }
    AddBackslash(g_state.destination_folder, kPathSize);
    return true;
}

// Runs the disk check with its notice in the page's texts; true when the
// installation may go on.
bool CheckDisk(HWND page) {
    SetDlgItemTextA(page, kControlText1 + 1, LookUpText(kGroupMessages, 4));
    SetDlgItemTextA(page, kControlText1 + 2, "");
    SetDlgItemTextA(page, kControlText1 + 3, "");
    UpdateWindow(page);
    int result = RunDiskCheck();
    if (result == kDiskCheckNoRoom) {
        if (ShowMessage(LookUpText(kGroupMessages, 11), MB_YESNO | MB_ICONQUESTION) == IDYES) result = kDiskCheckPassed;
    } else if (result != kDiskCheckPassed) {
        char text[1024], reason[512];
        FormatMessageText(reason, sizeof reason, result);
        lstrcpynA(text, LookUpText(kGroupMessages, 8), sizeof text);
        int n = lstrlenA(text);
        lstrcpynA(text + n, "\n\n", int(sizeof text) - n);
        n = lstrlenA(text);
        lstrcpynA(text + n, reason, int(sizeof text) - n);
        ShowMessage(text, MB_ICONINFORMATION);
    }
    if (result == kDiskCheckPassed) return true;
    ShowPageTexts(page);
    return false;
}

INT_PTR SetUp(HWND page) {
    CommonPageSetUp(page, kButtonBack | kButtonNext | kButtonCancel);
    StripBackslash(g_state.destination_folder);
    SetDlgItemTextA(page, kFolderField, g_state.destination_folder);
    if (g_state.destination_folder[0]) AddBackslash(g_state.destination_folder, kPathSize);
    SetDlgItemTextA(page, kRequiredLabel, LookUpText(kGroupDestination, 5));
    SetDlgItemTextA(page, kFreeLabel, LookUpText(kGroupDestination, 6));
    ShowMegabytes(page, kRequiredFigure, MegabytesOfBytes(RequiredBytes()));
    RefreshFreeSpace(page);
    // The field's text keeps clear of its edge and of the caret, which
    // otherwise stands on the first letter.
    SendDlgItemMessageA(page, kFolderField, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(3, 3));
    if (ReadU16(g_config.current_record + kTypeOptions) & kOptionFolderEditable) {
        // As when the keyboard enters the field: the whole path selected,
        // so that typing replaces it.
        SetFocus(GetDlgItem(page, kFolderField));
        SendDlgItemMessageA(page, kFolderField, EM_SETSEL, 0, -1);
        return FALSE;
    }
    SendDlgItemMessageA(page, kFolderField, EM_SETREADONLY, 1, 0);
    EnableWindow(GetDlgItem(page, kBrowseButton), FALSE);
    return TRUE;
}

int BackTarget() {
    if (g_config.type_count != 1) return kPageSetupType;
    return HasInformationText() ? kPageInformation : kPageWelcome;
}

}  // namespace

INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return SetUp(page);
    if (message != WM_COMMAND) return DefaultPageHandling(message, wparam);
    int id = LOWORD(wparam);
    if (SinglePageMode() && id != kBrowseButton) return DefaultPageHandling(message, wparam);
    switch (id) {
    case kFolderField:
        if (HIWORD(wparam) == EN_CHANGE) {
            GetDlgItemTextA(page, kFolderField, g_state.destination_folder, kPathSize);
            RefreshFreeSpace(page);
        }
        break;
    case kBrowseButton:
        ReadFolderField(page);
        BrowseForFolder(page, g_state.destination_folder);
        StripBackslash(g_state.destination_folder);
        SetDlgItemTextA(page, kFolderField, g_state.destination_folder);
        break;
    case kControlBack:
        GoToPage(BackTarget());
        return MarkHandled(page);
    case kControlNext:
        if (!TakeFolder(page) || !CheckDisk(page)) return MarkHandled(page);
        break;
    }
    return DefaultPageHandling(message, wparam);
}
