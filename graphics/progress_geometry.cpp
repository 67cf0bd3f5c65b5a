#include "graphics/progress_geometry.h"

BarBlock ProgressBlock(int k, int cy) {
    int s = cy / 2;
    int left = 1 + k * (s + 2);
    return {left, 2, left + s, cy - 2};
}

int ProgressBlockCount(int cx, int cy, unsigned percent) {
    if (percent > 100) percent = 100;
    if (cx <= 0 || cy < 0) return 1;  // no room; a negative height would not advance
    int filled = int(percent * unsigned(cx) / 100);  // at most cx
    int count = 1;
    for (;;) {
        int right = ProgressBlock(count, cy).right;
        if (right >= cx || right >= filled) return count;
        ++count;
    }
}
