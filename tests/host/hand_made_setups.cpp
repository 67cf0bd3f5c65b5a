#include "tests/host/hand_made_setups.h"

#include <functional>
#include <stdexcept>

#include "builder/assembly/package_builder.h"
#include "builder/reading/package_check.h"
#include "builder/reading/stream_decode.h"
#include "engine/checksum.h"
#include "package/file_list.h"
#include "package/package_format.h"

namespace {

Bytes Header(uint16_t tag, uint8_t flags, uint32_t stored_size) {
    Bytes h(kRecordHeaderSize);
    WriteU16(&h[0], tag);
    h[2] = flags;
    WriteU32(&h[4], stored_size);
    return h;
}

// The nth record (from 0) of a tag.
const ReadRecord& RecordOf(const PackageView& v, uint16_t tag, size_t nth = 0) {
    for (const ReadRecord& r : v.file.records)
        if (r.tag == tag && nth-- == 0) return r;
    throw std::runtime_error("the setup file has too few records of tag " + std::to_string(tag));
}

uint64_t EndOf(const ReadRecord& r) { return r.offset + kRecordHeaderSize + r.stored_size; }

Bytes InsertAt(const Bytes& setup, uint64_t at, const Bytes& bytes) {
    Bytes out(setup.begin(), setup.begin() + long(at));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.insert(out.end(), setup.begin() + long(at), setup.end());
    return out;
}

// Setup type 0's file list changed and written back in its place; the
// records and the archive after it move along.
Bytes WithFileList(const Bytes& setup, const std::function<void(const PackageView&, uint8_t* first_entry)>& change) {
    PackageView v = CheckPackage(setup);
    const ReadRecord& r = *v.types.at(0).file_list;
    Bytes body = r.body;
    change(v, body.data() + kFileListHeaderSize);
    Bytes out(setup.begin(), setup.begin() + long(r.offset));
    AppendRecord(out, r.tag, body, 1);
    out.insert(out.end(), setup.begin() + long(EndOf(r)), setup.end());
    return out;
}

uint8_t* FirstEntry(uint8_t* e, uint32_t count, bool (*wanted)(const uint8_t*)) {
    for (uint32_t i = 0; i < count; ++i, e = NextEntry(e))
        if (wanted(e)) return e;
    throw std::runtime_error("setup type 0 has no entry to change");
}

uint32_t EntryCount(const PackageView& v) { return ReadU32(v.types.at(0).file_list->body.data()); }

// The loader passes over unknown tags without reading them, compressed or not.
Bytes UnknownCompressedRecord(const Bytes& setup) {
    Bytes record = Header(0x1238, kRecordCompressed, 12);
    for (uint8_t b : {0x40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) record.push_back(b);
    return InsertAt(setup, RecordOf(CheckPackage(setup), kTagSetupType).offset, record);
}

// Records of stored size 0 are not read: a setup type record of size 0
// starts no setup type, so the file list after it stays setup type 0's.
Bytes ZeroSizeRecords(const Bytes& setup) {
    Bytes records = Header(kTagSetupType, 0, 0);
    Bytes picture = Header(kTagSidePicture, kRecordCompressed, 0);
    records.insert(records.end(), picture.begin(), picture.end());
    return InsertAt(setup, EndOf(RecordOf(CheckPackage(setup), kTagSetupType)), records);
}

Bytes SecondEmptyFileList(const Bytes& setup) {
    return InsertAt(setup, EndOf(RecordOf(CheckPackage(setup), kTagFileList)), Header(kTagFileList, 0, 0));
}

// The uninstaller entry's size and checksum taken from the file it
// installs, the uninstaller body followed by its data, which nothing checks.
Bytes UninstallerSizesOfInstalledFile(const Bytes& setup) {
    return WithFileList(setup, [](const PackageView& v, uint8_t* first) {
        uint8_t* e = FirstEntry(first, EntryCount(v), [](const uint8_t* x) { return bool(x[kEntryFlags] & kEntryIsUninstaller); });
        if (!v.uninstaller) throw std::runtime_error("the setup file has no uninstaller body");
        Bytes installed = v.uninstaller->body, data;
        const uint8_t* stream = v.file.archive.data() + ReadU32(e + kEntryArchiveOffset);
        if (InflateToVector(stream, ReadU32(e + kEntryStoredSize), &data) != kInflateOk)
            throw std::runtime_error("the uninstaller's data does not decode");
        installed.insert(installed.end(), data.begin(), data.end());
        WriteU32(e + kEntryUnpackedSize, uint32_t(installed.size()));
        WriteU32(e + kEntryChecksum, ChecksumUpdate(0, installed.data(), installed.size()));
    });
}

// The install driver extracts every placement but 2 and 3.
Bytes PlacementFour(const Bytes& setup) {
    return WithFileList(setup, [](const PackageView& v, uint8_t* first) {
        uint8_t* e = FirstEntry(first, EntryCount(v), [](const uint8_t* x) {
            return x[kEntryPlacement] == kPlacementKept && !(x[kEntryFlags] & (kEntryIsUninstaller | kEntryIsDelta));
        });
        e[kEntryPlacement] = 4;
    });
}

// The archive item reader uses flag bits 0 to 2 only.
Bytes ArchiveItemWithUnusedFlag(const Bytes& setup) {
    PackageView v = CheckPackage(setup);
    for (const TypeView& t : v.types) {
        const uint8_t* e = t.file_list->body.data() + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(t.file_list->body.data()); i < n; ++i, e = NextEntry(e)) {
            uint32_t offset = ReadU32(e + kEntryArchiveOffset);
            if (!(e[kEntryFlags] & kEntryIsDelta) || offset >= v.file.archive_length) continue;
            Bytes out = setup;
            out[v.file.archive_start + 4 + offset] |= 0x08;
            return out;
        }
    }
    throw std::runtime_error("the setup file holds no delta entry's data");
}

// Each change sealed again: the setup program must still accept it.
template <Bytes (*Make)(const Bytes&)>
Bytes Sealed(const Bytes& setup) {
    return Resealed(Make(setup));
}

}  // namespace

Bytes Resealed(Bytes setup) {
    for (const ReadRecord& r : ReadSetupFile(setup).records)
        if (r.tag == kTagIntegrity) SealSetupFile(setup, r.offset);
    return setup;
}

const std::vector<HandMadeSetup>& HandMadeSetups() {
    static const std::vector<HandMadeSetup> all = {
        {"unknown-compressed-record", Sealed<UnknownCompressedRecord>, ""},
        {"zero-size-records", Sealed<ZeroSizeRecords>, ""},
        {"second-empty-file-list", Sealed<SecondEmptyFileList>, ""},
        {"uninstaller-sizes-of-installed-file", Sealed<UninstallerSizesOfInstalledFile>, ""},
        {"placement-4", Sealed<PlacementFour>, "placement 4 is extracted"},
        {"archive-item-unused-flag", Sealed<ArchiveItemWithUnusedFlag>, "bits the setup program does not use"},
    };
    return all;
}
