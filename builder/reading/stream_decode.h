// Decoding a whole stream held in memory when its decoded length is not
// known beforehand.
#pragma once
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "decoder/decoder_output.h"
#include "decoder/inflate.h"

// Collects decoded bytes, up to a limit.
class VectorOutput : public DecoderOutput {
public:
    explicit VectorOutput(size_t limit = SIZE_MAX) : limit_(limit) {}
    bool IsValid() const override { return true; }
    bool Write(const uint8_t* data, uint16_t count) override {
        if (limit_ - bytes.size() < count) return false;  // the decode then ends with "output full"
        try {
            bytes.insert(bytes.end(), data, data + count);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    std::vector<uint8_t> bytes;

private:
    size_t limit_;
};

// Decodes the stream in data[0, size) into *out, at most `limit` bytes.
inline InflateResult InflateToVector(const uint8_t* data, size_t size, std::vector<uint8_t>* out,
                                     size_t limit = SIZE_MAX) {
    InflateInput input;
    input.next = data;
    input.end = data + size;
    // The whole stream is in memory: there is never more to refill.
    input.refill = [](InflateInput* in) {
        in->next = in->end;
        return true;
    };
    VectorOutput output(limit);
    InflateResult result = Inflate(input, output);
    *out = std::move(output.bytes);
    return result;
}
