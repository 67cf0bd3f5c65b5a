// Whole-file checks of a setup set, and where a signed setup file's package
// ends. Portable: the builder writes and verifies what the setup program
// checks.
//
// Covered by the integrity record (tag kTagIntegrity, placed just before the
// archive record; body: u32 head CRC, u32 archive CRC, u32 volume count):
// - head CRC: the setup file from its first byte through the integrity
//   record's own header, with the PE checksum (4 bytes) and the security
//   directory entry (8 bytes) read as zeros, since Authenticode signing
//   rewrites both;
// - archive CRC: the archive record from its header through its last byte
//   of archive data. A certificate table appended by signing, and the zero
//   bytes that align it, are not covered: the signature covers itself.
// - each volume file ends, after its archive data, with an 8-byte trailer:
//   u32 CRC of the volume file's bytes before the trailer, u32 set mark (the
//   CRC of the record body's first 8 bytes), so that a volume of another
//   build counts as the wrong disk.
// The record's body itself is not covered: a damaged body mismatches. Its
// presence is promised by the setup flag kSetupIntegrityRecord (covered by
// the head CRC), so a damaged tag cannot make the check disappear.
#pragma once
#include <cstddef>
#include <cstdint>

// CRC-32 of zlib and PNG (reflected 0xEDB88320); start with crc = 0.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, size_t size);

constexpr uint32_t kIntegrityHeadCrc = 0, kIntegrityArchiveCrc = 4, kIntegrityVolumeCount = 8;
constexpr uint32_t kIntegrityBodySize = 12;
constexpr uint32_t kVolumeTrailerSize = 8;
inline uint32_t IntegritySetMark(const uint8_t* body) { return Crc32Update(0, body, 8); }

// The header fields of a PE file that signing rewrites, by file offset (0:
// none), and the certificate table its security directory names.
struct SigningLayout {
    uint32_t checksum_at = 0;
    uint32_t security_at = 0;
    uint32_t table_offset = 0;  // the security directory's entry
    uint32_t table_size = 0;
};
// Every reader looks for the PE header in the same first bytes of a file.
constexpr uint32_t kSigningHeadSize = 1024;
// Reads the layout from a file's first head_size bytes; all zeros when they
// do not hold a PE header with a security directory entry.
SigningLayout ReadSigningLayout(const uint8_t* head, size_t head_size);

// Zeroes the bytes of the checksum and security entry that fall into a
// chunk whose first byte lies at file position `at`.
void MaskSigningFields(uint8_t* chunk, size_t size, uint64_t at, const SigningLayout& layout);

// The head CRC of a file prefix of `size` bytes (the file's first byte first).
uint32_t HeadCrc(const uint8_t* file, size_t size);

// A signed file carries its certificate table last, 8-byte aligned, right
// after the package and up to 7 zero bytes. Returns where the package must
// end: the table's start when the entry describes such a table ending the
// file, else the file size. *is_signed says which.
uint64_t PackageEnd(const SigningLayout& layout, uint64_t file_size, bool* is_signed);
// Whether an archive ending at archive_end completes the package: exactly
// at the end of an unsigned file; within the 7 bytes before a signed
// file's table (the caller checks that those are zeros).
inline bool ArchiveEndsPackage(uint64_t archive_end, uint64_t package_end, bool is_signed) {
    return is_signed ? archive_end <= package_end && package_end - archive_end < 8 : archive_end == package_end;
}

// The PE checksum of a whole file (its own field counted as zero).
uint32_t PeChecksum(const uint8_t* file, size_t size, uint32_t checksum_at);
