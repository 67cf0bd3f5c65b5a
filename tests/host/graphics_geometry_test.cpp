// The arithmetic behind the background gradient, the progress bar and the
// side picture's place.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/gradient.h"
#include "graphics/progress_geometry.h"

namespace {

// ------------------------------------------------------------------ gradient

// 255 - y*y*255 / (height*height) in 32-bit signed arithmetic: right as long
// as nothing passes 2^31.
int Gradient32(int32_t y, int32_t height) { return 255 - y * y * 255 / (height * height); }

TEST(Gradient, MatchesThe32BitFormulaWhereThatDoesNotOverflow) {
    for (int height : {1, 2, 7, 8, 480, 600, 768, 1080, 2901})
        for (int y = 0; y <= height; ++y) ASSERT_EQ(GradientBlue(y, height), Gradient32(y, height)) << y << "/" << height;
}

TEST(Gradient, TallScreensFallWithTheSquareOfTheRowWithoutWrapping) {
    // From row 2,902 on y*y*255 no longer fits 32 bits.
    constexpr int height = 4000;
    EXPECT_EQ(GradientBlue(0, height), 255);
    EXPECT_EQ(GradientBlue(2000, height), 255 - 63);   // 4,000,000 * 255 / 16,000,000 = 63.75
    EXPECT_EQ(GradientBlue(3000, height), 255 - 143);  // 143.4375
    EXPECT_EQ(GradientBlue(3999, height), 255 - 254);  // 254.87...
    EXPECT_EQ(GradientBlue(height, height), 0);
    int previous = 256;
    for (int y = 0; y <= height; ++y) {
        ASSERT_LE(GradientBlue(y, height), previous) << y;
        previous = GradientBlue(y, height);
    }
    // Even heights whose square passes 2^31 give the same shape.
    EXPECT_EQ(GradientBlue(50000, 100000), 255 - 63);
}

TEST(Gradient, RowsOutsideTheHeightAndEmptyHeightsStayInRange) {
    EXPECT_EQ(GradientBlue(-5, 100), 255);
    EXPECT_EQ(GradientBlue(101, 100), 0);
    EXPECT_EQ(GradientBlue(0, 0), 0);
}

TEST(Gradient, BandMixesRowsEightApartClampedToTheHeight) {
    uint8_t blues[kBandRows];
    BandBlues(0, 768, blues);
    for (int j = 0; j < kBandRows; ++j) EXPECT_EQ(blues[j], GradientBlue(8 * j, 768)) << j;
    EXPECT_EQ(blues[0], 255);

    // Rows 64, 72, 80, 88, 96, then 104 and beyond are clamped to row 100.
    BandBlues(64, 100, blues);
    const int rows[kBandRows] = {64, 72, 80, 88, 96, 100, 100, 100};
    for (int j = 0; j < kBandRows; ++j) EXPECT_EQ(blues[j], GradientBlue(rows[j], 100)) << j;
    EXPECT_EQ(blues[7], 0);
}

TEST(Gradient, DitherPatternIsStoredRowByRowAsBlueGreenRed) {
    // Colour j: red 0x10 + j, green 0x20 + j, blue 0x30 + j, as a COLORREF.
    uint32_t colours[kBandRows];
    for (uint32_t j = 0; j < kBandRows; ++j) colours[j] = (0x10 + j) | (0x20 + j) << 8 | (0x30 + j) << 16;
    uint8_t pixels[kDitherPixelBytes];
    DitherPatternPixels(colours, pixels);
    auto index_at = [&](int row, int column) {
        const uint8_t* p = pixels + 24 * row + 3 * column;  // 24-byte rows need no padding
        EXPECT_EQ(p[1], p[0] - 0x10);
        EXPECT_EQ(p[2], p[0] - 0x20);
        return p[0] - 0x30;
    };
    // The first stored row (the pattern's bottom row) in full, then corners
    // and a few inner pixels of later rows.
    const int first_row[8] = {0, 3, 1, 4, 2, 5, 3, 6};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(index_at(0, c), first_row[c]) << c;
    EXPECT_EQ(index_at(1, 0), 7);
    EXPECT_EQ(index_at(1, 7), 1);
    EXPECT_EQ(index_at(2, 7), 0);
    EXPECT_EQ(index_at(3, 4), 7);
    EXPECT_EQ(index_at(5, 1), 0);
    EXPECT_EQ(index_at(7, 0), 5);
    EXPECT_EQ(index_at(7, 7), 7);
    // Every colour shows in 8 of the 64 pixels: the band's mean is the mean of its rows.
    int uses[kBandRows] = {};
    for (int k = 0; k < 64; ++k) ++uses[index_at(k / 8, k % 8)];
    for (int j = 0; j < kBandRows; ++j) EXPECT_EQ(uses[j], 8) << j;
}

// ------------------------------------------------------------- progress bar

std::vector<int> BlockLefts(int cx, int cy, unsigned percent) {
    std::vector<int> lefts;
    for (int k = 0; k < ProgressBlockCount(cx, cy, percent); ++k) lefts.push_back(ProgressBlock(k, cy).left);
    return lefts;
}

TEST(ProgressBar, TwentyPixelBarHasTenPixelBlocksTwoApart) {
    for (int k = 0; k < 3; ++k) {
        BarBlock b = ProgressBlock(k, 20);
        EXPECT_EQ(b.left, 1 + 12 * k);
        EXPECT_EQ(b.right - b.left, 10);
        EXPECT_EQ(b.top, 2);
        EXPECT_EQ(b.bottom, 18);
    }
    BarBlock odd = ProgressBlock(1, 13);  // s = 6
    EXPECT_EQ(odd.left, 9);
    EXPECT_EQ(odd.right, 15);
    EXPECT_EQ(odd.bottom, 11);
}

TEST(ProgressBar, BlocksFollowThePercentageUpToTheBarsEnd) {
    struct Case {
        int cx, cy;
        unsigned percent;
        int count;
    } cases[] = {
        {200, 20, 0, 1},     // the first block shows even at 0%
        {200, 20, 5, 1},     // 10 pixels filled: block 1 ends at 23
        {200, 20, 11, 1},    // 22 pixels: block 1's right edge 23 is not left of it
        {200, 20, 12, 2},    // 24 pixels
        {200, 20, 42, 7},    // 84 pixels: blocks up to the one ending at 83
        {200, 20, 100, 16},  // the block ending at 191 is the last left of 200
        {200, 20, 250, 16},  // above 100 counts as 100
        {203, 20, 100, 16},  // the next block would end at 203: not left of the edge
        {204, 20, 100, 17},
        {0, 20, 100, 1},
        {10, 0, 100, 5},     // no height: blocks of no width, 2 apart
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressBlockCount(c.cx, c.cy, c.percent), c.count) << c.cx << "x" << c.cy << " at " << c.percent;
    EXPECT_EQ(BlockLefts(200, 20, 42), (std::vector<int>{1, 13, 25, 37, 49, 61, 73}));
}

// ------------------------------------------------------------- side picture

TEST(SidePicture, CentredWithTruncatingDivision) {
    EXPECT_EQ(CentredStart(20, 40, 20), 30);
    EXPECT_EQ(CentredStart(0, 41, 20), 10);
    EXPECT_EQ(CentredStart(20, 40, 60), 10);   // larger than the control: starts before it
    EXPECT_EQ(CentredStart(0, 40, 61), -10);   // -21 / 2 truncates toward zero
    EXPECT_EQ(CentredStart(7, 123, 123), 7);
}

}  // namespace
