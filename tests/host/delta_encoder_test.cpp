// Deltas from the builder: every target comes back through the applier the
// setup program's walk uses, every displacement form is written correctly,
// and related files give small deltas. Archive items frame the two parts.
#include "builder/archive/delta_encoder.h"

#include <gtest/gtest.h>

#include <set>

#include "builder/archive/archive_items.h"
#include "builder/archive/stream_encoder.h"
#include "engine/delta_in_memory.h"
#include "package/package_format.h"
#include "tests/host/package_fixtures.h"
#include "tests/host/test_corpus.h"

namespace {

Bytes Slice(const Bytes& b, size_t from, size_t count) { return Bytes(b.begin() + long(from), b.begin() + long(from + count)); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The displacement forms a delta's copies use: bytes (1 to 3) times the sign.
std::set<int> DisplacementForms(const Bytes& base, const DeltaCommands& d) {
    std::set<int> forms;
    DeltaWalk walk = StartDeltaWalk(d.commands.data(), uint32_t(d.commands.size()), d.literals.data(),
                                    uint32_t(d.literals.size()), uint32_t(base.size()), UINT32_MAX);
    DeltaOp op;
    int64_t position = 0;
    while (NextDeltaOp(&walk, &op) == kDeltaOp) {
        if (!op.copy_count) continue;
        int64_t s = int64_t(op.base_position) - position;
        forms.insert(DisplacementBytes(s) * (s < 0 ? -1 : 1));
        position = int64_t(op.base_position) + op.copy_count;
    }
    return forms;
}

TEST(DeltaEncoder, TargetsComeBackThroughTheApplier) {
    Bytes noise = Noise(200000, 7);
    Bytes far = Noise(2500000, 11);  // longer than a displacement reaches
    struct Case {
        const char* name;
        Bytes base, target;
    } cases[] = {
        {"both empty", {}, {}},
        {"empty target", noise, {}},
        {"empty base", {}, Slice(noise, 0, 1000)},
        {"identical, longer than one copy", noise, noise},
        {"one byte changed", noise, [&] { Bytes t = noise; t[100000] ^= 1; return t; }()},
        {"blocks moved, repeated and dropped",
         noise,
         Join({Slice(noise, 150000, 20000), Slice(noise, 0, 40000), Slice(noise, 39000, 3000), Bytes(50, 'x'),
               Slice(noise, 60000, 100), Slice(noise, 60090, 500), Slice(noise, 61000, 40), Slice(noise, 90000, 20)})},
        {"runs beyond the displacement's reach",
         far, Join({Slice(far, 2400000, 3000), Slice(far, 0, 3000), Slice(far, 2450000, 1000)})},
    };
    std::set<int> forms;
    for (const Case& c : cases) {
        DeltaBase base(c.base);
        DeltaCommands d = EncodeDelta(base, c.target);
        DeltaStatus fault = kDeltaEnd;
        std::optional<Bytes> out = ApplyDeltaInMemory(c.base, d.commands, d.literals, UINT32_MAX, &fault);
        ASSERT_TRUE(out) << c.name << ": fault " << fault;
        EXPECT_TRUE(*out == c.target) << c.name;
        std::set<int> f = DisplacementForms(c.base, d);
        forms.insert(f.begin(), f.end());
        if (c.target.empty()) EXPECT_TRUE(d.commands.empty() && d.literals.empty()) << c.name;
    }
    EXPECT_EQ(forms, (std::set<int>{-3, -2, -1, 1, 2, 3})) << "every displacement form, both signs";
}

TEST(DeltaEncoder, CloseFilesGiveSmallDeltas) {
    Bytes noise = Noise(300000, 3);
    Bytes edited = noise;
    edited[1000] ^= 0xFF, edited[150000] ^= 0x01, edited[299999] = 0;
    edited.insert(edited.begin() + 50000, 64, 'A');
    edited.erase(edited.begin() + 200000, edited.begin() + 200100);
    DeltaCommands d = EncodeDelta(DeltaBase(noise), edited);
    // Five edits: a handful of copies and the 67 new bytes.
    EXPECT_LE(d.literals.size(), 80u);
    EXPECT_LE(d.commands.size(), 60u);
}

TEST(DeltaEncoder, RelatedDllsGiveDeltasFarBelowTheirStreams) {
    std::string old_build = SystemDll("x3daudio1_0.dll"), new_build = SystemDll("x3daudio1_3.dll");
    std::string patched_from = SystemDll("xinput1_3.dll");
    if (old_build.empty() || new_build.empty() || patched_from.empty()) GTEST_SKIP() << "no Wine DLLs";
    Bytes patched = ReadFileBytes(patched_from);
    for (size_t at : {size_t(0x400), patched.size() / 2, patched.size() - 5}) patched[at] ^= 0x5A;
    struct Case {
        const char* name;
        Bytes base, target;
        size_t at_most_per_mille;  // of the plain stream
    } cases[] = {
        {"two builds of one DLL", ReadFileBytes(old_build), ReadFileBytes(new_build), 150},
        {"a DLL with three bytes patched", ReadFileBytes(patched_from), patched, 5},
    };
    for (const Case& c : cases) {
        DeltaCommands d = EncodeDelta(DeltaBase(c.base), c.target);
        std::optional<Bytes> out = ApplyDeltaInMemory(c.base, d.commands, d.literals);
        ASSERT_TRUE(out && *out == c.target) << c.name;
        size_t delta = FrameArchiveItem(d.commands, kDefaultLevel).size() + FrameArchiveItem(d.literals, kDefaultLevel).size();
        size_t plain = EncodeStream(c.target.data(), c.target.size(), kDefaultLevel).size();
        EXPECT_LE(delta * 1000, plain * c.at_most_per_mille) << c.name << ": delta " << delta << ", plain " << plain;
    }
}

TEST(ArchiveItems, FramedItemsReadBack) {
    Bytes text(100000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = "kiln archive item "[i % 18];
    struct Case {
        const char* name;
        Bytes data;
        uint8_t flags;
    } cases[] = {
        {"empty", {}, 0},
        {"small and incompressible: stored", Noise(100, 1), 0},
        {"compressible", Slice(text, 0, 5000), kItemCompressed},
        {"compressible, unpacked size past 16 bits", text, kItemCompressed | kItemWideUnpacked},
        {"incompressible, past 16 bits", Noise(70000, 2), kItemWideUnpacked},
        {"incompressible, packed size past 16 bits too", Join({Noise(70000, 3), Slice(text, 0, 2000)}),
         kItemCompressed | kItemWideUnpacked | kItemWidePacked},
    };
    for (const Case& c : cases) {
        Bytes second = Noise(10, 9);
        Bytes archive = Join({{0xEE}, FrameArchiveItem(c.data, kDefaultLevel), FrameArchiveItem(second, kDefaultLevel)});
        EXPECT_EQ(archive[1], c.flags) << c.name;
        size_t at = 1;
        Bytes got, got_second;
        EXPECT_EQ(ReadItemFromArchive(archive, &at, &got), "") << c.name;
        EXPECT_EQ(ReadItemFromArchive(archive, &at, &got_second), "") << c.name;
        EXPECT_TRUE(got == c.data && got_second == second) << c.name;
        EXPECT_EQ(at, archive.size()) << c.name;
    }
}

TEST(ArchiveItems, DamagedItemsAreRefused) {
    Bytes text(5000, 'k');
    Bytes item = FrameArchiveItem(text, kDefaultLevel);
    ASSERT_EQ(item[0], kItemCompressed);
    Bytes cut(item.begin(), item.end() - 1);
    Bytes no_packed_bytes = {kItemCompressed, 10, 0, 0, 0};
    Bytes claims_4_gib = {kItemCompressed | kItemWideUnpacked, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0x0D, 0, 0};
    for (const Bytes* bad : {&cut, &no_packed_bytes, &claims_4_gib}) {
        size_t at = 0;
        Bytes data;
        EXPECT_NE(ReadItemFromArchive(*bad, &at, &data), "") << bad - &cut;
    }
}

// Items the setup program reads without complaint are read the same way,
// with a note on what is unusual.
TEST(ArchiveItems, UnusualItemsAreReadAsTheSetupProgramReadsThem) {
    Bytes text(5000, 'k');
    Bytes item = FrameArchiveItem(text, kDefaultLevel);
    ASSERT_EQ(item[0], kItemCompressed);
    uint16_t packed = ReadU16(&item[3]);
    struct Case {
        const char* name;
        Bytes item;
        Bytes data;
        size_t next;  // where the next item is read
        const char* note;
    } cases[] = {
        {"an unused flag bit", item, text, item.size(), "bits the setup program does not use"},
        {"a packed size with a spare byte", item, text, item.size(), "the next item is read from there"},
        {"an unpacked size past the stream's end", item, text, item.size(), "the rest reads as zeros"},
    };
    cases[0].item[0] |= 0x10;
    cases[1].item.push_back(0);
    WriteU16(&cases[1].item[3], uint16_t(packed + 1));
    WriteU16(&cases[2].item[1], 5010);
    cases[2].data.resize(5010, 0);
    for (const Case& c : cases) {
        size_t at = 0;
        Bytes data;
        std::string note;
        EXPECT_EQ(ReadItemFromArchive(c.item, &at, &data, &note), "") << c.name;
        EXPECT_TRUE(data == c.data) << c.name;
        EXPECT_EQ(at, c.next) << c.name;
        EXPECT_NE(note.find(c.note), std::string::npos) << c.name << ": " << note;
    }
}

}  // namespace
