// The setup program's process entry as linked: it unpacks the program
// (startup/packed_image.h) and starts it. Until the program is in place it
// runs only code of the .kiln section and imported functions.
#include <windows.h>

#include "startup/packed_image.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;
extern "C" void WINAPI StubEntry();

// Filled in by the packer; all zero but its marker in the image as linked.
extern "C" __attribute__((section(".kiln$r"))) const PackedImage g_packed_image = {
    {kPackedImageMarker[0], kPackedImageMarker[1], kPackedImageMarker[2], kPackedImageMarker[3],
     kPackedImageMarker[4], kPackedImageMarker[5], kPackedImageMarker[6], kPackedImageMarker[7]},
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

namespace {

KILN_UNPACKER_CODE bool Protect(uint8_t* base, uint32_t rva, uint32_t size, DWORD protection) {
    DWORD old;
    return !size || VirtualProtect(base + rva, size, protection, &old);
}

}  // namespace

extern "C" KILN_UNPACKER_CODE void WINAPI UnpackEntry() {
    // The packer changes the block after compiling: read it through a
    // pointer the compiler knows nothing about.
    const PackedImage* packed = &g_packed_image;
    asm("" : "+r"(packed));
    if (packed->image_size) {
        // Unpacked into pages that are writable, not executable; then the
        // code becomes execute-read and the constants read-only, as linked.
        auto* base = reinterpret_cast<uint8_t*>(&__ImageBase);
        if (!UnpackImage(base, uint32_t(uintptr_t(base)), *packed) ||
            !Protect(base, packed->code_rva, packed->code_size, PAGE_EXECUTE_READ) ||
            !Protect(base, packed->read_only_rva, packed->read_only_size, PAGE_READONLY))
            ExitProcess(kDamagedProgramExitCode);
    }
    StubEntry();
}
