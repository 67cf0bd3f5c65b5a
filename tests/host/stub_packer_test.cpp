// The packer on a small program laid out as the linker lays out the setup
// program: what it packs unpacks to the linked program wherever the loader
// puts it, the builder's patch block still works, damage never unpacks to
// other bytes, and what it cannot keep it refuses. The call filter it uses
// gives back any bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "builder/program/pe_resources.h"
#include "builder/program/stub_packer.h"
#include "package/package_format.h"
#include "startup/packed_image.h"

namespace {

constexpr uint32_t kBase = 0x400000;
constexpr uint32_t kCode = 0x60000020, kData = 0xC0000040, kConstants = 0x40000040, kZeroed = 0xC0000080;
constexpr int kImports = 1, kResources = 2, kRelocations = 5, kImportAddresses = 12;

struct FakeSection {
    std::string name;
    uint32_t characteristics;
    Bytes bytes;
    uint32_t virtual_size = 0;  // 0: the size of the bytes
    uint32_t rva = 0;           // set by Link
};

// A program with code full of calls and absolute addresses, data pointing
// into it, constants, zeroed data, imports, resources and .kiln with the
// packing record and the patch block, each at a relocated word.
struct FakeProgram {
    std::vector<FakeSection> sections;
    std::vector<std::pair<size_t, uint32_t>> relocations;  // section, offset; type 3 unless changed
    uint16_t relocation_type = 3;
    int extra_directory = -1;
    bool entry_in_kiln = true;

    FakeProgram() {
        Bytes code(9000), data(600), constants(300), imports(256), resources(200), kiln(120);
        uint32_t x = 7;
        auto next = [&x] { return x = x * 1103515245 + 12345; };
        for (size_t i = 0; i < code.size(); ++i) code[i] = uint8_t(next() >> 24);
        for (size_t i = 0; i + 5 <= code.size(); i += 5 + next() % 20) {  // calls to a few functions
            code[i] = next() % 3 ? 0xE8 : 0xE9;
            WriteU32(&code[i + 1], uint32_t(int32_t(next() % 8 * 1024) - int32_t(i) - 5));
        }
        for (size_t i = 0; i < constants.size(); ++i) constants[i] = uint8_t(i * 7);
        std::copy(std::begin(kPackedImageMarker), std::end(kPackedImageMarker), kiln.begin());
        std::copy(std::begin(kPatchMarker), std::end(kPatchMarker), kiln.begin() + 80);
        sections = {{".text", kCode, code}, {".data", kData, data}, {".rdata", kConstants, constants},
                    {".bss", kZeroed, {}, 5000}, {".idata", kData, imports}, {".rsrc", kConstants, resources},
                    {".kiln", kCode | kData, kiln}};
        for (uint32_t at = 3; at + 4 <= code.size(); at += 61) relocations.push_back({0, at});
        for (uint32_t at = 0; at + 4 <= data.size(); at += 4) relocations.push_back({1, at});
        relocations.push_back({6, 100});
    }
};

// As ReadResources gives them back: in the order of their types and names.
std::vector<Resource> FakeResources() {
    return {{{kResourceIcon, {}}, {1, {}}, 0x409, Bytes(300, 0x11)},
            {{kResourceGroupIcon, {}}, {800, {}}, 0x409, Bytes(20, 0x22)}};
}

FakeSection& Named(FakeProgram& p, const std::string& name) {
    return *std::find_if(p.sections.begin(), p.sections.end(), [&](const FakeSection& s) { return s.name == name; });
}

// Lays the program out as ld does: sections on pages, 512-byte file
// alignment, the relocations last, one block per relocation. Relocated
// words hold the address of their own section as linked.
Bytes Link(FakeProgram p) {
    uint32_t rva = 0x1000;
    for (FakeSection& s : p.sections) {
        s.rva = rva;
        if (s.name == ".rsrc") s.bytes = WriteResources(FakeResources(), rva);
        rva += (std::max<uint32_t>(s.virtual_size, uint32_t(s.bytes.size())) + 0xFFF) & ~0xFFFu;
    }
    Bytes table;
    for (auto [section, offset] : p.relocations) {
        FakeSection& s = p.sections[section];
        if (offset + 4 <= s.bytes.size()) WriteU32(&s.bytes[offset], kBase + s.rva);
        uint32_t at = s.rva + offset;
        table.resize(table.size() + 12);
        WriteU32(&table[table.size() - 12], at & ~0xFFFu);
        WriteU32(&table[table.size() - 8], 12);
        WriteU16(&table[table.size() - 4], uint16_t(p.relocation_type << 12 | (at & 0xFFF)));
    }
    p.sections.push_back({".reloc", 0x42000040, table});
    p.sections.back().rva = rva;
    uint32_t image_size = rva + 0x1000;

    const uint32_t headers = 0x400, pe = 0x80;
    Bytes file(headers);
    file[0] = 'M';
    file[1] = 'Z';
    WriteU32(&file[0x3C], pe);
    std::memcpy(&file[pe], "PE\0\0", 4);
    WriteU16(&file[pe + 4], 0x14C);
    WriteU16(&file[pe + 6], uint16_t(p.sections.size()));
    WriteU16(&file[pe + 20], 224);
    WriteU16(&file[pe + 22], 0x30E);
    uint8_t* o = &file[pe + 24];
    WriteU16(o, 0x10B);
    WriteU32(o + 16, p.entry_in_kiln ? Named(p, ".kiln").rva + 16 : 0x1000);
    WriteU32(o + 28, kBase);
    WriteU32(o + 32, 0x1000);
    WriteU32(o + 36, 0x200);
    WriteU32(o + 56, image_size);
    WriteU32(o + 60, headers);
    WriteU16(o + 68, 2);
    WriteU16(o + 70, 0x140);
    WriteU32(o + 92, 16);
    auto directory = [&](int d, uint32_t at, uint32_t size) {
        WriteU32(o + 96 + 8 * d, at);
        WriteU32(o + 100 + 8 * d, size);
    };
    const FakeSection& imports = Named(p, ".idata");
    directory(kImports, imports.rva, 100);
    directory(kImportAddresses, imports.rva + 100, 40);
    directory(kResources, Named(p, ".rsrc").rva, uint32_t(Named(p, ".rsrc").bytes.size()));
    directory(kRelocations, p.sections.back().rva, uint32_t(table.size()));
    if (p.extra_directory >= 0) directory(p.extra_directory, imports.rva + 200, 24);
    for (size_t i = 0; i < p.sections.size(); ++i) {
        const FakeSection& s = p.sections[i];
        uint8_t* h = &file[pe + 24 + 224 + 40 * i];
        std::memcpy(h, s.name.data(), s.name.size());
        WriteU32(h + 8, std::max<uint32_t>(s.virtual_size, uint32_t(s.bytes.size())));
        WriteU32(h + 12, s.rva);
        uint32_t raw = (uint32_t(s.bytes.size()) + 0x1FF) & ~0x1FFu;
        WriteU32(h + 16, raw);
        WriteU32(h + 20, raw ? uint32_t(file.size()) : 0);
        WriteU32(h + 36, s.characteristics);
        file.insert(file.end(), s.bytes.begin(), s.bytes.end());
        file.resize(file.size() + raw - s.bytes.size());
    }
    return file;
}

size_t Find(const Bytes& bytes, const uint8_t* pattern, size_t size) {
    return size_t(std::search(bytes.begin(), bytes.end(), pattern, pattern + size) - bytes.begin());
}

PackedImage RecordOf(const Bytes& image) {
    PackedImage record;
    std::memcpy(&record, &image[Find(image, kPackedImageMarker, sizeof kPackedImageMarker)], sizeof record);
    return record;
}

struct Headers {
    uint32_t image_base, entry, size_of_headers;
    std::vector<std::string> names;
    std::vector<uint32_t> raw_sizes;
    uint32_t directories[16][2];
};

Headers HeadersOf(const Bytes& file) {
    Headers h;
    uint32_t pe = ReadU32(&file[0x3C]);
    const uint8_t* o = &file[pe + 24];
    h.image_base = ReadU32(o + 28);
    h.entry = ReadU32(o + 16);
    h.size_of_headers = ReadU32(o + 60);
    for (int d = 0; d < 16; ++d) {
        h.directories[d][0] = ReadU32(o + 96 + 8 * d);
        h.directories[d][1] = ReadU32(o + 100 + 8 * d);
    }
    for (uint32_t i = 0; i < ReadU16(&file[pe + 6]); ++i) {
        const uint8_t* s = o + 224 + 40 * i;
        h.names.emplace_back(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
        h.raw_sizes.push_back(ReadU32(s + 16));
    }
    return h;
}

TEST(StubPacker, UnpacksToTheLinkedProgramWhereverLoaded) {
    const Bytes linked = Link(FakeProgram());
    for (uint32_t preferred : {0u, 0x10000000u}) {
        SCOPED_TRACE(preferred);
        StubPackOptions options;
        options.image_base = preferred;
        Bytes packed = PackStub(linked, options);
        EXPECT_LT(packed.size(), linked.size());
        Headers h = HeadersOf(packed), l = HeadersOf(linked);
        EXPECT_EQ(h.image_base, preferred ? preferred : kBase);
        EXPECT_EQ(h.entry, l.entry);
        EXPECT_EQ(h.size_of_headers, 0x200u);
        EXPECT_EQ(h.names, (std::vector<std::string>{".text", ".idata", ".kiln", ".rsrc"}))
            << "the resources last, where they can grow";
        EXPECT_EQ(h.raw_sizes[0], 0u) << "the code and data travel packed";
        for (int d : {kImports, kImportAddresses}) {
            EXPECT_EQ(h.directories[d][0], l.directories[d][0]);
            EXPECT_EQ(h.directories[d][1], l.directories[d][1]);
        }

        // The builder patches the file; the program reads its image.
        size_t block = FindPatchBlock(packed.data(), packed.size());
        ASSERT_LT(block, packed.size());
        EXPECT_EQ(FindPatchBlock(packed.data(), packed.size(), block + 1), packed.size());
        WriteU32(&packed[block + sizeof kPatchMarker], 0x12345678);

        for (uint32_t base : {h.image_base, h.image_base + 0x230000, 0x00010000u}) {
            Bytes image = LoadImage(packed, base), expected = LoadImage(linked, base);
            PackedImage record = RecordOf(image);
            ASSERT_TRUE(UnpackImage(image.data(), base, record)) << std::hex << base;
            EXPECT_EQ(record.linked_base, kBase);
            // The relocations, decoded after the image, are zeroes again.
            uint32_t end = 0x1000 + record.image_size + record.relocations_size;
            EXPECT_TRUE(std::equal(image.begin() + 0x1000, image.begin() + end, expected.begin() + 0x1000))
                << std::hex << base;
            size_t patch = Find(expected, kPatchMarker, sizeof kPatchMarker);
            EXPECT_EQ(ReadU32(&image[patch + sizeof kPatchMarker]), 0x12345678u);
            EXPECT_EQ(ReadResources(image, h.directories[kResources][0]), FakeResources());
            for (int d : {kImports, kImportAddresses}) {
                uint32_t at = h.directories[d][0], end = at + h.directories[d][1];
                EXPECT_TRUE(std::equal(image.begin() + at, image.begin() + end, expected.begin() + at)) << d;
            }
        }
    }
}

TEST(StubPacker, DamageNeverUnpacksToOtherBytes) {
    const Bytes linked = Link(FakeProgram());
    const Bytes packed = PackStub(linked);
    const Bytes expected = LoadImage(linked, kBase);
    const Bytes loaded = LoadImage(packed, kBase);
    const PackedImage record = RecordOf(loaded);
    const size_t checksum_at = Find(loaded, kPackedImageMarker, sizeof kPackedImageMarker) + offsetof(PackedImage, checksum);
    std::vector<size_t> positions = {checksum_at};
    for (uint32_t i = 0; i + 1 < record.stream_size; i += 13) positions.push_back(record.stream_rva + i);
    size_t detected = 0;
    for (size_t at : positions) {
        Bytes image = loaded;
        image[at] ^= 0x10;
        PackedImage damaged = RecordOf(image);
        if (!UnpackImage(image.data(), kBase, damaged)) {
            ++detected;
            continue;
        }
        uint32_t end = 0x1000 + record.image_size + record.relocations_size;
        EXPECT_TRUE(std::equal(image.begin() + 0x1000, image.begin() + end, expected.begin() + 0x1000))
            << "a change at " << at << " unpacks to other bytes";
    }
    EXPECT_GT(detected, positions.size() * 9 / 10);
}

TEST(StubPacker, RefusesWhatItCannotKeep) {
    struct Case {
        const char* what;
        std::function<void(FakeProgram&)> change;
        const char* message;
    };
    const Case cases[] = {
        {"no record", [](FakeProgram& p) { Named(p, ".kiln").bytes[0] = 'X'; }, "no packing record"},
        {"a thread-local data directory", [](FakeProgram& p) { p.extra_directory = 9; }, "data directory 9"},
        {"a section after the imports",
         [](FakeProgram& p) { p.sections.insert(p.sections.begin() + 5, {".tls", kData, Bytes(16)}); },
         "section .tls follows the import table"},
        {"no .kiln", [](FakeProgram& p) { Named(p, ".kiln").name = ".text2"; }, "no .kiln section"},
        {".kiln before the resources", [](FakeProgram& p) { std::swap(p.sections[5], p.sections[6]); },
         "not .kiln and the relocations"},
        {"the entry point elsewhere", [](FakeProgram& p) { p.entry_in_kiln = false; }, "entry point"},
        {"resources before the imports", [](FakeProgram& p) { std::swap(p.sections[4], p.sections[5]); },
         "data directory 2 lies before"},
        {"64-bit relocations", [](FakeProgram& p) { p.relocation_type = 10; }, "relocations of type 10"},
        {"a relocation in zeroed data", [](FakeProgram& p) { p.relocations.push_back({3, 16}); }, "uninitialised"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeProgram p;
        c.change(p);
        try {
            PackStub(Link(p));
            ADD_FAILURE() << "packed";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    Bytes packed = PackStub(Link(FakeProgram()));
    try {
        PackStub(packed);
        ADD_FAILURE() << "packed twice";
    } catch (const BuildError& e) {
        EXPECT_NE(std::string(e.what()).find("packed already"), std::string::npos) << e.what();
    }
    EXPECT_THROW(PackStub(Bytes(packed.begin(), packed.begin() + 300)), BuildError);
}

TEST(CallFilter, GivesBackAnyBytes) {
    // Mostly opcodes and the top bytes of operands the filter changes.
    const uint8_t alphabet[] = {0xE8, 0xE9, 0x00, 0xFF, 0x01, 0xFE, 0x7F};
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        Bytes code(4096);
        uint32_t x = seed;
        for (uint8_t& b : code) b = alphabet[((x = x * 1103515245 + 12345) >> 16) % sizeof alphabet];
        Bytes filtered = code;
        FilterCallTargets(filtered.data(), filtered.size(), true);
        EXPECT_NE(filtered, code);
        FilterCallTargets(filtered.data(), filtered.size(), false);
        EXPECT_EQ(filtered, code) << "seed " << seed;
    }
    // Calls to one function from two places look alike once filtered.
    Bytes code(64);
    code[0] = code[20] = 0xE8;
    WriteU32(&code[1], 40 - 5);
    WriteU32(&code[21], 40 - 25);
    FilterCallTargets(code.data(), code.size(), true);
    EXPECT_EQ(ReadU32(&code[1]), 40u);
    EXPECT_EQ(ReadU32(&code[21]), 40u);
}

}  // namespace
