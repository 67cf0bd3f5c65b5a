#include "package/patch_block.h"

// Volatile and used: the linker keeps it and the program always reads the
// patched bytes, never a folded constant. In the .kiln section, which the
// packer leaves uncompressed, so that the builder finds it in the file.
__attribute__((used, section(".kiln$p"))) volatile PatchBlock g_patch_block = {{0x77, 0x77, 0x67, 0x54, 0x29, 0x48}, 0};
