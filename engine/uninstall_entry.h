// The uninstall entry: the key of the product below the system's uninstall
// key in HKEY_LOCAL_MACHINE, by which Windows lists the installed product
// and finds its uninstaller.
#pragma once
#include <cstddef>

// The uninstall key's path for the key name into key_path (capacity
// bytes); false when it does not fit.
bool UninstallKeyPath(char* key_path, size_t capacity, const char* name);

// Creates the key and writes "DisplayName" (the key name) and
// "UninstallString" (the uninstaller's path as it is, without quotes or
// arguments: the removal of other setup types' installations opens it as a
// file). When the current setup type carries uninstall entry values, they
// are written too: display version, publisher, display icon, install
// location, estimated size, no modify, no repair and the quiet uninstall
// command. False when the key cannot be created; a value that cannot be
// written is passed over.
bool RegisterUninstallEntry(const char* key_path, const char* name, const char* uninstaller_path);
