// Whether this uninstaller may take its installation away, asked before
// anything is removed. The install log names the installation's uninstall
// entry; the entry names the uninstaller file that belongs to it. So:
//
//   - a copy of the uninstaller (on the desktop, say), or one whose
//     installation was moved, is not the file the entry names, and the
//     folder it would take for the install folder is someone else's;
//   - once the installation is gone, its entry is gone too;
//   - a second uninstaller run for the same entry while one runs waits for
//     nothing: it ends at once.
//
// Shared-file counts are lowered once per installation: the entry is
// marked before the first is lowered, and a later run (a retry after some
// items remained) leaves the counts and the shared files alone.
#pragma once
#include <windows.h>

#include "engine/install_log_format.h"

enum class Claim {
    kFirstRun,         // remove everything, counts included
    kRetry,            // the counts were lowered by an earlier run
    kNotInstalledHere, // no entry, or one naming another uninstaller file
    kBusy,             // another run for this entry is under way
    kUnchecked,        // the log names no entry: nothing to check against
};

// `uninstaller` is the uninstaller file the log was read from. *lock, when
// not null, holds the run's mutex: close it at the end.
Claim ClaimInstallation(const InstallLog& log, const char* uninstaller, HANDLE* lock);

// Marks the entry before the first shared count is lowered.
void MarkCountsReleased(const InstallLog& log);
