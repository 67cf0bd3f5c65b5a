// Setup type page: one radio button per setup type. Choosing one selects
// that type at once, so the page's own texts and the buttons' labels come
// from the chosen type's string table.
#include "package/setup_config.h"
#include "package/string_groups.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

namespace {

constexpr int kFirstRadio = 1021;
constexpr int kAllButtons = kButtonBack | kButtonNext | kButtonCancel;

void SetUp(HWND page) {
    CommonPageSetUp(page, kAllButtons);
    for (int i = 0; i < g_config.type_count; ++i) {
        HWND radio = GetDlgItem(page, kFirstRadio + i);
        if (!radio) continue;
        if (const char* name = TypeText(g_config.types[i].record.data, kTypeDisplayName)) SetWindowTextA(radio, name);
        EnableWindow(radio, TRUE);
        ShowWindow(radio, SW_SHOWNORMAL);
    }
    CheckRadioButton(page, kFirstRadio, kFirstRadio + kMaxSetupTypes - 1, kFirstRadio + g_config.current_type);
    FocusMainButton(kControlNext);
}

void TakeCheckedType(HWND page) {
    for (int i = 0; i < g_config.type_count; ++i) {
        if (IsDlgButtonChecked(page, kFirstRadio + i) != BST_CHECKED) continue;
        if (i != g_config.current_type) {
            SelectSetupType(i);
            CommonPageSetUp(page, kAllButtons);
        }
        return;
    }
}

}  // namespace

INT_PTR CALLBACK SetupTypePageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetUp(page);
        return FALSE;
    }
    if (message == WM_COMMAND) {
        int id = LOWORD(wparam);
        if (id >= kFirstRadio && id < kFirstRadio + kMaxSetupTypes) TakeCheckedType(page);
        if (id == kControlNext) {
            GoToPage(kPageDestination);
            return MarkHandled(page);
        }
        if (id == kControlBack && !HasInformationText()) {
            GoToPage(kPageWelcome);
            return MarkHandled(page);
        }
    }
    return DefaultPageHandling(message, wparam);
}
