#include "builder/package_check.h"

#include "builder/archive_items.h"
#include "decoder/inflate.h"
#include "engine/checksum.h"
#include "engine/delta_in_memory.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "package/package_validate.h"

const char* TagName(uint16_t tag) {
    switch (tag) {
    case kTagSetupFlags: return "setup flags";
    case kTagSidePicture: return "side picture";
    case kTagBackgroundPicture: return "background picture";
    case kTagBackgroundTitle: return "background title";
    case kTagDialogTemplates: return "dialog templates";
    case kTagFileList: return "file list";
    case kTagStartPage: return "start page";
    case kTagBackgroundDescription: return "background description";
    case kTagSetupType: return "setup type";
    case kTagUninstaller: return "uninstaller";
    case kTagIniEntries: return "INI entries";
    case kTagRegistryEntries: return "registry entries";
    case kTagFilePatches: return "file patches";
    case kTagUninstallValues: return "uninstall entry values";
    case kTagArchive: return "file archive";
    default: return "unknown (skipped)";
    }
}

namespace {

bool Sound(const ReadRecord& r) {
    // The raw fields the setup program reads whatever the header says.
    if (r.tag == kTagSetupFlags || r.tag == kTagStartPage) return r.body.size() >= 4;
    return ValidateRecordBody(r.tag, r.body.data(), uint32_t(r.body.size()));
}


// Decodes a plain entry's stream from the archive and checks its size and
// checksum; the bytes go to *out when asked.
std::string DecodeEntry(const SetupFileView& file, const uint8_t* e, Bytes* out = nullptr) {
    uint32_t offset = ReadU32(e + kEntryArchiveOffset), stored = ReadU32(e + kEntryStoredSize);
    uint32_t size = ReadU32(e + kEntryUnpackedSize);
    if (uint64_t(offset) + stored > file.archive.size()) return "its data lies outside the archive";
    if (size > MaxDecodedSize(stored))
        return "it claims " + std::to_string(size) + " bytes from " + std::to_string(stored) + " stored bytes";
    Bytes bytes(size);
    size_t produced = 0;
    InflateResult r = InflateBuffer(file.archive.data() + offset, stored, bytes.data(), bytes.size(), &produced);
    if (r != kInflateOk) return "its data does not decode (decoder result " + std::to_string(r) + ")";
    if (produced != size) return "it decodes to " + std::to_string(produced) + " bytes, not " + std::to_string(size);
    if (ChecksumUpdate(0, bytes.data(), bytes.size()) != ReadU32(e + kEntryChecksum)) return "its checksum differs";
    if (out) *out = std::move(bytes);
    return {};
}

// The entry at `ordinal` of a file list that passed its checks, or null.
const uint8_t* EntryAt(const TypeView& t, uint32_t ordinal) {
    if (!t.file_list || !t.sound) return nullptr;
    const uint8_t* list = t.file_list->body.data();
    if (ordinal >= ReadU32(list)) return nullptr;
    const uint8_t* e = list + kFileListHeaderSize;
    while (ordinal--) e = NextEntry(e);
    return e;
}

const char* DeltaFault(DeltaStatus s) {
    switch (s) {
    case kDeltaCommandsCut: return "its commands end inside an op";
    case kDeltaCopyTooLong: return "a copy is longer than the setup program's copy buffer";
    case kDeltaLiteralsShort: return "its commands ask for more literal bytes than it holds";
    case kDeltaBaseOutside: return "a copy reaches outside the base";
    case kDeltaOutputTooLong: return "it builds more bytes than the file's size";
    default: return "its commands are faulty";
    }
}

// Builds a delta entry's file as the setup program does: its base entry's
// stream decoded and checked against the base's checksum, then the command
// and literal items read from the entry's archive offset and applied.
std::string VerifyDelta(const PackageView& v, const uint8_t* e) {
    if (e[kEntryFlags] & kEntryIsUninstaller)
        return "the uninstaller is stored as a delta: the setup program would leave out its body";
    uint16_t base_type = ReadU16(e + kEntrySetupType);
    uint32_t ordinal = ReadU32(e + kEntryBaseOrdinal);
    std::string base_name = "its base (entry " + std::to_string(ordinal) + " of setup type " + std::to_string(base_type) + ")";
    const uint8_t* base = base_type < v.types.size() ? EntryAt(v.types[base_type], ordinal) : nullptr;
    if (!base) return base_name + " does not exist";
    if (base[kEntryFlags] & kEntryIsDelta) return base_name + " is a delta entry itself";
    if (base[kEntryPlacement] > kPlacementRemoved) return base_name + " has no data in the archive";
    Bytes base_bytes;
    std::string fault = DecodeEntry(v.file, base, &base_bytes);
    if (!fault.empty()) return base_name + ": " + fault;

    uint32_t offset = ReadU32(e + kEntryArchiveOffset), stored = ReadU32(e + kEntryStoredSize);
    size_t at = offset;
    Bytes commands, literals;
    for (Bytes* item : {&commands, &literals}) {
        fault = ReadItemFromArchive(v.file.archive, &at, item);
        if (!fault.empty()) return std::string(item == &commands ? "its command item: " : "its literal item: ") + fault;
    }
    if (at - offset != stored)
        return "its items take " + std::to_string(at - offset) + " bytes, not its stored size " + std::to_string(stored);
    uint32_t size = ReadU32(e + kEntryUnpackedSize);
    DeltaStatus status = kDeltaEnd;
    std::optional<Bytes> out = ApplyDeltaInMemory(base_bytes, commands, literals, size, &status);
    if (!out) return DeltaFault(status);
    if (out->size() != size) return "its delta builds " + std::to_string(out->size()) + " bytes, not " + std::to_string(size);
    if (ChecksumUpdate(0, out->data(), out->size()) != ReadU32(e + kEntryChecksum)) return "its checksum differs";
    return {};
}

// Where an entry's data ends in the archive.
uint64_t DataEnd(const uint8_t* e) { return uint64_t(ReadU32(e + kEntryArchiveOffset)) + ReadU32(e + kEntryStoredSize); }

}  // namespace

PackageView CheckPackage(const Bytes& setup_file, const std::string& setup_path) {
    PackageView v;
    v.file = ReadSetupFile(setup_file, setup_path);
    v.problems = v.file.problems;
    for (const ReadRecord& r : v.file.records) {
        bool sound = r.body_ok && Sound(r);
        if (r.body_ok && !sound)
            v.problems.push_back(std::string("the ") + TagName(r.tag) + " record at offset " +
                                 std::to_string(r.offset) + " is damaged");
        if (r.tag == kTagSetupType) {
            v.types.emplace_back();
            v.types.back().record = &r;
            v.types.back().sound = sound;
            continue;
        }
        if (!IsPerTypeTag(r.tag)) continue;
        if (v.types.empty()) {
            v.problems.push_back(std::string("a ") + TagName(r.tag) + " record comes before any setup type");
            continue;
        }
        TypeView& t = v.types.back();
        t.sound = t.sound && sound;
        if (r.tag == kTagUninstallValues) {
            t.uninstall_values = &r;
            continue;
        }
        (r.tag == kTagFileList ? t.file_list : r.tag == kTagIniEntries ? t.ini : r.tag == kTagRegistryEntries ? t.registry : t.patches) = &r;
    }
    if (v.types.empty()) v.problems.push_back("the package has no setup type");
    if (v.types.size() > size_t(kMaxSetupTypes)) v.problems.push_back("the package has more than six setup types");
    return v;
}

std::vector<std::string> VerifyPackage(const PackageView& v, size_t* checked) {
    std::vector<std::string> faults = v.problems;
    *checked = 0;
    if (!faults.empty()) return faults;
    auto each_entry = [&v](auto&& act) {
        for (size_t k = 0; k < v.types.size(); ++k) {
            const TypeView& t = v.types[k];
            if (!t.file_list || !t.sound) continue;
            const uint8_t* e = t.file_list->body.data() + kFileListHeaderSize;
            for (uint32_t i = 0, n = ReadU32(t.file_list->body.data()); i < n; ++i, e = NextEntry(e))
                if (e[kEntryPlacement] <= kPlacementRemoved) act(k, e);  // not beside the setup file, not a folder
        }
    };
    // A missing volume file is one fault, not one for every file in it.
    uint64_t used = 0;
    each_entry([&used](size_t, const uint8_t* e) { used = std::max(used, DataEnd(e)); });
    bool cut = used > v.file.archive.size();
    if (cut)
        faults.push_back("the file lists use the archive up to byte " + std::to_string(used) + ", but it ends at byte " +
                         std::to_string(v.file.archive.size()) +
                         (v.file.missing_volume.empty() ? std::string(": volume files were not looked for")
                                                        : ": volume file '" + v.file.missing_volume + "' is missing"));
    each_entry([&](size_t k, const uint8_t* e) {
        if (cut && DataEnd(e) > v.file.archive.size()) return;
        std::string fault = e[kEntryFlags] & kEntryIsDelta ? VerifyDelta(v, e) : DecodeEntry(v.file, e);
        if (!fault.empty()) faults.push_back("type " + std::to_string(k) + ", " + EntryString(e, 0) + ": " + fault);
        ++*checked;
    });
    return faults;
}
