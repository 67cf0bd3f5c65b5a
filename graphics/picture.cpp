#include "graphics/picture.h"

#include "graphics/background_window.h"
#include "package/package_format.h"
#include "package/package_validate.h"

bool OpenPicture(const Body& record, Picture* picture) {
    // Refuses, besides damage, top-down and empty bitmaps, which would never
    // finish tiling, and compressed ones.
    if (!ValidatePicture(record.data, record.size)) return false;
    const uint8_t* info = record.data + kBitmapFileHeaderSize;
    uint32_t table = 4 * ColourTableEntries(ReadU16(info + kBitmapBitCount), ReadU32(info + kBitmapColoursUsed));
    picture->info = reinterpret_cast<const BITMAPINFO*>(info);
    picture->info_bytes = record.size - kBitmapFileHeaderSize;
    picture->bits = info + kBitmapInfoHeaderSize + table;  // the file header's offset field is not used
    picture->width = int(ReadU32(info + kBitmapWidth));
    picture->height = int(ReadU32(info + kBitmapHeight));
    return true;
}

PictureColours SelectPictureColours(HDC dc, const Picture& picture) {
    PictureColours c = {CreateBitmapPalette(dc, reinterpret_cast<const uint8_t*>(picture.info), picture.info_bytes),
                        nullptr};
    if (c.created) {
        c.previous = SelectPalette(dc, c.created, FALSE);
        RealizePalette(dc);
    }
    return c;
}

void RestoreColours(HDC dc, const PictureColours& colours) {
    if (!colours.created) return;
    SelectPalette(dc, colours.previous, FALSE);
    DeleteObject(colours.created);
}

void DrawPictureAt(HDC dc, const Picture& picture, int x, int y) {
    StretchDIBits(dc, x, y, picture.width, picture.height, 0, 0, picture.width, picture.height, picture.bits,
                  picture.info, DIB_RGB_COLORS, SRCCOPY);
}
