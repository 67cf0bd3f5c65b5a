#include "graphics/progress_bar.h"

#include "engine/progress.h"
#include "graphics/dialog_graphics.h"
#include "graphics/progress_geometry.h"

namespace {

constexpr int kBarControl = 1009;
constexpr int kPercentControl = 1010;

HWND g_progress_window = nullptr;

void RedrawProgressWindow() { DrawProgressBar(g_progress_window, nullptr); }

// The trough and the blocks into a cx x cy memory bitmap, then one copy to
// (x, y) of dc. Without a brush for the blocks nothing is copied.
void DrawBarOffScreen(HDC dc, int x, int y, int cx, int cy) {
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, cx, cy) : nullptr;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        FillRectangle(memory, 0, 0, cx, cy, GetSysColor(COLOR_BTNFACE));
        COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
        FillRectangle(memory, 0, 0, cx, 1, shadow);
        FillRectangle(memory, 0, 0, 1, cy, shadow);
        FillRectangle(memory, cx - 1, 0, 1, cy, highlight);
        FillRectangle(memory, 0, cy - 1, cx, 1, highlight);
        HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
        if (brush) {
            int count = ProgressBlockCount(cx, cy, unsigned(CurrentProgress()));
            for (int k = 0; k < count; ++k) {
                BarBlock b = ProgressBlock(k, cy);
                RECT r = {b.left, b.top, b.right, b.bottom};
                FillRect(memory, &r, brush);
            }
            BitBlt(dc, x, y, cx, cy, memory, 0, 0, SRCCOPY);
            DeleteObject(brush);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    if (memory) DeleteDC(memory);
}

// The progress page's status line: the file being installed.
void ShowStatusLine(const char* status) {
    if (g_progress_window) SetDlgItemTextA(g_progress_window, 1008, status);
}

}  // namespace

void SetProgressWindow(HWND dialog) {
    g_progress_window = dialog;
    SetProgressPainter(dialog ? RedrawProgressWindow : nullptr);
    SetStatusShower(dialog ? ShowStatusLine : nullptr);
}

void DrawProgressBar(HWND dialog, HDC dc) {
    HDC own = dc ? nullptr : GetDC(dialog);
    if (!dc && !(dc = own)) return;
    char text[16];
    wsprintfA(text, "%d%%", CurrentProgress());
    SetDlgItemTextA(dialog, kPercentControl, text);
    RECT bar;
    HWND control = GetDlgItem(dialog, kBarControl);
    if (control && GetWindowRect(control, &bar)) {
        POINT corner = {bar.left, bar.top};
        ScreenToClient(dialog, &corner);
        DrawBarOffScreen(dc, corner.x, corner.y, bar.right - bar.left, bar.bottom - bar.top);
    }
    if (own) ReleaseDC(dialog, own);
}
