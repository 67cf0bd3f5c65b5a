// Reads a setup file back on the build machine: the stub length from its
// patch block, every package record with its decoded body, and the archive.
// Used by `kiln inspect` and `kiln verify`; it trusts nothing in the file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "builder/manifest/product.h"

struct ReadRecord {
    uint16_t tag = 0;
    uint8_t flags = 0;
    uint32_t stored_size = 0;
    uint64_t offset = 0;  // of the header in the file
    bool read = true;     // false when the setup program passes it over: an unknown tag, or stored size 0
    Bytes body;           // decoded when compressed; the 4 raw bytes of setup flags and start page
    bool body_ok = true;  // read, and decoded when compressed, as the setup program reads it
};

// A volume file read beside the setup file.
struct VolumeFile {
    std::string path;
    uint32_t length = 0;     // archive bytes its length field claims
    uint64_t file_size = 0;  // bytes the file holds, the length field included
};

struct SetupFileView {
    uint32_t stub_length = 0;
    std::vector<ReadRecord> records;
    bool has_archive = false;
    uint64_t archive_start = 0;  // file position of the archive length
    uint32_t archive_length = 0;
    bool archive_ends_file = false;
    bool has_start_page = false;  // a start page record was read: the package counts as complete without the end check
    bool is_signed = false;       // a certificate table ends the file; the package ends before it
    bool holds_signature = false; // and it holds an Authenticode signature (PKCS #7 SignedData)
    bool has_integrity = false;   // an integrity record was found and checked (problems say whether it holds)
    Bytes archive;  // the archive: the bytes inside this file, then those of each volume file read
    std::vector<VolumeFile> volumes;  // 1, 2, ...
    std::string missing_volume;       // the first volume file not found; "" when none was looked for
    std::vector<std::string> problems;  // what makes the file unusable, in words
    std::vector<std::string> warnings;  // what the setup program accepts, but is unusual
};

// A whole file's bytes; empty when it cannot be read.
Bytes ReadWholeFile(const std::string& path);

// Reads the setup file's bytes as the setup program's loader does: records
// it passes over are listed but not read, a compressed body that decodes
// short is filled up with zeros. Given the setup file's path, the archive
// goes on with the volume files beside it (setup.D01, setup.D02, ...) as
// far as they exist in a row; a volume file shorter than its length field
// says, or longer, is a problem. A signed file's package ends where its
// certificate table starts. With an integrity record, the setup file and
// each volume file are checked against it, and its volume count decides
// how many volume files are read. Whether the archive's end makes the
// package complete is left to the caller (a start page record does too).
SetupFileView ReadSetupFile(const Bytes& file, const std::string& setup_path = {});
