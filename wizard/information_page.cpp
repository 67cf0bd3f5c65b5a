// Information page: the package's text in control 1000.
#include "package/setup_config.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

INT_PTR CALLBACK InformationPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CommonPageSetUp(page, kButtonBack | kButtonNext | kButtonCancel);
        FocusMainButton(kControlNext);
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == kControlNext && g_config.type_count == 1) {
        GoToPage(kPageDestination);
        return MarkHandled(page);
    }
    return DefaultPageHandling(message, wparam);
}
