// Pictures of the package (side and background): the image of a BMP file,
// drawn at its natural size with StretchDIBits.
#pragma once
#include <windows.h>

#include <cstdint>

#include "package/setup_config.h"

struct Picture {
    const BITMAPINFO* info;  // the BITMAPINFOHEADER and its colour table
    uint32_t info_bytes;     // from the header to the end of the record
    const void* bits;
    int width, height;
};

// False for a missing record or one the drawing cannot show: the same check
// the package loader makes, so a record that was loaded always opens.
bool OpenPicture(const Body& record, Picture* picture);

// An 8-bit picture's own palette, selected in the foreground and realised
// while the picture is drawn; none for other pictures or when it cannot be
// built.
struct PictureColours {
    HPALETTE created, previous;
};
PictureColours SelectPictureColours(HDC dc, const Picture& picture);
void RestoreColours(HDC dc, const PictureColours& colours);

// Draws the picture once, its top left corner at (x, y).
void DrawPictureAt(HDC dc, const Picture& picture, int x, int y);
