// Decoder for raw LZMA streams, the compression of Kiln's solid blocks.
//
// The framing is raw LZMA (not LZMA2): every block is one independent
// stream whose properties and sizes the archive's block table carries, so
// LZMA2's chunk headers, resets and stored chunks would only add bytes and
// decoder code. A block's stream always ends with the end marker, after
// exactly the block's unpacked size: that, and the range coder ending at
// zero, prove the stream was decoded in step with its encoder.
//
// The decoder pulls input through a callback (blocks span volume files) and
// decodes into a dictionary buffer of the caller's, handing every filled
// stretch to a flush callback; a buffer that holds the whole block is never
// wrapped, so decoding to memory copies nothing.
#pragma once
#include <cstddef>
#include <cstdint>

// lc + lp at most 4 keeps the literal tables at 24 KiB (LZMA2's bound too).
constexpr unsigned kLzmaMaxLiteralBits = 4;
constexpr uint32_t kLzmaMinDictionary = 4096;

struct LzmaProperties {
    unsigned lc = 3, lp = 0, pb = 2;  // literal context, literal position, position bits
    uint32_t dictionary = 1u << 20;
};

// The properties byte (pb * 5 + lp) * 9 + lc: false when it is out of range
// or lc + lp exceeds kLzmaMaxLiteralBits.
bool LzmaParseProperties(uint8_t byte, LzmaProperties* properties);
uint8_t LzmaPropertiesByte(const LzmaProperties& properties);

enum LzmaResult {
    kLzmaOk,
    kLzmaDataError,    // the stream is damaged or does not end where it should
    kLzmaInputError,   // the input callback failed (a missing volume, a read error)
    kLzmaOutputError,  // the flush callback refused the bytes (Cancel, a full drive)
    kLzmaNoMemory,     // no room for the probability tables
};

struct LzmaInput {
    // Sets *data and *size to the next piece of the stream; false when
    // there is none (the stream is then decoded as damaged or cut short).
    bool (*refill)(void* context, const uint8_t** data, size_t* size);
    void* context;
};

struct LzmaOutput {
    uint8_t* buffer;  // the dictionary: at least the properties' dictionary size,
    size_t size;      // or the whole unpacked size when that is smaller
    bool (*flush)(void* context, const uint8_t* data, size_t size);  // may be null
    void* context;
};

// Decodes one stream of exactly `unpacked` bytes followed by the end marker.
LzmaResult LzmaDecode(const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input,
                      const LzmaOutput& output);

// The same from memory into memory: out must hold `unpacked` bytes.
LzmaResult LzmaDecodeBuffer(const LzmaProperties& properties, const uint8_t* in, size_t in_size,
                            uint8_t* out, size_t unpacked);
