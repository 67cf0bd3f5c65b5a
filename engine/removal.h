// Taking an installation away again, as its install log tells: in reverse
// order of the log, the program-group shortcuts (and program groups left
// empty), then the file records (desktop shortcuts, files, shared files
// whose count falls to 0, fonts, self-registered libraries, folders that
// are empty), then the remembered folder, then the uninstall key. Only what
// removal_targets.h admits is touched; empty folders between a removed item
// and the install folder go with it.
#pragma once
#include <cstddef>

#include "engine/install_log_format.h"
#include "engine/removal_targets.h"

// The folders an installation could have written, as this system has them.
struct SystemFolders {
    char install[kRemovalPathSize];
    char windows[kRemovalPathSize], system[kRemovalPathSize], fonts[kRemovalPathSize];
    char desktop[kRemovalPathSize], programs[kRemovalPathSize], start_menu[kRemovalPathSize],
        startup[kRemovalPathSize];
    InstalledFolders view;  // points into the buffers above
};

// Fills the folders; install_folder is taken as given (no trailing backslash).
void FindSystemFolders(const char* install_folder, SystemFolders* folders);

// What became of the items the log names.
struct RemovalReport {
    int removed;    // taken away now
    int scheduled;  // in use: taken away at the next restart
    int failed;     // still there: refused by the rules, or the removal failed
    // One line per failed item ("path\r\n"), as many as fit; omitted counts the rest.
    char failures[2048];
    int omitted;
};

// Removes what the log names. `own_file` (may be null) is never touched:
// the running uninstaller's file, which goes last, by other means. Without
// `release_counts` (an earlier run lowered them) shared files and their
// counts stay as they are. The destination folder remembered in the
// registry or an INI file goes while it still names this installation's
// folder. The uninstall key goes only when nothing remains, so that the
// entry and its uninstaller are there for a retry.
void RemoveInstallation(const InstallLog& log, const InstalledFolders& folders, const char* own_file,
                        bool release_counts, RemovalReport* report);

// Removes the empty folders above path, from the innermost outwards, while
// they are longer than keep characters. A folder that is not empty stops it.
void RemoveEmptyFolders(const char* path, size_t keep);

// 0 when everything named was removed, 3010 when a restart finishes it,
// 1603 when something remains.
int RemovalExitCode(const RemovalReport& report);
