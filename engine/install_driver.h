// The install driver: walks the current setup type's file list, one entry
// per step, so that the progress page stays responsive between entries.
#pragma once
#include <cstdint>

#include "package/package_format.h"

struct InstallDriverState {
    int entry_index;         // the entry being installed; -1 before the first
    uint8_t* current_entry;  // the entry the next step takes
    char uninstaller_path[kPathSize];
};

extern InstallDriverState g_driver;

// 1 when the installation started; 0 with the install error set.
int StartInstall();

// Installs one entry: 1 when more may follow, 0 when the list is done or the
// installation failed (install error set).
int InstallStep();

// Raises the count of a shared file in the system's shared-file register;
// a missing count starts at 1, or at 2 for a file that `existed` before
// this installation.
void CountSharedFile(const char* path, bool existed);
