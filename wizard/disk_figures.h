// The arithmetic of the destination page's disk figures, in 64 bits: drives
// hold terabytes and products may exceed 4 GB, so 32-bit sums would wrap and
// show nonsense or refuse an install for want of space. Plain logic, no
// platform calls.
#pragma once
#include <cstdint>

// Free space that cannot be determined.
constexpr uint64_t kUnknownFreeSpace = ~uint64_t(0);

// A file size rounded up to a multiple of unit (a cluster: any size), in 64
// bits since the result can pass 4 GB; 32-bit division only, so the setup
// program needs no 64-bit division helpers.
inline uint64_t RoundUp(uint32_t x, uint32_t unit) {
    return unit ? uint64_t(x / unit + (x % unit != 0)) * unit : x;
}

// Megabytes shown for a byte count and for kilobytes, rounded up, capped to
// what a 32-bit figure can show.
inline uint32_t MegabytesOfBytes(uint64_t bytes) {
    uint64_t mb = (bytes >> 20) + ((bytes & 0xFFFFF) != 0);
    return mb > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(mb);
}
inline uint32_t MegabytesOfKilobytes(uint64_t kilobytes) {
    if (kilobytes == kUnknownFreeSpace) return 0;
    uint64_t mb = (kilobytes >> 10) + ((kilobytes & 0x3FF) != 0);
    return mb > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(mb);
}

// Whether the drive has room: the growth of every file plus the largest
// file once more (the temporary copy written beside a target before it
// replaces it), in kilobytes, below the free kilobytes. Unknown free space
// always has room.
inline bool HasRoom(uint64_t largest, uint64_t needed, uint64_t free_kilobytes) {
    if (free_kilobytes == kUnknownFreeSpace) return true;
    return (largest + needed) >> 10 < free_kilobytes;
}
