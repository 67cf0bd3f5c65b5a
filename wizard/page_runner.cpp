#include "wizard/page_runner.h"

#include <cstring>

#include "graphics/dialog_graphics.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"

namespace {

HWND g_current_page = nullptr;
unsigned g_button_mask = 0;

// The cancel question; Yes ends the wizard and forgets what was to be
// started afterwards.
void HandleCancel() {
    if (g_button_mask & kCancelWithoutAsking) {
        g_state.page_result = kPageCancel;
        return;
    }
    if (ShowMessage(LookUpText(kGroupMessages, 14), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    ShowMessage(LookUpText(kGroupMessages, 15), MB_ICONINFORMATION);
    g_state.page_result = kPageCancel;
    g_state.document_to_open[0] = 0;
    g_state.program_to_run[0] = 0;
    g_state.screen_saver_to_install[0] = 0;
}

// Centred on the screen's centre, clamped into the background window.
void PlaceMainDialog(HWND dialog) {
    RECT own, parent;
    GetWindowRect(dialog, &own);
    GetClientRect(g_state.background_window, &parent);
    auto clamp = [](int centre, int size, int room) {
        int at = centre - size / 2;
        int most = room - size;
        if (at < most ? at < 0 : most < 0) return 0;
        return at < most ? at : most;
    };
    int x = clamp(g_state.screen_width / 2, own.right - own.left, parent.right);
    int y = clamp(g_state.screen_height / 2, own.bottom - own.top, parent.bottom);
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool CopyDialogTemplate(int number, TemplateCopy* copy) {
    copy->block = nullptr;
    copy->dialog = nullptr;
    const Body& table = g_config.dialog_templates;
    if (!table.data || number < 0 || uint32_t(number) >= table.size / 4) return false;
    uint32_t offset = ReadU32(table.data + 4 * number);
    if (offset >= table.size) return false;
    uint32_t n = table.size - offset;
    if (n > kTemplateCopySize) n = kTemplateCopySize;  // the loader refuses longer tables
    copy->block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kTemplateCopySize);
    if (!copy->block) return false;
    void* at = GlobalLock(copy->block);
    std::memcpy(at, table.data + offset, n);
    copy->dialog = static_cast<const DLGTEMPLATE*>(at);
    return true;
}

void ReleaseTemplateCopy(TemplateCopy* copy) {
    if (!copy->block) return;
    GlobalUnlock(copy->block);
    GlobalFree(copy->block);
    copy->block = nullptr;
    copy->dialog = nullptr;
}

int RunPage(int template_number, DLGPROC procedure) {
    g_state.page_result = kPageRunning;
    if (template_number == 10) return kPageCancel;  // the end marker shows nothing
    TemplateCopy copy;
    if (!CopyDialogTemplate(template_number, &copy)) return kPageNext;
    HWND page = CreateDialogIndirectParamA(g_state.instance, copy.dialog, g_state.main_dialog, procedure, 0);
    if (!page) {
        ReleaseTemplateCopy(&copy);
        return kPageCancel;
    }
    MSG message;
    while (g_state.page_result == kPageRunning) {
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) {  // the quit message (or a broken queue)
            g_state.page_result = kPageCancel;
            break;
        }
        if (g_state.main_dialog && IsDialogMessageA(g_state.main_dialog, &message)) continue;
        if (IsDialogMessageA(page, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(page);
    ReleaseTemplateCopy(&copy);
    return g_state.page_result;
}

bool SinglePageMode() { return g_config.start_page != 0xFFFF; }

int PageStringGroup(int page_index) {
    static const int kGroups[] = {kGroupWelcome, kGroupInformation, kGroupSetupTypes, kGroupWelcome, kGroupDestination,
                                  kGroupReady,   kGroupProgress,    kGroupFinish,     kGroupWelcome};
    return page_index >= 0 && page_index < 9 ? kGroups[page_index] : kGroupWelcome;
}

void SetButtonLabel(int button, int index) {
    if (g_state.main_dialog) SetDlgItemTextA(g_state.main_dialog, button, LookUpText(kGroupButtons, index));
}

void CommonPageSetUp(HWND page, unsigned button_mask) {
    g_current_page = page;
    ApplyDialogFont(page);
    if (HWND place = GetDlgItem(g_state.main_dialog, kControlPagePlace)) {
        RECT r, page_rect, picture_rect;
        GetWindowRect(place, &r);
        GetWindowRect(page, &page_rect);
        // A page wider than its place starts where the side picture does
        // and covers it: the inner pages that use the whole width.
        HWND picture = GetDlgItem(g_state.main_dialog, kControlSidePicture);
        if (page_rect.right - page_rect.left > r.right - r.left && picture && GetWindowRect(picture, &picture_rect))
            r.left = picture_rect.left;
        MapWindowPoints(nullptr, g_state.main_dialog, reinterpret_cast<POINT*>(&r), 1);
        SetWindowPos(page, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int group = PageStringGroup(g_state.page_index);
    const char* page_title = LookUpText(group, 0);
    const char* setup_title = LookUpText(kGroupMessages, 0);
    SetWindowTextA(g_state.background_window, setup_title);
    if (page_title[0]) {
        if (g_config.setup_flags & kSetupFullScreen) {
            SetWindowTextA(g_state.main_dialog, page_title);
        } else {
            char caption[1024];
            lstrcpynA(caption, setup_title, sizeof caption);
            int n = lstrlenA(caption);
            lstrcpynA(caption + n, " - ", int(sizeof caption) - n);
            n = lstrlenA(caption);
            lstrcpynA(caption + n, page_title, int(sizeof caption) - n);
            SetWindowTextA(g_state.background_window, caption);
        }
    }
    for (int i = 1; i <= 4; ++i)
        if (HWND text = GetDlgItem(page, kControlText1 - 1 + i)) SetWindowTextA(text, LookUpText(group, i));
    SetButtonLabel(kControlBack, 0);
    SetButtonLabel(kControlNext, 1);
    SetButtonLabel(kControlCancel, 2);
    if (SinglePageMode()) button_mask |= kCancelWithoutAsking;
    g_button_mask = button_mask;
    const struct {
        int id;
        unsigned bit;
    } kButtons[] = {{kControlBack, kButtonBack}, {kControlNext, kButtonNext}, {kControlCancel, kButtonCancel}};
    for (const auto& b : kButtons)
        if (HWND button = GetDlgItem(g_state.main_dialog, b.id)) EnableWindow(button, (button_mask & b.bit) != 0);
}

INT_PTR MarkHandled(HWND page) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 1);
    return TRUE;
}

INT_PTR DefaultPageHandling(UINT message, WPARAM wparam) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(DialogBrush());
    }
    return 0;
}

void FocusMainButton(int button) {
    if (HWND b = GetDlgItem(g_state.main_dialog, button)) SendMessageA(g_state.main_dialog, WM_NEXTDLGCTL, WPARAM(b), TRUE);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        PlaceMainDialog(dialog);
        ApplyDialogFont(dialog);
        PostMessageA(dialog, WM_NCACTIVATE, TRUE, 0);
        return TRUE;
    case WM_PAINT:
        PaintMainDialog(dialog);
        break;
    case WM_COMMAND:
        if (g_current_page && SendMessageA(g_current_page, WM_COMMAND, wparam, lparam)) break;
        switch (LOWORD(wparam)) {
        case kControlNext: g_state.page_result = kPageNext; break;
        case kControlBack: g_state.page_result = kPageBack; break;
        case kControlCancel: HandleCancel(); break;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_MINIMIZE) ShowWindow(g_state.background_window, SW_MINIMIZE);
        if ((wparam & 0xFFF0) == SC_CLOSE) g_state.page_result = kPageCancel;
        break;
    }
    return DefaultPageHandling(message, wparam);
}
