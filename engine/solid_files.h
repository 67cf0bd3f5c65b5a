// Files of a solid archive (package/solid_blocks.h): an entry's bytes are a
// stretch of its block's unpacked data. One block is decoded at a time and
// kept open between entries, so that a block's files, taken in order, are
// decoded once; an entry whose bytes the window still holds (a file stored
// once for two entries) is served from it, and an entry further back, or in
// another block, starts its block again. A file the installation skips is
// decoded through only when a later file of the same block is wanted.
#pragma once
#include <cstdint>

// Whether the loaded package's archive is solid.
bool ArchiveIsSolid();

// Takes the next piece of an entry's bytes; false stops the reading.
using SolidSink = bool (*)(void* context, const uint8_t* data, uint32_t size);

// Hands the bytes of `entry` to `take`, in order and in pieces.
//   1: every byte was taken.
//   0: install error set: the archive could not be positioned or read (its
//      code), no memory (12), or the block is damaged (21 naming the
//      destination).
//  -1: `take` refused a piece; the caller sets the error.
int ReadSolidEntry(const uint8_t* entry, SolidSink take, void* context);

// Ends the open block and frees the window. Called when an installation
// starts and ends.
void ReleaseSolidStream();
