#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "builder/commands/existing_file.h"
#include "builder/reading/json_writer.h"
#include "builder/reading/package_check.h"
#include "builder/commands/package_commands.h"
#include "builder/manifest/languages.h"
#include "builder/reading/setup_identity_view.h"
#include "package/entry_tables.h"
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

void PrintType(size_t k, const TypeView& t, bool sound, const CodePage& page) {
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
        for (int i = 0; i < count; ++i) std::printf("    %d.%-3d %s\n", g, i, ToUtf8(GroupText(r, g, i), page).c_str());
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

// The same as PrintType, as a JSON object.
void WriteType(JsonWriter& j, size_t k, const TypeView& t) {
    j.Open('{');
    j.Number("index", k);
    j.Flag("sound", t.sound);
    if (!t.sound) return j.Close('}');
    const uint8_t* r = t.record->body.data();
    auto text = [&](const char* key, uint32_t field) {
        if (const char* s = TypeText(r, field)) j.Text(key, s);
    };
    uint16_t options = ReadU16(r + kTypeOptions);
    text("name", kTypeDisplayName);
    text("uninstall_key", kTypeUninstallKey);
    text("folder", kTypeDefaultFolder);
    j.Flag("folder_editable", options & kOptionFolderEditable);
    if (options & kOptionRememberInRegistry) {
        uint32_t root = ReadU32(r + kTypeRegistryRoot);
        j.Open('{', "remember_registry");
        j.Text("root", kRoots[root < 4 ? root : 1]);
        text("key", kTypeRegistryKey);
        text("value", kTypeRegistryValue);
        j.Close('}');
    }
    if (options & kOptionRememberInIni) {
        j.Open('{', "remember_ini");
        text("file", kTypeIniFile);
        text("section", kTypeIniSection);
        text("key", kTypeIniKey);
        j.Close('}');
    }
    j.Open('{', "texts");
    for (int g = 0; g < kStringGroupCount; ++g) {
        uint32_t at = ReadU32(r + kTypeStringGroups + 4 * g);
        if (!at) continue;
        for (int i = 0, count = ReadU16(r + at); i < count; ++i)
            j.Text((std::to_string(g) + "." + std::to_string(i)).c_str(), GroupText(r, g, i));
    }
    j.Close('}');
    j.Open('[', "files");
    if (t.file_list) {
        const uint8_t* e = t.file_list->body.data() + kFileListHeaderSize;
        for (uint32_t i = 0, n = ReadU32(t.file_list->body.data()); i < n; ++i, e = NextEntry(e)) {
            uint8_t flags = e[kEntryFlags];
            j.Open('{');
            j.Text("target", EntryString(e, 0));
            j.Text("destination", WordOrNumber(kKinds, 4, e[kEntryDestinationKind]));
            j.Text("placement", WordOrNumber(kPlacements, 4, e[kEntryPlacement]));
            j.Number("bytes", ReadU32(e + kEntryUnpackedSize));
            j.Number("stored", ReadU32(e + kEntryStoredSize));
            j.Number("checksum", ReadU32(e + kEntryChecksum));
            j.Flag("uninstaller", flags & kEntryIsUninstaller);
            j.Flag("version_test", flags & kEntryVersionTest);
            j.Flag("language_test", flags & kEntryLanguageTest);
            j.Flag("shared_count", e[kEntrySharedCount]);
            j.Number("role", e[kEntryRole]);
            if (flags & kEntryIsDelta) {
                j.Open('{', "delta_base");
                j.Number("type", ReadU16(e + kEntrySetupType));
                j.Number("entry", ReadU32(e + kEntryBaseOrdinal));
                j.Close('}');
            }
            if (*EntryString(e, 2)) j.Text("group_folder", EntryString(e, 1)), j.Text("group_shortcut", EntryString(e, 2));
            if (*EntryString(e, 4)) j.Text("desktop_shortcut", EntryString(e, 4));
            j.Close('}');
        }
    }
    j.Close(']');
    j.Open('[', "ini");
    if (t.ini) {
        const uint8_t* at = FirstTableEntry(t.ini->body.data());
        for (uint16_t i = 0, n = EntryTableCount(t.ini->body.data()); i < n; ++i) {
            IniTableEntry e;
            at = ReadIniEntry(at, &e);
            j.Open('{');
            j.Text("file", e.file), j.Text("section", e.section), j.Text("key", e.key), j.Text("value", e.value);
            j.Flag("keep_existing", e.flags & kKeepExistingValue);
            j.Close('}');
        }
    }
    j.Close(']');
    j.Open('[', "registry");
    if (t.registry) {
        const uint8_t* at = FirstTableEntry(t.registry->body.data());
        for (uint16_t i = 0, n = EntryTableCount(t.registry->body.data()); i < n; ++i) {
            RegistryTableEntry e;
            at = ReadRegistryEntry(at, &e);
            j.Open('{');
            j.Text("root", kRoots[e.root < 4 ? e.root : 1]);
            j.Text("key", e.key), j.Text("name", e.value_name), j.Text("data", e.data);
            j.Flag("keep_existing", e.flags & kKeepExistingValue);
            j.Close('}');
        }
    }
    j.Close(']');
    if (t.patches && t.patches->body.size() >= 2) j.Number("file_patches", EntryTableCount(t.patches->body.data()));
    j.Close('}');
}

// The setup program's face: version resource, icon and execution level.
void WriteIdentity(JsonWriter& j, const Bytes& bytes) {
    SetupIdentityView id;
    try {
        id = ReadSetupIdentity(bytes);
    } catch (const std::exception&) {
        return;  // no resources to show; verify names what is wrong with the program
    }
    j.Open('{', "identity");
    j.Utf8Text("file_version", id.file_version);
    j.Utf8Text("product_version", id.product_version);
    j.Open('{', "version_texts");
    for (const auto& [name, value] : id.version_texts) j.Utf8Text(name.c_str(), value);
    j.Close('}');
    j.Open('[', "icon");
    for (const IconImageView& image : id.icon) {
        j.Open('{');
        j.Number("width", image.width), j.Number("height", image.height);
        j.Number("bit_count", image.bit_count), j.Number("bytes", image.bytes);
        j.Close('}');
    }
    j.Close(']');
    j.Utf8Text("execution_level", id.execution_level);
    j.Close('}');
}

// "German (de), LANGID 0x0407, code page 1252", or the tag and numbers
// for a language this kiln does not ship.
std::string LanguageName(const LanguageView& l) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "LANGID 0x%04X, code page %u", l.langid, l.code_page);
    const Language* known = FindLanguage(l.tag);
    return (known && known->langid == l.langid ? known->name + " (" + l.tag + ")" : "\"" + l.tag + "\"") + ", " + numbers;
}

// The language `--language` names, or the first: null without a language table.
const LanguageView* ShownLanguage(const PackageView& v, const std::string& tag) {
    for (const LanguageView& l : v.languages)
        if (tag.empty() || l.tag == tag) return &l;
    return nullptr;
}

// The code page the shown texts are in: the language's, else Windows-1252,
// which a package without a language table was built with.
const CodePage& TextCodePage(const LanguageView* l) {
    const CodePage* page = l ? CodePageNumbered(l->code_page) : nullptr;
    return page ? *page : kWindows1252;
}

// The setup types with the shown language's records in place of the described ones.
std::vector<TypeView> TypesIn(const PackageView& v, const LanguageView* l) {
    std::vector<TypeView> types = v.types;
    for (size_t k = 0; l && k < types.size() && k < l->types.size(); ++k) {
        types[k].record = l->types[k];
        types[k].sound = types[k].sound && l->types[k]->body_ok;
    }
    return types;
}

void WriteJson(const std::string& path, const Bytes& bytes, const PackageView& v, const LanguageView* shown) {
    JsonWriter j(TextCodePage(shown));
    j.Open('{');
    j.Utf8Text("file", path);
    j.Number("bytes", bytes.size());
    j.Number("stub_bytes", v.file.stub_length);
    j.Open('[', "languages");
    for (const LanguageView& l : v.languages) {
        j.Open('{');
        j.Text("tag", l.tag);
        j.Number("langid", l.langid);
        j.Number("code_page", l.code_page);
        j.Close('}');
    }
    j.Close(']');
    if (shown) j.Text("texts_language", shown->tag);
    WriteIdentity(j, bytes);
    j.Open('[', "records");
    for (const ReadRecord& r : v.file.records) {
        j.Open('{');
        j.Number("offset", r.offset);
        j.Number("tag", r.tag);
        j.Text("record", TagName(r.tag));
        j.Number("stored", r.stored_size);
        j.Flag("compressed", r.flags & kRecordCompressed);
        j.Flag("read", r.read);
        j.Close('}');
    }
    j.Close(']');
    j.Open('[', "volumes");
    for (const VolumeFile& f : v.file.volumes) {
        j.Open('{');
        j.Utf8Text("path", f.path);
        j.Number("archive_bytes", f.length);
        j.Close('}');
    }
    j.Close(']');
    j.Open('[', "types");
    std::vector<TypeView> types = TypesIn(v, shown);
    for (size_t k = 0; k < types.size(); ++k) WriteType(j, k, types[k]);
    j.Close(']');
    for (auto [key, list] : {std::pair{"warnings", &v.warnings}, {"problems", &v.problems}}) {
        j.Open('[', key);
        for (const std::string& m : *list) j.Text(nullptr, m);
        j.Close(']');
    }
    j.Close('}');
    std::printf("%s\n", j.out().c_str());
}

}  // namespace

void AddInspectCommand(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("inspect", "List the records, setup types, texts and files of a setup file");
    static std::string path;
    cmd->add_option("setup", path, "The setup file")->required()->check(kExistingFile);
    static bool json = false, quiet = false;
    cmd->add_flag("--json", json, "Print everything as one JSON object");
    cmd->add_flag("--quiet", quiet, "Print nothing; the exit code says whether the setup file has problems");
    static std::string language;
    cmd->add_option("--language", language, "Show the setup types' texts in this language of the setup file (a tag, such as de)");
    cmd->callback([&status] {
        Bytes bytes = ReadWholeFile(path);
        PackageView v = CheckPackage(bytes, path);
        status = v.problems.empty() ? 0 : 1;
        const LanguageView* shown = ShownLanguage(v, language);
        if (!language.empty() && !shown) {
            std::string tags;
            for (const LanguageView& l : v.languages) tags += (tags.empty() ? "" : ", ") + l.tag;
            throw CLI::ValidationError("--language", "the setup file has no language \"" + language + "\"" +
                                                         (tags.empty() ? " (it has no language table)" : "; it has " + tags));
        }
        if (quiet) return;
        if (json) return WriteJson(path, bytes, v, shown);
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
        if (v.solid_linked) std::printf("solid blocks linked: each goes on in the window the one before it left\n");
        for (uint32_t b = 0; b < v.solid_blocks; ++b) {
            SolidBlock block = SolidBlockAt(v.solid_table->body.data(), b);
            std::printf("solid block %u: archive offset %u, %u bytes LZMA, %u unpacked, dictionary %u KiB, lc %u lp %u pb %u\n",
                        b, block.archive_offset, block.packed, block.unpacked, block.properties.dictionary >> 10,
                        block.properties.lc, block.properties.lp, block.properties.pb);
        }
        for (size_t i = 0; i < v.languages.size(); ++i)
            std::printf("language %zu: %s%s\n", i, LanguageName(v.languages[i]).c_str(),
                        i ? "" : ", the described records' (shown where the system matches no other)");
        if (shown) std::printf("texts below: %s\n", LanguageName(*shown).c_str());
        for (const ReadRecord& r : v.file.records)
            if (r.tag == kTagSetupFlags && r.body.size() >= 4) {
                uint32_t flags = ReadU32(r.body.data());
                std::printf("setup flags: %s%s\n", flags & kSetupFullScreen ? "full screen" : "framed",
                            flags & kSetupRemoveOtherTypes ? ", removes other setup types first" : "");
            }
        std::vector<TypeView> types = TypesIn(v, shown);
        for (size_t k = 0; k < types.size(); ++k) PrintType(k, types[k], types[k].sound, TextCodePage(shown));
        for (const std::string& w : v.warnings) std::printf("warning: %s\n", w.c_str());
        for (const std::string& p : v.problems) std::printf("problem: %s\n", p.c_str());
        status = v.problems.empty() ? 0 : 1;
    });
}
