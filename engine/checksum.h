// The file checksum stored in every file list entry: rotate left by one and
// add, over little-endian 32-bit words, then over each tail byte.
#pragma once
#include <cstddef>
#include <cstdint>

// Carries state s over more data. Pieces whose sizes are multiples of four
// chain to the same result as one pass over the whole.
uint32_t ChecksumUpdate(uint32_t s, const uint8_t* data, size_t size);
