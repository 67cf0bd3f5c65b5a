// Compresses a buffer into one stream of the setup program's format: a
// Deflate compressor finds the LZ77 parse and Huffman codes, and the
// transcoder reframes its output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kMinLevel = 1;
// Chosen on Windows executables: smaller than gzip -9 by more than 3% while
// compressing at least as fast (see scripts/compression-bench).
constexpr int kDefaultLevel = 10;
// The slow, exhaustive search; every level below uses the fast compressor.
constexpr int kMaxLevel = 13;

// Levels kMinLevel..kMaxLevel; any other level throws std::invalid_argument.
// Empty input gives a valid stream that decodes to nothing. Throws
// std::runtime_error if a compressor fails.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, int level);
