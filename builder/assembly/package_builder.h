// Turns a product into a setup file: the stub with its patch block filled
// in, the package records, and the file archive.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>

#include "builder/archive/archive_plan.h"
#include "builder/manifest/build_error.h"
#include "builder/manifest/product.h"

struct BuildProgress {
    // Called before each archived file: files done so far, files in all, its source.
    std::function<void(size_t done, size_t total, const std::string& source)> on_file;
};

// A setup file and the volume files that continue its archive.
struct SetupFiles {
    Bytes setup;                 // stub, records, the archive record with the archive's first part
    std::vector<Bytes> volumes;  // volume k at [k - 1]: u32 length, its part of the archive, its trailer
    std::vector<DeltaChoice> deltas;
};

// Throws BuildError naming what is wrong (a missing source file, a stub
// without its patch block, a file too large for the format, a delta base
// the setup program could not use, a volume size too small).
//
// With a volume size, every file of the set stays within it: the setup file
// as a whole (stub, records, the archive record's 12 header bytes and its
// part of the archive) and each volume file (its 4-byte length, its
// part and its 8-byte trailer). The setup file must have room for at least one archive byte, and
// the set may have at most kMaxVolumeFiles volume files. Any file's data
// may run on from one file of the set into the next.
SetupFiles BuildSetupFiles(const Product& product, const Bytes& stub, const BuildProgress& progress = {});

// The setup file of a product that asks for no volumes.
Bytes BuildSetupFile(const Product& product, const Bytes& stub, const BuildProgress& progress = {});

constexpr size_t kMaxVolumeFiles = 999;

// Fills in the CRCs of the integrity record whose header lies at
// integrity_at (the archive record follows it and ends the file) and the
// PE checksum; returns the set mark that the volume trailers carry. Also
// for setup files changed after they were built.
uint32_t SealSetupFile(Bytes& setup, size_t integrity_at);

// Appends one record: compressed when that makes it smaller.
void AppendRecord(Bytes& out, uint16_t tag, const Bytes& body, int level);
