// Archive files decoded into memory. An entry's file is decoded whole into
// a buffer and proved against the entry's size and checksum before any of
// it is written, so the temporary file is written once and never read
// back. A file that delta entries later in the current file list build on
// is kept, within a bound, until the last of them is done: a base shared by
// many deltas is decoded once.
#pragma once
#include <cstdint>

// Larger files are decoded straight to their temporary file instead.
constexpr uint32_t kInMemoryFileLimit = 16u << 20;
// What the kept bases may take together; past it, a base that is needed
// again is decoded again.
constexpr uint32_t kKeptBasesLimit = 32u << 20;

// The limits in force (for tests: 0 sends every file the way of the
// temporary file, or keeps no base).
uint32_t InMemoryFileLimit();
void SetDecodedFileLimits(uint32_t in_memory_file, uint32_t kept_bases);

// The file of `file` in memory, for `installing`, the entry being
// installed: `file` is that entry itself or its delta base.
//   1: *bytes holds the file's unpacked size of verified bytes, until the
//      next call or ReleaseDecodedFiles.
//   0: install error set (the archive could not be positioned: its code;
//      the decoded bytes are not the entry's: 21 naming the destination).
//  -1: too large for memory or no memory: nothing was done, and the
//      caller takes the way of the temporary file.
int FileInMemory(const uint8_t* installing, const uint8_t* file, const uint8_t** bytes);

// Room for building a file of `size` bytes in memory, reused from file to
// file and never the room FileInMemory hands out; null when there is no
// memory.
uint8_t* BuildingRoom(uint32_t size);

// Frees every kept file and buffer and forgets the file list they were kept
// for. Called when an installation starts and ends.
void ReleaseDecodedFiles();
