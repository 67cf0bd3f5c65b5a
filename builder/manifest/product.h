// What an author describes in a manifest, resolved and complete: every
// default filled in, every path absolute. The package builder turns it into
// records; nothing here knows about TOML.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A file of the product: its setup type and its position in that type's
// file list (the entry ordinal the setup program counts from 0).
struct EntryRef {
    uint16_t type = 0;
    uint32_t index = 0;
    bool operator==(const EntryRef& o) const { return type == o.type && index == o.index; }
    bool operator!=(const EntryRef& o) const { return !(*this == o); }
};

struct ProductFile {
    std::string source;  // file on the build machine; empty for a folder to create
    std::string target;  // name relative to its destination; may hold sub-folders
    uint8_t destination_kind = 0;  // 0 destination folder, 1 Windows, 2 shared (system), 3 Fonts
    uint8_t role = 0;              // 1 document to open, 2 program to run
    uint8_t shared_count = 0;
    uint8_t placement = 0;       // 0 keep at uninstall, 1 remove at uninstall, 2 beside the setup file, 3 folder
    uint8_t install_action = 0;  // 1 screen saver, 2 self-registering library
    uint16_t icon_index = 0;
    bool uninstaller = false;
    bool version_test = false;
    bool language_test = false;
    bool file_times = true;
    std::string group_folder, group_shortcut, group_arguments;
    std::string desktop_shortcut, desktop_arguments;
    // Store the file as a delta against this file of the product, when
    // that is smaller than its own compressed stream.
    std::optional<EntryRef> delta_base;
    // The file's bytes made by the builder, in place of a source file.
    std::optional<Bytes> content;
};

struct IniEntry {
    bool keep_existing = false;
    std::string file, section, key, value;
};

struct RegistryEntry {
    uint32_t root = 1;
    bool keep_existing = false;
    std::string key, name, data;
};

struct PatchEntry {
    uint32_t offset = 0xFFFFFFFF;  // or find the position after the pattern
    std::string file, data;
    Bytes pattern;
};

// Values of the uninstall entry beyond its display name and uninstall
// command, written only when the manifest gives them (their own record).
struct UninstallValues {
    std::string display_version, publisher, display_icon;  // empty: not written
    bool install_location = false, estimated_size = false, no_modify = false, no_repair = false;
    bool quiet_uninstall = false;  // "QuietUninstallString": the uninstaller with /QUIET
};

constexpr int kGroups = 11;
using StringTable = std::array<std::vector<std::string>, kGroups>;

struct ProductType {
    std::string display_name;
    std::optional<std::string> uninstall_key, default_folder;
    bool folder_editable = true;
    uint32_t registry_root = 2;
    std::optional<std::string> registry_key, registry_value;
    std::optional<std::string> ini_file, ini_section, ini_key;
    bool remember_in_registry = false, remember_in_ini = false;
    StringTable texts;
    std::vector<ProductFile> files;
    std::vector<IniEntry> ini;
    std::vector<RegistryEntry> registry;
    std::vector<PatchEntry> patches;
    std::optional<UninstallValues> uninstall_values;
};

// What the setup file shows of the product before it runs: Explorer's
// icon and properties, the elevation prompt, download scanners.
struct SetupIdentity {
    std::string product_name, version, company, description, copyright;
    std::optional<Bytes> icon;  // an .ico file; none: the setup program's own
    bool administrator = true;  // the manifest requires elevation
};

// A language of the setup file (package/setup_languages.h).
struct ProductLanguage {
    uint16_t langid = 0;
    uint16_t code_page = 0;  // the Windows ANSI code page of its texts
    std::string tag;         // "de", "pt-BR"
    // For a language after the first: each type's string table in it, in
    // type order, and its dialog templates by number.
    std::vector<StringTable> type_texts;
    std::vector<Bytes> dialog_templates;
};

struct Product {
    bool full_screen = true;
    bool remove_other_types = false;
    // The progress page installs entries until each tick's time budget is
    // used, rather than one entry per tick.
    bool timed_steps = true;
    std::optional<uint16_t> start_page;
    uint16_t initial_type = 0;
    std::optional<std::string> background_title;
    std::optional<Bytes> background_picture, side_picture, background_description;
    std::vector<Bytes> dialog_templates;  // by template number
    std::optional<Bytes> uninstaller;
    // Some setup type carries Kiln's own uninstaller: the build puts the
    // program into the uninstaller record.
    bool kiln_uninstaller = false;
    std::vector<ProductType> types;
    int level = 0;  // compression level; 0: the encoder's default
    bool solid_lzma = false;  // compression = "lzma": solid LZMA blocks (package/solid_blocks.h)
    uint32_t lzma_window = 64u << 20;  // the largest dictionary of a block: the setup program's window
    // The languages the setup file speaks, where the manifest names them
    // ([setup] languages); none: English in Windows-1252, without a
    // language table. The first is that of the types' own texts and dialog
    // templates; each further one carries its own.
    std::vector<ProductLanguage> languages;
    // Largest size of each file of the set: the setup file (stub, records
    // and the archive's first part) and each volume file. 0: one setup file.
    uint32_t volume_size = 0;
    bool auto_delta = true;  // look for delta bases among similar files
    // The setup program and uninstaller for 64-bit Windows rather than the
    // 32-bit ones, which run on either.
    bool x64 = false;
    // The 32-bit setup program packed (builder/program/stub_packer.h): smaller, but
    // unpacked at run time as virus scanners dislike.
    bool pack_stub = false;
    SetupIdentity identity;
};
