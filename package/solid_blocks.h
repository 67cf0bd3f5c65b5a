// Kiln's own compression mode: the archive is a row of solid blocks, each
// one raw LZMA stream (decoder/lzma_decoder.h) carrying the data of
// consecutive file list entries. Setup flag kSetupSolidArchive says so, and
// the block table record (tag kTagSolidBlocks, before the archive record)
// lists the blocks; a package without the flag is the usual per-file
// archive, and a described package never has either.
//
// The table comes under one of two tags. Under kTagSolidBlocks every block
// is a stream of its own. Under kTagSolidBlocksLinked the blocks form one
// chain: each block after the first was encoded with the data before it as
// its preset dictionary, so it decodes only in the window its predecessor
// left (LzmaContinue), and all of them share one dictionary size. Linked
// blocks encode side by side on several cores yet keep most of the matches
// across their boundaries; a reader that knows only the first tag finds
// the solid flag without its table and refuses the package as damaged.
//
// In this mode an entry's archive offset field holds its block's number and
// its stored size field where its bytes start in the block's unpacked data;
// its unpacked size and checksum keep their meaning. Blocks lie end to end
// from archive offset 0 and may cross volume files as any archive data does.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decoder/lzma_decoder.h"

constexpr uint16_t kTagSolidBlocks = 0x1261;
constexpr uint16_t kTagSolidBlocksLinked = 0x1262;
constexpr uint32_t kSetupSolidArchive = 0x4000;

// The setup program decodes with a window of the dictionary's size (or the
// block's, when smaller), so this bounds its memory.
constexpr uint32_t kMaxSolidDictionary = 64u << 20;

// Block table body: u32 count, then per block u32 packed size, u32 unpacked
// size, u32 dictionary size and the properties byte.
constexpr uint32_t kSolidBlockSize = 13;

struct SolidBlock {
    uint32_t archive_offset = 0;   // computed: the packed sizes of the blocks before it
    uint64_t unpacked_before = 0;  // computed: the unpacked sizes of the blocks before it
    uint32_t packed = 0, unpacked = 0;
    LzmaProperties properties;
};

// Reads block `index` of a table that ReadSolidTable accepted.
SolidBlock SolidBlockAt(const uint8_t* body, uint32_t index);

// Checks a block table body: "" or what is wrong. On success *count is the
// number of blocks and *end where the last one ends, which must be the
// archive's length (the setup file's part and every volume file's).
// In a linked table every block has the first one's dictionary size.
const char* CheckSolidTable(const uint8_t* body, size_t size, bool linked, uint32_t* count, uint64_t* end);

// Whether an entry's (block, start, unpacked size) lies inside its block.
bool SolidEntryFits(const uint8_t* body, uint32_t count, uint32_t block, uint32_t start, uint32_t size);

// Whether every entry of a file list that takes its file from the archive
// lies inside its block; a solid archive holds no deltas.
bool SolidListFits(const uint8_t* body, uint32_t count, const uint8_t* file_list);

// What a decoder of block `index` may reach back over: its own block, or
// in a linked table the whole chain (one window serves every block of it).
uint64_t SolidChainSpan(const uint8_t* body, uint32_t index, bool linked);

// The window to decode with: the dictionary, or the span when that is smaller.
inline uint32_t SolidWindowSize(uint64_t span, uint32_t dictionary) {
    uint32_t w = span < dictionary ? uint32_t(span) : dictionary;
    return w ? w : 1;
}
