// Delta entries in setup files: the entry fields the setup program reads,
// deltas kept only when smaller, the automatic search's choice of base,
// bases the setup program could not use refused, and verification that
// rebuilds each delta and finds a damaged one.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "builder/archive/delta_bases.h"
#include "builder/archive/similarity.h"
#include "builder/archive/stream_encoder.h"
#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/setup_files.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "tests/host/hand_made_setups.h"
#include "tests/host/package_fixtures.h"

namespace fs = std::filesystem;

namespace {

// The entry of setup type k whose target is `name`.
const uint8_t* Entry(const PackageView& v, size_t k, const std::string& name, uint32_t* ordinal = nullptr) {
    const Bytes& list = v.types.at(k).file_list->body;
    const uint8_t* e = list.data() + kFileListHeaderSize;
    for (uint32_t i = 0; i < ReadU32(list.data()); ++i, e = NextEntry(e))
        if (EntryString(e, 0) == name) {
            if (ordinal) *ordinal = i;
            return e;
        }
    return nullptr;
}

std::vector<std::string> Verify(const Bytes& setup) {
    size_t checked;
    return VerifyPackage(CheckPackage(setup), &checked);
}

struct Dlls {
    std::string old_build = SystemDll("x3daudio1_0.dll"), new_build = SystemDll("x3daudio1_3.dll");
    std::string input_old = SystemDll("xinput1_3.dll"), input_new = SystemDll("xinput1_4.dll");
    bool present() const { return !old_build.empty() && !new_build.empty() && !input_old.empty() && !input_new.empty(); }
};

// Two setup types holding two builds of app.dll; the second may name the
// first as its base. No automatic search: only what the manifest names.
Product TwoBuilds(const Dlls& d, const ScratchFolder& f, bool delta) {
    Product p = ProductWith({{FileFrom(f.Write("notes.txt", Bytes(3000, 'n')), "notes.txt"), FileFrom(d.old_build, "app.dll")},
                             {FileFrom(d.new_build, "app.dll")}});
    p.auto_delta = false;
    if (delta) p.types[1].files[0].delta_base = EntryRef{0, 1};
    return p;
}

TEST(DeltaPackages, NamedBaseInAnotherSetupType) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    ScratchFolder f;
    SetupFiles plain = BuildSetupFiles(TwoBuilds(d, f, false), FakeStub());
    SetupFiles files = BuildSetupFiles(TwoBuilds(d, f, true), FakeStub());

    PackageView v = CheckPackage(files.setup);
    ASSERT_TRUE(v.problems.empty()) << v.problems.front();
    uint32_t base_ordinal = 0;
    const uint8_t* base = Entry(v, 0, "app.dll", &base_ordinal);
    const uint8_t* delta = Entry(v, 1, "app.dll");
    ASSERT_TRUE(base && delta);
    EXPECT_FALSE(base[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU16(base + kEntrySetupType), 0);
    EXPECT_TRUE(delta[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU16(delta + kEntrySetupType), 0) << "the base's setup type";
    EXPECT_EQ(ReadU32(delta + kEntryBaseOrdinal), base_ordinal);
    EXPECT_EQ(ReadU32(delta + kEntryUnpackedSize), fs::file_size(d.new_build));
    EXPECT_LT(ReadU32(delta + kEntryArchiveOffset), v.file.archive.size());
    EXPECT_GT(ReadU32(delta + kEntryArchiveOffset), ReadU32(base + kEntryArchiveOffset)) << "the base's stream first";

    ASSERT_EQ(files.deltas.size(), 1u);
    const DeltaChoice& c = files.deltas[0];
    EXPECT_TRUE(c.kept && !c.automatic);
    EXPECT_EQ(c.delta_size, ReadU32(delta + kEntryStoredSize));
    EXPECT_EQ(CheckPackage(plain.setup).file.archive.size() - v.file.archive.size(), c.plain_size - c.delta_size);
    size_t checked = 0;
    std::vector<std::string> faults = VerifyPackage(v, &checked);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(checked, 3u);
}

TEST(DeltaPackages, DeltaAcrossVolumesVerifiesFromDisk) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    ScratchFolder f;
    Product p = TwoBuilds(d, f, true);
    Bytes single = BuildSetupFile(p, FakeStub());
    PackageView v = CheckPackage(single);
    size_t fixed = single.size() - v.file.archive_length;
    // Volume ends inside the base's stream and inside the delta's items:
    // the second end (2 * size - fixed - 4) halfway through the items.
    const uint8_t* base = Entry(v, 0, "app.dll");
    const uint8_t* delta = Entry(v, 1, "app.dll");
    uint64_t middle = ReadU32(delta + kEntryArchiveOffset) + ReadU32(delta + kEntryStoredSize) / 2;
    p.volume_size = uint32_t((middle + fixed + 4) / 2);
    uint64_t first_end = p.volume_size - fixed;
    ASSERT_GT(first_end, ReadU32(base + kEntryArchiveOffset));
    ASSERT_LT(first_end, ReadU32(base + kEntryArchiveOffset) + ReadU32(base + kEntryStoredSize));
    SetupFiles files = BuildSetupFiles(p, FakeStub());
    ASSERT_EQ(files.volumes.size(), 2u);
    fs::path setup = f.dir / "setup.exe";
    WriteSetupSet(setup, files.setup, files.volumes);
    std::ifstream in(setup, std::ios::binary);
    size_t checked = 0;
    std::vector<std::string> faults =
        VerifyPackage(CheckPackage(Bytes((std::istreambuf_iterator<char>(in)), {}), setup.string()), &checked);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(checked, 3u);
}

TEST(DeltaPackages, EqualContentSharesADeltaButNeverWithTheUninstaller) {
    ScratchFolder f;
    Bytes base = Noise(50000, 5), edited = base;
    edited[25000] ^= 1;
    fs::path edited_path = f.Write("new.bin", edited);
    ProductFile uninstaller = FileFrom(edited_path, "uninst.exe");
    uninstaller.uninstaller = true;  // written after the uninstaller record: never a delta
    Product p = ProductWith({{FileFrom(f.Write("old.bin", base), "old.bin")},
                             {FileFrom(edited_path, "new.bin"), FileFrom(edited_path, "copy.bin"), uninstaller}});
    p.types[1].files[0].delta_base = EntryRef{0, 0};
    PackageView v = CheckPackage(BuildSetupFiles(p, FakeStub()).setup);
    const uint8_t* delta = Entry(v, 1, "new.bin");
    const uint8_t* copy = Entry(v, 1, "copy.bin");
    const uint8_t* uninst = Entry(v, 1, "uninst.exe");
    EXPECT_TRUE(delta[kEntryFlags] & kEntryIsDelta);
    EXPECT_TRUE(copy[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU32(copy + kEntryArchiveOffset), ReadU32(delta + kEntryArchiveOffset));
    EXPECT_EQ(uninst[kEntryFlags] & (kEntryIsDelta | kEntryIsUninstaller), kEntryIsUninstaller);
    size_t checked;
    EXPECT_TRUE(VerifyPackage(v, &checked).empty());
}

TEST(DeltaPackages, KeptOnlyWhenSmallerThanThePlainStream) {
    ScratchFolder f;
    Bytes text(20000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = "unrelated to its base "[i % 22];
    Product p = ProductWith({{FileFrom(f.Write("noise.bin", Noise(20000, 1)), "noise.bin")},
                             {FileFrom(f.Write("text.bin", text), "text.bin")}});
    p.types[1].files[0].delta_base = EntryRef{0, 0};
    SetupFiles files = BuildSetupFiles(p, FakeStub());
    ASSERT_EQ(files.deltas.size(), 1u);
    EXPECT_FALSE(files.deltas[0].kept);
    EXPECT_GE(files.deltas[0].delta_size, files.deltas[0].plain_size);
    PackageView v = CheckPackage(files.setup);
    EXPECT_FALSE(Entry(v, 1, "text.bin")[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU16(Entry(v, 1, "text.bin") + kEntrySetupType), 1) << "its own setup type again";
    EXPECT_TRUE(Verify(files.setup).empty());
}

TEST(DeltaPackages, AutomaticSearchMeasuresItsCandidates) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    ScratchFolder f;
    // A decoy of the target's own name that shares nothing with it, and the
    // earlier build under another name.
    Product p = ProductWith({{FileFrom(d.input_old, "input.dll"), FileFrom(f.Write("app.dll", Noise(200000, 3)), "app.dll"),
                              FileFrom(f.Write("small.dll", Bytes(100, 1)), "small.dll")},
                             {FileFrom(d.input_new, "app.dll"), FileFrom(d.input_old, "input.dll")}});
    p.auto_delta = true;
    SetupFiles files = BuildSetupFiles(p, FakeStub());
    PackageView v = CheckPackage(files.setup);
    const uint8_t* e = Entry(v, 1, "app.dll");
    ASSERT_TRUE(e[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU16(e + kEntrySetupType), 0);
    EXPECT_EQ(ReadU32(e + kEntryBaseOrdinal), 0u) << "input.dll, not the decoy";
    ASSERT_EQ(files.deltas.size(), 1u) << "only kept deltas of the search are reported";
    EXPECT_TRUE(files.deltas[0].automatic);
    // Equal content is stored once, whatever the search would find.
    EXPECT_FALSE(Entry(v, 1, "input.dll")[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU32(Entry(v, 1, "input.dll") + kEntryArchiveOffset), ReadU32(Entry(v, 0, "input.dll") + kEntryArchiveOffset));
    for (const char* name : {"input.dll", "app.dll", "small.dll"})
        EXPECT_FALSE(Entry(v, 0, name)[kEntryFlags] & kEntryIsDelta) << name;
    EXPECT_TRUE(Verify(files.setup).empty());
}

TEST(DeltaPackages, SearchKeepsWholeAFileThatALaterNamesakeNeeds) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    // The first input.dll would itself pass as a delta against app.dll (the
    // two share their start-up code), but then it could not be the second's base.
    Product p = ProductWith({{FileFrom(d.old_build, "app.dll"), FileFrom(d.input_old, "input.dll")},
                             {FileFrom(d.input_new, "input.dll")}});
    p.auto_delta = true;
    PackageView v = CheckPackage(BuildSetupFiles(p, FakeStub()).setup);
    EXPECT_FALSE(Entry(v, 0, "input.dll")[kEntryFlags] & kEntryIsDelta);
    const uint8_t* e = Entry(v, 1, "input.dll");
    ASSERT_TRUE(e[kEntryFlags] & kEntryIsDelta);
    EXPECT_EQ(ReadU32(e + kEntryBaseOrdinal), 1u);
}

TEST(DeltaPackages, SketchesEstimateSharedRuns) {
    Bytes small = Noise(20000, 1), large = Noise(200000, 2);
    std::copy(small.begin(), small.end(), large.begin() + 90000);  // small lies whole inside large
    Sketch s = SketchOf(small.data(), small.size()), l = SketchOf(large.data(), large.size());
    Sketch other = SketchOf(Noise(20000, 3).data(), 20000);
    EXPECT_NEAR(double(s.runs), 20000.0, 20000 * 0.2);
    EXPECT_NEAR(double(l.runs), 200000.0, 200000 * 0.2);
    EXPECT_DOUBLE_EQ(Containment(s, s), 1.0);
    EXPECT_NEAR(Containment(s, l), 1.0, 0.15) << "all of the small file is in the large one";
    EXPECT_NEAR(Containment(l, s), 0.1, 0.05) << "a tenth of the large one is in the small one";
    EXPECT_EQ(Containment(s, other), 0.0);
    EXPECT_EQ(SketchOf(small.data(), 7).runs, 0u) << "too short for a run";
    Bytes zeros(5000, 0);
    EXPECT_EQ(SketchOf(zeros.data(), zeros.size()).runs, 1u) << "one distinct run";
}

// Candidates are ranked by what their sketches say they share with the
// target; a file sharing too little is no candidate at all.
TEST(DeltaPackages, CandidatesBySharedContent) {
    Bytes target = Noise(60000, 1);
    auto mix = [&](size_t kept, uint32_t seed) {  // the target's first `kept` bytes, then other bytes
        Bytes b = Noise(target.size(), seed);
        std::copy(target.begin(), target.begin() + long(kept), b.begin());
        return b;
    };
    Bytes huge = target;  // all of the target, but more than four times its size
    huge.resize(target.size() * 4 + 1000, 7);
    std::vector<Bytes> files = {Noise(60000, 9), mix(30000, 2), mix(54000, 3), mix(3000, 4), mix(54000, 5), huge};
    std::vector<Sketch> sketches;
    for (const Bytes& b : files) sketches.push_back(SketchOf(b.data(), b.size()));
    Sketch target_sketch = SketchOf(target.data(), target.size());
    std::vector<BaseCandidate> pool;
    for (uint32_t i = 0; i < files.size(); ++i)
        pool.push_back({{0, i}, "f" + std::to_string(i), files[i].size(), &sketches[i]});
    BaseCandidate t{{1, 0}, "target", target.size(), &target_sketch};

    std::vector<uint32_t> order;
    for (EntryRef r : RankDeltaBases(t, pool, 10)) order.push_back(r.index);
    // Nine tenths twice (in pool order), then half; a twentieth, nothing and
    // a file too large to be worth decoding for it are left out.
    EXPECT_EQ(order, (std::vector<uint32_t>{2, 4, 1}));
    EXPECT_EQ(RankDeltaBases(t, pool, 1).size(), 1u);

    std::vector<bool> keep = KeepWholeForLaterNamesakes(
        {{{0, 0}, "a.dll", 100}, {{0, 1}, "b.dll", 100}, {{1, 0}, "A.DLL", 150}, {{1, 1}, "b.dll", 300}});
    EXPECT_EQ(keep, (std::vector<bool>{true, false, false, false}));
}

// The work runs on every core; the setup file must not depend on how many.
TEST(DeltaPackages, SameArchiveOnAnyNumberOfThreads) {
    ScratchFolder f;
    Bytes a = Noise(40000, 1), b = a, c = Noise(40000, 2);
    for (size_t i = 0; i < b.size(); i += 997) b[i] ^= 0x5A;
    Product p = ProductWith({{FileFrom(f.Write("a.bin", a), "a.bin"), FileFrom(f.Write("b.bin", b), "b.bin"),
                              FileFrom(f.Write("c.bin", c), "c.bin"), FileFrom(f.Write("b2.bin", b), "b2.bin")}});
    p.auto_delta = true;
    ArchivePlan one = PlanArchive(p, kDefaultLevel, {}, 1);
    ASSERT_EQ(one.deltas.size(), 1u);
    EXPECT_TRUE(one.files[0][1].delta) << "b.bin against a.bin";
    for (unsigned threads : {2u, 3u, 8u}) {
        ArchivePlan many = PlanArchive(p, kDefaultLevel, {}, threads);
        EXPECT_TRUE(many.archive == one.archive) << threads;
        ASSERT_EQ(many.deltas.size(), one.deltas.size()) << threads;
    }
}

TEST(DeltaPackages, VerifyFindsADamagedDelta) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    ScratchFolder f;
    Bytes setup = BuildSetupFiles(TwoBuilds(d, f, true), FakeStub()).setup;
    PackageView v = CheckPackage(setup);
    ASSERT_TRUE(Verify(setup).empty());
    size_t archive_at = size_t(v.file.archive_start) + 4;
    const uint8_t* delta = Entry(v, 1, "app.dll");
    const uint8_t* base = Entry(v, 0, "app.dll");
    size_t items = ReadU32(delta + kEntryArchiveOffset), items_size = ReadU32(delta + kEntryStoredSize);
    struct Case {
        const char* name;
        size_t at;  // archive offset of the byte flipped
    } cases[] = {
        {"command item header", items},
        {"command item data", items + 10},
        {"literal item data", items + items_size - 2},
        {"the base's stream", ReadU32(base + kEntryArchiveOffset) + ReadU32(base + kEntryStoredSize) / 2},
    };
    for (const Case& c : cases) {
        Bytes bad = setup;
        bad[archive_at + c.at] ^= 0x44;
        std::vector<std::string> faults = Verify(Resealed(bad));
        bool named = false;
        for (const std::string& fault : faults) named |= fault.find("type 1, app.dll: ") == 0;
        EXPECT_TRUE(named) << c.name << (faults.empty() ? ": no fault" : ": " + faults.front());
    }
}

// The setup file with setup type k's file list changed: the record is
// rebuilt in place, and the records and archive after it move along.
Bytes ChangeFileList(const Bytes& setup, size_t k, void (*change)(uint8_t* first_entry)) {
    PackageView v = CheckPackage(setup);
    const ReadRecord& r = *v.types.at(k).file_list;
    Bytes body = r.body;
    change(body.data() + kFileListHeaderSize);
    Bytes out(setup.begin(), setup.begin() + long(r.offset));
    AppendRecord(out, r.tag, body, 1);
    out.insert(out.end(), setup.begin() + long(r.offset + kRecordHeaderSize + r.stored_size), setup.end());
    return out;
}

TEST(DeltaPackages, VerifyFindsMisleadingEntries) {
    Dlls d;
    if (!d.present()) GTEST_SKIP() << "no Wine DLLs";
    ScratchFolder f;
    Bytes setup = BuildSetupFiles(TwoBuilds(d, f, true), FakeStub()).setup;
    struct Case {
        const char* name;
        size_t type;
        void (*change)(uint8_t* e);  // the type's first entry
        const char* expected;
    } cases[] = {
        {"base ordinal past the list", 1, [](uint8_t* e) { WriteU32(e + kEntryBaseOrdinal, 9); },
         "type 1, app.dll: its base (entry 9 of setup type 0) does not exist"},
        {"base type that does not exist", 1, [](uint8_t* e) { WriteU16(e + kEntrySetupType, 5); }, "does not exist"},
        {"the wrong base", 1, [](uint8_t* e) { WriteU32(e + kEntryBaseOrdinal, 0); }, "type 1, app.dll: "},
        {"a size beyond what the delta builds", 1, [](uint8_t* e) { WriteU32(e + kEntryUnpackedSize, 0xFFFFFFF0); },
         "type 1, app.dll: its delta builds"},
        {"a plain file claiming 4 GiB", 0, [](uint8_t* e) { WriteU32(e + kEntryUnpackedSize, 0xFFFFFFFF); },
         "type 0, notes.txt: it claims 4294967295 bytes"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> faults = Verify(Resealed(ChangeFileList(setup, c.type, c.change)));
        ASSERT_FALSE(faults.empty()) << c.name;
        EXPECT_NE(faults.front().find(c.expected), std::string::npos) << c.name << ": " << faults.front();
    }
    // What the setup program installs correctly all the same: a delta's
    // items are read from its offset on, whatever its stored size says, and
    // a delta is built as a delta even when it is the uninstaller.
    struct Accepted {
        const char* name;
        void (*change)(uint8_t* e);
        const char* warning;
    } accepted[] = {
        {"a stored size that is not the items'",
         [](uint8_t* e) { WriteU32(e + kEntryStoredSize, ReadU32(e + kEntryStoredSize) - 1); },
         "type 1, app.dll: its items take"},
        {"the uninstaller as a delta", [](uint8_t* e) { e[kEntryFlags] |= kEntryIsUninstaller; },
         "type 1, app.dll: the uninstaller is stored as a delta"},
    };
    for (const Accepted& c : accepted) {
        size_t checked;
        std::vector<std::string> warnings;
        std::vector<std::string> faults = VerifyPackage(CheckPackage(Resealed(ChangeFileList(setup, 1, c.change))), &checked, &warnings);
        EXPECT_TRUE(faults.empty()) << c.name << ": " << faults.front();
        ASSERT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << c.name << ": " << warnings[0];
    }
}

TEST(DeltaPackages, BasesTheSetupProgramCannotUseAreRefused) {
    ScratchFolder f;
    fs::path a = f.Write("a.bin", Noise(2000, 1)), b = f.Write("b.bin", Noise(2000, 2));
    struct Case {
        const char* name;
        void (*change)(Product& p);
        const char* expected;
    } cases[] = {
        {"no such setup type", [](Product& p) { p.types[0].files[1].delta_base = EntryRef{2, 0}; }, "no setup type 2"},
        {"no such file", [](Product& p) { p.types[0].files[1].delta_base = EntryRef{0, 7}; }, "has no file 7"},
        {"itself", [](Product& p) { p.types[0].files[1].delta_base = EntryRef{0, 1}; }, "its own base"},
        {"a folder", [](Product& p) { p.types[0].files[1].delta_base = EntryRef{1, 0}; }, "no data in the archive"},
        {"a folder as a delta", [](Product& p) { p.types[1].files[0].delta_base = EntryRef{0, 0}; },
         "only a file extracted from the archive"},
        {"a delta",
         [](Product& p) {
             p.types[0].files[1].delta_base = EntryRef{0, 0};
             p.types[0].files[0].delta_base = EntryRef{1, 1};
         },
         "itself stored as a delta"},
        {"the uninstaller as a delta",
         [](Product& p) {
             p.types[0].files[1].uninstaller = true;
             p.types[0].files[1].delta_base = EntryRef{0, 0};
         },
         "uninstaller cannot"},
        {"the uninstaller as a base",
         [](Product& p) {
             p.types[0].files[0].uninstaller = true;
             p.types[0].files[1].delta_base = EntryRef{0, 0};
         },
         "is the uninstaller"},
    };
    for (const Case& c : cases) {
        ProductFile folder;
        folder.placement = kPlacementFolder;
        folder.target = "Data";
        Product p = ProductWith({{FileFrom(a, "a.bin"), FileFrom(b, "b.bin")}, {folder, FileFrom(b, "b.bin")}});
        c.change(p);
        try {
            BuildSetupFiles(p, FakeStub());
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const BuildError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.name << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("delta base"), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

}  // namespace
