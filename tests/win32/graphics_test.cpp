// The setup program's drawing, checked pixel by pixel: the background
// window's gradient, tiles and title, the side picture, the progress bar,
// the dialog font and the palette of 8-bit pictures. Windows need a display;
// without one (Wine with no X server) the tests skip themselves.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/progress.h"
#include "graphics/background_window.h"
#include "graphics/dialog_graphics.h"
#include "graphics/gradient.h"
#include "graphics/progress_bar.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "tests/common/record_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using PixelColour = std::function<COLORREF(int x, int y)>;

constexpr COLORREF kMarker = RGB(1, 2, 3);  // what nothing draws

Body BodyOf(Bytes& bytes) { return {bytes.data(), uint32_t(bytes.size())}; }

// A picture record whose pixel (x, y), counted from the top left, has the
// given colour: 24-bit, or 8-bit with a colour table of `colours` entries,
// pixel (x, y) then showing entry (x + 2y) % colours.
Bytes Picture24(int width, int height, const PixelColour& colour) {
    RecordWriter w;
    w.U16(0x4D42).Fill(12);
    w.U32(kBitmapInfoHeaderSize).U32(uint32_t(width)).U32(uint32_t(height)).U16(1).U16(24).Fill(24);
    for (int row = height - 1; row >= 0; --row) {  // bottom-up
        for (int x = 0; x < width; ++x) {
            COLORREF c = colour(x, row);
            w.U8(GetBValue(c)).U8(GetGValue(c)).U8(GetRValue(c));
        }
        w.Fill((4 - 3 * width % 4) % 4);
    }
    return w.bytes;
}

COLORREF TableColour(uint32_t i) { return RGB(5 * i, 250 - 5 * i, 0x44); }

Bytes Picture8(int width, int height, uint32_t colours) {
    RecordWriter w;
    w.U16(0x4D42).Fill(12);
    w.U32(kBitmapInfoHeaderSize).U32(uint32_t(width)).U32(uint32_t(height)).U16(1).U16(8);
    w.U32(0).U32(0).U32(0).U32(0).U32(colours).U32(0);
    for (uint32_t i = 0; i < colours; ++i)
        w.U8(GetBValue(TableColour(i))).U8(GetGValue(TableColour(i))).U8(GetRValue(TableColour(i))).U8(0);
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x) w.U8(uint8_t((x + 2 * row) % colours));
        w.Fill((4 - width % 4) % 4);
    }
    return w.bytes;
}

// A 32-bit memory canvas filled with the marker colour.
struct Canvas {
    int width, height;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    Canvas(int w, int h) : width(w), height(h) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous = SelectObject(dc, bitmap);
        HBRUSH marker = CreateSolidBrush(kMarker);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, marker);
        DeleteObject(marker);
    }
    ~Canvas() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

// Compares every pixel of the canvas with the expected colours and reports
// the first few that differ.
void ExpectPixels(const Canvas& canvas, const PixelColour& expected, const std::string& what) {
    int wrong = 0;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) {
            COLORREF got = canvas.At(x, y), want = expected(x, y);
            if (got != want && ++wrong <= 5)
                ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << std::hex << got << ", expected "
                              << want;
        }
    EXPECT_EQ(wrong, 0) << what;
}

// A plain window with child controls at given pixel rectangles; never shown
// unless asked.
struct TestDialog {
    HWND hwnd;
    TestDialog(int width, int height, const char* window_class = "STATIC", DWORD style = WS_POPUP) {
        hwnd = CreateWindowExA(0, window_class, "", style, 0, 0, width, height, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    ~TestDialog() {
        if (hwnd) DestroyWindow(hwnd);
    }
    HWND Add(int id, int x, int y, int cx, int cy, DWORD style = 0) {
        return CreateWindowExA(0, "STATIC", "", WS_CHILD | style, x, y, cx, cy, hwnd,
                               reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleA(nullptr), nullptr);
    }
};

// Paints the window afresh over the marker colour, then copies what it
// shows into the canvas.
void PaintAndCapture(HWND window, Canvas& canvas) {
    HDC dc = GetDC(window);
    HBRUSH marker = CreateSolidBrush(kMarker);
    RECT all = {0, 0, canvas.width, canvas.height};
    FillRect(dc, &all, marker);
    DeleteObject(marker);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    BitBlt(canvas.dc, 0, 0, canvas.width, canvas.height, dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
}

void RegisterTestClass(const char* name, WNDPROC procedure) {
    WNDCLASSA c = {};
    c.lpfnWndProc = procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));  // erasing draws nothing
    c.lpszClassName = name;
    RegisterClassA(&c);
}

bool InRect(int x, int y, int left, int top, int right, int bottom) {
    return x >= left && x < right && y >= top && y < bottom;
}

// ---------------------------------------------------------------- background

// The background window, full screen size of 320 x 240, over a
// configuration that the test fills in and clears again.
class BackgroundWindowTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320, kHeight = 240;
    HWND window = nullptr;

    void SetUp() override {
        RegisterTestClass("KilnBackgroundTest", BackgroundWindowProc);
        g_config.setup_flags = kSetupFullScreen;
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        MSG m;  // the quit message that WM_DESTROY posts
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {}
        g_config.setup_flags = 0;
        g_config.background_picture = g_config.background_title = g_config.background_description = {nullptr, 0};
        g_state.page_result = 0;
    }
    // Creates the window; false without a display.
    bool Show() {
        window = CreateWindowExA(0, "KilnBackgroundTest", "", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        return window != nullptr;
    }
};

TEST_F(BackgroundWindowTest, GradientBandsMixEightRowsThroughTheDitherPatternAndTitleHasItsShadow) {
    Bytes title = {'K', 'i', 'l', 'n', 0};
    constexpr COLORREF kShadow = RGB(255, 0, 0), kText = RGB(255, 255, 0);
    Bytes description = BackgroundDescriptionBody(kShadow, kText, "Tahoma");
    WriteU32(&description[kDescriptionFont], uint32_t(-40));
    description[kDescriptionFont + 26] = NONANTIALIASED_QUALITY;  // lfQuality: pure text colours
    g_config.background_title = BodyOf(title);
    g_config.background_description = BodyOf(description);
    if (!Show()) GTEST_SKIP() << "no display: windows cannot be created here";
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    if (depth < 24) GTEST_SKIP() << "display of " << depth << " bits: colours are not exact";
    Canvas canvas(kWidth, kHeight);
    PaintAndCapture(window, canvas);

    // Right of the title, every pixel is the band's colour that the pattern
    // names. The pattern's first stored row is its bottom one: pattern row
    // 7 - y % 8 lies at row y.
    PixelColour band_colour = [](int x, int y) {
        uint8_t blues[kBandRows];
        BandBlues(y - y % kBandRows, kHeight, blues);
        uint32_t colours[kBandRows];
        for (int j = 0; j < kBandRows; ++j) colours[j] = RGB(0, 0, blues[j]);
        uint8_t pattern[kDitherPixelBytes];
        DitherPatternPixels(colours, pattern);
        const uint8_t* p = pattern + 24 * (7 - y % 8) + 3 * (x % 8);
        return RGB(p[2], p[1], p[0]);
    };
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 200; x < kWidth; ++x)
            if (canvas.At(x, y) != band_colour(x, y) && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << canvas.At(x, y);
    EXPECT_EQ(wrong, 0);
    // Full blue at the top, nearly black at the bottom: the bands' means.
    auto mean_blue = [&](int y0) {
        int sum = 0;
        for (int y = y0; y < y0 + 8; ++y)
            for (int x = 200; x < 208; ++x) sum += GetBValue(canvas.At(x, y));
        return sum / 64;
    };
    EXPECT_GT(mean_blue(0), 245);
    EXPECT_LT(mean_blue(kHeight - 8), 5);

    // The text at (10, 10), its shadow 4 pixels right and down; both drawn.
    int text = 0, shadow = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            COLORREF c = canvas.At(x, y);
            if (c == kText) {
                ++text;
                EXPECT_TRUE(x >= 10 && y >= 10) << x << "," << y;
            } else if (c == kShadow) {
                ++shadow;
                EXPECT_TRUE(x >= 14 && y >= 14) << x << "," << y;
            }
        }
    EXPECT_GT(text, 50);
    EXPECT_GT(shadow, 20);
}

TEST_F(BackgroundWindowTest, PictureIsTiledFromTheTopLeftCornerAtItsNaturalSize) {
    PixelColour colour = [](int x, int y) { return RGB(40 * x + 10, 60 * y + 10, 0x77); };
    Bytes picture = Picture24(5, 3, colour);
    Bytes empty_title = {0};  // an empty title draws nothing
    Bytes description = BackgroundDescriptionBody(0, 0xFFFFFF, "Tahoma");
    g_config.background_picture = BodyOf(picture);
    g_config.background_title = BodyOf(empty_title);
    g_config.background_description = BodyOf(description);
    if (!Show()) GTEST_SKIP() << "no display: windows cannot be created here";
    Canvas canvas(kWidth, kHeight);
    PaintAndCapture(window, canvas);
    ExpectPixels(canvas, [&](int x, int y) { return colour(x % 5, y % 3); }, "tiles");
}

TEST_F(BackgroundWindowTest, FramedWindowPaintsNothingAndClosingItCancelsThePage) {
    g_config.setup_flags = 0;
    if (!Show()) GTEST_SKIP() << "no display: windows cannot be created here";
    Canvas canvas(kWidth, kHeight);
    PaintAndCapture(window, canvas);
    EXPECT_EQ(canvas.At(0, 0), kMarker);
    EXPECT_EQ(canvas.At(kWidth / 2, kHeight / 2), kMarker);

    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0), 0);
    EXPECT_EQ(g_state.page_result, 2);
    EXPECT_TRUE(IsWindow(window));
}

// ------------------------------------------------------------- side picture

TEST(SidePicture, CentredInItsControlClippedToItAndFramedOnItsEdge) {
    TestDialog dialog(200, 150);
    if (!dialog.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    dialog.Add(1011, 20, 10, 40, 30);  // control: x 20..59, y 10..39
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);

    // Larger than the control: starts at (10, 0); its frame lies outside
    // the control and is cut away with the rest.
    PixelColour colour = [](int x, int y) { return RGB(4 * x, 4 * y, 200); };
    Bytes large = Picture24(60, 50, colour);
    {
        Canvas canvas(200, 150);
        DrawSidePicture(dialog.hwnd, canvas.dc, 1011, BodyOf(large));
        ExpectPixels(canvas, [&](int x, int y) {
            return InRect(x, y, 20, 10, 60, 40) ? colour(x - 10, y) : kMarker;
        }, "larger picture");
    }

    // Smaller, 8-bit with 40 colours: at (30, 20), 20 x 10, with the frame on
    // its outermost pixels and nothing else of the control drawn.
    Bytes small = Picture8(20, 10, 40);
    {
        Canvas canvas(200, 150);
        DrawSidePicture(dialog.hwnd, canvas.dc, 1011, BodyOf(small));
        ExpectPixels(canvas, [&](int x, int y) {
            if (!InRect(x, y, 30, 20, 50, 30)) return kMarker;
            if (x == 49 || y == 29) return highlight;
            if (x == 30 || y == 20) return shadow;
            return TableColour(uint32_t((x - 30) + 2 * (y - 20)) % 40);
        }, "smaller picture");
    }

    // No such control: nothing drawn and no clipping left behind.
    Canvas canvas(200, 150);
    DrawSidePicture(dialog.hwnd, canvas.dc, 1099, BodyOf(small));
    RECT clip;
    EXPECT_EQ(GetClipBox(canvas.dc, &clip), SIMPLEREGION);
    EXPECT_EQ(clip.right - clip.left, 200);
    EXPECT_EQ(canvas.At(35, 25), kMarker);
}

// The main dialog's paint, in a window whose WM_PAINT is that paint.
LRESULT CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PaintMainDialog(window);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST(MainDialogPaint, FilledPanelFrameAndTheSidePictureWhenThePackageHasOne) {
    RegisterTestClass("KilnMainDialogTest", MainDialogProc);
    TestDialog dialog(200, 100, "KilnMainDialogTest", WS_POPUP | WS_VISIBLE);
    if (!dialog.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    dialog.Add(1011, 10, 10, 30, 20);
    dialog.Add(1012, 50, 10, 100, 40);
    const COLORREF face = GetSysColor(COLOR_BTNFACE), shadow = GetSysColor(COLOR_BTNSHADOW),
                   highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    PixelColour colour = [](int x, int y) { return RGB(8 * x, 8 * y, 99); };
    Bytes picture = Picture24(30, 20, colour);
    for (bool with_picture : {true, false}) {
        g_config.side_picture = with_picture ? BodyOf(picture) : Body{nullptr, 0};
        Canvas canvas(200, 100);
        PaintAndCapture(dialog.hwnd, canvas);
        ExpectPixels(canvas, [&](int x, int y) {
            if (InRect(x, y, 50, 10, 150, 50)) {
                if (x == 149 || y == 49) return highlight;
                if (x == 50 || y == 10) return shadow;
                return face;
            }
            if (with_picture && InRect(x, y, 10, 10, 40, 30)) {
                if (x == 39 || y == 29) return highlight;
                if (x == 10 || y == 10) return shadow;
                return colour(x - 10, y - 10);
            }
            return kMarker;
        }, with_picture ? "with a side picture" : "without");
    }
    g_config.side_picture = {nullptr, 0};
}

// ------------------------------------------------------------- progress bar

TEST(ProgressBar, BlocksInASunkenTroughAtTheControlsPlaceWithThePercentageBeside) {
    TestDialog dialog(300, 100);
    if (!dialog.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    dialog.Add(1009, 30, 40, 200, 20);
    HWND percent_text = dialog.Add(1010, 240, 44, 40, 12);
    const COLORREF face = GetSysColor(COLOR_BTNFACE), shadow = GetSysColor(COLOR_BTNSHADOW),
                   highlight = GetSysColor(COLOR_BTNHIGHLIGHT), caption = GetSysColor(COLOR_ACTIVECAPTION);
    struct Case {
        int percent;
        int blocks;  // 10 pixels wide, from x = 1, 13, 25, ...
        const char* text;
    } cases[] = {{0, 1, "0%"}, {42, 7, "42%"}, {100, 16, "100%"}};
    for (const Case& c : cases) {
        SetProgress(c.percent);
        Canvas canvas(300, 100);
        DrawProgressBar(dialog.hwnd, canvas.dc);
        ExpectPixels(canvas, [&](int x, int y) {
            if (!InRect(x, y, 30, 40, 230, 60)) return kMarker;
            x -= 30, y -= 40;
            if (x == 199 || y == 19) return highlight;
            if (x == 0 || y == 0) return shadow;
            bool block = y >= 2 && y < 18 && (x - 1) % 12 < 10 && (x - 1) / 12 < c.blocks;
            return block ? caption : face;
        }, std::to_string(c.percent) + "%");
        char text[16] = "";
        GetWindowTextA(percent_text, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }

    // Once the progress window is set, every report redraws it; values
    // above 100, and negative ones taken unsigned, show as 100%. The
    // engine's observer still hears each report.
    static int heard;
    heard = -1;
    SetProgressObserver([](int percent, const char*) { heard = percent; });
    SetProgressWindow(dialog.hwnd);
    char text[16];
    for (int value : {250, -3}) {
        SetProgress(7);
        SetProgress(value);
        GetWindowTextA(percent_text, text, sizeof text);
        EXPECT_STREQ(text, "100%") << value;
        EXPECT_EQ(heard, 100);
    }
    SetProgressWindow(nullptr);
    SetProgress(5);
    GetWindowTextA(percent_text, text, sizeof text);
    EXPECT_STREQ(text, "100%");  // no longer redrawn
    SetProgressObserver(nullptr);
    SetProgress(0);
}

// ------------------------------------------------------------ dialog graphics

TEST(DialogGraphics, FaceBrushAndARegularWeightCopyOfTheDialogsFontForEveryChild) {
    CreateDialogBrush();
    LOGBRUSH brush = {};
    ASSERT_TRUE(GetObjectA(DialogBrush(), sizeof brush, &brush));
    EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE));

    TestDialog dialog(200, 100);
    if (!dialog.hwnd) GTEST_SKIP() << "no display: windows cannot be created here";
    HWND first = dialog.Add(1000, 0, 0, 50, 10), second = dialog.Add(1001, 0, 20, 50, 10);
    // Without a font of its own the window has none to copy: nothing changes.
    ApplyDialogFont(dialog.hwnd);
    EXPECT_EQ(SendMessageA(first, WM_GETFONT, 0, 0), 0);

    HFONT bold = CreateFontA(-13, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
    SendMessageA(dialog.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
    ApplyDialogFont(dialog.hwnd);
    LOGFONTA made = {}, original = {};
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(first, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(second, WM_GETFONT, 0, 0)), font);
    GetObjectA(font, sizeof made, &made);
    GetObjectA(bold, sizeof original, &original);
    EXPECT_EQ(made.lfWeight, FW_NORMAL);
    EXPECT_EQ(made.lfHeight, original.lfHeight);
    EXPECT_STREQ(made.lfFaceName, original.lfFaceName);

    // Made once: a later window gets the same font, whatever its own.
    TestDialog later(200, 100);
    HWND child = later.Add(1000, 0, 0, 50, 10);
    ApplyDialogFont(later.hwnd);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)), font);

    DeleteDialogGraphics();
    EXPECT_EQ(DialogBrush(), nullptr);
    DeleteObject(bold);
}

// ------------------------------------------------------------------ palette

// A buffer that ends where an inaccessible page begins: reading one byte
// past the data faults.
struct GuardedBytes {
    uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT, PAGE_READWRITE));
    uint8_t* data = nullptr;
    explicit GuardedBytes(const Bytes& bytes) {
        DWORD old;
        VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &old);
        data = base + 4096 - bytes.size();
        std::memcpy(data, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(base, 0, MEM_RELEASE); }
};

TEST(BitmapPalette, TakesTheTableItHasAndBlackForTheRestWithoutReadingPastTheRecord) {
    HDC screen = GetDC(nullptr);
    struct Case {
        const char* what;
        uint32_t colours_used;
        uint32_t stored;  // table entries in the record
    } cases[] = {
        {"3 colours used", 3, 3},
        {"full table cut short", 0, 5},
        {"no room for a table", 0, 0},
    };
    for (const Case& c : cases) {
        Bytes header = Picture8(1, 1, 1);  // for the header
        header.resize(kBitmapFileHeaderSize + kBitmapInfoHeaderSize);
        WriteU32(&header[kBitmapFileHeaderSize + kBitmapColoursUsed], c.colours_used);
        for (uint32_t i = 0; i < c.stored; ++i)
            for (uint8_t b : {GetBValue(TableColour(i)), GetGValue(TableColour(i)), GetRValue(TableColour(i)), uint8_t(0)})
                header.push_back(b);
        Bytes info(header.begin() + kBitmapFileHeaderSize, header.end());
        GuardedBytes guarded(info);
        HPALETTE palette = CreateBitmapPalette(screen, guarded.data, uint32_t(info.size()));
        ASSERT_NE(palette, nullptr) << c.what;
        PALETTEENTRY entries[256];
        ASSERT_EQ(GetPaletteEntries(palette, 0, 256, entries), 256u) << c.what;
        for (uint32_t i = 0; i < 256; ++i) {
            COLORREF want = i < c.stored ? TableColour(i) : RGB(0, 0, 0);
            EXPECT_EQ(RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue), want) << c.what << ", entry " << i;
        }
        DeleteObject(palette);
    }
    Bytes not_8_bit = Picture24(1, 1, [](int, int) { return RGB(0, 0, 0); });
    EXPECT_EQ(CreateBitmapPalette(screen, not_8_bit.data() + kBitmapFileHeaderSize, kBitmapInfoHeaderSize), nullptr);
    Bytes short_header = Picture8(1, 1, 1);
    EXPECT_EQ(CreateBitmapPalette(screen, short_header.data() + kBitmapFileHeaderSize, 39), nullptr);
    ReleaseDC(nullptr, screen);
}

}  // namespace
