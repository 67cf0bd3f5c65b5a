// The block in the setup program's initialised data that the builder fills
// in after linking: a marker to find it by, then the stub length, the file
// offset at which the package begins (0: no package appended).
#pragma once
#include <cstdint>

#include "package/package_format.h"

#pragma pack(push, 1)
struct PatchBlock {
    uint8_t marker[6];
    uint32_t stub_length;
};
#pragma pack(pop)


extern volatile PatchBlock g_patch_block;

inline uint32_t StubLength() { return g_patch_block.stub_length; }
