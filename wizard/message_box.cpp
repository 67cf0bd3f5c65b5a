#include "wizard/message_box.h"

#include <cstring>

#include "package/package_format.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {
MessageAnswerer g_answerer = nullptr;

BOOL CALLBACK ActivateShownBox(HWND window, LPARAM) {
    char name[8];
    if (!IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) || lstrcmpA(name, "#32770")) return TRUE;
    SetForegroundWindow(window);
    SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
    return FALSE;
}

// Runs once the box is on the screen: a box activated while it was still
// hidden can keep an inactive caption.
void CALLBACK ActivateOnceShown(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    EnumThreadWindows(GetCurrentThreadId(), ActivateShownBox, 0);
}
}

void SetMessageAnswerer(MessageAnswerer answerer) { g_answerer = answerer; }

int ShowMessage(const char* text, UINT style) {
    const char* caption = LookUpText(kGroupMessages, 0);
    if (g_answerer) return g_answerer(text, caption, style);
    HWND owner = g_state.main_dialog ? g_state.main_dialog : g_state.background_window;
    // When the box closes, activation goes back to the top-level owner; in
    // framed mode that is the background frame, which would keep the
    // keyboard from the wizard. Give the focus back where it was.
    HWND focus = GetFocus();
    // A box that is the program's only window (a setup file refused at
    // start) must come to the front and take the keyboard by itself.
    if (!owner) {
        style |= MB_SETFOREGROUND;
        SetTimer(nullptr, 0, 100, ActivateOnceShown);
    }
    int answer = MessageBoxA(owner, text, caption, style);
    if (focus && IsWindow(focus) && IsWindowEnabled(focus)) {
        SetFocus(focus);
    } else if (g_state.main_dialog) {
        SetFocus(g_state.main_dialog);
    }
    return answer;
}

void FormatMessageText(char* buffer, size_t capacity, int index) {
    const char* text = LookUpText(kGroupMessages, index);
    if (std::strstr(text, "%s")) {
        FormatWithString(buffer, capacity, text, g_state.message_argument);
    } else if (capacity) {
        lstrcpynA(buffer, text, int(capacity));  // no %s: the text as it stands, %% included
    }
}
