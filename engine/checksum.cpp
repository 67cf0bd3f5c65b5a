#include "engine/checksum.h"

#include <cstring>

namespace {
inline uint32_t Step(uint32_t s, uint32_t w) { return ((s << 1) | (s >> 31)) + w; }
}  // namespace

uint32_t ChecksumUpdate(uint32_t s, const uint8_t* data, size_t size) {
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        uint32_t w;
        std::memcpy(&w, data + i, 4);  // one load where the bytes are in order already
#else
        uint32_t w = uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                     uint32_t(data[i + 3]) << 24;
#endif
        s = Step(s, w);
    }
    for (; i < size; ++i) s = Step(s, data[i]);
    return s;
}

void ChecksumAdd(ChecksumRun* run, const uint8_t* data, size_t size) {
    while (run->waiting && size) {
        run->word[run->waiting++] = *data++;
        --size;
        if (run->waiting == 4) {
            run->sum = ChecksumUpdate(run->sum, run->word, 4);
            run->waiting = 0;
        }
    }
    size_t whole = size & ~size_t(3);
    run->sum = ChecksumUpdate(run->sum, data, whole);
    for (size_t i = whole; i < size; ++i) run->word[run->waiting++] = data[i];
}

uint32_t ChecksumEnd(const ChecksumRun& run) { return ChecksumUpdate(run.sum, run.word, run.waiting); }
