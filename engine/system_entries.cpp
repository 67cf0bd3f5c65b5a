#include "engine/system_entries.h"

#include <windows.h>

#include "engine/entry_paths.h"
#include "engine/install_variables.h"
#include "engine/memory.h"
#include "engine/pattern_search.h"
#include "engine/registry_root.h"
#include "package/entry_tables.h"
#include "package/file_ops.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

constexpr DWORD kProbeSize = 20;  // enough to tell an empty value from one that is not

// The current setup type's table of that kind, or null.
const uint8_t* CurrentTable(Body SetupType::*table) {
    if (g_config.current_type < 0) return nullptr;
    const Body& body = g_config.types[g_config.current_type].*table;
    return body.data && EntryTableCount(body.data) ? body.data : nullptr;
}

bool RegistryValuePresent(HKEY root, const char* key_path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(root, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    BYTE probe[kProbeSize] = {};
    DWORD type = 0, size = sizeof probe;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, probe, &size);
    RegCloseKey(key);
    if (result == ERROR_MORE_DATA) return true;  // longer than the probe: not empty
    if (result != ERROR_SUCCESS) return false;
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    return text ? size > 0 && probe[0] != 0 : size > 0;
}

uint32_t ReadPatchFile(void* file, uint8_t* into, uint32_t n) { return ReadSome(*static_cast<HANDLE*>(file), into, n); }

// Where a patch's data goes: its offset, or just after its pattern.
uint32_t PatchOffset(HANDLE file, const PatchTableEntry& patch) {
    if (patch.offset != kPatchFindByPattern) return patch.offset;
    if (patch.pattern_length == 0) return kPatternNotFound;
    void* window;
    if (!AllocRetry(&window, kPatternWindowSize)) return kPatternNotFound;
    uint32_t at = FindEndOfPattern(static_cast<uint8_t*>(window), FileSize(file), patch.pattern, patch.pattern_length,
                                   ReadPatchFile, &file);
    FreeAndClear(&window);
    return at;
}

void ApplyPatch(const PatchTableEntry& patch) {
    ResolveFileReference(patch.file);
    if (!g_state.work_path[0]) return;
    uint32_t length;
    char* data = ExpandToNewBlock(patch.data, &length);
    if (!data) return;
    HANDLE file = length ? OpenForReadingAndWriting(g_state.work_path) : INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE) {
        uint32_t at = PatchOffset(file, patch);
        // Positions are signed 32-bit: an offset beyond them is not moved to.
        if (at != kPatternNotFound && at <= 0x7FFFFFFFu && Seek(file, int32_t(at), FILE_BEGIN) == at)
            WriteAll(file, data, length);
        CloseFile(file);
    }
    FreeAndClear(reinterpret_cast<void**>(&data));
}

}  // namespace

void ApplyIniEntries() {
    const uint8_t* table = CurrentTable(&SetupType::ini_entries);
    if (!table) return;
    const uint8_t* at = FirstTableEntry(table);
    char file[sizeof g_state.work_path];
    for (uint16_t n = EntryTableCount(table); n; --n) {
        IniTableEntry e;
        at = ReadIniEntry(at, &e);
        ResolveFileReference(e.file);
        lstrcpynA(file, g_state.work_path, sizeof file);
        if (!file[0]) continue;  // an empty name would select another file
        char probe[kProbeSize];
        if ((e.flags & kKeepExistingValue) && GetPrivateProfileStringA(e.section, e.key, "", probe, sizeof probe, file))
            continue;
        uint32_t length;
        char* value = ExpandToNewBlock(e.value, &length);
        if (!value) continue;
        WritePrivateProfileStringA(e.section, e.key, value, file);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);  // writes the cached file to disk
        FreeAndClear(reinterpret_cast<void**>(&value));
    }
}

void ApplyRegistryEntries() {
    const uint8_t* table = CurrentTable(&SetupType::registry_entries);
    if (!table) return;
    const uint8_t* at = FirstTableEntry(table);
    for (uint16_t n = EntryTableCount(table); n; --n) {
        RegistryTableEntry e;
        at = ReadRegistryEntry(at, &e);
        HKEY root = RegistryRoot(e.root);
        if ((e.flags & kKeepExistingValue) && RegistryValuePresent(root, e.key, e.value_name)) continue;
        uint32_t length;
        char* data = ExpandToNewBlock(e.data, &length);
        if (!data) continue;
        HKEY key;
        if (RegCreateKeyA(root, e.key, &key) == ERROR_SUCCESS) {
            RegSetValueExA(key, e.value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), length + 1);
            RegCloseKey(key);
        }
        FreeAndClear(reinterpret_cast<void**>(&data));
    }
}

void ApplyFilePatches() {
    const uint8_t* table = CurrentTable(&SetupType::file_patches);
    if (!table) return;
    const uint8_t* at = FirstTableEntry(table);
    for (uint16_t n = EntryTableCount(table); n; --n) {
        PatchTableEntry e;
        at = ReadPatchEntry(at, &e);
        ApplyPatch(e);
    }
}
