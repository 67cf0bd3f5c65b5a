// Kiln's own uninstaller in a package: the program goes into the package's
// uninstaller record with its data block filled in, and each setup type
// that asks for it gets a first file list entry whose data is that type's
// texts and the closing header that the install log replaces (the file's
// layout is in engine/uninstaller_data.h).
#pragma once
#include "builder/manifest/product.h"

// The name the uninstaller is installed under, in the install folder.
constexpr char kUninstallerTarget[] = "uninstall.exe";

// The program with its data block telling its own length. Throws
// BuildError when it has no data block, or more than one.
Bytes PrepareUninstallerProgram(Bytes program);

// The uninstaller entry's data for a setup type with these texts: the
// product name (group 6, index 0) and the uninstaller's texts (group 10).
Bytes UninstallerEntryData(const StringTable& texts);

// The file list entry that carries it, for the start of the type's list.
ProductFile UninstallerEntry(const StringTable& texts);
