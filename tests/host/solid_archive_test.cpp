// Solid LZMA archives: built, read back and verified (whole and in volume
// files), every file identical to its source; the block table's checks; and
// a package built without the mode carries neither its flag nor its record.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/setup_files.h"
#include "package/package_format.h"
#include "package/solid_blocks.h"
#include "tests/host/hand_made_setups.h"
#include "tests/host/package_fixtures.h"

namespace fs = std::filesystem;

namespace {

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

Bytes Words(size_t size, uint32_t seed) {
    Bytes b(size);
    const char words[] = "solid block archive setup ";
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(words[(i * 7 + i / 100 + seed) % (sizeof words - 1)]);
    return b;
}

struct Solid {
    ScratchFolder folder;
    Product product;
    std::map<std::string, Bytes> sources;  // by target
    Solid() {
        sources = {{"a.bin", Noise(30000, 1)}, {"b.txt", Words(50000, 2)}, {"c.txt", Words(50000, 2)},  // c = b
                   {"d.bin", Noise(20000, 4)}, {"empty.txt", {}}};
        std::vector<ProductFile> files;
        for (const auto& [target, bytes] : sources) files.push_back(FileFrom(folder.Write("in/" + target, bytes), target));
        product = ProductWith({files, {files[1], files[3]}});
        product.solid_lzma = true;
    }
    // Verifies the set on disk: faults, and every built file checked against its source.
    std::vector<std::string> Verify(size_t* checked) const {
        fs::path setup = folder.dir / "setup.exe";
        PackageView v = CheckPackage(ReadAll(setup), setup.string());
        BuiltFile compare = [&](size_t, const uint8_t* e, const Bytes& bytes) {
            std::string target = reinterpret_cast<const char*>(e + EntryStringsOffset(e[kEntryFlags]));
            EXPECT_TRUE(bytes == sources.at(target)) << target;
        };
        return VerifyPackage(v, checked, nullptr, &compare);
    }
};

// With the usual window the files fit one block; with a 4 KiB window
// blocks hold 16 KiB, so the files make a linked chain of several.
TEST(SolidArchive, BuildsAndVerifiesWholeAndInVolumes) {
    Solid s;
    Bytes stub = FakeStub();
    for (uint32_t window : {64u << 20, 4096u}) {
        s.product.lzma_window = window;
        s.product.volume_size = 0;
        Bytes whole = BuildSetupFile(s.product, stub);
        uint32_t fixed = uint32_t(whole.size() - CheckPackage(whole).file.archive_length);
        for (uint32_t volume_size : {0u, fixed + 8000}) {  // the blocks cross volume files
            SCOPED_TRACE("window " + std::to_string(window) + ", volume size " + std::to_string(volume_size));
            s.product.volume_size = volume_size;
            SetupFiles files = BuildSetupFiles(s.product, stub);
            if (volume_size) EXPECT_GE(files.volumes.size(), 2u);
            EXPECT_TRUE(files.deltas.empty());
            WriteSetupSet(s.folder.dir / "setup.exe", files.setup, files.volumes);
            size_t checked = 0;
            std::vector<std::string> faults = s.Verify(&checked);
            EXPECT_TRUE(faults.empty()) << faults.front();
            EXPECT_EQ(checked, 7u);
            PackageView v = CheckPackage(files.setup, (s.folder.dir / "setup.exe").string());
            ASSERT_NE(v.solid_table, nullptr);
            EXPECT_EQ(v.solid_linked, window == 4096);
            EXPECT_EQ(v.solid_table->tag, v.solid_linked ? kTagSolidBlocksLinked : kTagSolidBlocks);
            if (v.solid_linked) EXPECT_GE(v.solid_blocks, 3u);
            else EXPECT_EQ(v.solid_blocks, 1u);
        }
    }
    // A missing volume file is named, and no file of the block passes.
    fs::remove(VolumePath(s.folder.dir / "setup.exe", 2));
    size_t checked = 0;
    std::vector<std::string> faults = s.Verify(&checked);
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults.back().find("setup.D02"), std::string::npos) << faults.back();
    EXPECT_EQ(checked, 0u);
    // Built the usual way, the package has neither the flag nor a block table.
    s.product.solid_lzma = false;
    s.product.volume_size = 0;
    PackageView plain = CheckPackage(BuildSetupFile(s.product, stub));
    for (const ReadRecord& r : plain.file.records) {
        EXPECT_NE(r.tag, kTagSolidBlocks);
        EXPECT_NE(r.tag, kTagSolidBlocksLinked);
        if (r.tag == kTagSetupFlags) EXPECT_FALSE(ReadU32(r.body.data()) & kSetupSolidArchive);
    }
    EXPECT_EQ(plain.solid_table, nullptr);
}

// A table of `count` blocks of the given packed sizes, unpacked 1000 bytes each.
Bytes Table(std::vector<uint32_t> packed, uint8_t properties = 93, uint32_t dictionary = 1u << 20) {
    Bytes t(4 + packed.size() * kSolidBlockSize);
    WriteU32(t.data(), uint32_t(packed.size()));
    for (size_t b = 0; b < packed.size(); ++b) {
        uint8_t* p = t.data() + 4 + b * kSolidBlockSize;
        WriteU32(p, packed[b]);
        WriteU32(p + 4, 1000);
        WriteU32(p + 8, dictionary);
        p[12] = properties;
    }
    return t;
}

// A block that holds nothing (every file empty) is sound, and its files verify.
TEST(SolidArchive, EmptyFilesOnly) {
    ScratchFolder folder;
    std::vector<ProductFile> files = {FileFrom(folder.Write("in/a.txt", {}), "a.txt"),
                                      FileFrom(folder.Write("in/b.txt", {}), "b.txt")};
    Product product = ProductWith({files});
    product.solid_lzma = true;
    PackageView v = CheckPackage(BuildSetupFile(product, FakeStub()));
    size_t checked = 0;
    std::vector<std::string> faults = VerifyPackage(v, &checked, nullptr, nullptr);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(checked, 2u);
}

// A linked chain whose second block's stream is damaged: the first
// block's files still verify, and none after the damage does.
TEST(SolidArchive, DamageInALinkedChainStopsIt) {
    Solid s;
    s.product.lzma_window = 4096;
    Bytes setup = BuildSetupFile(s.product, FakeStub());
    PackageView v = CheckPackage(setup);
    ASSERT_TRUE(v.solid_linked);
    SolidBlock second = SolidBlockAt(v.solid_table->body.data(), 1);
    size_t archive_start = setup.size() - v.file.archive_length;
    setup[archive_start + second.archive_offset + second.packed / 2] ^= 0x55;
    setup = Resealed(setup);  // the damage is the block's, not the file's
    fs::path path = s.folder.dir / "setup.exe";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(setup.data()), setup.size());
    size_t checked = 0;
    std::vector<std::string> faults = s.Verify(&checked);
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find("block 1 does not decode"), std::string::npos) << faults[0];
    EXPECT_GE(checked, 1u);
    EXPECT_LT(checked, 7u);
}

TEST(SolidArchive, BlockTableChecks) {
    Bytes two_dictionaries = Table({100, 50});
    WriteU32(two_dictionaries.data() + 4 + kSolidBlockSize + 8, 1u << 16);
    struct Case {
        const char* name;
        Bytes table;
        uint64_t archive;
        bool ok;
        bool linked = false;
    } cases[] = {
        {"linked blocks of one dictionary", Table({100, 50}), 150, true, true},
        {"linked blocks of two dictionaries", two_dictionaries, 150, false, true},
        {"independent blocks of two dictionaries", two_dictionaries, 150, true},
        {"two blocks filling the archive", Table({100, 50}), 150, true},
        {"blocks short of the archive", Table({100, 50}), 151, false},
        {"blocks past the archive", Table({100, 50}), 149, false},
        {"no blocks", Table({}), 0, false},
        {"lc + lp above 4", Table({100}, 3 * 9 + 4), 100, false},  // lp 3, lc 4
        {"properties byte out of range", Table({100}, 225), 100, false},
        {"dictionary above 64 MiB", Table({100}, 93, (64u << 20) + 1), 100, false},
        {"dictionary below 4 KiB", Table({100}, 93, 4095), 100, false},
        {"a block shorter than any stream", Table({4}), 4, false},
    };
    for (const Case& c : cases) {
        uint32_t count = 0;
        uint64_t end = 0;
        const char* fault = CheckSolidTable(c.table.data(), c.table.size(), c.linked, &count, &end);
        EXPECT_EQ(*fault == 0 && end == c.archive, c.ok) << c.name << ": " << fault;
    }
    Bytes table = Table({100, 50});
    Bytes cut(table.begin(), table.end() - 1);
    uint32_t count = 0;
    uint64_t end = 0;
    EXPECT_STRNE(CheckSolidTable(cut.data(), cut.size(), false, &count, &end), "");
    ASSERT_STREQ(CheckSolidTable(table.data(), table.size(), false, &count, &end), "");
    EXPECT_EQ(SolidBlockAt(table.data(), 1).archive_offset, 100u);
    EXPECT_EQ(SolidBlockAt(table.data(), 1).unpacked_before, 1000u);
    EXPECT_EQ(SolidChainSpan(table.data(), 0, true), 2000u);
    EXPECT_EQ(SolidChainSpan(table.data(), 0, false), 1000u);
    EXPECT_TRUE(SolidEntryFits(table.data(), count, 1, 0, 1000));
    EXPECT_TRUE(SolidEntryFits(table.data(), count, 1, 1000, 0));
    EXPECT_FALSE(SolidEntryFits(table.data(), count, 1, 1, 1000));
    EXPECT_FALSE(SolidEntryFits(table.data(), count, 1, 0xFFFFFFFF, 2));
    EXPECT_FALSE(SolidEntryFits(table.data(), count, 2, 0, 0));
}

}  // namespace
