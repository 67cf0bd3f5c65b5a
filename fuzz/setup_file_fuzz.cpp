// Damaged setup files read back as `kiln verify`, `kiln inspect` and
// `kiln extract` read them: the reader, the package checks, every file's
// decoding (deltas included) and the extraction paths, over a setup file
// that kiln built and the input then changed. Whatever comes out must come
// out as messages, never as a read outside a buffer.
//
// Input: byte 0 says whether the integrity record is sealed again after
// the changes (bit 0: so that they reach the checks behind it) and whether
// the file is cut (bit 1: the next 4 bytes give the length); then 5 bytes a
// change: u32 file position (taken modulo the size), u8 to XOR there.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "builder/reading/extract_paths.h"
#include "builder/manifest/manifest.h"
#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "package/package_format.h"

namespace {

// The example product, and two files much alike, so that the file holds a
// delta as well as plain files, texts and tables.
Bytes BuildBase() {
    Product p = LoadManifest(KILN_SOURCE_DIR "/examples/sample/kiln.toml");
    Bytes noise(6000);
    uint32_t s = 12345;
    for (uint8_t& b : noise) s = s * 1103515245u + 12345u, b = uint8_t(s >> 16);
    Bytes like = noise;
    for (size_t k = 0; k < like.size(); k += 700) like[k] ^= 0x5A;
    for (const Bytes* content : {&noise, &like}) {
        ProductFile f;
        f.target = content == &noise ? "data\\first.bin" : "data\\second.bin";
        f.content = *content;
        f.file_times = false;
        p.types[0].files.push_back(f);
    }
    p.auto_delta = true;
    Bytes stub(3000, 0x90);
    std::copy(kPatchMarker, kPatchMarker + 6, stub.begin() + 1000);
    return BuildSetupFile(p, stub);
}

const Bytes& Base() {
    static const Bytes base = BuildBase();
    return base;
}

// Where the integrity record's header lies in the base file.
size_t IntegrityAt() {
    static const size_t at = [] {
        for (const ReadRecord& r : ReadSetupFile(Base()).records)
            if (r.tag == kTagIntegrity) return size_t(r.offset);
        std::abort();  // the builder always writes one
        return size_t(0);
    }();
    return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Bytes file = Base();
    size_t at = 1;
    bool reseal = data[0] & 1;
    if ((data[0] & 2) && size >= 5) {
        uint32_t length = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 |
                          uint32_t(data[4]) << 24;
        file.resize(length % (file.size() + 1));
        at = 5;
        reseal = false;  // the record may be gone
    }
    for (; at + 5 <= size && !file.empty(); at += 5) {
        uint32_t position = uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                            uint32_t(data[at + 3]) << 24;
        file[position % file.size()] ^= data[at + 4];
    }
    // Sealing writes into the record and the PE header fields it knows;
    // changes that moved them are read as they are.
    if (reseal) {
        try {
            SealSetupFile(file, IntegrityAt());
        } catch (const std::exception&) {
        }
    }
    try {
        PackageView view = CheckPackage(file);
        size_t checked = 0;
        std::vector<std::string> warnings;
        BuiltFile built = [](size_t, const uint8_t* entry, const Bytes&) {
            std::string refusal;
            ExtractPath(entry, &refusal);
        };
        VerifyPackage(view, &checked, &warnings, &built);
    } catch (const std::exception&) {
        // A file the reader gives up on with a message is a fine outcome.
    }
    return 0;
}
