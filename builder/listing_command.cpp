#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "builder/package_check.h"
#include "builder/package_commands.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "package/solid_blocks.h"
#include "package/string_groups.h"

namespace {

const char* const kKinds[] = {"install", "windows", "shared", "fonts"};
const char* const kPlacements[] = {"keep", "remove", "beside", "folder"};
const char* const kRoots[] = {"HKCR", "HKCU", "HKLM", "HKU"};  // any other number means HKCU

// A value's word, or the number itself where there is none.
std::string WordOrNumber(const char* const* words, size_t count, size_t i) {
    return i < count ? words[i] : std::to_string(i);
}

void PrintType(size_t k, const TypeView& t, bool sound) {
    const uint8_t* r = t.record->body.data();
    std::printf("\nsetup type %zu\n", k);
    if (!sound) {
        std::printf("  (damaged: not shown)\n");
        return;
    }
    auto text = [r](uint32_t field) {
        const char* s = TypeText(r, field);
        return s ? s : "(none)";
    };
    uint16_t options = ReadU16(r + kTypeOptions);
    std::printf("  name: %s\n  uninstall key: %s\n  folder: %s (%s)\n", text(kTypeDisplayName), text(kTypeUninstallKey),
                text(kTypeDefaultFolder), options & kOptionFolderEditable ? "editable" : "fixed");
    uint32_t root = ReadU32(r + kTypeRegistryRoot);
    if (options & kOptionRememberInRegistry)
        std::printf("  remembered in registry: %s\\%s, value \"%s\"\n", kRoots[root < 4 ? root : 1],
                    text(kTypeRegistryKey), text(kTypeRegistryValue));
    if (options & kOptionRememberInIni)
        std::printf("  remembered in INI: %s [%s] %s\n", text(kTypeIniFile), text(kTypeIniSection), text(kTypeIniKey));
    std::printf("  texts:\n");
    for (int g = 0; g < kStringGroupCount; ++g) {
        uint32_t at = ReadU32(r + kTypeStringGroups + 4 * g);
        if (!at) continue;
        uint16_t count = ReadU16(r + at);
        for (int i = 0; i < count; ++i) std::printf("    %d.%-3d %s\n", g, i, GroupText(r, g, i));
    }
    if (!t.file_list) return;
    const uint8_t* list = t.file_list->body.data();
    uint32_t count = ReadU32(list);
    std::printf("  files (%u):\n    %-28s %-8s %-7s %10s %10s %10s  %s\n", count, "target", "kind", "place", "bytes",
                "stored", "checksum", "details");
    const uint8_t* e = list + kFileListHeaderSize;
    for (uint32_t i = 0; i < count; ++i, e = NextEntry(e)) {
        uint8_t flags = e[kEntryFlags];
        std::string details;
        if (flags & kEntryIsUninstaller) details += "uninstaller ";
        if (flags & kEntryVersionTest) details += "version-test ";
        if (flags & kEntryLanguageTest) details += "language-test ";
        if (flags & kEntryIsDelta)
            details += "delta:type" + std::to_string(ReadU16(e + kEntrySetupType)) + "#" +
                       std::to_string(ReadU32(e + kEntryBaseOrdinal)) + " ";
        if (e[kEntrySharedCount]) details += "shared-count ";
        if (e[kEntryRole] == 1) details += "document ";
        if (e[kEntryRole] == 2) details += "program ";
        if (*EntryString(e, 2)) details += std::string("group:") + EntryString(e, 1) + "\\" + EntryString(e, 2) + " ";
        if (*EntryString(e, 4)) details += std::string("desktop:") + EntryString(e, 4) + " ";
        std::printf("    %-28s %-8s %-7s %10u %10u   %08X  %s\n", EntryString(e, 0),
                    WordOrNumber(kKinds, 4, e[kEntryDestinationKind]).c_str(),
                    WordOrNumber(kPlacements, 4, e[kEntryPlacement]).c_str(),
                    ReadU32(e + kEntryUnpackedSize), ReadU32(e + kEntryStoredSize), ReadU32(e + kEntryChecksum),
                    details.c_str());
    }
    if (t.uninstall_values) {
        const uint8_t* v = t.uninstall_values->body.data();
        uint32_t flags = ReadU32(v + kUninstallValuesFlags);
        const char* version = reinterpret_cast<const char*>(v + kUninstallValuesFixedSize);
        const char* publisher = version + std::strlen(version) + 1;
        const char* icon = publisher + std::strlen(publisher) + 1;
        std::printf("  uninstall entry: version \"%s\", publisher \"%s\", icon \"%s\"%s%s%s%s%s\n", version, publisher,
                    icon, flags & kUninstallInstallLocation ? ", install location" : "",
                    flags & kUninstallEstimatedSize ? ", estimated size" : "", flags & kUninstallNoModify ? ", no modify" : "",
                    flags & kUninstallNoRepair ? ", no repair" : "", flags & kUninstallQuietString ? ", quiet uninstall" : "");
    }
    for (const ReadRecord* table : {t.ini, t.registry, t.patches})
        if (table && table->body.size() >= 2)
            std::printf("  %s: %u\n", TagName(table->tag), ReadU16(table->body.data()));
}

}  // namespace

void AddInspectCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("inspect", "List the records, setup types, texts and files of a setup file");
    static std::string path;
    cmd->add_option("setup", path, "The setup file")->required()->check(CLI::ExistingFile);
    cmd->callback([&status] {
        Bytes bytes = ReadWholeFile(path);
        PackageView v = CheckPackage(bytes, path);
        std::printf("%s: %zu bytes, stub %u bytes, %zu records\n", path.c_str(), bytes.size(), v.file.stub_length,
                    v.file.records.size());
        std::printf("  %10s  %-6s %-24s %10s %10s\n", "offset", "tag", "record", "stored", "body");
        for (const ReadRecord& r : v.file.records) {
            std::string body = !r.read                ? "-"
                               : r.tag == kTagArchive ? std::to_string(v.file.archive_length)
                                                      : std::to_string(r.body.size());
            std::printf("  %10llu  0x%04X %-24s %10u %10s%s%s\n", (unsigned long long)r.offset, r.tag, TagName(r.tag),
                        r.stored_size, body.c_str(), r.flags & kRecordCompressed ? "  compressed" : "",
                        r.read ? "" : "  skipped");
        }
        for (const VolumeFile& f : v.file.volumes)
            std::printf("volume %s: %u archive bytes\n", f.path.c_str(), f.length);
        for (uint32_t b = 0; b < v.solid_blocks; ++b) {
            SolidBlock block = SolidBlockAt(v.solid_table->body.data(), b);
            std::printf("solid block %u: archive offset %u, %u bytes LZMA, %u unpacked, dictionary %u KiB, lc %u lp %u pb %u\n",
                        b, block.archive_offset, block.packed, block.unpacked, block.properties.dictionary >> 10,
                        block.properties.lc, block.properties.lp, block.properties.pb);
        }
        for (const ReadRecord& r : v.file.records)
            if (r.tag == kTagSetupFlags && r.body.size() >= 4) {
                uint32_t flags = ReadU32(r.body.data());
                std::printf("setup flags: %s%s\n", flags & kSetupFullScreen ? "full screen" : "framed",
                            flags & kSetupRemoveOtherTypes ? ", removes other setup types first" : "");
            }
        for (size_t k = 0; k < v.types.size(); ++k) PrintType(k, v.types[k], v.types[k].sound);
        for (const std::string& w : v.warnings) std::printf("warning: %s\n", w.c_str());
        for (const std::string& p : v.problems) std::printf("problem: %s\n", p.c_str());
        status = v.problems.empty() ? 0 : 1;
    });
}
