// Minimal drawing until the presentation code lands.
#include <windows.h>

#include "graphics/background_window.h"
#include "graphics/dialog_graphics.h"
#include "graphics/progress_bar.h"
#include "startup/process_state.h"

namespace {
HBRUSH g_brush = nullptr;
HFONT g_font = nullptr;
HWND g_progress = nullptr;
}  // namespace

LRESULT CALLBACK BackgroundWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) {
        g_state.page_result = 2;
        return 0;
    }
    if (m == WM_DESTROY) PostQuitMessage(0);
    if (m == WM_SETFOCUS && g_state.main_dialog) {
        SetFocus(g_state.main_dialog);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}
void CreateDialogBrush() { g_brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE)); }
HBRUSH DialogBrush() { return g_brush; }
void ApplyDialogFont(HWND window) {
    if (!g_font) {
        HFONT f = HFONT(SendMessageA(window, WM_GETFONT, 0, 0));
        LOGFONTA lf;
        if (!f || !GetObjectA(f, sizeof lf, &lf)) return;
        lf.lfWeight = FW_NORMAL;
        g_font = CreateFontIndirectA(&lf);
        if (!g_font) return;
    }
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) SendMessageA(c, WM_SETFONT, WPARAM(g_font), 0);
}
void DeleteDialogGraphics() {}
void PaintMainDialog(HWND w) {
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    EndPaint(w, &ps);
}
void SetProgressWindow(HWND w) { g_progress = w; }
void DrawProgressBar(HWND, HDC) {}
