#include "package/package_loader.h"

#include <windows.h>

#include "decoder/archive_state.h"
#include "decoder/stream_decoder.h"
#include "engine/memory.h"
#include "package/file_ops.h"
#include "package/integrity_check.h"
#include "package/package_format.h"
#include "package/package_validate.h"
#include "package/previous_installation.h"
#include "package/safe_format.h"
#include "package/setup_config.h"
#include "package/setup_languages.h"
#include "package/solid_blocks.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"

namespace {

enum LoadOutcome { kLoaded = 0, kReadFailed = 1, kNoMemory = 5, kDamaged = 6 };

struct RecordHeader {
    uint16_t tag;
    uint8_t flags;
    uint32_t stored_size;
};

// Reads one body into slot: stored as it is, or decoded to its unpacked
// size. A body that does not decode to exactly that size is damaged.
int LoadBody(HANDLE file, const RecordHeader& header, Body& slot) {
    if (slot.data) FreeAndClear(reinterpret_cast<void**>(&slot.data));  // a record given twice
    slot.size = 0;
    uint32_t length = header.stored_size;
    bool compressed = header.flags & kRecordCompressed;
    if (compressed) {
        uint8_t raw[4];
        if (ReadExactly(file, raw, 4)) return kReadFailed;
        length = ReadU32(raw);
        // A stored body cannot be smaller than its size field.
        if (header.stored_size < 4) return kDamaged;
    }
    // Zeroed, so that a stream that decodes short leaves no stale bytes.
    void* block;
    if (!AllocZeroedRetry(&block, length ? length : 1)) return kNoMemory;
    slot.data = static_cast<uint8_t*>(block);
    slot.size = length;
    if (compressed) return DecodeToMemory(slot.data, length, file, 0) ? kLoaded : kDamaged;
    if (ReadExactly(file, slot.data, length)) {
        FreeAndClear(reinterpret_cast<void**>(&slot.data));
        slot.size = 0;
        return kReadFailed;
    }
    return kLoaded;
}

// Per-type records belong to the setup type read last.
Body* PerTypeSlot(uint16_t tag, int type) {
    if (type < 0 || type >= kMaxSetupTypes) return nullptr;
    SetupType& t = g_config.types[type];
    switch (tag) {
    case kTagFileList: return &t.file_list;
    case kTagIniEntries: return &t.ini_entries;
    case kTagRegistryEntries: return &t.registry_entries;
    case kTagFilePatches: return &t.file_patches;
    case kTagUninstallValues: return &t.uninstall_values;
    default: return nullptr;
    }
}

Body* SingleSlot(uint16_t tag) {
    switch (tag) {
    case kTagSidePicture: return &g_config.side_picture;
    case kTagBackgroundPicture: return &g_config.background_picture;
    case kTagBackgroundTitle: return &g_config.background_title;
    case kTagDialogTemplates: return &g_config.dialog_templates;
    case kTagBackgroundDescription: return &g_config.background_description;
    case kTagUninstaller: return &g_config.uninstaller;
    default: return nullptr;
    }
}

bool BodyIsSound(uint16_t tag, const Body& b) { return ValidateRecordBody(tag, b.data, b.size); }

struct Loader {
    HANDLE file;
    uint32_t file_size;
    SigningLayout signing;
    uint32_t package_end;  // where the certificate table of a signed file starts, else the file size
    bool is_signed;
    bool archive_ends = false;
    uint32_t integrity_at = 0;  // file position of the integrity record's body; 0: none
    uint8_t integrity[kIntegrityBodySize];
    int type_counter = -1;
    uint32_t language_count = 0;  // entries of the language table; 0: none read
    int language_types_seen = 0;  // records of further languages, to tell whose each is
    int language_dialogs_seen = 0;
    bool complete = false;
    bool damaged = false;
    int error = 0;

    // Acts on one record; the file stands just after its header.
    void Record(const RecordHeader& h) {
        switch (h.tag) {
        case kTagSetupFlags: {
            uint8_t raw[4];
            if (ReadExactly(file, raw, 4)) error = kReadFailed;
            else g_config.setup_flags = ReadU32(raw);
            return;
        }
        case kTagStartPage: {
            uint8_t raw[4];
            if (ReadExactly(file, raw, 2)) error = kReadFailed;
            else if (ReadExactly(file, raw + 2, 2)) error = kReadFailed;
            else {
                g_config.start_page = ReadU16(raw);
                g_config.initial_type = ReadU16(raw + 2);
            }
            complete = true;
            return;
        }
        case kTagSetupType: {
            if (++type_counter >= kMaxSetupTypes) {
                damaged = true;
                return;
            }
            SetupType& t = g_config.types[type_counter];
            if (!Load(h, t.record)) return;
            if (!BodyIsSound(h.tag, t.record)) {
                // Unsound: not even its message texts can be trusted.
                FreeAndClear(reinterpret_cast<void**>(&t.record.data));
                damaged = true;
                return;
            }
            DetectPreviousInstallation(t.record.data);
            lstrcpynA(t.destination_folder, g_state.destination_folder, kPathSize);
            return;
        }
        case kTagArchive: {
            g_archive.start_position = Tell(file);
            uint8_t raw[4];
            if (ReadExactly(file, raw, 4)) {
                error = kReadFailed;
                return;
            }
            uint32_t length = ReadU32(raw);
            g_archive.volume_length = g_archive.volume_remainder = length;
            g_archive.volume_base = 0;
            uint64_t end = uint64_t(g_archive.start_position) + 4 + length;
            archive_ends = ArchiveEndsPackage(end, package_end, is_signed) && PaddingIsZero(uint32_t(end));
            if (archive_ends) complete = true;
            return;
        }
        case kTagSolidBlocks:
        case kTagSolidBlocksLinked:
            if (g_config.solid_blocks.data) damaged = true;  // one table, under one tag
            else if (Load(h, g_config.solid_blocks)) g_config.linked_blocks = h.tag == kTagSolidBlocksLinked;
            return;
        case kTagSetupLanguages: ChooseFrom(h); return;
        // Further languages' records come after the table and the setup
        // types: for language 1 a record per setup type, then language 2's,
        // and so on; then the dialogs, one record per language.
        case kTagLanguageType: {
            int types = type_counter + 1, k = language_types_seen++;
            if (!types || !language_count) damaged = true;
            else if (1 + k / types == g_config.language) Replace(h, kTagSetupType, g_config.types[k % types].record);
            return;
        }
        case kTagLanguageDialogs:
            if (!language_count) damaged = true;
            else if (1 + language_dialogs_seen++ == g_config.language) Replace(h, kTagDialogTemplates, g_config.dialog_templates);
            return;
        case kTagIntegrity: {
            integrity_at = Tell(file);
            if (h.flags || h.stored_size != kIntegrityBodySize || ReadExactly(file, integrity, kIntegrityBodySize))
                damaged = true;
            return;
        }
        default:
            break;
        }
        RecordUse use = UseOfRecord(h.tag);
        if (use == kRecordSkipped) return;
        Body* slot = use == kRecordPerType ? PerTypeSlot(h.tag, type_counter) : SingleSlot(h.tag);
        if (!slot) {
            damaged = true;  // a per-type record before any setup type
            return;
        }
        if (Load(h, *slot) && !BodyIsSound(h.tag, *slot)) damaged = true;
    }

    // The language table, read whole: which language's records to take.
    void ChooseFrom(const RecordHeader& h) {
        uint8_t table[kMaxLanguages * kLanguageEntrySize];
        uint32_t count = h.stored_size / kLanguageEntrySize;
        if (h.flags || language_count || h.stored_size % kLanguageEntrySize || count > kMaxLanguages) {
            damaged = true;  // one table, stored, of whole entries
            return;
        }
        language_count = count;
        if (ReadExactly(file, table, h.stored_size)) {
            error = kReadFailed;
            return;
        }
        int chosen = ChooseLanguage(table, language_count, GetUserDefaultUILanguage(), uint16_t(GetACP()),
                                    g_state.language_wish);
        g_config.language_refused = chosen < 0;
        g_config.language = chosen < 0 ? 0 : chosen;
    }

    // A record of the chosen language takes the place of the described
    // one, once it has passed the same check; an unsound one leaves the
    // described record in place, so that its texts can report the damage.
    void Replace(const RecordHeader& h, uint16_t checked_as, Body& slot) {
        Body loaded = {};
        if (!Load(h, loaded) || !ValidateRecordBody(checked_as, loaded.data, loaded.size)) {
            FreeAndClear(reinterpret_cast<void**>(&loaded.data));
            damaged = true;
            return;
        }
        FreeAndClear(reinterpret_cast<void**>(&slot.data));
        slot = loaded;
    }

    // The bytes between a signed file's archive and its certificate table.
    bool PaddingIsZero(uint32_t archive_end) {
        uint8_t padding[8] = {};
        uint32_t n = package_end - archive_end;
        if (n && (Seek(file, int32_t(archive_end), FILE_BEGIN) != archive_end || ReadExactly(file, padding, n)))
            return false;
        for (uint8_t b : padding)
            if (b) return false;
        return true;
    }

    // The integrity record must lie right before the archive record, and
    // both CRCs must hold; it sets up the volume checks.
    void CheckIntegrity() {
        if (!integrity_at) {
            if (g_config.setup_flags & kSetupIntegrityRecord) damaged = true;
            return;
        }
        uint32_t archive_header = g_archive.start_position - kRecordHeaderSize;
        uint32_t head = 0, archive = 0;
        if (damaged || !archive_ends || integrity_at + kIntegrityBodySize != archive_header) {
            damaged = true;
            return;
        }
        error = CrcOfFileRange(file, 0, integrity_at, signing, &head);
        if (!error) error = CrcOfFileRange(file, archive_header, archive_header + kRecordHeaderSize + 4 +
                                                                     g_archive.volume_length, SigningLayout(), &archive);
        if (head != ReadU32(integrity + kIntegrityHeadCrc) || archive != ReadU32(integrity + kIntegrityArchiveCrc))
            damaged = true;
        g_archive.volumes_checked = true;
        g_archive.volume_count = ReadU32(integrity + kIntegrityVolumeCount);
        g_archive.set_mark = IntegritySetMark(integrity);
    }

    bool Load(const RecordHeader& h, Body& slot) {
        int r = LoadBody(file, h, slot);
        if (r == kDamaged) damaged = true;
        else if (r) error = r;
        return r == kLoaded;
    }

    void Run(uint32_t stub_length) {
        Seek(file, int32_t(stub_length), FILE_BEGIN);
        for (;;) {
            uint8_t raw[kRecordHeaderSize];
            if (ReadExactly(file, raw, kRecordHeaderSize)) {
                error = kReadFailed;  // the file ends before the archive record
                return;
            }
            RecordHeader h = {ReadU16(raw), raw[2], ReadU32(raw + 4)};
            if (h.stored_size == 0) {
                if (h.tag == kTagArchive) return;
                continue;
            }
            uint64_t record_end = uint64_t(Tell(file)) + h.stored_size;
            if (h.tag != kTagArchive && record_end > file_size) {
                error = kReadFailed;  // truncated inside a body
                return;
            }
            Record(h);
            if (error || h.tag == kTagArchive) return;
            Seek(file, int32_t(record_end), FILE_BEGIN);
        }
    }
};

// Every delta entry names a base that exists: an entry of a loaded file
// list that is not itself a delta.
bool DeltaBasesExist() {
    const uint8_t* lists[kMaxSetupTypes];
    for (int k = 0; k < g_config.type_count; ++k) lists[k] = g_config.types[k].file_list.data;
    return DeltaBasesAreSound(lists, g_config.type_count);
}

// The setup flag and the block table come together or not at all: a
// package read the other way would take block numbers for archive offsets.
// The blocks reach at least to the end of the setup file's part of the
// archive, and exactly there when no volume file follows it.
bool SolidArchiveIsSound() {
    const Body& table = g_config.solid_blocks;
    bool solid = g_config.setup_flags & kSetupSolidArchive;
    if (!solid) return !table.data;
    uint32_t count = 0;
    uint64_t end = 0;
    if (!table.data || *CheckSolidTable(table.data, table.size, g_config.linked_blocks, &count, &end)) return false;
    bool no_volumes = g_archive.volumes_checked && g_archive.volume_count == 0;
    if (end < g_archive.volume_length || (no_volumes && end != g_archive.volume_length)) return false;
    for (int k = 0; k < g_config.type_count; ++k) {
        const uint8_t* list = g_config.types[k].file_list.data;
        if (list && !SolidListFits(table.data, count, list)) return false;
    }
    return true;
}

}  // namespace

bool LoadPackage(uint32_t stub_length) {
    FreeSetupConfig();
    if (stub_length == 0) return false;
    lstrcpynA(g_state.current_volume_path, g_state.source_path, kPathSize);
    Loader loader;
    loader.file = OpenForReading(g_state.current_volume_path);
    if (loader.file == INVALID_HANDLE_VALUE) return false;
    loader.file_size = FileSize(loader.file);
    uint8_t head[kSigningHeadSize];
    loader.signing = ReadSigningLayout(head, ReadSome(loader.file, head, sizeof head));
    loader.package_end = uint32_t(PackageEnd(loader.signing, loader.file_size, &loader.is_signed));
    g_archive.volumes_checked = false;
    loader.Run(stub_length);
    if (!loader.error) loader.CheckIntegrity();
    CloseFile(loader.file);
    if (loader.error) return false;

    g_config.type_count = loader.type_counter + 1 > kMaxSetupTypes ? kMaxSetupTypes : loader.type_counter + 1;
    // Every setup type record must be present and sound for the types to be usable.
    bool types_sound = g_config.type_count > 0;
    for (int k = 0; k < g_config.type_count; ++k) types_sound = types_sound && g_config.types[k].record.data;
    if (types_sound) {
        int initial = g_config.initial_type < g_config.type_count ? g_config.initial_type : 0;
        if (g_config.initial_type >= g_config.type_count) loader.damaged = true;
        SelectSetupType(initial);
    }
    if (types_sound && (!DeltaBasesExist() || !SolidArchiveIsSound())) loader.damaged = true;
    // Each further language has a record per setup type and one of dialog
    // templates, so that the chosen one's took every place.
    int further = loader.language_count ? int(loader.language_count) - 1 : 0;
    if (loader.language_types_seen != further * g_config.type_count || loader.language_dialogs_seen != further)
        loader.damaged = true;
    if (loader.complete && !loader.damaged && types_sound) {
        if (!g_config.language_refused) return true;
        // Said in the first language, the one every system can show. Its
        // text holds one %s, as every setup file with languages is checked to.
        char text[512];
        FormatWithString(text, sizeof text, LookUpText(kGroupMessages, kMessageLanguageRefused), g_state.language_wish);
        ShowMessage(text, MB_ICONERROR);
        return false;
    }

    const char* text = types_sound ? LookUpText(kGroupMessages, kMessagePackageDamaged) : "";
    if (text[0]) ShowMessage(text, MB_ICONINFORMATION);
    return false;
}
