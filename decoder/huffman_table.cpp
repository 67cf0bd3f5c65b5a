#include "decoder/huffman_table.h"

#include "decoder/decoder_memory.h"


namespace {

constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxSymbols = 288;
constexpr uint32_t kEndOfBlock = 256;

struct CanonicalCodes {
    uint32_t count[kMaxCodeBits + 1];  // codes of each length, unused slots added at the longest
    uint16_t sorted[kMaxSymbols];      // symbols by length, then symbol order
    uint32_t used;                     // real codes in `sorted`; the rest of the slots are unused
    uint32_t shortest;
    uint32_t longest;
};

HuffEntry Pack(uint32_t bits, uint32_t op, uint32_t value) { return bits | op << 8 | value << 16; }

HuffEntry SymbolEntry(uint32_t bits, uint32_t symbol, const HuffAlphabet& alphabet) {
    if (symbol < alphabet.simple)
        return Pack(bits, symbol < kEndOfBlock ? kOpLiteral : kOpEndOfBlock, symbol);
    uint32_t i = symbol - alphabet.simple;
    return Pack(bits, alphabet.extra[i], alphabet.base[i]);
}

// Walks the codes in canonical order and lays out the first-level table and
// its sub-tables in one array. A sub-table opens when a code no longer fits
// the current one; it is sized to the fewest bits that the remaining codes of
// its subtree fill, at most the first-level width. With `out` null this only
// counts entries, so the array can be allocated once at its exact size.
uint32_t LayOut(const CanonicalCodes& codes, const HuffAlphabet& alphabet, uint32_t root_width,
                uint32_t eob_bits, HuffEntry* out) {
    uint32_t start[kMaxCodeBits + 1], width[kMaxCodeBits + 1], offset[kMaxCodeBits + 1],
        prefix[kMaxCodeBits + 1];
    int level = -1;
    uint32_t total = 0;
    uint32_t code = 0;  // the current code, bit-reversed so that it indexes tables directly
    uint32_t next_symbol = 0;

    for (uint32_t k = codes.shortest; k <= codes.longest; ++k) {
        for (uint32_t left = codes.count[k]; left-- > 0;) {  // left: codes of length k after this one
            while (level < 0 || k > start[level] + width[level]) {
                uint32_t w = level < 0 ? 0 : start[level] + width[level];
                uint32_t bits = root_width;
                if (level >= 0) {
                    uint32_t limit = codes.longest - w < root_width ? codes.longest - w : root_width;
                    bits = k - w < root_width ? k - w : root_width;
                    uint32_t patterns = 1u << bits;
                    if (patterns > left + 1) {
                        patterns -= left + 1;
                        for (uint32_t len = k; bits < limit && ++bits < limit;) {
                            patterns <<= 1;
                            if (patterns <= codes.count[++len]) break;
                            patterns -= codes.count[len];
                        }
                    }
                }
                // No table reaches past the end-of-block code's length: the
                // decoder then never asks for bits beyond a block's end.
                if (eob_bits && w < eob_bits && w + bits > eob_bits) bits = eob_bits - w;

                uint32_t table = total;
                total += 1u << bits;
                if (out && level >= 0) {
                    uint32_t slot = (code >> start[level]) & ((1u << width[level]) - 1);
                    out[offset[level] + slot] = Pack(width[level], kOpLiteral + bits, table);
                }
                ++level;
                start[level] = w;
                width[level] = bits;
                offset[level] = table;
                prefix[level] = code & ((1u << w) - 1);
            }

            if (out) {
                uint32_t bits = k - start[level];
                HuffEntry e = next_symbol < codes.used
                                  ? SymbolEntry(bits, codes.sorted[next_symbol], alphabet)
                                  : Pack(bits, kOpInvalid, 0);
                for (uint32_t i = code >> start[level]; i < (1u << width[level]); i += 1u << bits)
                    out[offset[level] + i] = e;
            }
            ++next_symbol;

            uint32_t bit = 1u << (k - 1);  // add one to the reversed code
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;
            while (level > 0 && (code & ((1u << start[level]) - 1)) != prefix[level]) --level;
        }
    }
    return total;
}

}  // namespace

int BuildHuffTable(const uint8_t* lengths, uint32_t count, const HuffAlphabet& alphabet,
                   uint32_t requested_width, HuffTable* table) {
    table->entries = nullptr;
    table->width = 0;
    if (count > kMaxSymbols) return 2;

    CanonicalCodes codes{};
    for (uint32_t s = 0; s < count; ++s) {
        if (lengths[s] > kMaxCodeBits) return 2;
        codes.count[lengths[s]]++;
    }
    if (codes.count[0] == count) return 0;

    codes.shortest = 1;
    while (!codes.count[codes.shortest]) ++codes.shortest;
    codes.longest = kMaxCodeBits;
    while (!codes.count[codes.longest]) --codes.longest;

    int32_t unused = 1 << codes.shortest;  // code space left, doubled at each length
    for (uint32_t len = codes.shortest; len < codes.longest; ++len, unused <<= 1)
        if ((unused -= codes.count[len]) < 0) return 2;
    if ((unused -= codes.count[codes.longest]) < 0) return 2;

    uint32_t first[kMaxCodeBits + 2] = {};
    for (uint32_t len = 1; len <= kMaxCodeBits; ++len) first[len + 1] = first[len] + codes.count[len];
    for (uint32_t s = 0; s < count; ++s)
        if (lengths[s]) codes.sorted[first[lengths[s]]++] = static_cast<uint16_t>(s);
    codes.used = count - codes.count[0];
    codes.count[codes.longest] += unused;

    uint32_t width = requested_width;
    if (width < codes.shortest) width = codes.shortest;
    if (width > codes.longest) width = codes.longest;
    uint32_t eob_bits = count > kEndOfBlock ? lengths[kEndOfBlock] : 0;
    if (eob_bits && width > eob_bits) width = eob_bits;

    uint32_t entries = LayOut(codes, alphabet, width, eob_bits, nullptr);
    table->entries = static_cast<HuffEntry*>(DecoderAllocZeroed(entries * sizeof(HuffEntry)));
    if (!table->entries) return 3;
    LayOut(codes, alphabet, width, eob_bits, table->entries);
    table->width = width;
    return unused != 0 && codes.longest != 1 ? 1 : 0;
}

void FreeHuffTable(HuffTable* table) {
    DecoderFree(table->entries);
    table->entries = nullptr;
    table->width = 0;
}
