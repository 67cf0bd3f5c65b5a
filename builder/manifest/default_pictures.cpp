#include "builder/manifest/default_pictures.h"

#include <algorithm>
#include <cmath>

#include "package/package_format.h"

namespace {

// Colour table entries the picture may use: those a 256-colour display
// leaves to the picture.
constexpr int kFirstEntry = 10, kLastEntry = 245, kLevels = kLastEntry - kFirstEntry + 1;

struct Rgb {
    double r, g, b;
};

// The ramp the picture's brightness runs along: night blue, royal blue,
// sky blue, a pale blue highlight.
Rgb RampColour(double t) {
    static const Rgb kStops[] = {{8, 20, 56}, {22, 70, 160}, {64, 146, 224}, {214, 236, 252}};
    static const double kAt[] = {0.0, 0.45, 0.8, 1.0};
    int i = 0;
    while (i < 2 && t > kAt[i + 1]) ++i;
    double u = std::clamp((t - kAt[i]) / (kAt[i + 1] - kAt[i]), 0.0, 1.0);
    const Rgb &a = kStops[i], &b = kStops[i + 1];
    return {a.r + (b.r - a.r) * u, a.g + (b.g - a.g) * u, a.b + (b.b - a.b) * u};
}

// A circle's outline `width` pixels wide, as how much of point (x, y) it
// covers, with a one-pixel soft edge.
double Ring(double x, double y, double cx, double cy, double radius, double width) {
    double d = std::fabs(std::hypot(x - cx, y - cy) - radius);
    return std::clamp(width / 2 + 0.5 - d, 0.0, 1.0);
}

double Disc(double x, double y, double cx, double cy, double radius) {
    return std::clamp(radius + 0.5 - std::hypot(x - cx, y - cy), 0.0, 1.0);
}

// Brightness at a point, 0 to 1: darker towards the bottom, two faint discs
// of light and three arcs around a centre far below left.
double Brightness(double x, double y) {
    constexpr double w = kSidePictureWidth, h = kSidePictureHeight;
    double v = 0.50 - 0.38 * (y / h);
    v += 0.06 * Disc(x, y, 1.05 * w, 0.30 * h, 0.62 * w);
    v += 0.05 * Disc(x, y, -0.10 * w, 0.80 * h, 0.70 * w);
    const double cx = -0.9 * w, cy = 1.25 * h;
    v += 0.34 * Ring(x, y, cx, cy, 1.02 * h, 2.0);
    v += 0.18 * Ring(x, y, cx, cy, 1.08 * h, 1.2);
    v += 0.12 * Ring(x, y, cx, cy, 0.93 * h, 1.0);
    return std::clamp(v, 0.0, 1.0);
}

}  // namespace

std::vector<uint8_t> DefaultSidePicture() {
    constexpr uint32_t colours = kLastEntry + 1;  // entries 246 to 255 are left out
    constexpr uint32_t row = (kSidePictureWidth + 3) / 4 * 4;
    constexpr uint32_t bits_at = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + 4 * colours;
    std::vector<uint8_t> out(bits_at + row * kSidePictureHeight, 0);
    // BITMAPFILEHEADER: "BM", the file's size, the offset of the bits.
    WriteU16(&out[0], 0x4D42);
    WriteU32(&out[2], uint32_t(out.size()));
    WriteU32(&out[10], bits_at);
    // BITMAPINFOHEADER: 8 bits, uncompressed, bottom-up, 72 dpi.
    uint8_t* info = &out[kBitmapFileHeaderSize];
    WriteU32(info + kBitmapHeaderSize, kBitmapInfoHeaderSize);
    WriteU32(info + kBitmapWidth, kSidePictureWidth);
    WriteU32(info + kBitmapHeight, kSidePictureHeight);
    WriteU16(info + kBitmapPlanes, 1);
    WriteU16(info + kBitmapBitCount, 8);
    WriteU32(info + 20, row * kSidePictureHeight);  // biSizeImage
    WriteU32(info + 24, 2835);                      // biXPelsPerMeter
    WriteU32(info + 28, 2835);                      // biYPelsPerMeter
    WriteU32(info + kBitmapColoursUsed, colours);
    uint8_t* table = info + kBitmapInfoHeaderSize;
    for (uint32_t i = kFirstEntry; i < colours; ++i) {  // entries below kFirstEntry stay black
        Rgb c = RampColour(double(i - kFirstEntry) / (kLevels - 1));
        table[4 * i] = uint8_t(std::lround(c.b));
        table[4 * i + 1] = uint8_t(std::lround(c.g));
        table[4 * i + 2] = uint8_t(std::lround(c.r));
    }
    // Each pixel averages 4 x 4 samples, so that edges are smooth.
    for (int y = 0; y < kSidePictureHeight; ++y) {
        uint8_t* pixel = &out[bits_at + row * uint32_t(kSidePictureHeight - 1 - y)];  // bottom-up
        for (int x = 0; x < kSidePictureWidth; ++x) {
            double sum = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) sum += Brightness(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            pixel[x] = uint8_t(kFirstEntry + std::lround(sum / 16 * (kLevels - 1)));
        }
    }
    return out;
}

std::vector<uint8_t> BackgroundDescription(const TitleLook& look) {
    // COLORREF keeps red in its lowest byte.
    auto colour_ref = [](uint32_t rgb) { return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16; };
    std::vector<uint8_t> d(kDescriptionSize, 0);
    WriteU32(&d[kDescriptionShadowColour], colour_ref(look.shadow));
    WriteU32(&d[kDescriptionTextColour], colour_ref(look.colour));
    uint8_t* font = &d[kDescriptionFont];  // LOGFONTA
    WriteU32(font, uint32_t(-look.height));  // lfHeight: negative, the character height
    WriteU32(font + 16, uint32_t(look.weight));
    font[20] = look.italic ? 1 : 0;
    font[23] = 1;     // lfCharSet: DEFAULT_CHARSET
    font[24] = 4;     // lfOutPrecision: OUT_TT_PRECIS
    font[26] = 4;     // lfQuality: ANTIALIASED_QUALITY
    font[27] = 0x22;  // lfPitchAndFamily: VARIABLE_PITCH | FF_SWISS
    std::copy(look.face.begin(), look.face.end(), d.begin() + kDescriptionFaceName);
    return d;
}
