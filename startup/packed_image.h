// The setup program as shipped is packed: its code and data travel as one
// compressed stream in its .kiln section, and its unpacking entry
// (programs/setup/unpack_entry.cpp) decodes them into place before the program
// starts. This is the layout that the packer (builder/program/stub_packer.h) writes
// and the unpacking entry reads, and the steps of unpacking itself, kept
// free of the platform so that they can be tested anywhere.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decoder/small_inflate.h"

// Written by the packer into the program's .kiln section, found there by its
// marker. Addresses are relative to the image base. The stream decodes to
// the linked image from image_rva on, with the call targets of its code
// made absolute (FilterCallTargets), followed by its relocations: the gaps
// between successive relocated words, starting from image_rva, each a
// little-endian base-128 number. The relocations land in the zeroed data
// after the image and are zeroed again once applied.
struct PackedImage {
    uint8_t marker[8];
    uint32_t linked_base;  // the image base the packed bytes were linked for
    uint32_t image_rva;
    uint32_t image_size;  // 0: not packed, the program is in place as linked
    uint32_t relocations_size;
    uint32_t stream_rva;
    uint32_t stream_size;
    uint32_t checksum;  // PackedChecksum of the decoded bytes
    uint32_t code_rva;  // the code: call targets filtered, made execute-read once unpacked
    uint32_t code_size;
    uint32_t read_only_rva;  // constants: made read-only once unpacked
    uint32_t read_only_size;
};

constexpr uint8_t kPackedImageMarker[8] = {'K', 'i', 'l', 'n', 'P', 'a', 'c', 'k'};

// Exit code of a setup program whose packed bytes are damaged
// (ERROR_FILE_CORRUPT): it ends before running any of them.
constexpr uint32_t kDamagedProgramExitCode = 1392;

// Rotate left by one and add, byte by byte.
uint32_t PackedChecksum(uint32_t sum, const uint8_t* data, size_t size);

// Near calls and jumps (E8, E9) whose 32-bit displacement lies within
// +-16 MiB: the packer turns each displacement into the target's offset from
// the start of `code` (to_absolute), which repeats across calls to the same
// function and so compresses better; unpacking turns them back. Operands of
// that range map onto that range one to one, other operands stay as they
// are, and the four bytes after E8 or E9 are never taken for an opcode, so
// any bytes come back exactly.
void FilterCallTargets(uint8_t* code, size_t size, bool to_absolute);

// Unpacks in place: `image` holds the mapped image (its byte 0 at image base)
// and `load_base` is the address it runs at. Decodes the stream, checks it,
// restores the call targets and relocates the decoded bytes by load_base -
// linked_base. False, with the image partly written, when the packed bytes
// are damaged.
bool UnpackImage(uint8_t* image, uint32_t load_base, const PackedImage& packed);
