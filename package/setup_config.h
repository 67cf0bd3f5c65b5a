// The setup configuration: every record body the package loader read, kept
// for the whole run, and the selected setup type through which texts, the
// file list and the destination folder are seen.
#pragma once
#include <cstdint>

#include "package/package_format.h"

// A loaded record body and its length.
struct Body {
    uint8_t* data;
    uint32_t size;
};

struct SetupType {
    Body record;  // setup type record; texts are found through its offsets
    Body file_list;
    Body ini_entries;
    Body registry_entries;
    Body file_patches;
    Body uninstall_values;  // optional values of the uninstall entry
    char destination_folder[kPathSize];  // kept per type while another is selected
};

struct SetupConfig {
    uint32_t setup_flags;
    Body side_picture;
    Body background_picture;
    Body background_title;
    Body dialog_templates;
    Body background_description;
    Body uninstaller;
    Body solid_blocks;  // the block table of a solid archive (setup flag kSetupSolidArchive)
    bool linked_blocks;  // the table came as kTagSolidBlocksLinked
    int language;        // index into the language table (package/setup_languages.h); 0: the described records'
    bool language_refused;  // the /LANG switch names a language this system cannot show
    uint16_t start_page;    // 0xFFFF: none
    uint16_t initial_type;  // selected when loading ends
    int type_count;
    SetupType types[kMaxSetupTypes];

    int current_type;  // -1 until the first selection
    const uint8_t* current_record;
    uint32_t current_record_size;
    uint32_t current_file_count;
    uint8_t* current_first_entry;  // null when the current type has no file list
};

extern SetupConfig g_config;

// Looks up the text at (group, index) of the current setup type. Never
// fails: a missing group or index gives the empty text.
const char* LookUpText(int group, int index);

// Selects setup type k: keeps the folder typed for the previous type, and
// makes k's texts, file list and folder current.
void SelectSetupType(int k);

// Frees every body and clears the configuration.
void FreeSetupConfig();
