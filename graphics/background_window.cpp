#include "graphics/background_window.h"

#include <cstring>

#include "graphics/gradient.h"
#include "graphics/picture.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

constexpr int kPageCancel = 2;

bool IsPaletteDevice(HDC dc) { return GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL) <= 8; }

// Tiles from the client's top left corner; only tiles that meet the paint
// rectangle are drawn, which changes nothing on the screen.
void TilePicture(HDC dc, const Picture& picture, const RECT& client, const RECT& paint) {
    PictureColours colours = SelectPictureColours(dc, picture);
    for (int y = paint.top / picture.height * picture.height; y < client.bottom && y < paint.bottom;
         y += picture.height)
        for (int x = paint.left / picture.width * picture.width; x < client.right && x < paint.right;
             x += picture.width)
            DrawPictureAt(dc, picture, x, y);
    RestoreColours(dc, colours);
}

// Palette displays: one solid strip per row of the paint rectangle, a new
// brush only where the colour changes.
void PaintGradientRows(HDC dc, int height, const RECT& paint) {
    if (height <= 0) return;
    HBRUSH brush = nullptr;
    int blue = -1;
    for (int y = paint.top; y <= paint.bottom; ++y) {
        int row_blue = GradientBlue(y, height);
        if (row_blue != blue) {
            if (brush) DeleteObject(brush);
            brush = CreateSolidBrush(RGB(0, 0, row_blue));
            blue = row_blue;
        }
        RECT strip = {paint.left, y, paint.right, y + 1};
        if (brush) FillRect(dc, &strip, brush);
    }
    if (brush) DeleteObject(brush);
}

// Other displays: bands of 8 rows over the whole width, each filled with an
// 8x8 pattern that mixes the colours of 8 rows 8 apart, so the gradient
// shows no steps.
void PaintGradientBands(HDC dc, int width, int height) {
    struct {
        BITMAPINFOHEADER header;
        uint8_t pixels[kDitherPixelBytes];
    } pattern = {};
    pattern.header.biSize = sizeof pattern.header;
    pattern.header.biWidth = 8;
    pattern.header.biHeight = 8;
    pattern.header.biPlanes = 1;
    pattern.header.biBitCount = 24;
    pattern.header.biSizeImage = kDitherPixelBytes;
    for (int y0 = 0; y0 < height; y0 += kBandRows) {
        uint8_t blues[kBandRows];
        uint32_t colours[kBandRows];
        BandBlues(y0, height, blues);
        for (int j = 0; j < kBandRows; ++j) colours[j] = RGB(0, 0, blues[j]);
        DitherPatternPixels(colours, pattern.pixels);
        HBRUSH brush = CreateDIBPatternBrushPt(&pattern, DIB_RGB_COLORS);
        if (!brush) continue;
        RECT band = {0, y0, width, y0 + kBandRows};
        FillRect(dc, &band, brush);
        DeleteObject(brush);
    }
}

// The title in the description's font: first its shadow 4 pixels right and
// down, then the text.
void DrawTitle(HDC dc) {
    const Body& title = g_config.background_title;
    const Body& description = g_config.background_description;
    if (!title.data || !title.size || !title.data[0] || !description.data || description.size < kDescriptionSize)
        return;
    const char* text = reinterpret_cast<const char*>(title.data);
    const void* end = std::memchr(text, 0, title.size);
    int length = end ? int(static_cast<const char*>(end) - text) : int(title.size);
    LOGFONTA face;
    std::memcpy(&face, description.data + kDescriptionFont, sizeof face);
    face.lfFaceName[sizeof face.lfFaceName - 1] = 0;
    HFONT font = CreateFontIndirectA(&face);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    RECT area = {14, 14, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SetTextColor(dc, ReadU32(description.data + kDescriptionShadowColour));
    DrawTextA(dc, text, length, &area, DT_NOPREFIX | DT_NOCLIP);
    area.left = area.top = 10;
    SetTextColor(dc, ReadU32(description.data + kDescriptionTextColour));
    DrawTextA(dc, text, length, &area, DT_NOPREFIX | DT_NOCLIP);
    if (font) {
        SelectObject(dc, previous);
        DeleteObject(font);
    }
}

void PaintBackground(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc) {
        RECT client;
        GetClientRect(window, &client);
        Picture picture;
        if (OpenPicture(g_config.background_picture, &picture))
            TilePicture(dc, picture, client, paint.rcPaint);
        else if (IsPaletteDevice(dc))
            PaintGradientRows(dc, client.bottom, paint.rcPaint);
        else
            PaintGradientBands(dc, client.right, client.bottom);
        DrawTitle(dc);
    }
    EndPaint(window, &paint);
}

HWND g_wizard_focus = nullptr;  // the wizard's control that had the keyboard

}  // namespace

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        if (!(g_config.setup_flags & kSetupFullScreen) || IsIconic(window)) break;
        PaintBackground(window);
        if (g_state.main_dialog) RedrawWindow(g_state.main_dialog, nullptr, nullptr, RDW_FRAME);
        return 0;
    case WM_ACTIVATEAPP:
        // The wizard's caption is drawn active exactly while the program is.
        if (g_state.main_dialog) PostMessageA(g_state.main_dialog, WM_NCACTIVATE, wparam, 0);
        break;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_MAXIMIZE:
        case SC_RESTORE:
            if (g_state.main_dialog) ShowWindow(g_state.main_dialog, SW_SHOWNORMAL);
            break;
        case SC_CLOSE:
            // Ends the running page without asking; shutdown destroys the window.
            g_state.page_result = kPageCancel;
            return 0;
        }
        break;
    case WM_ACTIVATE:
        // The wizard is a child window, so no dialog keeps its focus while
        // the program is inactive: this window does.
        if (LOWORD(wparam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && g_state.main_dialog && IsChild(g_state.main_dialog, focus)) g_wizard_focus = focus;
        }
        break;
    case WM_SETFOCUS:
        // Activation (a click on the caption, the end of a message box)
        // gives this window the keyboard: it goes back to the wizard's
        // control that had it, else to the wizard.
        if (g_state.main_dialog) {
            HWND focus = g_wizard_focus;
            bool usable = focus && IsWindow(focus) && IsChild(g_state.main_dialog, focus) &&
                          IsWindowVisible(focus) && IsWindowEnabled(focus);
            SetFocus(usable ? focus : g_state.main_dialog);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HPALETTE CreateBitmapPalette(HDC dc, const uint8_t* info_header, uint32_t bytes_available) {
    if (!info_header || bytes_available < kBitmapInfoHeaderSize || ReadU16(info_header + kBitmapBitCount) != 8)
        return nullptr;
    // Only entries both listed by the header and inside the record are read.
    uint32_t entries = ColourTableEntries(8, ReadU32(info_header + kBitmapColoursUsed));
    uint32_t stored = (bytes_available - kBitmapInfoHeaderSize) / 4;
    if (entries > stored) entries = stored;
    if (entries > 256) entries = 256;
    struct {
        WORD version, count;
        PALETTEENTRY entries[256];
    } palette = {0x300, 256, {}};
    const uint8_t* table = info_header + kBitmapInfoHeaderSize;
    for (uint32_t i = 0; i < 256; ++i) {
        PALETTEENTRY& e = palette.entries[i];
        if (i < entries) {
            e.peRed = table[4 * i + 2];
            e.peGreen = table[4 * i + 1];
            e.peBlue = table[4 * i];
        }
        e.peFlags = i < 10 || i >= 246 ? PC_NOCOLLAPSE : 0;
    }
    // On a 256-colour display the first and last ten are the system's fixed
    // colours whatever the bitmap says.
    if (GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL) == 8 && (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) {
        GetSystemPaletteEntries(dc, 0, 10, palette.entries);
        GetSystemPaletteEntries(dc, 246, 10, palette.entries + 246);
    }
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&palette));
}
