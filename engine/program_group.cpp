#include "engine/program_group.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "engine/entry_paths.h"
#include "engine/install_log.h"
#include "engine/install_log_format.h"
#include "engine/path_text.h"
#include "engine/shell_folders.h"
#include "engine/shell_link.h"
#include "package/file_list.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

void CreateProgramGroupShortcut(const char* target, const char* folder_spec, const char* name, const char* arguments,
                                uint16_t icon_index, LogFile* log) {
    int csidl = CSIDL_PROGRAMS;
    const char* group = folder_spec;
    if (lstrcmpiA(folder_spec, "#Start Menu#") == 0) csidl = CSIDL_STARTMENU, group = "";
    else if (lstrcmpiA(folder_spec, "#Startup#") == 0) csidl = CSIDL_STARTUP, group = "";

    char link[kPathSize];
    if (!SpecialFolderPath(csidl, link)) return;
    if (group[0] && (!AddBackslash(link, sizeof link) || !AppendToPath(link, group, sizeof link))) return;
    StripBackslash(link);
    if (!SetCurrentDirectoryA(link)) {
        AddBackslash(link, sizeof link);
        CreateFolderChain(link);
        if (!SetCurrentDirectoryA(link)) return;
    }
    if (!AddBackslash(link, sizeof link)) return;
    size_t folder_size = std::strlen(link) - 1;
    if (!AppendToPath(link, name, sizeof link) || !AppendToPath(link, ".lnk", sizeof link)) return;
    CreateShellLink(target, link, arguments, icon_index);
    if (!log) return;
    uint8_t record[kMaxLogRecordSize];
    WriteLogRecord(log, record, PutLogShortcutRecord(record, sizeof record, link, folder_size, link + folder_size + 1));
}

void CreateProgramGroupShortcuts(LogFile* log) {
    bool section_open = false;
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry)) {
        if (!EntryString(entry, 2)[0]) continue;
        ResolveEntryPath(entry);
        if (!g_state.work_path[0]) continue;  // nowhere to point at
        if (log && !section_open) {
            BeginLogSection(log, kLogShortcutsTag, LogEnd(log));
            section_open = true;
        }
        CreateProgramGroupShortcut(g_state.work_path, EntryString(entry, 1), EntryString(entry, 2),
                                   EntryString(entry, 3), ReadU16(entry + kEntryIconIndex), log);
    }
    if (section_open) EndLogSection(log, kLogShortcutsTag);
}
