// Whole-file integrity: the CRCs the builder writes and kiln verify checks,
// what a signed file may carry after its package, and volume trailers.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <fstream>

#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/setup_files.h"
#include "package/integrity.h"
#include "package/package_format.h"
#include "tests/host/package_fixtures.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPeAt = 0x40, kOptionalAt = kPeAt + 24;
constexpr uint32_t kChecksumAt = kOptionalAt + 64, kSecurityAt = kOptionalAt + 96 + 4 * 8;

// A PE32 header with 16 data directories in front of the stand-in stub.
Bytes PeStub() {
    Bytes stub = FakeStub();
    stub[0] = 'M', stub[1] = 'Z';
    WriteU32(&stub[0x3C], kPeAt);
    WriteU32(&stub[kPeAt], 0x4550);
    WriteU16(&stub[kPeAt + 20], 224);  // SizeOfOptionalHeader
    WriteU16(&stub[kOptionalAt], 0x10B);
    WriteU32(&stub[kOptionalAt + 92], 16);
    for (uint32_t i = kOptionalAt + 2; i < kOptionalAt + 224; ++i)
        if (i < kOptionalAt + 92 || i >= kOptionalAt + 96) stub[i] = 0;
    return stub;
}

struct Built {
    ScratchFolder folder;
    Product product = ProductWith({{FileFrom(folder.Write("a.bin", Noise(9000, 3)), "a.bin")},
                                   {FileFrom(folder.Write("b.txt", Bytes(5000, 'b')), "b.txt")}});
    fs::path Setup() const { return folder.dir / "setup.exe"; }
};

std::vector<std::string> Faults(const Bytes& file, const std::string& path = {}) {
    size_t checked = 0;
    return VerifyPackage(CheckPackage(file, path), &checked);
}

// What osslsigncode does: zeros up to 8-byte alignment, then the table,
// named by the security directory, and the checksum set.
// A certificate table as signing tools write it: one WIN_CERTIFICATE of
// revision 2.0 and type 2 whose DER SEQUENCE opens with signedData's OID.
Bytes SignatureTable(uint32_t size) {
    Bytes table = Noise(size, 7);
    WriteU32(&table[0], size);
    WriteU16(&table[4], 0x0200), WriteU16(&table[6], 2);
    const uint8_t head[] = {0x30, 0x82, uint8_t((size - 12) >> 8), uint8_t(size - 12),
                            0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
    std::copy(std::begin(head), std::end(head), table.begin() + 8);
    return table;
}

Bytes Signed(Bytes file, uint32_t table_size = 1000, bool signature = true) {
    while (file.size() % 8) file.push_back(0);
    WriteU32(&file[kSecurityAt], uint32_t(file.size()));
    WriteU32(&file[kSecurityAt + 4], table_size);
    Bytes table = signature ? SignatureTable(table_size) : Noise(table_size, 7);
    file.insert(file.end(), table.begin(), table.end());
    WriteU32(&file[kChecksumAt], PeChecksum(file.data(), file.size(), kChecksumAt));
    return file;
}

}  // namespace

TEST(Integrity, Crc32IsZlibs) {
    Bytes data = Noise(100001, 9);
    for (size_t n : {size_t(0), size_t(1), size_t(3), data.size()})
        EXPECT_EQ(Crc32Update(0, data.data(), n), libdeflate_crc32(0, data.data(), n)) << n;
    uint32_t split = Crc32Update(Crc32Update(0, data.data(), 777), data.data() + 777, data.size() - 777);
    EXPECT_EQ(split, libdeflate_crc32(0, data.data(), data.size()));
}

// Headers that do not hold a whole security directory entry give no layout:
// the setup program then reads the file as unsigned.
TEST(Integrity, SigningLayoutOnlyFromWholeHeaders) {
    Bytes good = PeStub();
    good.resize(kSigningHeadSize);
    SigningLayout layout = ReadSigningLayout(good.data(), good.size());
    EXPECT_EQ(layout.checksum_at, kChecksumAt);
    EXPECT_EQ(layout.security_at, kSecurityAt);
    Bytes plus = good;  // PE32+: the directories lie 16 bytes further on
    WriteU16(&plus[kOptionalAt], 0x20B);
    WriteU32(&plus[kOptionalAt + 108], 16);
    WriteU16(&plus[kPeAt + 20], 240);
    EXPECT_EQ(ReadSigningLayout(plus.data(), plus.size()).security_at, kSecurityAt + 16);

    struct Case {
        const char* name;
        void (*change)(Bytes&);
    } cases[] = {
        {"no MZ", [](Bytes& h) { h[0] = 'X'; }},
        {"header offset past the end", [](Bytes& h) { WriteU32(&h[0x3C], 0xFFFFFFF0); }},
        {"header in the last bytes",
         [](Bytes& h) {
             uint32_t pe = uint32_t(h.size() - 26);
             WriteU32(&h[0x3C], pe);
             WriteU32(&h[pe], 0x4550);
             WriteU16(&h[pe + 20], 224);
             WriteU16(&h[pe + 24], 0x10B);
         }},
        {"no PE signature", [](Bytes& h) { h[kPeAt] = 'X'; }},
        {"unknown optional header", [](Bytes& h) { WriteU16(&h[kOptionalAt], 0x107); }},
        {"four directories", [](Bytes& h) { WriteU32(&h[kOptionalAt + 92], 4); }},
        {"optional header too short", [](Bytes& h) { WriteU16(&h[kPeAt + 20], 96 + 32); }},
        {"cut inside the entry", [](Bytes& h) { h.resize(kSecurityAt + 7); }},
    };
    for (const Case& c : cases) {
        Bytes head = good;
        c.change(head);
        SigningLayout l = ReadSigningLayout(head.data(), head.size());
        EXPECT_EQ(l.checksum_at + l.security_at + l.table_offset + l.table_size, 0u) << c.name;
    }
}

// Every byte of the setup file matters: a flip anywhere in the stub, the
// records, the integrity record or the archive fails verification.
TEST(Integrity, EveryFlippedByteIsFound) {
    Built b;
    Bytes file = BuildSetupFile(b.product, PeStub());
    PackageView v = CheckPackage(file);
    ASSERT_TRUE(Faults(file).empty());
    ASSERT_TRUE(v.file.has_integrity);
    ASSERT_FALSE(v.file.is_signed);
    std::vector<size_t> at = {0, 0x3C, kChecksumAt, kChecksumAt + 3, kSecurityAt, kSecurityAt + 7, 1000, 1006,
                              1009, file.size() - 1};
    for (const ReadRecord& r : v.file.records)
        for (size_t d : {0, 1, 2, 3, 4, 7, 8, 9, 11}) at.push_back(r.offset + d);
    for (size_t p = v.file.stub_length; p < file.size(); p += 13) at.push_back(p);
    for (size_t p : at)
        for (uint8_t mask : {0x01, 0x80}) {
            Bytes bad = file;
            bad[p] ^= mask;
            EXPECT_FALSE(Faults(bad).empty()) << "byte " << p << " ^ " << int(mask);
        }
}

TEST(Integrity, SignedFilesKeepTheirPackage) {
    Built b;
    Bytes file = Signed(BuildSetupFile(b.product, PeStub()));
    PackageView v = CheckPackage(file);
    EXPECT_TRUE(v.file.is_signed);
    EXPECT_TRUE(v.file.holds_signature);
    EXPECT_TRUE(v.file.archive_ends_file);
    std::vector<std::string> faults = Faults(file);
    EXPECT_TRUE(faults.empty()) << faults.front();

    struct Case {
        const char* name;
        void (*damage)(Bytes&);
        bool checksum_kept;  // else set to match the damaged file, as a careless tool would
    } cases[] = {
        {"table not at the end", [](Bytes& f) { f.push_back(0); }, false},
        {"table not aligned",
         [](Bytes& f) {
             WriteU32(&f[kSecurityAt], ReadU32(&f[kSecurityAt]) - 1);
             WriteU32(&f[kSecurityAt + 4], ReadU32(&f[kSecurityAt + 4]) + 1);
         },
         false},
        {"padding (or the archive's last byte) not zero", [](Bytes& f) { f[ReadU32(&f[kSecurityAt]) - 1] ^= 1; }, false},
        {"checksum of another file", [](Bytes& f) { WriteU32(&f[kChecksumAt], ReadU32(&f[kChecksumAt]) + 1); }, true},
    };
    for (const Case& c : cases) {
        Bytes bad = file;
        c.damage(bad);
        if (!c.checksum_kept) WriteU32(&bad[kChecksumAt], PeChecksum(bad.data(), bad.size(), kChecksumAt));
        EXPECT_FALSE(Faults(bad).empty()) << c.name;
    }
    // The table starts within 7 zero bytes after the archive, on an 8-byte boundary.
    bool is_signed = false;
    EXPECT_EQ(PackageEnd(ReadSigningLayout(file.data(), kSigningHeadSize), file.size(), &is_signed),
              ReadU32(&file[kSecurityAt]));
    EXPECT_TRUE(ArchiveEndsPackage(64, 64, true));
    EXPECT_TRUE(ArchiveEndsPackage(57, 64, true));
    EXPECT_FALSE(ArchiveEndsPackage(56, 64, true));
    EXPECT_FALSE(ArchiveEndsPackage(57, 64, false));
}

// "Signed" only for a table that holds a signature: junk where the
// certificate table belongs, or a WIN_CERTIFICATE of another kind, reads as
// unsigned, with a warning; the package still ends before the table.
TEST(Integrity, SignedOnlyWithASignature) {
    Built b;
    const Bytes plain = BuildSetupFile(b.product, PeStub());
    const Bytes good = SignatureTable(1000);
    auto with_table = [&](const Bytes& table) {
        Bytes file = Signed(plain, uint32_t(table.size()), false);
        std::copy(table.begin(), table.end(), file.end() - long(table.size()));
        WriteU32(&file[kChecksumAt], PeChecksum(file.data(), file.size(), kChecksumAt));
        return file;
    };
    Bytes revision = good, type = good, not_sequence = good, too_long = good, other_oid = good;
    WriteU16(&revision[4], 0x0100);
    WriteU16(&type[6], 1);
    not_sequence[8] = 0x31;
    too_long[10] = 0xFF;
    other_oid[8 + 4 + 10] = 0x01;  // 1.2.840.113549.1.7.1, data
    const struct {
        const char* name;
        Bytes table;
        bool holds;
    } cases[] = {
        {"a signature", good, true},      {"junk", Noise(256, 3), false},
        {"revision 1.0", revision, false}, {"another certificate type", type, false},
        {"no SEQUENCE", not_sequence, false}, {"a SEQUENCE longer than its table", too_long, false},
        {"another content type", other_oid, false},
    };
    for (const auto& c : cases) {
        PackageView v = CheckPackage(with_table(c.table));
        EXPECT_TRUE(v.file.is_signed) << c.name << ": the table ends the package all the same";
        EXPECT_EQ(v.file.holds_signature, c.holds) << c.name;
        bool warned = std::any_of(v.file.warnings.begin(), v.file.warnings.end(),
                                  [](const std::string& w) { return w.find("holds no Authenticode") != std::string::npos; });
        EXPECT_EQ(warned, !c.holds) << c.name;
    }
}

TEST(Integrity, VolumesCarryTheirOwnCheck) {
    Built b;
    b.product.types[1].files = {FileFrom(b.folder.Write("c.bin", Noise(60000, 4)), "c.bin")};
    Bytes single = BuildSetupFile(b.product, FakeStub());
    uint32_t fixed = uint32_t(single.size() - CheckPackage(single).file.archive_length);
    b.product.volume_size = fixed + 8000;
    SetupFiles files = BuildSetupFiles(b.product, FakeStub());
    ASSERT_GE(files.volumes.size(), 3u);
    for (const Bytes& volume : files.volumes) EXPECT_LE(volume.size(), b.product.volume_size);
    WriteSetupSet(b.Setup(), files.setup, files.volumes);
    auto faults_from_disk = [&b] {
        std::ifstream in(b.Setup(), std::ios::binary);
        return Faults(Bytes((std::istreambuf_iterator<char>(in)), {}), b.Setup().string());
    };
    ASSERT_TRUE(faults_from_disk().empty());

    // A volume of another build of the same size.
    b.product.types[1].files = {FileFrom(b.folder.Write("c.bin", Noise(60000, 6)), "c.bin")};
    Bytes other = BuildSetupFiles(b.product, FakeStub()).volumes[1];
    ASSERT_EQ(other.size(), files.volumes[1].size());
    struct Case {
        const char* name;
        Bytes volume2;
        const char* expected;
    } cases[] = {
        {"byte changed", files.volumes[1], "is damaged"},
        {"trailer changed", files.volumes[1], "is damaged"},
        {"another set's", other, "belongs to another setup file"},
    };
    cases[0].volume2[100] ^= 4;
    cases[1].volume2[cases[1].volume2.size() - 8] ^= 4;
    for (const Case& c : cases) {
        std::ofstream(VolumePath(b.Setup(), 2), std::ios::binary)
            .write(reinterpret_cast<const char*>(c.volume2.data()), std::streamsize(c.volume2.size()));
        std::vector<std::string> faults = faults_from_disk();
        ASSERT_FALSE(faults.empty()) << c.name;
        EXPECT_NE(faults.front().find(VolumePath(b.Setup(), 2).string() + "' " + c.expected), std::string::npos)
            << c.name << ": " << faults.front();
    }
}
