// Hand-made streams for decoder tests: a bit writer that packs fields least
// significant bit first and Huffman codes most significant bit first.
#pragma once
#include <cstdint>
#include <vector>

struct StreamWriter {
    std::vector<uint8_t> bytes;
    uint64_t acc = 0;
    int count = 0;

    void Put(uint32_t value, int bits) {
        acc |= uint64_t(value) << count;
        count += bits;
        while (count >= 8) {
            bytes.push_back(uint8_t(acc));
            acc >>= 8;
            count -= 8;
        }
    }
    void PutCode(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Put((code >> i) & 1, 1);
    }
    void AlignToByte() {
        if (count) Put(0, 8 - count);
    }
    std::vector<uint8_t> Finish() {
        AlignToByte();
        return bytes;
    }
};

// Canonical codes for a set of lengths, as the decoder assigns them.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    uint32_t count[16] = {}, next[16] = {};
    for (uint8_t len : lengths) count[len]++;
    count[0] = 0;
    for (int len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// Fixed-code symbols.
inline void PutFixedLiteral(StreamWriter& w, uint32_t symbol) {
    if (symbol < 144) w.PutCode(0x30 + symbol, 8);
    else if (symbol < 256) w.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.PutCode(symbol - 256, 7);
    else w.PutCode(0xC0 + symbol - 280, 8);
}

// A code-length code that can send every symbol: 0-11 in 5 bits, 12-15 in
// 4 bits, 16-18 in 3 bits (complete).
inline std::vector<uint8_t> FullCodeLengthLengths() {
    std::vector<uint8_t> l(19, 5);
    for (int s = 12; s < 16; ++s) l[s] = 4;
    for (int s = 16; s < 19; ++s) l[s] = 3;
    return l;
}

// A dynamic block header: the counts, all 19 code-length lengths in the
// stream's order, then the given code-length symbols (symbol, extra value).
struct ClSymbol {
    uint32_t symbol;
    uint32_t extra;
};
inline void PutDynamicHeader(StreamWriter& w, bool final, uint32_t literals, uint32_t distances,
                             const std::vector<ClSymbol>& symbols,
                             const std::vector<uint8_t>& cl_lengths = FullCodeLengthLengths()) {
    static const uint8_t order[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    w.Put(6 | (final ? 8 : 0), 4);
    w.Put(literals - 257, 5);
    w.Put(distances - 1, 5);
    w.Put(15, 4);
    for (uint8_t s : order) w.Put(cl_lengths[s], 3);
    std::vector<uint32_t> codes = CanonicalCodes(cl_lengths);
    static const int extra_bits[3] = {2, 3, 7};
    for (const ClSymbol& c : symbols) {
        w.PutCode(codes[c.symbol], cl_lengths[c.symbol]);
        if (c.symbol >= 16) w.Put(c.extra, extra_bits[c.symbol - 16]);
    }
}

// The code-length symbols that send these lengths one by one.
inline std::vector<ClSymbol> PlainLengths(const std::vector<uint8_t>& lengths) {
    std::vector<ClSymbol> out;
    for (uint8_t l : lengths) out.push_back({l, 0});
    return out;
}

// A final fixed block of pseudo-random literals and matches (distances up
// to 32768, lengths up to 258) that decodes to `expected`.
inline std::vector<uint8_t> FixedBlockStream(size_t size, uint32_t seed, std::vector<uint8_t>* expected) {
    static const uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint16_t dist_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                           33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const uint8_t dist_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    auto code_of = [](const uint16_t* base, int count, uint32_t value) {
        int c = count - 1;
        while (base[c] > value) --c;
        return c;
    };
    uint32_t state = seed;
    auto random = [&state] { return state = state * 1103515245u + 12345u, state >> 8; };

    StreamWriter w;
    w.Put(5 | 8, 4);
    expected->clear();
    while (expected->size() < size) {
        size_t left = size - expected->size();
        if (expected->empty() || left < 3 || random() % 3 == 0) {
            uint8_t byte = uint8_t('a' + random() % 16);
            PutFixedLiteral(w, byte);
            expected->push_back(byte);
            continue;
        }
        uint32_t length = 3 + random() % (left < 258 ? left - 2 : 256);
        uint32_t limit = expected->size() < 32768 ? uint32_t(expected->size()) : 32768;
        uint32_t distance = 1 + (random() % 4 ? random() % 8 : random()) % limit;
        int code = code_of(length_base, 29, length);
        PutFixedLiteral(w, 257 + code);
        w.Put(length - length_base[code], length_extra[code]);
        code = code_of(dist_base, 30, distance);
        w.PutCode(code, 5);
        w.Put(distance - dist_base[code], dist_extra[code]);
        for (uint32_t i = 0; i < length; ++i) expected->push_back((*expected)[expected->size() - distance]);
    }
    PutFixedLiteral(w, 256);
    return w.Finish();
}
