// Kiln's own compression mode: the archive is a row of solid blocks, each
// one raw LZMA stream (decoder/lzma_decoder.h) carrying the data of
// consecutive file list entries. Setup flag kSetupSolidArchive says so, and
// the block table record (tag kTagSolidBlocks, before the archive record)
// lists the blocks; a package without the flag is the usual per-file
// archive, and a described package never has either.
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
constexpr uint32_t kSetupSolidArchive = 0x4000;

// The setup program decodes with a window of the dictionary's size (or the
// block's, when smaller), so this bounds its memory.
constexpr uint32_t kMaxSolidDictionary = 64u << 20;

// Block table body: u32 count, then per block u32 packed size, u32 unpacked
// size, u32 dictionary size and the properties byte.
constexpr uint32_t kSolidBlockSize = 13;

struct SolidBlock {
    uint32_t archive_offset = 0;  // computed: the packed sizes of the blocks before it
    uint32_t packed = 0, unpacked = 0;
    LzmaProperties properties;
};

// Reads block `index` of a table that ReadSolidTable accepted.
SolidBlock SolidBlockAt(const uint8_t* body, uint32_t index);

// Checks a block table body: "" or what is wrong. On success *count is the
// number of blocks and *end where the last one ends, which must be the
// archive's length (the setup file's part and every volume file's).
const char* CheckSolidTable(const uint8_t* body, size_t size, uint32_t* count, uint64_t* end);

// Whether an entry's (block, start, unpacked size) lies inside its block.
bool SolidEntryFits(const uint8_t* body, uint32_t count, uint32_t block, uint32_t start, uint32_t size);

// The window to decode `block` with: the dictionary or the whole block, whichever is smaller.
inline uint32_t SolidWindowSize(const SolidBlock& block) {
    uint32_t w = block.unpacked < block.properties.dictionary ? block.unpacked : block.properties.dictionary;
    return w ? w : 1;
}
