#include "builder/package_check.h"

#include "decoder/inflate.h"
#include "engine/checksum.h"
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


// Decodes one entry's data from the archive and checks its size and checksum.
std::string VerifyEntry(const SetupFileView& file, const uint8_t* e) {
    uint32_t offset = ReadU32(e + kEntryArchiveOffset), stored = ReadU32(e + kEntryStoredSize);
    uint32_t size = ReadU32(e + kEntryUnpackedSize);
    if (uint64_t(offset) + stored > file.archive.size()) return "its data lies outside the archive";
    Bytes out(size);
    size_t produced = 0;
    InflateResult r = InflateBuffer(file.archive.data() + offset, stored, out.data(), out.size(), &produced);
    if (r != kInflateOk) return "its data does not decode (decoder result " + std::to_string(r) + ")";
    if (produced != size) return "it decodes to " + std::to_string(produced) + " bytes, not " + std::to_string(size);
    if (ChecksumUpdate(0, out.data(), out.size()) != ReadU32(e + kEntryChecksum)) return "its checksum differs";
    return {};
}


}  // namespace

PackageView CheckPackage(const Bytes& setup_file) {
    PackageView v;
    v.file = ReadSetupFile(setup_file);
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
        bool per_type = r.tag == kTagFileList || r.tag == kTagIniEntries || r.tag == kTagRegistryEntries ||
                        r.tag == kTagFilePatches;
        if (!per_type) continue;
        if (v.types.empty()) {
            v.problems.push_back(std::string("a ") + TagName(r.tag) + " record comes before any setup type");
            continue;
        }
        TypeView& t = v.types.back();
        t.sound = t.sound && sound;
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
    for (size_t k = 0; k < v.types.size(); ++k) {
        const TypeView& t = v.types[k];
        if (!t.file_list || !t.sound) continue;
        const uint8_t* e = t.file_list->body.data() + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(t.file_list->body.data()); i < n; ++i, e = NextEntry(e)) {
            if (e[kEntryPlacement] >= 2) continue;  // beside the setup file, or a folder
            std::string fault = VerifyEntry(v.file, e);
            if (!fault.empty()) faults.push_back("type " + std::to_string(k) + ", " + EntryString(e, 0) + ": " + fault);
            ++*checked;
        }
    }
    return faults;
}
