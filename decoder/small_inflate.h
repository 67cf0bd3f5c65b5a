// A second decoder for the same stream format, built for size rather than
// speed: the setup program's unpacking entry decodes the program with it
// before any of the program's own code, the full decoder included, is in
// memory. It decodes a whole stream from memory into memory, one bit at a
// time, and accepts, rejects and produces exactly what Inflate does.
#pragma once
#include <cstddef>
#include <cstdint>

// Code that runs before the program is unpacked: the linker gathers it into
// the setup program's .kiln section, which stays uncompressed. Such code
// calls nothing outside that section but imported functions, and keeps its
// constants out of .rdata.
#define KILN_UNPACKER_CODE __attribute__((section(".kiln$t")))

// Decodes the stream in [in, in + in_size) into out, which has room for
// out_size bytes. False when the stream is invalid or needs more room;
// otherwise *produced is the number of bytes written.
bool SmallInflate(const uint8_t* in, size_t in_size, uint8_t* out, size_t out_size, size_t* produced);
