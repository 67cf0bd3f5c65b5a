#include "engine/post_install.h"

#include <windows.h>

#include "decoder/archive.h"
#include "engine/entry_paths.h"
#include "engine/install_driver.h"
#include "engine/install_log.h"
#include "engine/install_log_format.h"
#include "engine/path_text.h"
#include "engine/program_group.h"
#include "engine/registry_root.h"
#include "engine/system_entries.h"
#include "engine/uninstall_entry.h"
#include "package/file_list.h"
#include "package/setup_config.h"
#include "package/string_groups.h"
#include "startup/process_state.h"
#include "wizard/go_to_page.h"

PostInstallReport g_post_install_report = nullptr;

namespace {

void Report(const char* action, const char* subject, bool done) {
    if (g_post_install_report) g_post_install_report(action, subject, done);
}

constexpr int kFinishPage = 7;
constexpr uint16_t kNoStartPage = 0xFFFF;

// The log, the program-group shortcuts and the uninstall entry. The log
// stays open for the remembered folder; false when there is none.
bool WriteLogAndEntry(LogFile* log) {
    const char* uninstaller = g_driver.uninstaller_path;
    if (!uninstaller[0]) {
        CreateProgramGroupShortcuts(nullptr);
        return false;
    }
    OpenInstallLog(log, uninstaller);
    Report("install log", uninstaller, log->file != INVALID_HANDLE_VALUE);
    CreateProgramGroupShortcuts(log);
    const char* name = TypeText(g_config.current_record, kTypeUninstallKey);
    char key_path[2 * kPathSize];
    if (name && name[0] && UninstallKeyPath(key_path, sizeof key_path, name)) {
        Report("uninstall entry", key_path, RegisterUninstallEntry(key_path, name, uninstaller));
        WriteLogUninstallKey(log, key_path);
    }
    return true;
}

// One place the folder was stored, a record of the log's remembered
// section, which the first record opens.
void LogRemembered(LogFile* log, bool* opened, uint8_t kind, uint32_t root, const char* place, const char* name,
                   const char* key) {
    if (!log) return;
    if (!*opened) BeginLogSection(log, kLogRememberedTag, LogEnd(log));
    *opened = true;
    uint8_t record[kMaxLogRecordSize];
    WriteLogRecord(log, record, PutLogRememberedRecord(record, sizeof record, kind, root, place, name, key,
                                                        g_state.destination_folder));
}

// Stores the destination folder (without its trailing backslash) exactly
// where the previous-installation detection reads it, and logs each place
// so that the uninstaller can take it away again.
void RememberDestination(LogFile* log) {
    const uint8_t* record = g_config.current_record;
    uint16_t options = ReadU16(record + kTypeOptions);
    const char* folder = g_state.destination_folder;
    const char* key_path = TypeText(record, kTypeRegistryKey);
    bool opened = false;
    HKEY key;
    if ((options & kOptionRememberInRegistry) && key_path) {
        uint32_t root = ReadU32(record + kTypeRegistryRoot);
        const char* value = TypeText(record, kTypeRegistryValue);
        bool done = RegCreateKeyA(RegistryRoot(root), key_path, &key) == ERROR_SUCCESS;
        if (done) {
            done = RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                                  DWORD(lstrlenA(folder) + 1)) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
        Report("remembered folder", key_path, done);
        if (done) LogRemembered(log, &opened, kLogRememberedInRegistry, root, key_path, value ? value : "", "");
    }
    const char* ini_file = TypeText(record, kTypeIniFile);
    const char* section = TypeText(record, kTypeIniSection);
    const char* ini_key = TypeText(record, kTypeIniKey);
    if ((options & kOptionRememberInIni) && ini_file && section && ini_key) {
        bool done = WritePrivateProfileStringA(section, ini_key, folder, ini_file);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_file);  // writes the cached file to disk
        Report("remembered folder", ini_file, done);
        if (done) LogRemembered(log, &opened, kLogRememberedInIni, 0, ini_file, section, ini_key);
    }
    if (opened) EndLogSection(log, kLogRememberedTag);
}

// Calls DllRegisterServer of every self-registering library of the list.
void RegisterLibraries() {
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry)) {
        if (entry[kEntryInstallAction] != 2) continue;
        ResolveEntryPath(entry);
        if (!g_state.work_path[0]) continue;
        // Libraries it needs are looked for beside it first, not in whatever
        // folder is current.
        HMODULE library = LoadLibraryExA(g_state.work_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        bool done = false;
        if (library) {
            using Register = HRESULT(STDAPICALLTYPE*)();
            if (auto call =
                    reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer"))))
                done = SUCCEEDED(call());
            FreeLibrary(library);
        }
        Report("self-registration", g_state.work_path, done);
    }
}

}  // namespace

void RunPostInstallActions() {
    CloseArchive();
    if (g_state.install_error == 0 && g_config.current_record) {
        LogFile log;
        bool logged = WriteLogAndEntry(&log);
        StripBackslash(g_state.destination_folder);
        RememberDestination(logged ? &log : nullptr);
        if (logged) CloseInstallLog(&log);
        // Best effort, entry by entry: these say only that they ran.
        const SetupType& type = g_config.types[g_config.current_type];
        ApplyIniEntries();
        if (type.ini_entries.size) Report("INI entries", "", true);
        ApplyRegistryEntries();
        if (type.registry_entries.size) Report("registry entries", "", true);
        ApplyFilePatches();
        if (type.file_patches.size) Report("file patches", "", true);
        AddBackslash(g_state.destination_folder, kPathSize);
        RegisterLibraries();
    }
    // A user who ended Setup at a disk prompt has ended the wizard: that
    // Cancel stands, the finish page does not follow.
    if (g_config.start_page == kNoStartPage && g_state.page_result != kPageCancel) GoToPage(kFinishPage);
    g_state.installing = false;
}
