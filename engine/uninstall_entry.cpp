#include "engine/uninstall_entry.h"

#include <windows.h>

#include <cstring>

#include "engine/install_variables.h"
#include "engine/memory.h"
#include "engine/path_text.h"
#include "package/entry_tables.h"
#include "package/file_list.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

void SetText(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(std::strlen(text) + 1));
}

void SetNumber(HKEY key, const char* name, DWORD number) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

// A text of the values record, install variables expanded; empty: not written.
void SetExpanded(HKEY key, const char* name, const char* text) {
    if (!text[0]) return;
    uint32_t length;
    char* expanded = ExpandToNewBlock(text, &length);
    if (!expanded) return;
    SetText(key, name, expanded);
    FreeAndClear(reinterpret_cast<void**>(&expanded));
}

// KiB of the files the setup type puts on the machine, the uninstaller included.
DWORD InstalledKilobytes() {
    uint64_t bytes = g_config.uninstaller.size;
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry))
        if (entry[kEntryPlacement] <= kPlacementRemoved) bytes += ReadU32(entry + kEntryUnpackedSize);
    uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(kilobytes);
}

void WriteExtraValues(HKEY key, const char* uninstaller_path) {
    const Body& values = g_config.types[g_config.current_type].uninstall_values;
    if (!values.data) return;
    uint32_t flags = ReadU32(values.data + kUninstallValuesFlags);
    const uint8_t* at = values.data + kUninstallValuesFixedSize;
    SetExpanded(key, "DisplayVersion", TakeText(at));
    SetExpanded(key, "Publisher", TakeText(at));
    SetExpanded(key, "DisplayIcon", TakeText(at));
    if (flags & kUninstallInstallLocation) {
        char folder[kPathSize];
        CopyText(folder, g_state.destination_folder, sizeof folder);
        StripBackslash(folder);
        SetText(key, "InstallLocation", folder);
    }
    if (flags & kUninstallEstimatedSize) SetNumber(key, "EstimatedSize", InstalledKilobytes());
    if (flags & kUninstallNoModify) SetNumber(key, "NoModify", 1);
    if (flags & kUninstallNoRepair) SetNumber(key, "NoRepair", 1);
    if (flags & kUninstallQuietString) {
        char command[2 * kPathSize] = "\"";
        if (AppendToPath(command, uninstaller_path, sizeof command) && AppendToPath(command, "\" /QUIET", sizeof command))
            SetText(key, "QuietUninstallString", command);
    }
}

}  // namespace

bool UninstallKeyPath(char* key_path, size_t capacity, const char* name) {
    return CopyText(key_path, kUninstallKey, capacity) && AppendToPath(key_path, name, capacity);
}

bool RegisterUninstallEntry(const char* key_path, const char* name, const char* uninstaller_path) {
    HKEY key;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, key_path, &key) != ERROR_SUCCESS) return false;
    SetText(key, "DisplayName", name);
    SetText(key, "UninstallString", uninstaller_path);
    if (g_config.current_type >= 0) WriteExtraValues(key, uninstaller_path);
    RegCloseKey(key);
    return true;
}
