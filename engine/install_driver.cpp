#include "engine/install_driver.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "decoder/archive.h"
#include "engine/decoded_files.h"
#include "engine/entry_paths.h"
#include "engine/extraction.h"
#include "engine/fonts.h"
#include "engine/message_argument.h"
#include "engine/path_text.h"
#include "engine/programs.h"
#include "engine/progress.h"
#include "engine/shared_files.h"
#include "engine/shell_folders.h"
#include "engine/shell_link.h"
#include "engine/solid_files.h"
#include "package/file_list.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

// Zeroed, so that it takes no room in the program file: StartInstall sets it up.
InstallDriverState g_driver;

namespace {

// The desktop shortcut of an entry: the desktop folder + name + ".lnk",
// the same path the install log records for it.
void CreateDesktopShortcut(const char* name, const char* target, const char* arguments) {
    char link[kPathSize];
    if (!SpecialFolderPath(CSIDL_DESKTOP, link) || !AddBackslash(link, sizeof link) ||
        !AppendToPath(link, name, sizeof link) || !AppendToPath(link, ".lnk", sizeof link))
        return;
    CreateShellLink(target, link, arguments, 0);  // no icon location
}

// Copies the destination path where the end of the setup finds it.
void Remember(char* slot) { lstrcpynA(slot, g_state.work_path, kPathSize); }

int Finish() {
    if (g_state.temporary_path[0]) DeleteFileA(g_state.temporary_path);
    g_state.temporary_path[0] = 0;
    ReleaseDecodedFiles();
    ReleaseSolidStream();
    return 0;
}

}  // namespace

int StartInstall() {
    g_state.install_error = 0;
    g_driver.entry_index = -1;
    g_driver.uninstaller_path[0] = 0;
    g_archive.volume_number = 0;
    g_driver.current_entry = g_config.current_first_entry;
    if (g_config.setup_flags & kSetupRemoveOtherTypes) RemoveOtherInstallations();
    ReleaseDecodedFiles();
    ReleaseSolidStream();
    if (!OpenArchive()) return 0;
    g_state.installing = true;
    return 1;
}

int InstallStep() {
    uint32_t n = g_config.current_file_count;
    uint32_t i = uint32_t(g_driver.entry_index + 1);
    g_driver.entry_index = int(i);
    if (i >= n || !g_driver.current_entry) return Finish();
    int start = int(i * 100 / n), end = int((i + 1) * 100 / n);

    uint8_t* entry = g_driver.current_entry;
    g_driver.current_entry = NextEntry(entry);
    WriteU16(entry + kEntryInstallStatus, 0);
    g_state.temporary_path[0] = 0;

    int in_use = ResolveEntryPath(entry);
    ShowStatus(g_state.work_path);
    uint8_t flags = entry[kEntryFlags];
    if (flags & kEntryIsUninstaller) lstrcpynA(g_driver.uninstaller_path, g_state.work_path, kPathSize);

    uint8_t placement = entry[kEntryPlacement];
    if (placement == kPlacementFolder) CreateFolderChain(g_state.work_path);
    if (PlacementIsExtracted(placement)) {
        const bool existed = GetFileAttributesA(g_state.work_path) != INVALID_FILE_ATTRIBUTES;
        int install = NeedsInstall(entry, in_use);
        g_state.install_error = 0;
        if (install && !ExtractAndPlace(entry, in_use, start, end)) return Finish();
        // Installed or skipped as it is.
        if (flags & kEntryIsUninstaller) WriteU16(entry + kEntryInstallStatus, 0);
        if (entry[kEntryDestinationKind] != kDestinationFolder && entry[kEntrySharedCount] == 1)
            CountSharedFile(g_state.work_path, existed);
        if (entry[kEntryDestinationKind] == kDestinationFonts) InstallFont(g_state.work_path);
        if (entry[kEntryInstallAction] == 1) Remember(g_state.screen_saver_to_install);
    }

    if (entry[kEntryRole] == 1) Remember(g_state.document_to_open);
    if (entry[kEntryRole] == 2) Remember(g_state.program_to_run);
    const char* desktop_name = EntryString(entry, 4);
    if (desktop_name[0]) CreateDesktopShortcut(desktop_name, g_state.work_path, EntryString(entry, 5));
    SetProgress(end);
    return 1;
}

void CountSharedFile(const char* path, bool existed) {
    // Created when missing: a fresh system may not have the register yet, and
    // a count that is never started would let an uninstaller remove a file
    // another product still uses. A file that was there before without a
    // count has an owner the register does not know of: it starts at 2, so
    // that this installation's uninstall leaves it in place.
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD type = 0, count = 0, size = sizeof count;
    // A value of another size than a number's counts as absent and starts again at 1.
    if (RegQueryValueExA(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) == ERROR_SUCCESS &&
        size == sizeof count) {
        ++count;
        RegSetValueExA(key, path, 0, type, reinterpret_cast<BYTE*>(&count), size);
    } else {
        count = existed ? 2 : 1;
        RegSetValueExA(key, path, 0, REG_DWORD, reinterpret_cast<BYTE*>(&count), sizeof count);
    }
    RegCloseKey(key);
}
