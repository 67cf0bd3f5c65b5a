// The decoder for the setup program's Deflate variant: RFC 1951 with a 4-bit
// block header (type 5 fixed, 6 dynamic, 7 stored; bit 3 final), stored
// blocks without NLEN, the code-length code order 18, 17, 16, 0, 1, ..., 15,
// and a leading repeat code 16 repeating length 0.
#pragma once
#include <cstdint>

#include "decoder/decoder_output.h"

enum InflateResult : int {
    kInflateOk = 0,
    kInflateBadData = 1,      // invalid or unused code, bad counts, incomplete code
    kInflateBadCode = 2,      // unknown block type or over-subscribed code lengths
    kInflateNoMemory = 3,
    kInflateReadFailed = 4,   // the source reported a failed read (archive volume lost)
    kInflateOutputFull = 5,   // the sink refused more output
};

// Where compressed bytes come from. The decoder reads [next, end) and calls
// refill when it needs more; refill points next/end at a new chunk (an empty
// one when the input is exhausted) and returns false only when the source
// failed. When Inflate returns, [next, end) holds exactly the bytes the
// decode did not take, so a file-backed source can give them back.
struct InflateInput {
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
    bool (*refill)(InflateInput* input) = nullptr;
};

// Decodes one whole stream. Output reaches the sink in 32768-byte writes and
// one final write of the rest (possibly 0 bytes) on success; after a failure
// nothing more is written. Input is taken exactly as far as a decoder that
// reads one byte at a time, only when it needs more bits, would take it.
InflateResult Inflate(InflateInput& input, DecoderOutput& output);

// Decodes one whole stream straight into a buffer of the given size, which
// then holds the history as well: no window, no copies. A stream that would
// write past `size` bytes fails (kInflateOutputFull). *produced says how
// many bytes were written, also after a failure.
InflateResult InflateInto(InflateInput& input, uint8_t* out, size_t size, size_t* produced);

// Decodes a whole stream held in memory into a buffer of the given size.
// Returns the result and sets *produced and *consumed when given.
InflateResult InflateBuffer(const uint8_t* data, size_t size, uint8_t* out, size_t out_size,
                            size_t* produced = nullptr, size_t* consumed = nullptr);
