// Decoder for raw LZMA streams, the compression of Kiln's solid blocks.
//
// The framing is raw LZMA (not LZMA2): every block is one stream whose
// properties and sizes the archive's block table carries, so LZMA2's chunk
// headers and stored chunks would only add bytes and decoder code. A
// stream may go on from the one before it in the same window
// (LzmaContinue), which is what LZMA2's reset of the state without the
// dictionary does. A block's stream always ends with the end marker, after
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

// A stream decoded in steps, for a reader that wants the bytes up to some
// point now and the rest later: the setup program takes a block's files
// one by one. The fields are the decoder's; read them only through the
// functions below.
struct LzmaStream {
    LzmaProperties properties;
    uint64_t unpacked;  // where the current stream ends, counted from the first stream's first byte
    LzmaInput input;
    LzmaOutput output;
    void* probabilities;
    uint32_t range, code;
    const uint8_t* next;
    const uint8_t* end;
    size_t position, flushed;  // in the window
    uint64_t total;            // bytes decoded so far
    uint32_t rep0, rep1, rep2, rep3;
    unsigned state;
    uint8_t previous;
    LzmaResult failure;  // kept: a stream that failed stays failed
    bool finished;       // the end marker was read
};

// Checks the arguments, takes room for the probability tables and reads the
// range coder's first bytes. Whatever it returns, LzmaEnd frees the stream.
LzmaResult LzmaStart(LzmaStream* stream, const LzmaProperties& properties, uint64_t unpacked,
                     const LzmaInput& input, const LzmaOutput& output);

// Goes on with a further stream into the same window, once `stream` has
// read its end marker: the stream was encoded with the bytes before it as
// its preset dictionary, so its matches may reach back into them. The
// probabilities, the last distances and the state start afresh; the
// previous byte and the position go on from the last stream's. (An encoder
// that counts positions, for lp and pb, from the stream's own start makes
// the same stream: with fresh probabilities a constant offset only
// relabels their contexts.) It
// adds `unpacked` bytes; the window must serve the properties' dictionary
// over everything decoded so far.
LzmaResult LzmaContinue(LzmaStream* stream, const LzmaProperties& properties, uint64_t unpacked,
                        const LzmaInput& input);

// Decodes until at least `target` bytes (at most the unpacked size) are
// decoded; a match may run up to 272 bytes past it. At the unpacked size
// it goes on to the end marker. Whatever is filled goes to the flush
// callback before it returns.
LzmaResult LzmaDecodeTo(LzmaStream* stream, uint64_t target);

inline uint64_t LzmaDecoded(const LzmaStream& stream) { return stream.total; }

// Where the decoded byte at `offset` still lies in the window, and in *run
// how many bytes from it on are there in one piece; null when the window
// no longer (or not yet) holds it.
const uint8_t* LzmaHistory(const LzmaStream& stream, uint64_t offset, size_t* run);

void LzmaEnd(LzmaStream* stream);

// Decodes one stream of exactly `unpacked` bytes followed by the end marker.
LzmaResult LzmaDecode(const LzmaProperties& properties, uint64_t unpacked, const LzmaInput& input,
                      const LzmaOutput& output);

// Input that is one piece of memory, handed over whole on the first
// refill; *memory must outlive the decode.
struct LzmaMemory {
    const uint8_t* data;
    size_t size;
};
LzmaInput LzmaInputFrom(LzmaMemory* memory);

// The same from memory into memory: out must hold `unpacked` bytes.
LzmaResult LzmaDecodeBuffer(const LzmaProperties& properties, const uint8_t* in, size_t in_size,
                            uint8_t* out, size_t unpacked);
