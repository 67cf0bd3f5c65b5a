// Welcome page: Next skips the pages that have nothing to show.
#include "package/setup_config.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

bool HasInformationText() { return LookUpText(kGroupInformation, 1)[0] != 0; }

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CommonPageSetUp(page, kButtonNext | kButtonCancel);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wparam) == kControlNext && !HasInformationText()) {
        GoToPage(g_config.type_count >= 2 ? kPageSetupType : kPageDestination);
        return MarkHandled(page);
    }
    return DefaultPageHandling(message, wparam);
}
