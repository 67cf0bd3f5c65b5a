// The setup program's whole-file checks (layout in package/integrity.h):
// the setup file against its integrity record when the package is loaded,
// and each volume file against its trailer when it is opened.
#pragma once
#include <windows.h>

#include <cstdint>

#include "package/integrity.h"

// The CRC-32 of the bytes [from, to) of an open file, continued from *crc,
// with the signing fields read as zeros. 0, or 1 when a read fails, or 5
// when no read buffer can be had.
int CrcOfFileRange(HANDLE file, uint32_t from, uint32_t to, const SigningLayout& layout, uint32_t* crc);

// Whether an open volume file holds exactly `length` archive bytes and a
// trailer that matches them and the set. Leaves the file at its data.
bool VolumeFileIsIntact(HANDLE file, uint32_t length, uint32_t set_mark);
