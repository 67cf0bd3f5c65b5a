// What the uninstaller may take away: each record of an install log is
// turned into a full path only when it names a place the installation
// could have written, with the flags that place calls for. Everything else
// is refused, so a damaged or hostile log that passed the format check
// still cannot reach other files:
//
//   install folder   relative records (".", ".\sub"), and absolute ones
//                    below it; any flags. Empty folders between the item and
//                    the install folder may go, the install folder included.
//   system, Windows  a shared file (flag 1) directly in that folder
//   Fonts folder     a font (flag 2) directly in it
//   desktop          a ".lnk" file directly in it, flags 0
//   shortcut roots   shortcut records: a ".lnk" file in or below the
//                    Programs, Start Menu or Startup folder; empty program
//                    groups below the root may go, the root stays.
//
// Names and folders must be plain: no empty, "." or ".." components, no
// component ending in a dot or blank (the platform drops those, which
// would turn ". ." into ".."), no "/", ":", wildcard or control character.
// An install folder that is a drive root or holds the Windows, system or
// Fonts folder admits nothing. Portable: no windows.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/install_log_format.h"

constexpr size_t kRemovalPathSize = 260;

// Folders without a trailing backslash; null or empty when unknown (then
// nothing is admitted there).
struct InstalledFolders {
    const char* install;  // the folder that holds the uninstaller
    const char* windows;
    const char* system;
    const char* fonts;
    const char* desktop;
    const char* shortcut_roots[3];  // Programs, Start Menu, Startup
};

enum class RemovalPlace : uint8_t {
    kRefused,
    kInstallFolder,
    kSharedFolder,  // system or Windows folder
    kFontsFolder,
    kDesktop,
    kShortcutRoot,
};

struct RemovalTarget {
    RemovalPlace place;
    uint8_t flags;                // the record's flags (file records)
    char path[kRemovalPathSize];  // the item's full path
    // Empty folders above the item may be removed while they are longer
    // than this many characters of the path; folders at or above stay.
    size_t keep;
};

// A file record of the log. Refused records leave place kRefused and the
// path as far as it could be made out (for reporting), possibly empty.
RemovalPlace ResolveFileRecord(const LogFileRecord& record, const InstalledFolders& folders, RemovalTarget* target);

// A shortcut record of the log.
RemovalPlace ResolveShortcutRecord(const LogShortcutRecord& record, const InstalledFolders& folders,
                                   RemovalTarget* target);

// The uninstall key's path below HKEY_LOCAL_MACHINE when the log's key is
// an uninstall entry (root HKEY_LOCAL_MACHINE, the Uninstall key followed
// by one plain name); false otherwise. key must hold kRemovalPathSize bytes.
bool ResolveUninstallKey(const InstallLog& log, char* key);

// Whether an uninstall may take anything from this install folder: not a
// drive or share root, and holding none of the Windows, system and Fonts
// folders. The setup program refuses such a folder for a product with an
// uninstaller, which could not take the product away from it again.
bool RemovableInstallFolder(const InstalledFolders& folders);

// Whether path lies in folder or below it (ignoring the case of ASCII
// letters); a folder of its own counts as inside.
bool IsInFolder(const char* path, const char* folder);
