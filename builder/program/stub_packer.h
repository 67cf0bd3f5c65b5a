// Packs the linked setup program (startup/packed_image.h): its code and data
// sections become one compressed stream, which its unpacking entry decodes
// into place at start-up.
//
// What others read from the file stays as linked: the import table, at the
// same addresses (the loader fills it in before the entry runs), the
// resources (Explorer shows the icon, tools read the version) and the .kiln
// section with the unpacking entry, its record and the patch block that the
// builder finds by its marker. The packed program has four sections:
//
//   .text   the code and data sections' addresses, no bytes in the file;
//           readable and writable, not executable, while they are unpacked
//   .idata  as linked, spanning the resources' old place
//   .kiln   as linked, followed by the loader's relocations of .kiln and
//           the compressed stream
//   .rsrc   the same resources, moved behind .kiln: as the last section
//           of the file they can grow when the builder writes the
//           product's own (builder/program/pe_resources.h)
//
// The loader relocates only .kiln; the unpacking entry relocates what it
// decodes. Headers without a DOS program fit in 512 bytes.
#pragma once
#include <cstdint>

#include "builder/manifest/build_error.h"
#include "builder/manifest/product.h"

struct StubPackOptions {
    int level = 13;
    // Another preferred image base, so that the unpacked bytes are relocated
    // when the program starts (0: as linked).
    uint32_t image_base = 0;
};

// Throws BuildError when the program is not one the packer knows how to
// pack (no .kiln section or record, packed already, a section or data
// directory it cannot keep) or when the packed program does not unpack to
// the linked one: the packer unpacks its result before returning it.
Bytes PackStub(const Bytes& linked, const StubPackOptions& options = {});

// A program's image as the loader lays it out at `base`: its sections at
// their addresses, its base relocations applied. Throws BuildError.
Bytes LoadImage(const Bytes& file, uint32_t base);
