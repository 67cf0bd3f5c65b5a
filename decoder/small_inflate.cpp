#include "decoder/small_inflate.h"

namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLengthCodes = 29;  // symbols 257..285
constexpr unsigned kDistanceCodes = 30;

// Input bits, least significant first; past the end they read as zeros.
struct BitInput {
    const uint8_t* data;
    size_t end;  // in bits
    size_t pos;
};

KILN_UNPACKER_CODE uint32_t TakeBits(BitInput& in, unsigned n) {
    uint32_t value = 0;
    for (unsigned i = 0; i < n; ++i, ++in.pos)
        if (in.pos < in.end) value |= uint32_t(in.data[in.pos >> 3] >> (in.pos & 7) & 1) << i;
    return value;
}

// A canonical Huffman code: how many codes each length has, and the symbols
// in code order.
struct Code {
    uint16_t count[kMaxCodeBits + 1];
    uint16_t symbol[288];
};

// 0 for a complete code, an empty one, or a single code of one bit; 1 for
// another incomplete code; 2 for an over-subscribed one.
KILN_UNPACKER_CODE int BuildCode(Code& code, const uint8_t* lengths, unsigned n) {
    for (unsigned len = 0; len <= kMaxCodeBits; ++len) code.count[len] = 0;
    for (unsigned s = 0; s < n; ++s) ++code.count[lengths[s]];
    uint16_t next[kMaxCodeBits + 1];
    int left = 1;  // code space left, in codes of the current length
    unsigned used = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        left = 2 * left - code.count[len];
        if (left < 0) return 2;
        next[len] = uint16_t(used);
        used += code.count[len];
    }
    for (unsigned s = 0; s < n; ++s)
        if (lengths[s]) code.symbol[next[lengths[s]]++] = uint16_t(s);
    return left && used && !(used == 1 && code.count[1]) ? 1 : 0;
}

// The next symbol, or -1 for an unused code or one that would begin past
// the end of the input.
KILN_UNPACKER_CODE int DecodeSymbol(BitInput& in, const Code& code) {
    if (in.pos >= in.end) return -1;
    int value = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        value |= int(TakeBits(in, 1));
        int count = code.count[len];
        if (value - first < count) return code.symbol[index + value - first];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

}  // namespace

KILN_UNPACKER_CODE bool SmallInflate(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                                     size_t* produced) {
    // Bases and extra bits of the length codes, then of the distance codes,
    // computed rather than stored: constants would land outside .kiln.
    uint16_t base[kLengthCodes + kDistanceCodes];
    uint8_t extra[kLengthCodes + kDistanceCodes];
    for (unsigned i = 0, length = 3, distance = 1; i < kDistanceCodes; ++i) {
        if (i < kLengthCodes) {
            extra[i] = uint8_t(i < 8 || i == 28 ? 0 : (i >> 2) - 1);
            base[i] = uint16_t(i == 28 ? 258 : length);
            length += 1u << extra[i];
        }
        extra[kLengthCodes + i] = uint8_t(i < 4 ? 0 : (i >> 1) - 1);
        base[kLengthCodes + i] = uint16_t(distance);
        distance += 1u << extra[kLengthCodes + i];
    }

    BitInput bits = {in, in_size * 8, 0};
    Code literals, distances;
    uint8_t lengths[288 + kDistanceCodes];
    size_t pos = 0;
    uint32_t header;
    do {
        header = TakeBits(bits, 4);
        uint32_t type = header & 7;
        if (type == 7) {  // stored: byte-aligned 16-bit length, then the bytes
            bits.pos = (bits.pos + 7) & ~size_t(7);
            for (uint32_t n = TakeBits(bits, 16); n; --n) {
                if (pos == out_size) return false;
                out[pos++] = uint8_t(TakeBits(bits, 8));
            }
            continue;
        }
        if (type == 5) {  // fixed codes; the two unused distance codes stay invalid
            for (unsigned s = 0; s < 288; ++s) lengths[s] = uint8_t(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
            for (unsigned s = 0; s < kDistanceCodes; ++s) lengths[288 + s] = 5;
            BuildCode(literals, lengths, 288);
            BuildCode(distances, lengths + 288, kDistanceCodes);
        } else if (type == 6) {
            unsigned literal_count = TakeBits(bits, 5) + 257;
            unsigned distance_count = TakeBits(bits, 5) + 1;
            unsigned length_codes = TakeBits(bits, 4) + 4;
            if (literal_count > 286 || distance_count > kDistanceCodes) return false;
            // Code lengths come in the order 18, 17, 16, 0, 1, ..., 15.
            for (unsigned i = 0; i < 19; ++i) lengths[i] = 0;
            for (unsigned i = 0; i < length_codes; ++i) lengths[i < 3 ? 18 - i : i - 3] = uint8_t(TakeBits(bits, 3));
            if (BuildCode(literals, lengths, 19)) return false;
            unsigned total = literal_count + distance_count, previous = 0;
            for (unsigned i = 0; i < total;) {
                int symbol = DecodeSymbol(bits, literals);
                if (symbol < 0) return false;
                if (symbol < 16) {
                    lengths[i++] = uint8_t(previous = unsigned(symbol));
                    continue;
                }
                // 16 repeats the previous length (0 before any), 17 and 18 write zeros.
                unsigned repeat = symbol == 16 ? 3 + TakeBits(bits, 2) : symbol == 17 ? 3 + TakeBits(bits, 3)
                                                                                     : 11 + TakeBits(bits, 7);
                if (symbol != 16) previous = 0;
                if (repeat > total - i) return false;
                while (repeat--) lengths[i++] = uint8_t(previous);
            }
            if (BuildCode(literals, lengths, literal_count) ||
                BuildCode(distances, lengths + literal_count, distance_count))
                return false;
        } else {
            return false;
        }
        for (;;) {
            int symbol = DecodeSymbol(bits, literals);
            if (symbol < 0) return false;
            if (symbol < 256) {
                if (pos == out_size) return false;
                out[pos++] = uint8_t(symbol);
                continue;
            }
            if (symbol == 256) break;
            unsigned i = unsigned(symbol) - 257;
            if (i >= kLengthCodes) return false;
            uint32_t length = base[i] + TakeBits(bits, extra[i]);
            int d = DecodeSymbol(bits, distances);
            if (d < 0) return false;
            i = kLengthCodes + unsigned(d);
            uint32_t distance = base[i] + TakeBits(bits, extra[i]);
            if (length > out_size - pos) return false;
            // Before the first output byte there is nothing but zeros.
            for (; length; --length, ++pos) out[pos] = distance <= pos ? out[pos - distance] : 0;
        }
    } while (!(header & 8));
    *produced = pos;
    return true;
}
