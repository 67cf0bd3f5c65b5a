// Any bytes may reach the decoder. It must never read or write outside its
// buffers, must end, and must decode the same way however the input is
// chunked, and whether it writes to a sink or straight into memory: same
// result, same output, same number of bytes taken.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder/inflate.h"

namespace {

struct Chunked : InflateInput {
    const uint8_t* data;
    size_t size, chunk, offset = 0;
};

bool NextChunk(InflateInput* in) {
    auto* c = static_cast<Chunked*>(in);
    size_t n = c->size - c->offset < c->chunk ? c->size - c->offset : c->chunk;
    c->next = c->data + c->offset;
    c->end = c->next + n;
    c->offset += n;
    return true;
}

struct Decoded {
    int result;
    size_t produced, consumed;
};

Decoded Decode(const uint8_t* data, size_t size, size_t chunk, std::vector<uint8_t>& out, bool straight) {
    Chunked in;
    in.data = data;
    in.size = size;
    in.chunk = chunk;
    in.refill = NextChunk;
    Decoded d;
    if (straight) {
        d.result = InflateInto(in, out.data(), out.size(), &d.produced);
    } else {
        MemoryOutput sink(out.data(), out.size());
        d.result = Inflate(in, sink);
        d.produced = out.size() - sink.Room();
    }
    d.consumed = in.offset - size_t(in.end - in.next);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t chunk = 1 + data[0] % 64;
    ++data;
    --size;
    static std::vector<uint8_t> whole(1 << 20), chunked(1 << 20), straight((1 << 20) + (1 << 16));
    Decoded a = Decode(data, size, size ? size : 1, whole, false);
    Decoded b = Decode(data, size, chunk, chunked, false);
    if (a.result != b.result || a.produced != b.produced || a.consumed != b.consumed ||
        std::memcmp(whole.data(), chunked.data(), a.produced) != 0 || a.consumed > size)
        std::abort();
    // The sink takes whole windows, so only a decode it did not refuse can
    // be held against one with more room straight in memory.
    Decoded c = Decode(data, size, chunk, straight, true);
    if (a.result != kInflateOutputFull &&
        (c.result != a.result ||
         (a.result == kInflateOk && (c.produced != a.produced || c.consumed != a.consumed ||
                                     std::memcmp(whole.data(), straight.data(), a.produced) != 0))))
        std::abort();
    return 0;
}
