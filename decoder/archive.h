// The file archive across the setup file and its volume files (.D01, .D02,
// ...): positioning at an archive offset, reading across volume ends, the
// disk prompt, and archive items.
#pragma once
#include <windows.h>

#include <cstdint>

#include "decoder/archive_state.h"

// Opens the setup file for the archive at the start of an installation.
// False (install error 16, message argument = the path) when it cannot.
bool OpenArchive();

// Moves to archive offset x: 0, 15 (the user cancelled the disk prompt) or
// 18 (a volume is missing; message argument = its path).
int ArchivePosition(uint32_t x);

// Reads count bytes from the current volume, going on into the next volume
// when this one ends. 0, or 1 when the next volume could not be had.
int ArchiveRead(HANDLE handle, void* buffer, DWORD count, DWORD* delivered);

// After a read failed: 15 or 18 (message argument = the volume's path)
// when it ran into a volume that could not be had since the last
// positioning, else 0.
int LostVolumeError();

// The next volume's handle, or INVALID_HANDLE_VALUE.
HANDLE OpenNextVolume();

// Reads one archive item at the current position into a new block:
// 0, 12 (no memory) or 18 (a read failed). A size of 0 allocates nothing.
int ReadArchiveItem(uint8_t** data, uint32_t* size);

// Closes the archive's handle.
void CloseArchive();
