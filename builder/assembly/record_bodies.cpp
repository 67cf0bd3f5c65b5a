#include "builder/assembly/record_bodies.h"

#include "package/package_format.h"

namespace {

void PutU16(Bytes& b, uint16_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void PutU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutU64(Bytes& b, uint64_t v) { PutU32(b, uint32_t(v)), PutU32(b, uint32_t(v >> 32)); }
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()), b.push_back(0); }

// The setup program creates the folders of a path up to its last
// backslash and takes what follows for a file name, so a folder entry's
// target ends in a backslash.
std::string EntryTarget(const ProductFile& file) {
    if (file.placement == kPlacementFolder && (file.target.empty() || file.target.back() != '\\'))
        return file.target + '\\';
    return file.target;
}

}  // namespace

Bytes SetupTypeRecord(const ProductType& type, const StringTable* texts) {
    Bytes r(kTypeFixedSize, 0);
    uint16_t options = (type.folder_editable ? kOptionFolderEditable : 0) |
                       (type.remember_in_registry ? kOptionRememberInRegistry : 0) |
                       (type.remember_in_ini ? kOptionRememberInIni : 0);
    WriteU16(&r[kTypeOptions], options);
    WriteU32(&r[kTypeRegistryRoot], type.registry_root);
    // Each text is placed after the fixed part; its field holds its offset.
    auto place = [&r](uint32_t field, const std::optional<std::string>& text) {
        if (!text) return;
        WriteU32(&r[field], uint32_t(r.size()));
        PutText(r, *text);
    };
    place(kTypeUninstallKey, type.uninstall_key);
    place(kTypeDisplayName, type.display_name);
    place(kTypeDefaultFolder, type.default_folder);
    place(kTypeRegistryKey, type.registry_key);
    place(kTypeRegistryValue, type.registry_value);
    place(kTypeIniFile, type.ini_file);
    place(kTypeIniSection, type.ini_section);
    place(kTypeIniKey, type.ini_key);
    for (int g = 0; g < kGroups; ++g) {
        const std::vector<std::string>& group = (texts ? *texts : type.texts)[g];
        if (group.empty()) continue;
        WriteU32(&r[kTypeStringGroups + 4 * g], uint32_t(r.size()));
        PutU16(r, uint16_t(group.size()));
        for (const std::string& t : group) PutText(r, t);
    }
    return r;
}

Bytes FileListEntry(const ProductFile& file, const ArchivedFile& a, uint16_t type_index) {
    Bytes e;
    uint8_t flags = (file.uninstaller ? kEntryIsUninstaller : 0) | (file.version_test ? kEntryVersionTest : 0) |
                    (file.language_test ? kEntryLanguageTest : 0) | (file.file_times ? kEntryHasFileTimes : 0) |
                    (a.delta ? kEntryIsDelta : 0);
    PutU16(e, 0);  // entry size, set below
    PutU16(e, 0);  // install status: written at run time
    PutU16(e, file.icon_index);
    PutU32(e, a.archive_offset);
    PutU32(e, a.stored_size);
    PutU32(e, a.unpacked_size);
    PutU32(e, a.checksum);
    e.push_back(flags);
    e.push_back(file.destination_kind);
    e.push_back(file.role);
    e.push_back(file.shared_count);
    e.push_back(file.placement);
    e.push_back(file.install_action);
    PutU16(e, a.delta ? a.base_type : type_index);
    PutU32(e, a.delta ? a.base_ordinal : 0);
    if (flags & (kEntryVersionTest | kEntryLanguageTest)) {
        PutU32(e, a.version_ms);
        PutU32(e, a.version_ls);
        PutU32(e, a.product_ms);
        PutU32(e, a.product_ls);
        PutU32(e, a.language);
    }
    if (flags & kEntryHasFileTimes) {
        PutU64(e, a.creation);
        PutU64(e, a.last_access);
        PutU64(e, a.last_write);
    }
    const std::string target = EntryTarget(file);
    for (const std::string* s : {&target, &file.group_folder, &file.group_shortcut, &file.group_arguments,
                                 &file.desktop_shortcut, &file.desktop_arguments})
        PutText(e, *s);
    WriteU16(&e[kEntrySize], uint16_t(e.size()));
    return e;
}

Bytes FileList(const std::vector<Bytes>& entries) {
    Bytes b;
    PutU32(b, uint32_t(entries.size()));
    for (const Bytes& e : entries) b.insert(b.end(), e.begin(), e.end());
    return b;
}

Bytes IniTable(const std::vector<IniEntry>& entries) {
    Bytes b;
    PutU16(b, uint16_t(entries.size()));
    for (const IniEntry& e : entries) {
        b.push_back(e.keep_existing ? 1 : 0);
        PutText(b, e.file), PutText(b, e.section), PutText(b, e.key), PutText(b, e.value);
    }
    return b;
}

Bytes RegistryTable(const std::vector<RegistryEntry>& entries) {
    Bytes b;
    PutU16(b, uint16_t(entries.size()));
    for (const RegistryEntry& e : entries) {
        PutU32(b, e.root);
        b.push_back(e.keep_existing ? 1 : 0);
        PutText(b, e.key), PutText(b, e.name), PutText(b, e.data);
    }
    return b;
}

Bytes PatchTable(const std::vector<PatchEntry>& entries) {
    Bytes b;
    PutU16(b, uint16_t(entries.size()));
    for (const PatchEntry& e : entries) {
        PutU32(b, e.offset);
        PutU32(b, uint32_t(e.pattern.size()));
        b.insert(b.end(), 5, 0);  // reserved
        PutText(b, e.file), PutText(b, e.data);
        b.insert(b.end(), e.pattern.begin(), e.pattern.end());
    }
    return b;
}

Bytes UninstallValuesBody(const UninstallValues& v) {
    Bytes b;
    PutU32(b, (v.install_location ? kUninstallInstallLocation : 0) | (v.estimated_size ? kUninstallEstimatedSize : 0) |
                  (v.no_modify ? kUninstallNoModify : 0) | (v.no_repair ? kUninstallNoRepair : 0) |
                  (v.quiet_uninstall ? kUninstallQuietString : 0));
    PutText(b, v.display_version), PutText(b, v.publisher), PutText(b, v.display_icon);
    return b;
}
