// A cheap similarity sketch of a file: the smallest hashes of its 8-byte
// runs (a bottom-k MinHash). Two sketches estimate how many runs the files
// share, which is what a delta of one against the other can copy, without
// looking at the files again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct Sketch {
    std::vector<uint64_t> smallest;  // ascending, distinct, at most kSketchSize
    uint64_t runs = 0;               // distinct runs of the file, estimated
};

constexpr size_t kSketchSize = 256;

Sketch SketchOf(const uint8_t* data, size_t size);

// The share of the target's distinct runs that the base holds too, 0 to 1.
double Containment(const Sketch& target, const Sketch& base);
