// The LZMA decoder on any bytes, with any properties, window and input
// pieces: it ends with a result and never reads or writes out of bounds.
// Half the inputs are liblzma's encoding of the fuzzer's bytes, which must
// decode back to them exactly, through a window that wraps. Some inputs are
// decoded in steps, each step's bytes read back from the window's history
// as the setup program reads a solid block's files; some as two linked
// streams, the second going on in the first one's window (encoded with
// the first part as its preset dictionary).
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

// Steps of at most half the window, as the setup program takes them.
LzmaResult DecodeInSteps(const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input,
                         std::vector<uint8_t>& window, size_t step, std::vector<uint8_t>* out) {
    LzmaStream s;
    LzmaResult result = LzmaStart(&s, properties, unpacked, input, {window.data(), window.size(), nullptr, nullptr});
    if (step > window.size() / 2) step = window.size() / 2 ? window.size() / 2 : 1;
    while (result == kLzmaOk && !s.finished) {
        result = LzmaDecodeTo(&s, LzmaDecoded(s) + step);
        while (out->size() < LzmaDecoded(s)) {
            size_t run = 0;
            const uint8_t* at = LzmaHistory(s, out->size(), &run);
            if (!at || run == 0) std::abort();  // a step's bytes are still in the window
            run = std::min<size_t>(run, LzmaDecoded(s) - out->size());
            out->insert(out->end(), at, at + run);
        }
    }
    LzmaEnd(&s);
    return result;
}

// Two streams, the second continuing in the window the first left.
LzmaResult DecodeLinked(const LzmaProperties& properties, const std::vector<uint8_t> (&streams)[2],
                        const uint64_t (&sizes)[2], size_t piece, std::vector<uint8_t>& window,
                        std::vector<uint8_t>* out) {
    Source first{streams[0].data(), streams[0].size(), piece}, second{streams[1].data(), streams[1].size(), piece};
    LzmaStream s;
    LzmaResult result =
        LzmaStart(&s, properties, sizes[0], {Refill, &first}, {window.data(), window.size(), Collect, out});
    if (result == kLzmaOk) result = LzmaDecodeTo(&s, sizes[0]);
    if (result == kLzmaOk) result = LzmaContinue(&s, properties, sizes[1], {Refill, &second});
    if (result == kLzmaOk) result = LzmaDecodeTo(&s, sizes[0] + sizes[1]);
    LzmaEnd(&s);
    return result;
}

// liblzma's encoding of data[from, to), with what comes before it (up to
// the dictionary) as the preset dictionary.
std::vector<uint8_t> Encode(const LzmaProperties& properties, const uint8_t* data, size_t from, size_t to) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 1);
    options.lc = properties.lc;
    options.lp = properties.lp;
    options.pb = properties.pb;
    options.dict_size = properties.dictionary;
    size_t preset = std::min<size_t>(from, properties.dictionary);
    options.preset_dict = preset ? data + from - preset : nullptr;
    options.preset_dict_size = uint32_t(preset);
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> stream((to - from) * 2 + 64);
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, data + from, to - from, stream.data(), &written, stream.size()) !=
        LZMA_OK)
        std::abort();
    stream.resize(written);
    return stream;
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
    bool stepped = data[1] & 16;
    size_t step = 1 + data[2] * 13u;
    bool linked = data[1] & 32;
    data += 4;
    size -= 4;
    size_t cut = size / 2;
    if (encode) unpacked = size;
    std::vector<uint8_t> window(std::min<uint64_t>(properties.dictionary, std::max<uint64_t>(unpacked, 1)));
    std::vector<uint8_t> out;
    LzmaResult result;
    if (linked) {
        std::vector<uint8_t> streams[2] = {encode ? Encode(properties, data, 0, cut) : std::vector<uint8_t>(data, data + cut),
                                           encode ? Encode(properties, data, cut, size)
                                                  : std::vector<uint8_t>(data + cut, data + size)};
        uint64_t sizes[2] = {encode ? cut : unpacked / 2, encode ? size - cut : unpacked - unpacked / 2};
        result = DecodeLinked(properties, streams, sizes, piece, window, &out);
    } else {
        std::vector<uint8_t> stream = encode ? Encode(properties, data, 0, size) : std::vector<uint8_t>(data, data + size);
        Source source{stream.data(), stream.size(), piece};
        result = stepped ? DecodeInSteps(properties, unpacked, {Refill, &source}, window, step, &out)
                         : LzmaDecode(properties, unpacked, {Refill, &source},
                                      {window.data(), window.size(), Collect, &out});
    }
    if (result == kLzmaOk && out.size() != unpacked) std::abort();
    if (encode && (result != kLzmaOk || (size && std::memcmp(out.data(), data, size) != 0))) std::abort();
    return 0;
}
