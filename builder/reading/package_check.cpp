#include "builder/reading/package_check.h"

#include <cstring>

#include "builder/archive/archive_items.h"
#include "builder/reading/stream_decode.h"
#include "builder/manifest/target_rules.h"
#include "decoder/inflate.h"
#include "engine/checksum.h"
#include "engine/delta_in_memory.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "package/setup_languages.h"
#include "package/solid_blocks.h"
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
    case kTagIntegrity: return "integrity";
    case kTagSolidBlocks: return "solid blocks";
    case kTagSolidBlocksLinked: return "linked solid blocks";
    case kTagSetupLanguages: return "language table";
    case kTagLanguageType: return "setup type, other language";
    case kTagLanguageDialogs: return "dialogs, other language";
    case kTagArchive: return "file archive";
    default: return "unknown";
    }
}

namespace {

bool Sound(const ReadRecord& r) {
    // The raw fields are read whatever the header says.
    if (UseOfRecord(r.tag) == kRecordRawFields) return true;
    // Another language's records are checked as the described ones they replace.
    uint16_t as = r.tag == kTagLanguageType ? kTagSetupType : r.tag == kTagLanguageDialogs ? kTagDialogTemplates : r.tag;
    return ValidateRecordBody(as, r.body.data(), uint32_t(r.body.size()));
}

std::string EntryName(size_t type, const uint8_t* e) { return "type " + std::to_string(type) + ", " + EntryString(e, 0); }

std::string BaseName(const uint8_t* delta) {
    return "its base (entry " + std::to_string(ReadU32(delta + kEntryBaseOrdinal)) + " of setup type " +
           std::to_string(ReadU16(delta + kEntrySetupType)) + ")";
}

// Calls act(k, entry) for every entry of the file lists the setup program
// walks: setup type k's, when every record of the type is sound.
template <typename Act>
void ForEachEntry(const PackageView& v, Act&& act) {
    for (size_t k = 0; k < v.types.size(); ++k) {
        const TypeView& t = v.types[k];
        if (!t.file_list || !t.sound) continue;
        const uint8_t* e = t.file_list->body.data() + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(t.file_list->body.data()); i < n; ++i, e = NextEntry(e)) act(k, e);
    }
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

// The file lists the setup program walks, by setup type; null for a type
// whose records are not all sound.
std::vector<const uint8_t*> SoundLists(const PackageView& v) {
    std::vector<const uint8_t*> lists;
    for (const TypeView& t : v.types) lists.push_back(t.sound && t.file_list ? t.file_list->body.data() : nullptr);
    return lists;
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
// and literal items read from the entry's archive offset and applied. The
// package check has made sure that the base exists and is no delta.
std::string VerifyDelta(const PackageView& v, const uint8_t* e, std::vector<std::string>& warnings,
                        const std::string& name, Bytes* built) {
    if (e[kEntryFlags] & kEntryIsUninstaller)
        warnings.push_back(name + ": the uninstaller is stored as a delta, so it is installed without the uninstaller body");
    std::vector<const uint8_t*> lists = SoundLists(v);
    const uint8_t* base = FindDeltaBase(lists.data(), int(lists.size()), e);
    if (!base) return BaseName(e) + " does not exist";
    Bytes base_bytes;
    std::string fault = DecodeEntry(v.file, base, &base_bytes);
    if (!fault.empty()) return BaseName(e) + ": " + fault;

    uint32_t offset = ReadU32(e + kEntryArchiveOffset), stored = ReadU32(e + kEntryStoredSize);
    size_t at = offset;
    Bytes commands, literals;
    for (Bytes* item : {&commands, &literals}) {
        const char* which = item == &commands ? "its command item: " : "its literal item: ";
        std::string note;
        fault = ReadItemFromArchive(v.file.archive, &at, item, &note);
        if (!fault.empty()) return which + fault;
        if (!note.empty()) warnings.push_back(name + ": " + which + note);
    }
    // The setup program reads the items from the entry's offset on, whatever its stored size says.
    if (at - offset != stored)
        warnings.push_back(name + ": its items take " + std::to_string(at - offset) + " bytes, not its stored size " +
                           std::to_string(stored));
    uint32_t size = ReadU32(e + kEntryUnpackedSize);
    DeltaStatus status = kDeltaEnd;
    std::optional<Bytes> out = ApplyDeltaInMemory(base_bytes, commands, literals, size, &status);
    if (!out) return DeltaFault(status);
    if (out->size() != size) return "its delta builds " + std::to_string(out->size()) + " bytes, not " + std::to_string(size);
    if (ChecksumUpdate(0, out->data(), out->size()) != ReadU32(e + kEntryChecksum)) return "its checksum differs";
    *built = std::move(*out);
    return {};
}

// The uninstaller entry installs the uninstaller body followed by its own
// decoded data, and nothing checks the result; its sizes and checksum may
// describe either its data or that whole file. Without an uninstaller body
// the setup program writes an empty file and reads no data.
std::string VerifyUninstaller(const PackageView& v, const uint8_t* e, std::vector<std::string>& warnings,
                              const std::string& name, Bytes* built) {
    built->clear();
    if (!v.uninstaller || v.uninstaller->body.empty()) {
        warnings.push_back(name + ": the package has no uninstaller body, so this entry installs an empty file");
        return {};
    }
    const Bytes& body = v.uninstaller->body;
    uint32_t offset = ReadU32(e + kEntryArchiveOffset), stored = ReadU32(e + kEntryStoredSize);
    if (uint64_t(offset) + stored > v.file.archive.size()) return "its data lies outside the archive";
    Bytes data;
    // Installed files stay below 2 GiB.
    size_t room = body.size() < 0x7FFFFFFF ? 0x7FFFFFFF - body.size() : 0;
    InflateResult r = InflateToVector(v.file.archive.data() + offset, stored, &data, room);
    if (r != kInflateOk) return "its data does not decode (decoder result " + std::to_string(r) + ")";
    uint32_t size = ReadU32(e + kEntryUnpackedSize), checksum = ReadU32(e + kEntryChecksum);
    bool describes_data = data.size() == size && ChecksumUpdate(0, data.data(), data.size()) == checksum;
    Bytes installed = body;  // whole: the checksum takes the file in groups of four bytes
    installed.insert(installed.end(), data.begin(), data.end());
    bool describes_file = installed.size() == size && ChecksumUpdate(0, installed.data(), installed.size()) == checksum;
    if (!describes_data && !describes_file)
        warnings.push_back(name + ": its size and checksum fit neither its data nor the installed uninstaller");
    *built = std::move(installed);
    return {};
}

// Where an entry's data ends in the archive.
uint64_t DataEnd(const uint8_t* e) { return uint64_t(ReadU32(e + kEntryArchiveOffset)) + ReadU32(e + kEntryStoredSize); }

// What the setup program does with entries of unusual values, in words.
void WarnAboutEntries(PackageView& v) {
    ForEachEntry(v, [&v](size_t k, const uint8_t* e) {
        uint8_t placement = e[kEntryPlacement], kind = e[kEntryDestinationKind];
        const char* target = EntryString(e, 0);
        size_t length = std::strlen(target);
        if (placement == kPlacementFolder && (!length || target[length - 1] != '\\'))
            v.warnings.push_back(EntryName(k, e) +
                                 ": a folder entry without a closing backslash creates only the folders above it");
        if (placement > kPlacementFolder)
            v.warnings.push_back(EntryName(k, e) + ": placement " + std::to_string(placement) +
                                 " is extracted and kept at uninstall, like placement 0");
        if (kind > kDestinationFonts)
            v.warnings.push_back(EntryName(k, e) + ": destination kind " + std::to_string(kind) +
                                 " installs into the destination folder, like kind 0");
    });
}

// Every name the setup program would write is a Windows name below its
// destination, and no two of a setup type are one file to Windows.
void CheckTargets(PackageView& v) {
    std::vector<std::vector<TargetItem>> types(v.types.size());
    ForEachEntry(v, [&](size_t k, const uint8_t* e) {
        uint8_t placement = e[kEntryPlacement];
        std::string target = EntryString(e, 0);
        types[k].push_back({target, e[kEntryDestinationKind], placement == kPlacementFolder,
                            placement != kPlacementBesideSetup});
        if (placement == kPlacementBesideSetup) return;
        std::string fault = TargetFault(target, placement == kPlacementFolder);
        if (!fault.empty()) v.problems.push_back(EntryName(k, e) + ": the name " + fault);
    });
    for (size_t k = 0; k < types.size(); ++k)
        for (const TargetClash& c : TargetClashes(types[k]))
            v.problems.push_back("setup type " + std::to_string(k) + ": " + c.problem);
}

// A package with the solid flag has a sound block table that fills the archive.
void CheckSolidArchive(PackageView& v) {
    const ReadRecord *flags = nullptr, *table = nullptr;
    int tables = 0;
    for (const ReadRecord& r : v.file.records) {
        if (r.tag == kTagSetupFlags && r.read) flags = &r;
        if ((r.tag == kTagSolidBlocks || r.tag == kTagSolidBlocksLinked) && r.body_ok) table = &r, ++tables;
    }
    if (!flags || !(ReadU32(flags->body.data()) & kSetupSolidArchive)) return;
    if (!table) return v.problems.push_back("the setup flags promise a solid archive, but its block table is missing");
    if (tables > 1) return v.problems.push_back("the package has more than one block table");
    uint64_t end = 0;
    v.solid_linked = table->tag == kTagSolidBlocksLinked;
    const char* fault = CheckSolidTable(table->body.data(), table->body.size(), v.solid_linked, &v.solid_blocks, &end);
    if (*fault) return v.problems.push_back(std::string("the block table: ") + fault);
    // With a volume file missing the archive ends early: VerifyPackage names the volume.
    if (end != v.file.archive.size() && (end < v.file.archive.size() || v.file.missing_volume.empty()))
        return v.problems.push_back("the blocks do not fill the archive exactly");
    v.solid_table = table;
}

// Every delta entry names a base the setup program can build it from.
void CheckDeltaBases(PackageView& v) {
    std::vector<const uint8_t*> lists = SoundLists(v);
    ForEachEntry(v, [&](size_t k, const uint8_t* e) {
        if (!(e[kEntryFlags] & kEntryIsDelta)) return;
        const uint8_t* base = FindDeltaBase(lists.data(), int(lists.size()), e);
        if (!base) v.problems.push_back(EntryName(k, e) + ": " + BaseName(e) + " does not exist");
        else if (base[kEntryFlags] & kEntryIsDelta)
            v.problems.push_back(EntryName(k, e) + ": " + BaseName(e) + " is a delta entry itself");
    });
}

// The package counts as complete when its archive reaches exactly to the
// end of the file, or, failing that, when it holds a start page record.
void CheckCompleteness(PackageView& v) {
    const SetupFileView& f = v.file;
    if (f.records.empty() || f.records.back().tag != kTagArchive) return;  // reading stopped before it
    std::string fault = !f.has_archive ? "the archive record is empty"
                        : f.archive_ends_file
                            ? ""
                            : "the archive length " + std::to_string(f.archive_length) +
                                  " does not reach exactly to the end of the file";
    if (fault.empty()) return;
    if (f.has_start_page) v.warnings.push_back(fault + "; the setup program accepts that as it has a start page record");
    else v.problems.push_back(fault);
}

// The language table and the records of further languages, noted in file
// order and checked once all setup types are known, as the setup program
// takes them: the k-th type record of the further languages is language
// 1 + k / types' type k % types, the j-th templates record language 1 + j's.
struct LanguageRecords {
    const ReadRecord* table = nullptr;
    bool table_twice = false;
    std::vector<const ReadRecord*> types, dialogs;
    std::vector<size_t> types_before;  // setup type records read before each of those

    void Note(const ReadRecord& r, size_t types_so_far) {
        if (r.tag == kTagSetupLanguages) {
            table_twice = table_twice || table;
            table = &r;
            return;
        }
        (r.tag == kTagLanguageType ? types : dialogs).push_back(&r);
        types_before.push_back(types_so_far);
    }

    void Check(PackageView& v) {
        if (!table) {
            if (!types.empty() || !dialogs.empty())
                v.problems.push_back("the package holds records of further languages but no language table");
            return;
        }
        const Bytes& body = table->body;
        size_t count = body.size() / kLanguageEntrySize;
        if (table_twice || (table->flags & kRecordCompressed) || body.size() % kLanguageEntrySize || !count ||
            count > kMaxLanguages) {
            v.problems.push_back("the language table must be one stored record of 1 to 16 entries of 12 bytes");
            return;
        }
        size_t type_count = v.types.size();
        if (types.size() != (count - 1) * type_count || dialogs.size() != count - 1) {
            v.problems.push_back("the language table names " + std::to_string(count) + " languages for " +
                                 std::to_string(type_count) + " setup types, but the package holds " +
                                 std::to_string(types.size()) + " setup type and " + std::to_string(dialogs.size()) +
                                 " dialog records of further languages");
            return;
        }
        bool early = false;
        for (const ReadRecord* r : types) early = early || r->offset < table->offset;
        for (const ReadRecord* r : dialogs) early = early || r->offset < table->offset;
        for (size_t before : types_before) early = early || before != type_count;
        if (early)
            v.problems.push_back("the records of further languages must follow the language table and every setup type record");
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = body.data() + i * kLanguageEntrySize;
            LanguageView l;
            l.langid = ReadU16(e);
            l.code_page = ReadU16(e + 2);
            l.tag.assign(reinterpret_cast<const char*>(e + 4), strnlen(reinterpret_cast<const char*>(e + 4), kLanguageTagSize));
            for (size_t k = 0; k < type_count; ++k)
                l.types.push_back(i ? types[(i - 1) * type_count + k] : v.types[k].record);
            l.dialogs = i ? dialogs[i - 1] : nullptr;
            v.languages.push_back(std::move(l));
        }
    }
};

// Every block of a solid archive, decoded: in a linked table the chain
// into one buffer, each block going on in the window the one before left.
struct DecodedBlocks {
    Bytes chain;                       // a linked table's blocks, end to end
    std::vector<Bytes> alone;          // or each block on its own
    std::vector<const uint8_t*> data;  // where each block's bytes begin
    std::vector<bool> sound;           // a block that fails leaves every later one of its chain unsound
};

std::vector<std::string> DecodeBlocks(const PackageView& v, DecodedBlocks* d) {
    std::vector<std::string> faults;
    const uint8_t* table = v.solid_table->body.data();
    d->data.assign(v.solid_blocks, nullptr);
    d->sound.assign(v.solid_blocks, false);
    if (v.solid_linked) d->chain.resize(SolidChainSpan(table, 0, true));
    else d->alone.resize(v.solid_blocks);
    LzmaMemory once{};
    LzmaInput input = LzmaInputFrom(&once);
    LzmaStream stream{};
    for (uint32_t b = 0; b < v.solid_blocks; ++b) {
        SolidBlock block = SolidBlockAt(table, b);
        if (uint64_t(block.archive_offset) + block.packed > v.file.archive.size()) {
            faults.push_back("block " + std::to_string(b) + " lies beyond the archive's end" +
                             (v.file.missing_volume.empty() ? std::string()
                                                            : ": volume file '" + v.file.missing_volume + "' is missing"));
            if (v.solid_linked) break;
            continue;
        }
        once = {v.file.archive.data() + block.archive_offset, block.packed};
        LzmaResult r;
        if (!v.solid_linked) {
            d->alone[b].resize(block.unpacked);
            r = LzmaDecodeBuffer(block.properties, once.data, once.size, d->alone[b].data(), block.unpacked);
        } else if (b == 0) {
            uint8_t dummy = 0;  // an empty chain still needs a window to point at
            LzmaOutput whole{d->chain.empty() ? &dummy : d->chain.data(), std::max<size_t>(d->chain.size(), 1), nullptr,
                             nullptr};
            r = LzmaStart(&stream, block.properties, block.unpacked, input, whole);
        } else {
            r = LzmaContinue(&stream, block.properties, block.unpacked, input);
        }
        if (v.solid_linked && r == kLzmaOk) r = LzmaDecodeTo(&stream, block.unpacked_before + block.unpacked);
        if (r != kLzmaOk) {
            faults.push_back("block " + std::to_string(b) + " does not decode (decoder result " + std::to_string(r) + ")");
            if (v.solid_linked) break;
            continue;
        }
        d->data[b] = v.solid_linked ? d->chain.data() + block.unpacked_before : d->alone[b].data();
        d->sound[b] = true;
    }
    LzmaEnd(&stream);
    return faults;
}

// A solid archive: every block decoded once, then every extracted entry
// taken from its block and checked against its checksum. The uninstaller
// entry is the uninstaller body followed by its data, as in a per-file archive.
std::vector<std::string> VerifySolid(const PackageView& v, size_t* checked, std::vector<std::string>* warnings,
                                     const BuiltFile* built) {
    std::vector<std::string> found = v.warnings;
    const uint8_t* table = v.solid_table->body.data();
    DecodedBlocks blocks;
    std::vector<std::string> faults = DecodeBlocks(v, &blocks);
    ForEachEntry(v, [&](size_t k, const uint8_t* e) {
        if (!PlacementIsExtracted(e[kEntryPlacement])) return;
        uint32_t b = ReadU32(e + kEntryArchiveOffset), start = ReadU32(e + kEntryStoredSize);
        uint32_t size = ReadU32(e + kEntryUnpackedSize);
        if (b < v.solid_blocks && !blocks.sound[b]) return;  // the block's fault stands for its files
        ++*checked;
        std::string name = EntryName(k, e);
        if (e[kEntryFlags] & kEntryIsDelta) return faults.push_back(name + ": a solid archive holds no deltas");
        if (!SolidEntryFits(table, v.solid_blocks, b, start, size))
            return faults.push_back(name + ": its data lies outside its block");
        Bytes bytes(blocks.data[b] + start, blocks.data[b] + start + size);
        bool checksum_ok = ChecksumUpdate(0, bytes.data(), bytes.size()) == ReadU32(e + kEntryChecksum);
        if (e[kEntryFlags] & kEntryIsUninstaller && v.uninstaller && !v.uninstaller->body.empty()) {
            bytes.insert(bytes.begin(), v.uninstaller->body.begin(), v.uninstaller->body.end());
        } else if (!checksum_ok) {
            return faults.push_back(name + ": its checksum differs");
        }
        if (built) (*built)(k, e, bytes);
    });
    if (warnings) *warnings = std::move(found);
    return faults;
}

}  // namespace

PackageView CheckPackage(const Bytes& setup_file, const std::string& setup_path) {
    PackageView v;
    v.file = ReadSetupFile(setup_file, setup_path);
    v.problems = v.file.problems;
    v.warnings = v.file.warnings;
    CheckCompleteness(v);
    const ReadRecord* start_page = nullptr;
    LanguageRecords languages;
    for (const ReadRecord& r : v.file.records) {
        if (!r.read) continue;
        RecordUse use = UseOfRecord(r.tag);
        bool sound = r.body_ok && Sound(r);
        if (r.body_ok && !sound)
            v.problems.push_back(std::string("the ") + TagName(r.tag) + " record at offset " +
                                 std::to_string(r.offset) + " is damaged");
        if (r.tag == kTagStartPage) start_page = &r;
        if (r.tag == kTagUninstaller) v.uninstaller = &r;  // a later one takes the earlier one's place
        if (r.tag == kTagSetupLanguages || r.tag == kTagLanguageType || r.tag == kTagLanguageDialogs) {
            languages.Note(r, v.types.size());
            continue;
        }
        if (use == kRecordSetupType) {
            v.types.emplace_back();
            v.types.back().record = &r;
            v.types.back().sound = sound;
            continue;
        }
        if (use != kRecordPerType) continue;
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
        const ReadRecord*& slot = r.tag == kTagFileList         ? t.file_list
                                  : r.tag == kTagIniEntries      ? t.ini
                                  : r.tag == kTagRegistryEntries ? t.registry
                                                                 : t.patches;
        if (slot)
            v.warnings.push_back("setup type " + std::to_string(v.types.size() - 1) + " has a second " +
                                 TagName(r.tag) + " record; the setup program uses the last");
        slot = &r;
    }
    if (v.types.empty()) v.problems.push_back("the package has no setup type");
    if (v.types.size() > size_t(kMaxSetupTypes)) v.problems.push_back("the package has more than six setup types");
    if (start_page && !v.types.empty()) {
        uint16_t initial = ReadU16(start_page->body.data() + 2);
        if (initial >= v.types.size())
            v.problems.push_back("the start page record selects setup type " + std::to_string(initial) +
                                 ", but the package has " + std::to_string(v.types.size()));
    }
    languages.Check(v);
    CheckSolidArchive(v);
    CheckDeltaBases(v);
    CheckTargets(v);
    WarnAboutEntries(v);
    return v;
}

std::vector<std::string> VerifyPackage(const PackageView& v, size_t* checked, std::vector<std::string>* warnings,
                                       const BuiltFile* built) {
    std::vector<std::string> faults = v.problems, found = v.warnings;
    *checked = 0;
    if (warnings) *warnings = v.warnings;
    if (!faults.empty()) return faults;
    if (v.solid_table) return VerifySolid(v, checked, warnings, built);
    auto each_entry = [&v](auto&& act) {
        ForEachEntry(v, [&act](size_t k, const uint8_t* e) {
            if (PlacementIsExtracted(e[kEntryPlacement])) act(k, e);
        });
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
        std::string name = EntryName(k, e);
        uint8_t flags = e[kEntryFlags];
        Bytes bytes;
        std::string fault = flags & kEntryIsDelta         ? VerifyDelta(v, e, found, name, &bytes)
                            : flags & kEntryIsUninstaller ? VerifyUninstaller(v, e, found, name, &bytes)
                                                          : DecodeEntry(v.file, e, &bytes);
        if (!fault.empty()) faults.push_back(name + ": " + fault);
        else if (built) (*built)(k, e, bytes);
        ++*checked;
    });
    if (warnings) *warnings = std::move(found);
    return faults;
}
