#include "graphics/dialog_graphics.h"

#include "graphics/picture.h"
#include "graphics/progress_geometry.h"

namespace {

constexpr int kSidePictureControl = 1011;
constexpr int kPanelControl = 1012;

HBRUSH g_dialog_brush = nullptr;
HFONT g_dialog_font = nullptr;

// Control `id`'s rectangle in the dialog's client coordinates; false when
// the dialog has no such control.
bool ControlRect(HWND dialog, int id, RECT* rect) {
    HWND control = GetDlgItem(dialog, id);
    if (!control || !GetWindowRect(control, rect)) return false;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(rect), 2);
    return true;
}

}  // namespace

void CreateDialogBrush() {
    g_dialog_brush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    if (!g_dialog_brush) g_dialog_brush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
}

HBRUSH DialogBrush() { return g_dialog_brush; }

void ApplyDialogFont(HWND window) {
    if (!g_dialog_font) {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
        LOGFONTA face;
        if (!font || !GetObjectA(font, sizeof face, &face)) return;
        face.lfWeight = FW_NORMAL;
        g_dialog_font = CreateFontIndirectA(&face);
        if (!g_dialog_font) return;
    }
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_dialog_font), FALSE);
}

void DeleteDialogGraphics() {
    if (g_dialog_brush && g_dialog_brush != GetStockObject(LTGRAY_BRUSH)) DeleteObject(g_dialog_brush);
    if (g_dialog_font) DeleteObject(g_dialog_font);
    g_dialog_brush = nullptr;
    g_dialog_font = nullptr;
}

void FillRectangle(HDC dc, int x, int y, int width, int height, COLORREF colour) {
    RECT r = {x, y, x + width, y + height};
    SetBkColor(dc, colour);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void DrawSunkenFrame(HDC dc, const RECT& r, bool fill) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (fill) FillRectangle(dc, r.left + 1, r.top + 1, w - 2, h - 2, GetSysColor(COLOR_BTNFACE));
    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    FillRectangle(dc, r.left, r.top, w - 1, 1, shadow);
    FillRectangle(dc, r.left, r.top, 1, h - 1, shadow);
    FillRectangle(dc, r.left, r.bottom - 1, w, 1, highlight);
    FillRectangle(dc, r.right - 1, r.top, 1, h, highlight);
}

void FrameControl(HWND dialog, HDC dc, int id, bool fill) {
    RECT r;
    if (ControlRect(dialog, id, &r)) DrawSunkenFrame(dc, r, fill);
}

void DrawSidePicture(HWND dialog, HDC dc, int id, const Body& record) {
    RECT area;
    if (!ControlRect(dialog, id, &area)) return;
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    Picture picture;
    if (!OpenPicture(record, &picture)) return;
    int x = CentredStart(area.left, area.right - area.left, picture.width);
    int y = CentredStart(area.top, area.bottom - area.top, picture.height);
    PictureColours colours = SelectPictureColours(dc, picture);
    DrawPictureAt(dc, picture, x, y);
    RestoreColours(dc, colours);
    DrawSunkenFrame(dc, {x, y, x + picture.width, y + picture.height}, false);
}

void PaintMainDialog(HWND main_dialog) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(main_dialog, &paint);
    if (dc) {
        FrameControl(main_dialog, dc, kPanelControl, true);
        if (g_config.side_picture.data)
            DrawSidePicture(main_dialog, dc, kSidePictureControl, g_config.side_picture);
    }
    EndPaint(main_dialog, &paint);
}
