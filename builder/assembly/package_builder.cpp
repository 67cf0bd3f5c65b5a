#include "builder/assembly/package_builder.h"

#include <algorithm>
#include <cstring>

#include "builder/archive/delta_bases.h"
#include "builder/manifest/dialog_templates.h"
#include "builder/assembly/record_bodies.h"
#include "builder/archive/solid_archive.h"
#include "builder/archive/stream_encoder.h"
#include "package/integrity.h"
#include "package/package_format.h"
#include "package/setup_languages.h"
#include "package/solid_blocks.h"

namespace {

void PutHeader(Bytes& out, uint16_t tag, uint8_t flags, uint32_t size) {
    uint8_t h[kRecordHeaderSize];
    WriteU16(h, tag);
    h[2] = flags;
    h[3] = 0;
    WriteU32(h + 4, size);
    out.insert(out.end(), h, h + kRecordHeaderSize);
}

// The archive record: header, L0, then the archive's first L0 bytes. The
// header's size holds L0 too, except for an empty archive: a size of 0 makes
// the setup program stop before the archive and refuse the package, so it
// then holds the body's real size, 4.
void AppendArchiveRecord(Bytes& out, const Bytes& archive, size_t first_part) {
    uint32_t length = uint32_t(first_part);
    PutHeader(out, kTagArchive, 0, length ? length : 4);
    uint8_t raw[4];
    WriteU32(raw, length);
    out.insert(out.end(), raw, raw + 4);
    out.insert(out.end(), archive.begin(), archive.begin() + long(first_part));
}

// Cuts the archive after the setup file's part into volume files, leaving
// room for each one's trailer.
std::vector<Bytes> CutVolumes(const Bytes& archive, size_t from, uint32_t volume_size) {
    std::vector<Bytes> volumes;
    size_t room = volume_size - 4 - kVolumeTrailerSize;
    for (size_t at = from; at < archive.size(); at += room) {
        size_t n = std::min(room, archive.size() - at);
        Bytes v(4);
        WriteU32(v.data(), uint32_t(n));
        v.insert(v.end(), archive.begin() + long(at), archive.begin() + long(at + n));
        volumes.push_back(std::move(v));
    }
    return volumes;
}

// The integrity record, then the archive record; each volume file gets its
// trailer (package/integrity.h).
void AppendChecked(Bytes& out, const Bytes& archive_record, std::vector<Bytes>& volumes) {
    size_t at = out.size();
    PutHeader(out, kTagIntegrity, 0, kIntegrityBodySize);
    Bytes body(kIntegrityBodySize);
    WriteU32(&body[kIntegrityVolumeCount], uint32_t(volumes.size()));
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), archive_record.begin(), archive_record.end());
    uint32_t mark = SealSetupFile(out, at);
    for (Bytes& v : volumes) {
        uint8_t trailer[kVolumeTrailerSize];
        WriteU32(trailer, Crc32Update(0, v.data(), v.size()));
        WriteU32(trailer + 4, mark);
        v.insert(v.end(), trailer, trailer + kVolumeTrailerSize);
    }
}

void PatchStub(Bytes& stub) {
    size_t found = FindPatchBlock(stub.data(), stub.size());
    if (found == stub.size()) throw BuildError("the stub has no patch block");
    if (FindPatchBlock(stub.data(), stub.size(), found + 1) != stub.size())
        throw BuildError("the stub holds more than one patch block");
    WriteU32(&stub[found + sizeof kPatchMarker], uint32_t(stub.size()));
}

// The order a setup type's entries are written in, which is the order the
// setup program installs them in. In a solid archive the files go as they
// lie in the blocks, so that each block is decoded once, front to back;
// entries without archive data and the uninstaller keep their places.
std::vector<size_t> EntryOrder(const std::vector<ProductFile>& files, const std::vector<ArchivedFile>& archived,
                               bool solid) {
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (!solid) return order;
    std::vector<size_t> slots;
    for (size_t i = 0; i < files.size(); ++i)
        if (IsArchived(files[i]) && !files[i].uninstaller) slots.push_back(i);
    std::vector<size_t> moving = slots;
    std::stable_sort(moving.begin(), moving.end(), [&](size_t a, size_t b) {
        return std::make_pair(archived[a].archive_offset, archived[a].stored_size) <
               std::make_pair(archived[b].archive_offset, archived[b].stored_size);
    });
    for (size_t j = 0; j < slots.size(); ++j) order[slots[j]] = moving[j];
    return order;
}

// The language table, stored so that the setup program can read it before
// any record it decides on, then each further language's setup type
// records and dialog templates (package/setup_languages.h).
void AppendLanguageRecords(Bytes& out, const Product& product, int level) {
    Bytes table;
    for (const ProductLanguage& l : product.languages) {
        uint8_t entry[kLanguageEntrySize] = {};
        WriteU16(entry, l.langid);
        WriteU16(entry + 2, l.code_page);
        std::memcpy(entry + 4, l.tag.data(), std::min<size_t>(l.tag.size(), kLanguageTagSize));
        table.insert(table.end(), entry, entry + sizeof entry);
    }
    PutHeader(out, kTagSetupLanguages, 0, uint32_t(table.size()));
    out.insert(out.end(), table.begin(), table.end());
    for (size_t i = 1; i < product.languages.size(); ++i) {
        const ProductLanguage& l = product.languages[i];
        for (size_t k = 0; k < product.types.size(); ++k)
            AppendRecord(out, kTagLanguageType, SetupTypeRecord(product.types[k], &l.type_texts[k]), level);
        AppendRecord(out, kTagLanguageDialogs, BuildDialogTemplateTable(l.dialog_templates), level);
    }
}

}  // namespace

uint32_t SealSetupFile(Bytes& setup, size_t integrity_at) {
    uint8_t* body = &setup[integrity_at + kRecordHeaderSize];
    size_t archive_at = integrity_at + kRecordHeaderSize + kIntegrityBodySize;
    WriteU32(body + kIntegrityHeadCrc, HeadCrc(setup.data(), integrity_at + kRecordHeaderSize));
    WriteU32(body + kIntegrityArchiveCrc, Crc32Update(0, &setup[archive_at], setup.size() - archive_at));
    // The PE checksum of the whole file, which the integrity record leaves out.
    SigningLayout layout = ReadSigningLayout(setup.data(), std::min<size_t>(setup.size(), kSigningHeadSize));
    if (layout.checksum_at)
        WriteU32(&setup[layout.checksum_at], PeChecksum(setup.data(), setup.size(), layout.checksum_at));
    return IntegritySetMark(body);
}

void AppendRecord(Bytes& out, uint16_t tag, const Bytes& body, int level) {
    Bytes packed = EncodeStream(body.data(), body.size(), level);
    if (packed.size() + 4 < body.size()) {
        PutHeader(out, tag, kRecordCompressed, uint32_t(packed.size() + 4));
        uint8_t size[4];
        WriteU32(size, uint32_t(body.size()));
        out.insert(out.end(), size, size + 4);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        PutHeader(out, tag, 0, uint32_t(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }
}

SetupFiles BuildSetupFiles(const Product& product, const Bytes& stub, const BuildProgress& progress) {
    if (product.types.empty() || product.types.size() > size_t(kMaxSetupTypes))
        throw BuildError("a product has one to six setup types");
    int level = product.level ? product.level : kDefaultLevel;

    // Files first: their entries need archive offsets, sizes and checksums.
    ArchivePlan plan = product.solid_lzma ? PlanSolidArchive(product, {progress.on_file})
                                          : PlanArchive(product, level, {progress.on_file});
    std::vector<Bytes> file_lists;
    for (size_t k = 0; k < product.types.size(); ++k) {
        std::vector<Bytes> entries;
        const std::vector<ProductFile>& files = product.types[k].files;
        for (size_t i : EntryOrder(files, plan.files[k], product.solid_lzma)) {
            Bytes entry = FileListEntry(files[i], plan.files[k][i], uint16_t(k));
            if (entry.size() > 0xFFFF) throw BuildError("the names of '" + files[i].target + "' are too long");
            entries.push_back(std::move(entry));
        }
        file_lists.push_back(FileList(entries));
    }

    Bytes out = stub;
    PatchStub(out);
    AppendRecord(out, kTagDialogTemplates, BuildDialogTemplateTable(product.dialog_templates), level);
    uint32_t flags = (product.full_screen ? kSetupFullScreen : 0) | (product.remove_other_types ? kSetupRemoveOtherTypes : 0) |
                     (product.timed_steps ? kSetupTimedSteps : 0) | kSetupIntegrityRecord |
                     (product.solid_lzma ? kSetupSolidArchive : 0);
    Bytes flags_body(4);
    WriteU32(flags_body.data(), flags);
    PutHeader(out, kTagSetupFlags, 0, 4);  // read raw by the setup program
    out.insert(out.end(), flags_body.begin(), flags_body.end());
    if (product.background_title) {
        Bytes title(product.background_title->begin(), product.background_title->end());
        title.push_back(0);
        AppendRecord(out, kTagBackgroundTitle, title, level);
    }
    if (product.background_description) AppendRecord(out, kTagBackgroundDescription, *product.background_description, level);
    if (product.background_picture) AppendRecord(out, kTagBackgroundPicture, *product.background_picture, level);
    if (product.side_picture) AppendRecord(out, kTagSidePicture, *product.side_picture, level);
    if (product.uninstaller) AppendRecord(out, kTagUninstaller, *product.uninstaller, level);
    if (product.start_page || product.initial_type) {
        Bytes start(4);
        WriteU16(start.data(), product.start_page.value_or(0xFFFF));
        WriteU16(start.data() + 2, product.initial_type);
        PutHeader(out, kTagStartPage, 0, 4);
        out.insert(out.end(), start.begin(), start.end());
    }
    for (size_t k = 0; k < product.types.size(); ++k) {
        const ProductType& t = product.types[k];
        AppendRecord(out, kTagSetupType, SetupTypeRecord(t), level);
        AppendRecord(out, kTagFileList, file_lists[k], level);
        if (!t.ini.empty()) AppendRecord(out, kTagIniEntries, IniTable(t.ini), level);
        if (!t.registry.empty()) AppendRecord(out, kTagRegistryEntries, RegistryTable(t.registry), level);
        if (!t.patches.empty()) AppendRecord(out, kTagFilePatches, PatchTable(t.patches), level);
        if (t.uninstall_values) AppendRecord(out, kTagUninstallValues, UninstallValuesBody(*t.uninstall_values), level);
    }
    if (product.solid_lzma)
        AppendRecord(out, plan.solid_linked ? kTagSolidBlocksLinked : kTagSolidBlocks, plan.solid_table, level);
    if (!product.languages.empty()) AppendLanguageRecords(out, product, level);
    // The records do not depend on where the archive is cut: archive
    // offsets run on across the volumes.
    const Bytes& archive = plan.archive;
    size_t first_part = archive.size();
    if (product.volume_size) {
        uint64_t fixed = uint64_t(out.size()) + 2 * kRecordHeaderSize + kIntegrityBodySize + 4;
        uint64_t needed = fixed + (archive.empty() ? 0 : 1);
        if (product.volume_size < needed)
            throw BuildError("the volume size " + std::to_string(product.volume_size) +
                             " is too small: the setup file's stub and records take " + std::to_string(fixed) +
                             " bytes, so the size must be at least " + std::to_string(needed));
        first_part = std::min<uint64_t>(archive.size(), product.volume_size - fixed);
        uint64_t room = product.volume_size - 4 - kVolumeTrailerSize;
        if (first_part < archive.size() && product.volume_size <= 4 + kVolumeTrailerSize)
            throw BuildError("the volume size " + std::to_string(product.volume_size) +
                             " is too small: a volume file takes 12 bytes besides its archive data");
        uint64_t volume_files = (archive.size() - first_part + room - 1) / room;
        if (volume_files > kMaxVolumeFiles)
            throw BuildError("the volume size " + std::to_string(product.volume_size) + " would make " +
                             std::to_string(volume_files) + " volume files; at most " +
                             std::to_string(kMaxVolumeFiles) + " are made");
    }
    SetupFiles files;
    Bytes archive_record;
    AppendArchiveRecord(archive_record, archive, first_part);
    files.volumes = CutVolumes(archive, first_part, product.volume_size);
    AppendChecked(out, archive_record, files.volumes);
    files.setup = std::move(out);
    files.deltas = std::move(plan.deltas);
    return files;
}

Bytes BuildSetupFile(const Product& product, const Bytes& stub, const BuildProgress& progress) {
    SetupFiles files = BuildSetupFiles(product, stub, progress);
    if (!files.volumes.empty()) throw BuildError("the product's archive needs volume files");
    return std::move(files.setup);
}
