// Setup sets cut into volume files: every file within the volume size, the
// archive whole again when the volumes are read back, streams running on
// from one file into the next, stale volumes removed, and verification
// that names a missing or damaged volume file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/setup_files.h"
#include "package/file_list.h"
#include "package/integrity.h"
#include "package/package_format.h"
#include "tests/host/package_fixtures.h"

namespace fs = std::filesystem;

namespace {

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

Bytes Text(size_t size) {
    Bytes b(size);
    const char words[] = "volume archive setup disk ";
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(words[(i * 7 + i / 100) % (sizeof words - 1)]);
    return b;
}

// Five files, about 100 KB of archive, most of it incompressible.
struct Payload {
    ScratchFolder folder;
    Product product;
    Bytes stub = FakeStub();
    size_t fixed = 0;  // the setup file's bytes besides its archive data
    Payload() {
        product = ProductWith({{FileFrom(folder.Write("in/a.bin", Noise(30000, 1)), "a.bin"),
                                FileFrom(folder.Write("in/b.bin", Noise(12000, 2)), "b.bin"),
                                FileFrom(folder.Write("in/c.txt", Text(40000)), "c.txt"),
                                FileFrom(folder.Write("in/d.bin", Noise(25000, 4)), "d.bin"),
                                FileFrom(folder.Write("in/e.txt", {'e'}), "e.txt")}});
        Bytes single = BuildSetupFile(product, stub);
        fixed = single.size() - CheckPackage(single).file.archive_length;
    }
    fs::path Setup() const { return folder.dir / "setup.exe"; }
    SetupFiles BuildAndWrite(uint32_t volume_size) {
        product.volume_size = volume_size;
        SetupFiles files = BuildSetupFiles(product, stub);
        WriteSetupSet(Setup(), files.setup, files.volumes);
        return files;
    }
    std::vector<std::string> VerifyFromDisk(size_t* checked = nullptr) const {
        size_t n = 0;
        PackageView v = CheckPackage(ReadAll(Setup()), Setup().string());
        std::vector<std::string> faults = VerifyPackage(v, &n);
        if (checked) *checked = n;
        return faults;
    }
};

TEST(Volumes, NamesFollowTheSetupProgram) {
    EXPECT_EQ(VolumePath("out/setup.exe", 1), fs::path("out/setup.D01"));
    EXPECT_EQ(VolumePath("setup", 2), fs::path("setup.D02"));
    EXPECT_EQ(VolumePath("my.setup.exe", 100), fs::path("my.setup.D100"));
    EXPECT_EQ(VolumePath("build.v2/setup", 3), fs::path("build.v2/setup.D03"));
    struct Case {
        const char* name;
        size_t number;
    } cases[] = {{"setup.D01", 1}, {"setup.D99", 99}, {"setup.D100", 100}, {"setup.D1", 0},  {"setup.D001", 0},
                 {"setup.D00", 0}, {"setup.Dx1", 0},  {"other.D01", 0},   {"setup.exe", 0}, {"setup.D", 0}};
    for (const Case& c : cases) EXPECT_EQ(VolumeNumberOf("dir/setup.exe", c.name), c.number) << c.name;
}

TEST(Volumes, SetRoundTripsWithinTheVolumeSize) {
    Payload p;
    const uint32_t size = uint32_t(p.fixed + 10000);
    Bytes single = BuildSetupFile(p.product, p.stub);
    SetupFiles files = p.BuildAndWrite(size);
    ASSERT_GE(files.volumes.size(), 3u);

    // Every file within the size, every volume's length field its data's length.
    EXPECT_EQ(fs::file_size(p.Setup()), size);
    Bytes archive = CheckPackage(files.setup).file.archive;
    std::vector<uint64_t> boundaries;
    for (size_t k = 1; k <= files.volumes.size(); ++k) {
        Bytes volume = ReadAll(VolumePath(p.Setup(), k));
        EXPECT_TRUE(volume == files.volumes[k - 1]) << k;
        ASSERT_GE(volume.size(), 5u);
        EXPECT_LE(volume.size(), size) << k;
        EXPECT_EQ(ReadU32(volume.data()), volume.size() - 4 - kVolumeTrailerSize) << k;
        boundaries.push_back(archive.size());
        archive.insert(archive.end(), volume.begin() + 4, volume.end() - kVolumeTrailerSize);
    }
    // Cutting changes nothing else: the same records and the same archive.
    PackageView whole = CheckPackage(single);
    EXPECT_TRUE(archive == whole.file.archive);
    // (The integrity record before the archive record counts the volumes.)
    size_t records_end = size_t(whole.file.archive_start) - 2 * kRecordHeaderSize - kIntegrityBodySize;
    EXPECT_TRUE(std::equal(single.begin(), single.begin() + long(records_end), files.setup.begin()));

    size_t checked = 0;
    std::vector<std::string> faults = p.VerifyFromDisk(&checked);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(checked, 5u);

    // Some file's stream runs on from one file of the set into the next.
    size_t spanning = 0;
    const ReadRecord* list = whole.types[0].file_list;
    const uint8_t* e = list->body.data() + kFileListHeaderSize;
    for (uint32_t i = 0; i < ReadU32(list->body.data()); ++i, e = NextEntry(e)) {
        uint64_t from = ReadU32(e + kEntryArchiveOffset), to = from + ReadU32(e + kEntryStoredSize);
        for (uint64_t b : boundaries) spanning += from < b && b < to;
    }
    EXPECT_GE(spanning, 1u);
}

TEST(Volumes, VerifyNamesAMissingOrDamagedVolume) {
    Payload p;
    struct Case {
        const char* name;
        void (*damage)(const fs::path& setup);
        const char* expected;
    } cases[] = {
        {"missing", [](const fs::path& s) { fs::remove(VolumePath(s, 2)); }, "volume file '"},
        {"cut short", [](const fs::path& s) { fs::resize_file(VolumePath(s, 2), fs::file_size(VolumePath(s, 2)) - 1); },
         "is cut short"},
        {"too long", [](const fs::path& s) { std::ofstream(VolumePath(s, 1), std::ios::app) << 'x'; },
         "bytes after its archive data"},
        {"too short for its length", [](const fs::path& s) { fs::resize_file(VolumePath(s, 1), 3); },
         "too short to hold its length"},
    };
    for (const Case& c : cases) {
        p.BuildAndWrite(uint32_t(p.fixed + 10000));
        c.damage(p.Setup());
        std::vector<std::string> faults = p.VerifyFromDisk();
        ASSERT_FALSE(faults.empty()) << c.name;
        EXPECT_NE(faults.front().find(c.expected), std::string::npos) << c.name << ": " << faults.front();
    }
    // The missing one is named, once, not once for every file behind it.
    p.BuildAndWrite(uint32_t(p.fixed + 10000));
    fs::remove(VolumePath(p.Setup(), 3));
    std::vector<std::string> faults = p.VerifyFromDisk();
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_NE(faults[0].find(VolumePath(p.Setup(), 3).string() + "' is missing"), std::string::npos) << faults[0];
    // Without the setup file's path no volume is looked for.
    size_t checked;
    faults = VerifyPackage(CheckPackage(ReadAll(p.Setup())), &checked);
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults[0].find("not looked for"), std::string::npos) << faults[0];
}

TEST(Volumes, StaleVolumesOfAnEarlierBuildAreRemoved) {
    Payload p;
    size_t many = p.BuildAndWrite(uint32_t(p.fixed + 10000)).volumes.size();
    for (const char* other : {"setup.D001", "setup.txt", "other.D05", "setup.Dxy"}) p.folder.Write(other, {1});
    size_t fewer = p.BuildAndWrite(uint32_t(p.fixed + 40000)).volumes.size();
    ASSERT_LT(fewer, many);
    ASSERT_GE(fewer, 1u);
    for (size_t k = 1; k <= many; ++k) EXPECT_EQ(fs::exists(VolumePath(p.Setup(), k)), k <= fewer) << k;
    EXPECT_TRUE(p.VerifyFromDisk().empty());
    p.BuildAndWrite(0);
    EXPECT_FALSE(fs::exists(VolumePath(p.Setup(), 1)));
    for (const char* other : {"setup.D001", "setup.txt", "other.D05", "setup.Dxy"})
        EXPECT_TRUE(fs::exists(p.folder.dir / other)) << other;
}

TEST(Volumes, SizesTooSmallAreRefused) {
    Payload p;
    // The setup file must hold its stub, its records and one archive byte.
    p.product.volume_size = uint32_t(p.fixed);
    try {
        BuildSetupFiles(p.product, p.stub);
        ADD_FAILURE() << "accepted a setup file without archive data";
    } catch (const BuildError& e) {
        EXPECT_NE(std::string(e.what()).find("at least " + std::to_string(p.fixed + 1)), std::string::npos) << e.what();
    }
    p.product.volume_size = uint32_t(p.fixed + 1);
    SetupFiles smallest = BuildSetupFiles(p.product, p.stub);
    EXPECT_EQ(smallest.setup.size(), p.fixed + 1);
    EXPECT_THROW(BuildSetupFile(p.product, p.stub), BuildError) << "one file asked for, volumes needed";
    // Sizes that would make more than kMaxVolumeFiles files.
    p.product.types[0].files = {FileFrom(p.folder.Write("big.bin", Noise(p.fixed * (kMaxVolumeFiles + 1), 5)), "big.bin")};
    p.product.level = 1;
    EXPECT_THROW(BuildSetupFiles(p.product, p.stub), BuildError);
}

TEST(Volumes, FailedWriteLeavesTheOldSetIntact) {
    Payload p;
    p.folder.Write("setup.exe", {'o', 'l', 'd'});
    p.folder.Write("setup.D01", {'o', 'l', 'd'});
    fs::create_directory(p.folder.dir / "setup.D02.part");  // volume 2 cannot be written
    p.product.volume_size = uint32_t(p.fixed + 10000);
    SetupFiles files = BuildSetupFiles(p.product, p.stub);
    ASSERT_GE(files.volumes.size(), 3u);
    EXPECT_THROW(WriteSetupSet(p.Setup(), files.setup, files.volumes), BuildError);
    EXPECT_EQ(ReadAll(p.Setup()), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(ReadAll(VolumePath(p.Setup(), 1)), (Bytes{'o', 'l', 'd'}));
    for (const fs::directory_entry& e : fs::directory_iterator(p.folder.dir)) {
        std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "in" || name == "setup.exe" || name == "setup.D01" || name == "setup.D02.part") << name;
    }
}

TEST(Volumes, AnArchiveWithoutFilesStillLoads) {
    // A stored size of 0 would make the setup program stop before the
    // archive and refuse the package.
    ProductFile folder;
    folder.placement = kPlacementFolder;
    folder.target = "Data";
    folder.file_times = false;
    Product product = ProductWith({{folder}});
    for (uint32_t volume_size : {0u, 1000000u}) {
        product.volume_size = volume_size;
        SetupFiles files = BuildSetupFiles(product, FakeStub());
        EXPECT_TRUE(files.volumes.empty());
        PackageView v = CheckPackage(files.setup);
        EXPECT_TRUE(v.problems.empty()) << v.problems.front();
        EXPECT_EQ(v.file.archive_length, 0u);
        EXPECT_EQ(ReadU32(&files.setup[size_t(v.file.archive_start) - 4]), 4u) << "the record's stored size";
        size_t checked;
        EXPECT_TRUE(VerifyPackage(v, &checked).empty());
    }
}

}  // namespace
