#include "engine/checksum.h"

namespace {
inline uint32_t Step(uint32_t s, uint32_t w) { return ((s << 1) | (s >> 31)) + w; }
}  // namespace

uint32_t ChecksumUpdate(uint32_t s, const uint8_t* data, size_t size) {
    size_t i = 0;
    for (; i + 4 <= size; i += 4)
        s = Step(s, uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                        uint32_t(data[i + 3]) << 24);
    for (; i < size; ++i) s = Step(s, data[i]);
    return s;
}
