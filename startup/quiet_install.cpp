#include "startup/quiet_install.h"

#include <windows.h>

#include "decoder/archive.h"
#include "engine/entry_paths.h"
#include "engine/extraction.h"
#include "engine/install_driver.h"
#include "engine/path_text.h"
#include "engine/post_install.h"
#include "package/file_list.h"
#include "package/file_ops.h"
#include "package/package_loader.h"
#include "package/patch_block.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/disk_check.h"
#include "wizard/message_box.h"

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;

void LogLine(const char* outcome, const char* subject) {
    if (g_log == INVALID_HANDLE_VALUE) return;
    char line[1024];
    DWORD written;
    WriteFile(g_log, line, DWORD(wsprintfA(line, subject[0] ? "%s: %s\r\n" : "%s\r\n", outcome, subject)), &written,
              nullptr);
}

void LogAction(const char* action, const char* subject, bool done) {
    char outcome[64];
    wsprintfA(outcome, "%s %s", action, done ? "done" : "failed");
    LogLine(outcome, subject);
}

// The safe answer to every question: keep a newer file or one of another
// language (No), end rather than leave an old file behind a new product
// (Abort), and no disk prompt (Cancel, though quiet installs never prompt).
int SafeAnswer(const char*, const char*, UINT style) {
    switch (style & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_OKCANCEL: return IDCANCEL;
    }
    return IDOK;
}

// One log line for the entry the last step took: its outcome as the entry's
// install status and the engine's reason for keeping a file tell it.
void LogEntry(const uint8_t* entry, bool scheduled) {
    char outcome[40];
    const char* word = "replaced";
    if (g_state.install_error) {
        wsprintfA(outcome, "failed with error %d", g_state.install_error);
        word = outcome;
    } else if (scheduled) {
        word = "scheduled for restart";
    } else if (entry[kEntryPlacement] == kPlacementFolder) {
        word = "folder";
    } else if (entry[kEntryPlacement] == kPlacementBesideSetup) {
        word = "beside the setup file";
    } else if (g_kept_existing) {
        word = g_kept_existing == kKeptIdentical ? "identical" : "kept";
    } else if (ReadU16(entry + kEntryInstallStatus) == kStatusNew || (entry[kEntryFlags] & kEntryIsUninstaller)) {
        word = "installed";
    }
    LogLine(word, g_state.work_path);
}

// The destination folder as the destination page leaves it: a full path,
// made when missing, with one trailing backslash.
bool TakeDestination(const char* folder) {
    if (folder[0]) lstrcpynA(g_state.destination_folder, folder, kPathSize);
    MakeDestinationFull();
    bool exists = DestinationFolderReady(true);
    AddBackslash(g_state.destination_folder, kPathSize);
    return exists;
}

int Install(int type, const char* folder) {
    if (!LoadPackage(StubLength())) return g_config.language_refused ? kExitBadSwitch : kExitPackageNotLoaded;
    if (type < 0 || type > g_config.type_count) return kExitBadSwitch;
    if (type) SelectSetupType(type - 1);
    // The wizard would not let the user change this folder either.
    if (folder[0] && !(ReadU16(g_config.current_record + kTypeOptions) & kOptionFolderEditable)) return kExitBadSwitch;
    if (!TakeDestination(folder)) return 5;  // the message: the folder cannot be created
    // Read-only files are replaced; too little room ends the installation.
    if (int disk = RunDiskCheck()) return disk;

    if (StartInstall()) {
        for (;;) {
            // The step's own scheduling shows in the flag it raises.
            bool before = g_state.restart_needed;
            g_state.restart_needed = false;
            const uint8_t* entry = g_driver.current_entry;
            int more = InstallStep();
            bool scheduled = g_state.restart_needed;
            g_state.restart_needed = before || scheduled;
            if (uint32_t(g_driver.entry_index) < g_config.current_file_count && entry) LogEntry(entry, scheduled);
            if (!more) break;
        }
    }
    g_post_install_report = LogAction;
    RunPostInstallActions();
    if (g_state.install_error) return g_state.install_error;
    return g_state.restart_needed ? kExitRestartNeeded : 0;
}

}  // namespace

int RunQuietInstall(const QuietOptions& options) {
    SetMessageAnswerer(SafeAnswer);
    // Relative to the folder Setup was started in: loading the package
    // moves the current folder.
    char folder[kPathSize];
    if (!options.folder[0] || GetFullPathNameA(options.folder, kPathSize, folder, nullptr) - 1 >= kPathSize - 1)
        lstrcpynA(folder, options.folder, kPathSize);
    if (options.log[0])
        g_log = CreateFileA(options.log, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    int code = Install(options.type, folder);
    char line[32];
    wsprintfA(line, "exit code %d", code);
    LogLine(line, "");
    CloseFile(g_log);
    return code;
}
