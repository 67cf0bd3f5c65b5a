// The full-screen backdrop's blue gradient: the colour of each row, the
// colours one 8-row band mixes, and the 8x8 pattern that mixes them.
// Plain arithmetic without platform headers, so it is tested natively.
#pragma once
#include <cstdint>

// Blue of row y (0 = top) in a gradient `height` rows high: 255 at the top,
// falling with the square of the row to 0 at row `height`. Rows outside
// 0..height are clamped to it; a height of 0 or less gives 0. Computed in 64
// bits: 255 - y*y*255 / (height*height), truncated, for every height a
// window can have (GDI coordinates stay below 2^27; y*y*255 fits 64 bits
// up to 2^28).
uint8_t GradientBlue(int y, int height);

constexpr int kBandRows = 8;

// The 8 blues a band starting at row y0 mixes: blue j is that of row
// min(y0 + 8 * j, height).
void BandBlues(int y0, int height, uint8_t blues[kBandRows]);

// An 8x8 24-bit pattern in DIB storage order (the first 24 bytes are the
// first stored row, the bottom one of a bottom-up DIB): pixel k takes
// colours[kDither[k]], stored as blue, green, red. Colours are 0x00BBGGRR,
// the layout of a COLORREF.
constexpr int kDitherPixelBytes = 8 * 8 * 3;
void DitherPatternPixels(const uint32_t colours[kBandRows], uint8_t pixels[kDitherPixelBytes]);
