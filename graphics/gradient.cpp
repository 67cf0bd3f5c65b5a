#include "graphics/gradient.h"

namespace {

// Which of the 8 colours each pattern pixel shows, in storage order: spread
// so that a band shows a fine mix of its rows' colours, not stripes.
constexpr uint8_t kDither[64] = {
    0, 3, 1, 4, 2, 5, 3, 6,
    7, 4, 6, 3, 5, 2, 4, 1,
    2, 5, 3, 6, 4, 7, 5, 0,
    1, 6, 0, 5, 7, 4, 6, 3,
    4, 7, 5, 0, 6, 1, 7, 2,
    3, 0, 2, 7, 1, 6, 0, 5,
    6, 1, 7, 2, 0, 3, 1, 4,
    5, 2, 4, 1, 3, 0, 2, 7,
};

}  // namespace

uint8_t GradientBlue(int y, int height) {
    if (height <= 0) return 0;
    if (y < 0) y = 0;
    if (y > height) y = height;
    // y*y*255 passes 2^31 from row 2,902 on. Unsigned, so that the stub
    // needs only the one 64-bit division helper it has anyway.
    uint64_t fall = uint64_t(y) * uint64_t(y) * 255 / (uint64_t(height) * uint64_t(height));
    return uint8_t(255 - fall);
}

void BandBlues(int y0, int height, uint8_t blues[kBandRows]) {
    for (int j = 0; j < kBandRows; ++j) {
        int64_t row = int64_t(y0) + kBandRows * j;
        blues[j] = GradientBlue(row < height ? int(row) : height, height);
    }
}

void DitherPatternPixels(const uint32_t colours[kBandRows], uint8_t pixels[kDitherPixelBytes]) {
    for (int k = 0; k < 64; ++k) {
        uint32_t c = colours[kDither[k]];
        pixels[3 * k] = uint8_t(c >> 16);     // blue
        pixels[3 * k + 1] = uint8_t(c >> 8);  // green
        pixels[3 * k + 2] = uint8_t(c);       // red
    }
}
