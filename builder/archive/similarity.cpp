#include "builder/archive/similarity.h"

#include <algorithm>
#include <cstring>

namespace {

// The 8 bytes at p as a little-endian number, whatever the machine: the
// sketch of a file is the same wherever it is built.
uint64_t LoadRun(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
#else
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
#endif
}

// One multiply and a fold: enough mixing for ranking by the smallest
// hashes, and cheap enough to run over every byte of a product.
uint64_t Mix(uint64_t x) {
    x *= 0x9E3779B97F4A7C15ull;
    return x ^ (x >> 29);
}

}  // namespace

Sketch SketchOf(const uint8_t* data, size_t size) {
    Sketch s;
    if (size < 8) return s;
    // A max-heap of the smallest hashes so far: most runs are turned away by
    // one comparison with its top.
    std::vector<uint64_t>& heap = s.smallest;
    heap.reserve(kSketchSize + 1);
    uint64_t top = ~uint64_t(0), previous = 0;
    for (size_t i = 0; i + 8 <= size; ++i) {
        uint64_t h = Mix(LoadRun(data + i));
        if (heap.size() == kSketchSize && h >= top) continue;
        // A run of one byte value repeats its hash at every position.
        if ((i && h == previous) || std::find(heap.begin(), heap.end(), h) != heap.end()) {
            previous = h;
            continue;
        }
        previous = h;
        heap.push_back(h);
        std::push_heap(heap.begin(), heap.end());
        if (heap.size() > kSketchSize) {
            std::pop_heap(heap.begin(), heap.end());
            heap.pop_back();
        }
        if (heap.size() == kSketchSize) top = heap.front();
    }
    std::sort(heap.begin(), heap.end());
    // Fewer than kSketchSize distinct runs: all of them are here.
    s.runs = heap.size() < kSketchSize ? heap.size() : uint64_t(double(kSketchSize - 1) * 18446744073709551616.0 / double(top));
    return s;
}

double Containment(const Sketch& target, const Sketch& base) {
    if (!target.runs || !base.runs) return 0;
    // The smallest hashes of the two files together, and how many of them
    // both files hold: the share of runs they have in common (Jaccard).
    const std::vector<uint64_t>& a = target.smallest;
    const std::vector<uint64_t>& b = base.smallest;
    size_t i = 0, j = 0, taken = 0, both = 0;
    while (taken < kSketchSize && (i < a.size() || j < b.size())) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++both, ++i, ++j;
        } else if (j == b.size() || (i < a.size() && a[i] < b[j])) {
            ++i;
        } else {
            ++j;
        }
        ++taken;
    }
    double jaccard = double(both) / double(taken);
    double shared = jaccard * double(target.runs + base.runs) / (1 + jaccard);
    return std::min(1.0, shared / double(target.runs));
}
