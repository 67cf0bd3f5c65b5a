#include "builder/reading/setup_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "builder/assembly/package_builder.h"
#include "builder/reading/setup_files.h"
#include "builder/system/file_system.h"
#include "decoder/inflate.h"
#include "package/integrity.h"
#include "package/package_format.h"
#include "package/setup_languages.h"
#include "package/solid_blocks.h"

namespace {

// Kiln's own records that the described reader would pass over: read
// here too, to be checked and shown.
bool IsKilnRecord(uint16_t tag) {
    return tag == kTagSolidBlocks || tag == kTagSolidBlocksLinked || tag == kTagSetupLanguages ||
           tag == kTagLanguageType || tag == kTagLanguageDialogs;
}

std::string Hex(uint16_t tag) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", tag);
    return text;
}

// The integrity record's body, once it has been found in its place.
struct IntegrityCheck {
    const uint8_t* body = nullptr;
};

// Checks a volume file's trailer and cuts it off; a file whose size does not
// fit its length field is a problem of its own.
void CheckTrailer(SetupFileView& v, const IntegrityCheck& check, const std::string& path, Bytes& bytes) {
    if (!check.body || bytes.size() < 4 + kVolumeTrailerSize) return;
    size_t data_end = bytes.size() - kVolumeTrailerSize;
    bool fits = data_end == 4 + uint64_t(ReadU32(bytes.data()));
    if (fits && ReadU32(&bytes[data_end + 4]) != IntegritySetMark(check.body))
        v.problems.push_back("volume file '" + path + "' belongs to another setup file");
    else if (fits && ReadU32(&bytes[data_end]) != Crc32Update(0, bytes.data(), data_end))
        v.problems.push_back("volume file '" + path + "' is damaged: its CRC differs");
    bytes.resize(data_end);
}

// Appends the volume files beside the setup file to the archive.
void ReadVolumes(SetupFileView& v, const std::string& setup_path, const IntegrityCheck& check) {
    size_t expected = check.body ? ReadU32(check.body + kIntegrityVolumeCount) : kMaxVolumeFiles;
    for (size_t k = 1; k <= expected; ++k) {
        std::string path = Utf8Name(VolumePath(Utf8Path(setup_path), k));
        std::ifstream in(Utf8Path(path), std::ios::binary);
        if (!in) {
            v.missing_volume = path;
            return;
        }
        Bytes bytes((std::istreambuf_iterator<char>(in)), {});
        uint64_t file_size = bytes.size();
        CheckTrailer(v, check, path, bytes);
        VolumeFile f{path, bytes.size() >= 4 ? ReadU32(bytes.data()) : 0, file_size};
        v.volumes.push_back(f);
        if (bytes.size() < 4) {
            v.problems.push_back("volume file '" + path + "' is too short to hold its length");
            return;
        }
        uint64_t held = bytes.size() - 4;
        if (held < f.length) {
            v.problems.push_back("volume file '" + path + "' is cut short: its length says " +
                                 std::to_string(f.length) + " archive bytes, it holds " + std::to_string(held));
            return;
        }
        if (held > f.length)
            v.problems.push_back("volume file '" + path + "' holds " + std::to_string(held - f.length) +
                                 " bytes after its archive data");
        if (f.length == 0) v.problems.push_back("volume file '" + path + "' holds no archive data");
        if (v.archive.size() + f.length > 0x7FFFFFFF) {
            v.problems.push_back("the archive goes on past 2 GiB at volume file '" + path + "'");
            return;
        }
        v.archive.insert(v.archive.end(), bytes.begin() + 4, bytes.begin() + 4 + long(f.length));
    }
    if (check.body && v.missing_volume.empty()) {
        std::filesystem::path next = VolumePath(Utf8Path(setup_path), expected + 1);
        std::ifstream extra(next, std::ios::binary);
        if (extra) v.warnings.push_back("volume file '" + Utf8Name(next) +
                                        "' is not part of this setup set");
    }
}

// A certificate table whose first entry is a WIN_CERTIFICATE of revision
// 2.0 and type 2 (PKCS_SIGNED_DATA) holding a DER SEQUENCE that fits it and
// opens with the content type signedData (1.2.840.113549.1.7.2): what
// signing tools write, and not 256 bytes of anything else.
bool HoldsSignedData(const uint8_t* table, uint64_t size) {
    static const uint8_t kSignedData[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
    if (size < 8) return false;
    const uint32_t length = ReadU32(table);
    if (length < 10 || length > size || ReadU16(table + 4) != 0x0200 || ReadU16(table + 6) != 2) return false;
    const uint8_t* der = table + 8;
    const uint32_t n = length - 8;
    if (der[0] != 0x30) return false;
    uint32_t header = 2, content = der[1];
    if (content & 0x80) {  // the long form: that many length bytes follow
        const uint32_t bytes = content & 0x7F;
        if (bytes < 1 || bytes > 4 || n < 2 + bytes) return false;
        content = 0;
        for (uint32_t i = 0; i < bytes; ++i) content = content << 8 | der[2 + i];
        header += bytes;
    }
    return content <= n - header && content >= sizeof kSignedData &&
           std::memcmp(der + header, kSignedData, sizeof kSignedData) == 0;
}

// The PE header fields that signing writes: a certificate table that does
// not end the file, or a checksum that does not match, is damage.
void CheckSigning(SetupFileView& v, const Bytes& file, const SigningLayout& layout, uint64_t* package_end) {
    *package_end = PackageEnd(layout, file.size(), &v.is_signed);
    v.holds_signature = v.is_signed && HoldsSignedData(&file[layout.table_offset], layout.table_size);
    if (v.is_signed && !v.holds_signature)
        v.warnings.push_back("the certificate table that ends the file holds no Authenticode signature");
    if ((layout.table_offset || layout.table_size) && !v.is_signed)
        v.problems.push_back("the security directory names bytes " + std::to_string(layout.table_offset) + " to " +
                             std::to_string(uint64_t(layout.table_offset) + layout.table_size) +
                             " as certificate table, which do not end the file");
    uint32_t checksum = layout.checksum_at ? ReadU32(&file[layout.checksum_at]) : 0;
    if (checksum && checksum != PeChecksum(file.data(), file.size(), layout.checksum_at))
        v.problems.push_back("the PE checksum does not match the file");
}

// Checks the integrity record against the file once the archive record is
// known: it must come right before it and its CRCs must hold.
void CheckIntegrity(SetupFileView& v, const Bytes& file, uint64_t archive_header, uint64_t archive_end,
                    IntegrityCheck& check) {
    const ReadRecord* record = nullptr;
    uint32_t flags = 0;
    for (const ReadRecord& r : v.records) {
        if (r.tag == kTagIntegrity) record = &r;
        if (r.tag == kTagSetupFlags && r.body.size() == 4) flags = ReadU32(r.body.data());
    }
    if (!record) {
        if (flags & kSetupIntegrityRecord) v.problems.push_back("the integrity record the setup flags promise is missing");
        return;
    }
    v.has_integrity = true;
    uint64_t body_at = record->offset + kRecordHeaderSize;
    if (record->flags || record->stored_size != kIntegrityBodySize || body_at + kIntegrityBodySize != archive_header) {
        v.problems.push_back("the integrity record at offset " + std::to_string(record->offset) +
                             " is damaged or not right before the archive record");
        return;
    }
    check.body = &file[body_at];
    if (ReadU32(check.body + kIntegrityHeadCrc) != HeadCrc(file.data(), body_at))
        v.problems.push_back("the setup file is damaged: the CRC of its stub and records differs");
    if (ReadU32(check.body + kIntegrityArchiveCrc) != Crc32Update(0, &file[archive_header], archive_end - archive_header))
        v.problems.push_back("the setup file is damaged: the CRC of its archive record differs");
}

}  // namespace

SetupFileView ReadSetupFile(const Bytes& file, const std::string& setup_path) {
    SetupFileView v;
    size_t marker = FindPatchBlock(file.data(), file.size());
    if (marker == file.size()) {
        v.problems.push_back("no patch block: not a setup file");
        return v;
    }
    v.stub_length = PatchedStubLength(&file[marker]);
    if (v.stub_length == 0 || v.stub_length > file.size()) {
        v.problems.push_back("the stub length " + std::to_string(v.stub_length) + " does not lie in the file");
        return v;
    }
    SigningLayout layout = ReadSigningLayout(file.data(), std::min<size_t>(file.size(), kSigningHeadSize));
    uint64_t package_end = file.size();
    CheckSigning(v, file, layout, &package_end);
    IntegrityCheck check;
    uint64_t at = v.stub_length;
    for (;;) {
        if (at + kRecordHeaderSize > file.size()) {
            v.problems.push_back("the file ends before the archive record");
            return v;
        }
        ReadRecord r;
        r.offset = at;
        r.tag = ReadU16(&file[at]);
        r.flags = file[at + 2];
        r.stored_size = ReadU32(&file[at + 4]);
        at += kRecordHeaderSize;
        RecordUse use = UseOfRecord(r.tag);
        std::string name = "record " + std::to_string(v.records.size()) + " (tag 0x" + Hex(r.tag) + ")";
        if (r.stored_size == 0) {
            r.read = false;
            v.records.push_back(r);
            if (use == kRecordArchive) return v;  // the end of the package, with no archive
            continue;
        }
        if (use == kRecordArchive) {
            v.has_archive = true;
            v.archive_start = at;
            if (at + 4 > file.size()) {
                v.problems.push_back("the archive record is cut short");
                return v;
            }
            v.archive_length = ReadU32(&file[at]);
            uint64_t archive_end = at + 4 + uint64_t(v.archive_length);
            v.archive_ends_file = ArchiveEndsPackage(archive_end, package_end, v.is_signed) &&
                                  std::all_of(file.begin() + long(std::min(archive_end, package_end)),
                                              file.begin() + long(package_end), [](uint8_t b) { return b == 0; });
            uint64_t end = std::min<uint64_t>(package_end, archive_end);
            v.archive.assign(file.begin() + long(at + 4), file.begin() + long(end));
            v.records.push_back(r);
            if (v.archive_ends_file) CheckIntegrity(v, file, r.offset, archive_end, check);
            if (v.archive_ends_file && !setup_path.empty()) ReadVolumes(v, setup_path, check);
            return v;
        }
        if (at + r.stored_size > file.size()) {
            v.problems.push_back(name + " runs past the end of the file");
            return v;
        }
        const uint8_t* body = &file[at];
        if (r.tag == kTagIntegrity) {
            r.body.assign(body, body + r.stored_size);  // checked with the archive record
        } else if (use == kRecordSkipped && !IsKilnRecord(r.tag)) {
            r.read = false;
        } else if (use == kRecordRawFields) {
            if (at + kRawFieldsSize > file.size()) {
                v.problems.push_back("the file ends inside " + name);
                return v;
            }
            r.body.assign(body, body + kRawFieldsSize);
            if (r.stored_size < kRawFieldsSize)
                v.warnings.push_back(name + " stores " + std::to_string(r.stored_size) +
                                     " bytes; the setup program reads 4, the rest from what follows it");
            if (r.tag == kTagStartPage) v.has_start_page = true;
        } else if (r.flags & kRecordCompressed) {
            uint32_t size = r.stored_size >= 4 ? ReadU32(body) : 0;
            size_t produced = 0;
            if (r.stored_size < 4 || size > (1u << 30)) {
                r.body_ok = false;
            } else {
                r.body.resize(size);  // zeros where a stream that decodes short leaves them
                r.body_ok = InflateBuffer(body + 4, r.stored_size - 4, r.body.data(), size, &produced) == kInflateOk;
            }
            if (!r.body_ok)
                v.problems.push_back(name + " does not decode within its stated size");
            else if (produced < size)
                v.warnings.push_back(name + " decodes to " + std::to_string(produced) + " of its " +
                                     std::to_string(size) + " bytes; the rest reads as zeros");
        } else {
            r.body.assign(body, body + r.stored_size);
        }
        at += r.stored_size;
        v.records.push_back(std::move(r));
    }
}

Bytes ReadWholeFile(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}
