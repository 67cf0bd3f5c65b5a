// The builder's default look for what the manifest leaves out: the side
// picture beside the wizard's pages and the full-screen title's font and
// colours. Plain C++ without platform headers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The default side picture, computed here rather than stored: a deep blue
// panel, lighter at the top, crossed by soft arcs of light. An 8-bit BMP file
// image of kSidePictureWidth x kSidePictureHeight pixels, which is control
// 1011 of the default main dialog (82 x 148 dialog units) in the default
// dialog font, 8-point MS Shell Dlg. It uses only colour table entries 10 to
// 245, so that on a 256-colour display, where the first and last ten
// entries become the system's fixed colours, it shows unchanged.
constexpr int kSidePictureWidth = 123, kSidePictureHeight = 241;
std::vector<uint8_t> DefaultSidePicture();

// How the full-screen title looks: by default 40-pixel Arial bold italic,
// white, with a shadow of a blue so dark it reads as black.
struct TitleLook {
    std::string face = "Arial";
    int height = 40;  // character height in pixels
    int weight = 700;
    bool italic = true;
    uint32_t colour = 0xFFFFFF;  // 0xRRGGBB
    uint32_t shadow = 0x000A20;  // 0xRRGGBB
};

// The background description record for that look: shadow and text colour
// as COLORREFs, then a LOGFONTA asking for a smoothed outline font, in any
// code page, and a sans face should the named one be missing.
std::vector<uint8_t> BackgroundDescription(const TitleLook& look);
