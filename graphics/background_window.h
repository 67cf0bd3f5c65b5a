// The background window: the setup program's main window (class
// VelkorClass) and the wizard's parent. In full-screen mode it paints the
// package's background picture tiled, or a blue gradient, and the
// background title over it; otherwise it is only a frame around the wizard.
#pragma once
#include <windows.h>

#include <cstdint>

// Its window procedure. Reads the main dialog from g_state and the pictures,
// title and setup flags from g_config; closing it from its system menu ends
// the running page with Cancel and leaves the window open.
LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// A logical palette of 256 entries from an 8-bit bitmap: info_header points
// at its BITMAPINFOHEADER, followed by the colour table; no byte at or past
// info_header + bytes_available is read. Entries the table does not hold
// (biClrUsed below 256, or a table cut short) are black. On an 8-bit palette
// device the first and last 10 entries are the system's own colours. None
// for other bit counts or when it cannot be made; the caller deletes it.
HPALETTE CreateBitmapPalette(HDC dc, const uint8_t* info_header, uint32_t bytes_available);
