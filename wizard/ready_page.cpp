// Ready page: where the product goes, Next relabelled, and one more
// question when read-only files are to be replaced.
#include "engine/path_text.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/disk_check.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

INT_PTR CALLBACK ReadyPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CommonPageSetUp(page, kButtonBack | kButtonNext | kButtonCancel);
        char text[1024];
        StripBackslash(g_state.destination_folder);
        FormatWithString(text, sizeof text, LookUpText(kGroupReady, 2), g_state.destination_folder);
        AddBackslash(g_state.destination_folder, kPathSize);
        SetDlgItemTextA(page, kControlText1 + 1, text);
        SetButtonLabel(kControlNext, 3);
        FocusMainButton(kControlNext);
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == kControlNext && g_read_only_files_found &&
        ShowMessage(LookUpText(kGroupMessages, 7), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return MarkHandled(page);
    return DefaultPageHandling(message, wparam);
}
