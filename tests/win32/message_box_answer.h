// Answers a message box of another process the way a user would: finds the
// box by its caption once it shows and clicks one of its buttons.
#pragma once
#include <windows.h>

// Clicks `button` (IDYES, IDOK, ...) of the message box with this caption,
// waiting up to `wait_ms` for it to show; then waits for it to close. False
// when no such box showed.
inline bool AnswerMessageBox(const char* caption, int button, DWORD wait_ms = 10000) {
    for (DWORD waited = 0; waited < wait_ms; waited += 25) {
        HWND box = FindWindowA("#32770", caption);
        HWND control = box ? GetDlgItem(box, button) : nullptr;
        if (control) {
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(control));
            // Gone before the next box of the same caption is looked for.
            for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(25);
            return true;
        }
        Sleep(25);
    }
    return false;
}
