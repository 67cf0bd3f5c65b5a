#include "package/setup_config.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "engine/memory.h"
#include "package/string_groups.h"
#include "startup/process_state.h"

SetupConfig g_config;

const char* LookUpText(int group, int index) {
    static const char kEmpty[] = "";
    if (!g_config.current_record) return kEmpty;
    return GroupText(g_config.current_record, group, index);
}

void SelectSetupType(int k) {
    if (k < 0 || k >= g_config.type_count) return;
    if (g_config.current_type >= 0)
        lstrcpynA(g_config.types[g_config.current_type].destination_folder, g_state.destination_folder, kPathSize);
    g_config.current_file_count = 0;
    g_config.current_first_entry = nullptr;
    g_config.current_type = k;
    SetupType& type = g_config.types[k];
    if (type.file_list.data) {
        g_config.current_file_count = ReadU32(type.file_list.data);
        g_config.current_first_entry = type.file_list.data + kFileListHeaderSize;
    }
    g_config.current_record = type.record.data;
    g_config.current_record_size = type.record.size;
    lstrcpynA(g_state.destination_folder, type.destination_folder, kPathSize);
}

namespace {

void FreeBody(Body& body) {
    FreeAndClear(reinterpret_cast<void**>(&body.data));
    body.size = 0;
}

}  // namespace

void FreeSetupConfig() {
    for (Body* b : {&g_config.side_picture, &g_config.background_picture, &g_config.background_title,
                    &g_config.dialog_templates, &g_config.background_description, &g_config.uninstaller, &g_config.solid_blocks})
        FreeBody(*b);
    for (SetupType& t : g_config.types)
        for (Body* b : {&t.record, &t.file_list, &t.ini_entries, &t.registry_entries, &t.file_patches,
                        &t.uninstall_values}) FreeBody(*b);
    std::memset(&g_config, 0, sizeof g_config);
    g_config.current_type = -1;
    g_config.start_page = 0xFFFF;
}
