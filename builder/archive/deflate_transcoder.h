// Rewrites a raw RFC 1951 Deflate stream into the setup program's variant of
// it. The LZ77 parse and every Huffman code carry over unchanged; only the
// framing differs: 4-bit block headers (type 5 fixed, 6 dynamic, 7 stored;
// bit 3 final), the code-length code lengths sent in the order 18, 17, 16,
// 0, 1, ..., 15, and stored blocks without NLEN.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Replaces `out` with the transcoded stream. Returns false when the input is
// not a complete, valid Deflate stream, or uses a code that the setup
// program's decoder would refuse (an incomplete code other than a lone
// 1-bit code). Bytes after the final block are ignored.
bool TranscodeDeflate(const uint8_t* deflate, size_t size, std::vector<uint8_t>& out);
