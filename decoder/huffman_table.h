// Lookup tables for canonical Huffman codes, read least significant bit
// first. A first-level table of `width` bits is indexed by the next bits of
// the input; longer codes continue in sub-tables. The geometry (first-level
// width, sub-table widths) is part of the decoder's contract: it sets how far
// ahead the decoder asks for bits, and so how much input a decode takes.
#pragma once
#include <cstdint>

// One packed entry: code bits to drop (bits 0-7), operation (bits 8-15),
// value (bits 16-31). Operations: 0-13 length/distance with that many extra
// bits, 15 end of block, 16 literal, 16+n sub-table of n bits at `value`
// (an index into the same entry array), 100 invalid code.
using HuffEntry = uint32_t;

enum : uint32_t {
    kOpEndOfBlock = 15,
    kOpLiteral = 16,
    kOpInvalid = 100,
};

inline uint32_t EntryBits(HuffEntry e) { return e & 0xFF; }
inline uint32_t EntryOp(HuffEntry e) { return (e >> 8) & 0xFF; }
inline uint32_t EntryValue(HuffEntry e) { return e >> 16; }

struct HuffTable {
    HuffEntry* entries = nullptr;  // first level at index 0; null for an empty code
    uint32_t width = 0;            // first-level width actually used
};

// How the symbols of one alphabet map to entries: symbols below `simple`
// stand for themselves (literals, 256 end of block, code-length symbols);
// the others take base[symbol - simple] and extra[symbol - simple].
struct HuffAlphabet {
    uint32_t simple;
    const uint16_t* base;
    const uint16_t* extra;
};

// Builds the table for `count` (at most 288) code lengths, each 0-15.
// Results as the decoder's: 0 success (an all-zero set gives an empty table),
// 1 incomplete code whose longest code is longer than 1 bit (the table is
// built all the same, its unused slots invalid: the caller decides), 2
// over-subscribed, 3 no memory. After 2 or 3 nothing stays allocated.
int BuildHuffTable(const uint8_t* lengths, uint32_t count, const HuffAlphabet& alphabet,
                   uint32_t requested_width, HuffTable* table);
void FreeHuffTable(HuffTable* table);
