#include "graphics/progress_geometry.h"

#include <cstdint>

BarBlock ProgressBlock(int k, int cy) {
    int s = cy / 2;
    int left = 1 + k * (s + 2);
    return {left, 2, left + s, cy - 2};
}

int ProgressBlockCount(int cx, int cy, unsigned percent) {
    if (percent > 100) percent = 100;
    if (cx <= 0 || cy < 0) return 1;  // no room; a negative height would not advance
    int64_t filled = int64_t(percent) * cx / 100;
    int count = 1;
    for (;;) {
        int64_t right = ProgressBlock(count, cy).right;
        if (right >= cx || right >= filled) return count;
        ++count;
    }
}
