// kiln inspect and kiln verify judge a setup file as the setup program's
// loader and install engine do: what those accept and install correctly
// is no problem, at most a warning; real damage still is.
#include <gtest/gtest.h>

#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "tests/host/hand_made_setups.h"
#include "tests/host/package_fixtures.h"

namespace {

// Setup type 0: a file, a folder, the uninstaller, a file and its delta.
Bytes BuiltSetup(const ScratchFolder& f) {
    Bytes a = Noise(20000, 1), b = a;
    b[100] ^= 1, b[15000] ^= 1;
    ProductFile folder, uninstaller = FileFrom(f.Write("log.dat", Bytes(50, 'u')), "uninst.exe");
    folder.placement = kPlacementFolder;
    folder.target = "data\\cache";
    uninstaller.uninstaller = true;
    ProductFile delta = FileFrom(f.Write("b.bin", b), "b.bin");
    delta.delta_base = EntryRef{0, 3};
    Product p = ProductWith({{FileFrom(f.Write("readme.txt", Bytes(300, 'r')), "readme.txt"), folder, uninstaller,
                              FileFrom(f.Write("a.bin", a), "a.bin"), delta},
                             {FileFrom(f.Write("other.txt", Bytes(10, 'o')), "other.txt")}});
    p.uninstaller = Noise(3001, 2);  // not a whole number of the checksum's four-byte groups
    return BuildSetupFile(p, FakeStub());
}

uint32_t EntryCount(const PackageView& v, size_t k) { return ReadU32(v.types.at(k).file_list->body.data()); }

TEST(HandMadeSetups, AcceptedAsTheSetupProgramAcceptsThem) {
    ScratchFolder f;
    Bytes setup = BuiltSetup(f);
    PackageView built = CheckPackage(setup);
    size_t built_checked;
    std::vector<std::string> warnings;
    ASSERT_TRUE(VerifyPackage(built, &built_checked, &warnings).empty());
    ASSERT_TRUE(warnings.empty()) << warnings.front();
    const uint8_t* delta = built.types[0].file_list->body.data() + kFileListHeaderSize;
    for (int i = 0; i < 4; ++i) delta = NextEntry(delta);
    ASSERT_TRUE(delta[kEntryFlags] & kEntryIsDelta) << "the delta is kept";

    for (const HandMadeSetup& h : HandMadeSetups()) {
        PackageView v = CheckPackage(h.make(setup));
        EXPECT_TRUE(v.problems.empty()) << h.name << ": " << v.problems.front();
        ASSERT_EQ(v.types.size(), 2u) << h.name;
        EXPECT_TRUE(v.types[0].sound && v.types[1].sound) << h.name;
        EXPECT_EQ(EntryCount(v, 0), 5u) << h.name;
        size_t checked;
        std::vector<std::string> faults = VerifyPackage(v, &checked, &warnings);
        EXPECT_TRUE(faults.empty()) << h.name << ": " << faults.front();
        EXPECT_EQ(checked, built_checked) << h.name;
        std::string all;
        for (const std::string& w : warnings) all += w + "\n";
        if (*h.warning) EXPECT_NE(all.find(h.warning), std::string::npos) << h.name << ": " << all;
        else EXPECT_EQ(all, "") << h.name;
    }
}

TEST(HandMadeSetups, FolderTargetsEndInABackslash) {
    ScratchFolder f;
    PackageView v = CheckPackage(BuiltSetup(f));
    const uint8_t* folder = NextEntry(v.types[0].file_list->body.data() + kFileListHeaderSize);
    EXPECT_STREQ(EntryString(folder, 0), "data\\cache\\");
    EXPECT_TRUE(v.warnings.empty());
}

TEST(HandMadeSetups, DamageIsStillFound) {
    ScratchFolder f;
    Bytes setup = BuiltSetup(f);
    PackageView built = CheckPackage(setup);
    const uint8_t* uninstaller = NextEntry(NextEntry(built.types[0].file_list->body.data() + kFileListHeaderSize));
    Bytes bad = setup;
    // Its stream's first byte: the block header becomes an unknown block type.
    bad[built.file.archive_start + 4 + ReadU32(uninstaller + kEntryArchiveOffset)] = 0x03;
    size_t checked;
    std::vector<std::string> faults = VerifyPackage(CheckPackage(Resealed(bad)), &checked);
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults.front().find("type 0, uninst.exe: its data does not decode"), std::string::npos) << faults.front();
}

}  // namespace
