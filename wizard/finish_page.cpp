// Finish page: success or the install error, the document button, the
// run-program check box, and the restart button when a file waits for the
// next start of Windows.
#include "engine/open_document.h"
#include "package/file_list.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"
#include "wizard/restart.h"

namespace {

enum : int { kDocumentButton = 1014, kRunCheckBox = 1015 };
constexpr uint16_t kStatusRefused = 27;
constexpr int kErrorRefused = 22;
constexpr int kFinishLabel = 7;  // group 7: the Cancel button's label here, when given

HWND Item(HWND page, int id) { return GetDlgItem(page, id); }

RECT RectInPage(HWND page, int id) {
    RECT r = {};
    if (HWND item = Item(page, id)) {
        GetWindowRect(item, &r);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

bool AnyEntryRefused() {
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry))
        if (ReadU16(entry + kEntryInstallStatus) == kStatusRefused) return true;
    return false;
}

void ShowErrorLayout(HWND page) {
    ShowWindow(Item(page, kControlText1 + 1), SW_HIDE);
    ShowWindow(Item(page, kControlText1 + 2), SW_HIDE);
    SetDlgItemTextA(page, kControlText1 + 3, "");  // nothing of the success texts stays
    RECT top = RectInPage(page, kControlText1), bottom = RectInPage(page, kControlText1 + 2);
    SetWindowPos(Item(page, kControlText1), nullptr, 0, 0, top.right - top.left, bottom.bottom - top.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    char reason[1024], text[1024];
    FormatMessageText(reason, sizeof reason, g_state.install_error);
    FormatWithString(text, sizeof text, LookUpText(kGroupFinish, 4), reason);
    SetDlgItemTextA(page, kControlText1, text);
    g_state.document_to_open[0] = 0;
    g_state.program_to_run[0] = 0;
    g_state.screen_saver_to_install[0] = 0;
}

void ShowSuccessLayout(HWND page) {
    bool single = SinglePageMode();
    bool document_shown = false, box_shown = false, box_moved = false;
    if (g_state.document_to_open[0] || single) {
        const char* label = LookUpText(kGroupFinish, 5);
        if (label[0]) {
            SetDlgItemTextA(page, kDocumentButton, label);
            ShowWindow(Item(page, kDocumentButton), SW_SHOW);
            document_shown = true;
        } else {
            OpenInstalledDocument();
        }
    }
    const char* run_label = LookUpText(kGroupFinish, 6);
    bool no_text_2 = LookUpText(kGroupFinish, 2)[0] == 0;
    if ((g_state.program_to_run[0] || single) && run_label[0]) {
        SetDlgItemTextA(page, kRunCheckBox, run_label);
        ShowWindow(Item(page, kRunCheckBox), SW_SHOW);
        box_shown = true;
        if (!document_shown && no_text_2) {
            RECT button = RectInPage(page, kDocumentButton), box = RectInPage(page, kRunCheckBox);
            SetWindowPos(Item(page, kRunCheckBox), nullptr, box.left, button.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            SetDlgItemTextA(page, kControlText1 + 1, LookUpText(kGroupFinish, 3));
            SetDlgItemTextA(page, kControlText1 + 2, "");
            box_moved = true;
        }
    }
    SetDlgItemTextA(page, kControlText1 + 3, "");
    if (!g_state.restart_needed) return;
    int target;
    if (box_shown) {
        target = box_moved ? 1002 : 1003;
    } else {
        target = LookUpText(kGroupFinish, 3)[0] ? 1003 : 1002;
        if (!document_shown && no_text_2) target = 1001;
    }
    SetDlgItemTextA(page, target, LookUpText(kGroupFinish, 7));
}

INT_PTR SetUp(HWND page) {
    if (g_state.install_error) g_state.restart_needed = false;
    CommonPageSetUp(page, kButtonCancel | kCancelWithoutAsking | (g_state.restart_needed ? unsigned(kButtonBack) : 0u));
    if (g_state.restart_needed) SetButtonLabel(kControlBack, 6);
    // Leaving this page ends Setup: a package may name that button "Finish".
    if (LookUpText(kGroupButtons, kFinishLabel)[0]) SetButtonLabel(kControlCancel, kFinishLabel);
    ShowWindow(Item(page, kDocumentButton), SW_HIDE);
    CheckDlgButton(page, kRunCheckBox, g_state.run_program ? BST_CHECKED : BST_UNCHECKED);
    ShowWindow(Item(page, kRunCheckBox), SW_HIDE);
    if (!g_state.install_error && AnyEntryRefused()) g_state.install_error = kErrorRefused;
    if (g_state.install_error) {
        ShowErrorLayout(page);
    } else {
        ShowSuccessLayout(page);
    }
    FocusMainButton(kControlCancel);
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return SetUp(page);
    if (message == WM_COMMAND) {
        switch (LOWORD(wparam)) {
        case kControlNext:
        case kControlCancel:
            g_state.page_result = kPageCancel;
            return MarkHandled(page);
        case kControlBack:
            if (!g_state.restart_needed) break;
            RestartWindows();
            return MarkHandled(page);
        case kDocumentButton:
            OpenInstalledDocument();
            return MarkHandled(page);
        case kRunCheckBox:
            g_state.run_program = IsDlgButtonChecked(page, kRunCheckBox) == BST_CHECKED;
            return MarkHandled(page);
        }
    }
    return DefaultPageHandling(message, wparam);
}
