// The LZMA decoder on any bytes, with any properties, window and input
// pieces: it ends with a result and never reads or writes out of bounds.
// Half the inputs are liblzma's encoding of the fuzzer's bytes, which must
// decode back to them exactly, through a window that wraps.
#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/lzma_decoder.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size, piece;
};

bool Refill(void* context, const uint8_t** data, size_t* size) {
    Source* s = static_cast<Source*>(context);
    if (s->size == 0) return false;
    *data = s->data;
    *size = std::min(s->piece, s->size);
    s->data += *size;
    s->size -= *size;
    return true;
}

bool Collect(void* context, const uint8_t* data, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), data, data + size);
    return out->size() <= (1u << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    LzmaProperties properties;
    if (!LzmaParseProperties(data[0] % 225, &properties)) return 0;
    properties.dictionary = kLzmaMinDictionary << (data[1] & 7);
    bool encode = data[1] & 8;
    size_t piece = 1 + data[2] % 64;
    uint64_t unpacked = data[3] * 37u;
    data += 4;
    size -= 4;
    std::vector<uint8_t> stream(data, data + size);
    if (encode) {
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 1);
        options.lc = properties.lc;
        options.lp = properties.lp;
        options.pb = properties.pb;
        options.dict_size = properties.dictionary;
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        stream.resize(size * 2 + 64);
        size_t written = 0;
        if (lzma_raw_buffer_encode(filters, nullptr, data, size, stream.data(), &written, stream.size()) != LZMA_OK)
            std::abort();
        stream.resize(written);
        unpacked = size;
    }
    Source source{stream.data(), stream.size(), piece};
    std::vector<uint8_t> window(std::min<uint64_t>(properties.dictionary, std::max<uint64_t>(unpacked, 1)));
    std::vector<uint8_t> out;
    LzmaResult result =
        LzmaDecode(properties, unpacked, {Refill, &source}, {window.data(), window.size(), Collect, &out});
    if (result == kLzmaOk && out.size() != unpacked) std::abort();
    if (encode && (result != kLzmaOk || (size && std::memcmp(out.data(), data, size) != 0))) std::abort();
    return 0;
}
