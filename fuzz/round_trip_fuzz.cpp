// Any bytes, encoded at any of the fast levels, must decode back to exactly
// themselves, and the decode must take the whole stream.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The exhaustive level is left out: it is far too slow for fuzzing.
    int level = kMinLevel + data[0] % (kMaxLevel - kMinLevel);
    ++data;
    --size;
    std::vector<uint8_t> stream = EncodeStream(data, size, level);
    std::vector<uint8_t> out(size);
    size_t produced = 0, consumed = 0;
    InflateResult result = InflateBuffer(stream.data(), stream.size(), out.data(), out.size(), &produced, &consumed);
    if (result != kInflateOk || produced != size || consumed != stream.size() ||
        (size && std::memcmp(out.data(), data, size) != 0))
        std::abort();
    return 0;
}
