// Archive items: the framed blocks a delta entry's data is made of. A flags
// byte (bit 0 compressed, bit 1 32-bit unpacked size, bit 2 32-bit packed
// size), the unpacked size, the packed size when compressed, then the data:
// one compressed stream, or the bytes themselves.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

enum : uint8_t {
    kItemCompressed = 0x01,
    kItemWideUnpacked = 0x02,
    kItemWidePacked = 0x04,
    kItemUsedFlags = 0x07,
};

// The most bytes a stream of `packed` bytes can decode to: a 258-byte match
// takes at least two bits.
inline uint64_t MaxDecodedSize(uint64_t packed) { return packed * 1032 + 1032; }

// Frames data as an item: compressed at the given level when that makes the
// item smaller, stored otherwise; sizes take 16 bits where they fit.
Bytes FrameArchiveItem(const Bytes& data, int level);

// Reads the item at archive[*at...] as the setup program does, decoding it
// when compressed, and moves *at past it. Flag bits above bit 2 are not
// used. A compressed item's stream must decode within its unpacked size
// and its packed bytes; a stream that decodes short leaves zeros, and the
// next item is read from where the stream ended. Returns "" or what is
// wrong; what the setup program accepts but is unusual goes to *note.
std::string ReadItemFromArchive(const Bytes& archive, size_t* at, Bytes* data, std::string* note = nullptr);
