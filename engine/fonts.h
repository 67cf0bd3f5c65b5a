// Installing a font file that has been put into the Fonts folder: it is made
// available at once and registered under its full name so that Windows
// loads it again after a restart.
#pragma once

// The font file's full path. Nothing is reported: a file from which no full
// name can be read is made available but not registered.
void InstallFont(const char* path);

// Takes a font file's registration away before the file is removed: the
// font is no longer available, and its registry value goes when it names
// this file. False when that value could not be deleted.
bool UninstallFont(const char* path);

// The registry key (under HKEY_LOCAL_MACHINE) where fonts are registered on
// this platform.
const char* FontsKey();
