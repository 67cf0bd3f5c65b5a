// The file checksum stored in every file list entry: rotate left by one and
// add, over little-endian 32-bit words, then over each tail byte.
#pragma once
#include <cstddef>
#include <cstdint>

// Carries state s over more data. Pieces whose sizes are multiples of four
// chain to the same result as one pass over the whole.
uint32_t ChecksumUpdate(uint32_t s, const uint8_t* data, size_t size);

// The same checksum over data that comes in pieces of any size (a solid
// block's file, read as its block is decoded): up to three bytes wait for
// the next piece to make a word.
struct ChecksumRun {
    uint32_t sum;
    uint32_t waiting;  // bytes in `word`, 0 to 3
    uint8_t word[4];
};
void ChecksumAdd(ChecksumRun* run, const uint8_t* data, size_t size);
// The checksum of everything added: waiting bytes count one at a time, as
// the tail of a file does.
uint32_t ChecksumEnd(const ChecksumRun& run);
