// Where the progress bar's blocks and the side picture go: plain arithmetic
// without platform headers, so it is tested natively.
#pragma once

// A rectangle: left and top inclusive, right and bottom exclusive.
struct BarBlock {
    int left, top, right, bottom;
};

// Block k of a bar cy pixels high: s = cy / 2 pixels wide with 2-pixel gaps,
// from x = 1 + k * (s + 2), and from row 2 to row cy - 2.
BarBlock ProgressBlock(int k, int cy);

// How many blocks a cx x cy bar shows at `percent` (above 100 counts as
// 100): block 0 always, then each next one while its right edge is left of
// both cx and percent * cx / 100.
int ProgressBlockCount(int cx, int cy, unsigned percent);

// Where an image `image` pixels long starts when centred on a span of
// `extent` pixels from `origin`; negative when the image is the longer.
inline int CentredStart(int origin, int extent, int image) { return origin + (extent - image) / 2; }
