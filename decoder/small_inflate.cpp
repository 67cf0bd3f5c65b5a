#include "decoder/small_inflate.h"

namespace {

constexpr unsigned kMaxCodeBits = 15;

// A canonical Huffman code: how many codes each length has, and the symbols
// in code order.
struct Code {
    uint16_t count[kMaxCodeBits + 1];
    uint16_t symbol[288];
};

struct Decoder {
    const uint8_t* in;
    size_t end;  // input bits; past the end they read as zeros
    size_t bit;  // the next one
    uint8_t* out;
    size_t size;
    size_t pos;
    Code literals, distances;
    uint8_t lengths[288 + 32];
};

KILN_UNPACKER_CODE uint32_t TakeBits(Decoder& d, unsigned n) {
    uint32_t value = 0;
    for (unsigned i = 0; i < n; ++i, ++d.bit)
        if (d.bit < d.end) value |= uint32_t(d.in[d.bit >> 3] >> (d.bit & 7) & 1) << i;
    return value;
}

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
KILN_UNPACKER_CODE int DecodeSymbol(Decoder& d, const Code& code) {
    if (d.bit >= d.end) return -1;
    int value = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        value |= int(TakeBits(d, 1));
        int count = code.count[len];
        if (value - first < count) return code.symbol[index + value - first];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

// A match length (from code `index` 0-28, symbols 257-285) or distance
// (code 0-29), with its extra bits: the tables are computed rather than
// stored, as constants would land outside .kiln.
KILN_UNPACKER_CODE uint32_t ReadValue(Decoder& d, unsigned index, bool distance) {
    if (!distance && index == 28) return 258;
    uint32_t value = distance ? 1 : 3;
    unsigned extra = 0;
    for (unsigned i = 0; i <= index; ++i) {
        extra = distance ? (i < 4 ? 0 : (i >> 1) - 1) : (i < 8 ? 0 : (i >> 2) - 1);
        if (i < index) value += 1u << extra;
    }
    return value + TakeBits(d, extra);
}

KILN_UNPACKER_CODE bool Inflate(Decoder& d) {
    uint32_t header;
    do {
        header = TakeBits(d, 4);
        uint32_t type = header & 7;
        if (type == 7) {  // stored: byte-aligned 16-bit length, then the bytes
            d.bit = (d.bit + 7) & ~size_t(7);
            for (uint32_t n = TakeBits(d, 16); n; --n) {
                if (d.pos == d.size) return false;
                d.out[d.pos++] = uint8_t(TakeBits(d, 8));
            }
            continue;
        }
        unsigned literal_count = 288, distance_count = 30;
        if (type == 5) {  // fixed codes; the two unused distance codes stay invalid
            for (unsigned s = 0; s < 288 + 30; ++s)
                d.lengths[s] = uint8_t(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : s < 288 ? 8 : 5);
        } else if (type == 6) {
            literal_count = TakeBits(d, 5) + 257;
            distance_count = TakeBits(d, 5) + 1;
            unsigned length_codes = TakeBits(d, 4) + 4;
            if (literal_count > 286 || distance_count > 30) return false;
            // Code lengths come in the order 18, 17, 16, 0, 1, ..., 15.
            for (unsigned i = 0; i < 19; ++i) d.lengths[i] = 0;
            for (unsigned i = 0; i < length_codes; ++i) d.lengths[i < 3 ? 18 - i : i - 3] = uint8_t(TakeBits(d, 3));
            if (BuildCode(d.literals, d.lengths, 19)) return false;
            unsigned total = literal_count + distance_count, previous = 0;
            for (unsigned i = 0; i < total;) {
                int symbol = DecodeSymbol(d, d.literals);
                if (symbol < 0) return false;
                if (symbol < 16) {
                    d.lengths[i++] = uint8_t(previous = unsigned(symbol));
                    continue;
                }
                // 16 repeats the previous length (0 before any), 17 and 18 write zeros.
                unsigned repeat = symbol == 16 ? 3 + TakeBits(d, 2) : symbol == 17 ? 3 + TakeBits(d, 3)
                                                                                  : 11 + TakeBits(d, 7);
                if (symbol != 16) previous = 0;
                if (repeat > total - i) return false;
                while (repeat--) d.lengths[i++] = uint8_t(previous);
            }
        } else {
            return false;
        }
        // Fixed distance codes are incomplete by design.
        if (BuildCode(d.literals, d.lengths, literal_count) ||
            BuildCode(d.distances, d.lengths + literal_count, distance_count) > (type == 5))
            return false;
        for (;;) {
            int symbol = DecodeSymbol(d, d.literals);
            if (symbol < 0) return false;
            if (symbol < 256) {
                if (d.pos == d.size) return false;
                d.out[d.pos++] = uint8_t(symbol);
                continue;
            }
            if (symbol == 256) break;
            if (symbol > 285) return false;
            uint32_t length = ReadValue(d, unsigned(symbol) - 257, false);
            int code = DecodeSymbol(d, d.distances);
            if (code < 0) return false;
            uint32_t distance = ReadValue(d, unsigned(code), true);
            if (length > d.size - d.pos) return false;
            // Before the first output byte there is nothing but zeros.
            for (; length; --length, ++d.pos) d.out[d.pos] = distance <= d.pos ? d.out[d.pos - distance] : 0;
        }
    } while (!(header & 8));
    return true;
}

}  // namespace

KILN_UNPACKER_CODE bool SmallInflate(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size,
                                     size_t* produced) {
    Decoder d;
    d.in = in;
    d.end = in_size * 8;
    d.bit = 0;
    d.out = out;
    d.size = out_size;
    d.pos = 0;
    bool ok = Inflate(d);
    *produced = d.pos;
    return ok;
}
