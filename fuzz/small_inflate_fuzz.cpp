// The small decoder must agree with the full one on any bytes and any room
// for output: both accept or both reject, and an accepted stream gives the
// same bytes. Half the inputs are encoder output, so valid streams of every
// block type are covered as well as broken ones.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"
#include "decoder/small_inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    bool encode = data[0] & 1;
    int level = kMinLevel + (data[0] >> 1 & 7);            // one of the fast levels
    size_t room = size_t(data[1]) << (data[0] >> 4) % 13;  // up to 1 MB
    data += 2;
    size -= 2;
    std::vector<uint8_t> stream(data, data + size);
    if (encode) {
        stream = EncodeStream(data, size, level);
        room = size + room % 3;
        room = room ? room - 1 : 0;  // one byte short, just enough, or one to spare
    }
    std::vector<uint8_t> full(room + 1), small(room + 1);
    size_t full_produced = 0, small_produced = 0;
    bool full_ok = InflateBuffer(stream.data(), stream.size(), full.data(), room, &full_produced) == kInflateOk;
    bool small_ok = SmallInflate(stream.data(), stream.size(), small.data(), room, &small_produced);
    if (full_ok != small_ok || (full_ok && (full_produced != small_produced ||
                                            std::memcmp(full.data(), small.data(), full_produced) != 0)))
        std::abort();
    if (encode && room >= size &&
        (!small_ok || small_produced != size || std::memcmp(small.data(), data, size) != 0))
        std::abort();
    return 0;
}
