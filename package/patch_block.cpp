#include "package/patch_block.h"

// Volatile and used: the linker keeps it and the program always reads the
// patched bytes, never a folded constant. In a program made for packing it
// lies in the .kiln section, which the packer leaves uncompressed, so that
// the builder finds it in the file; otherwise it is ordinary data.
#ifdef KILN_PACKABLE_STUB
__attribute__((used, section(".kiln$p")))
#else
__attribute__((used))
#endif
volatile PatchBlock g_patch_block = {{0x77, 0x77, 0x67, 0x54, 0x29, 0x48}, 0};
