// The shell's special folders (desktop, Start menu, Programs, Startup) by
// their CSIDL numbers.
#pragma once

// Puts the folder's path (without a trailing backslash, except a drive
// root) into folder, which holds kPathSize bytes. False, with folder empty,
// when the shell does not know the folder: callers then make nothing there
// rather than build a path relative to the current directory.
bool SpecialFolderPath(int csidl, char* folder);

// Tests stand in for the shell's lookup (a folder it cannot find cannot be
// provoked on every platform); null restores it.
using SpecialFolderLookup = bool (*)(int csidl, char* folder);
void SetSpecialFolderLookup(SpecialFolderLookup lookup);
