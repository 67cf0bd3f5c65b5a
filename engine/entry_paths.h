// Where things land on disk: the installed path of a file list entry, the
// file a package text names, and the folders a path needs.
#pragma once
#include <windows.h>

#include <cstdint>

// Writes the installed path of a file list entry into the work path and
// returns 1 when the shared-file search reports the file in use, else 0.
// A path that would not fit the work path, or whose folder cannot be
// found, leaves the work path empty so that nothing is written elsewhere.
int ResolveEntryPath(const uint8_t* entry);

// Resolves the entry of the current file list whose file name is text
// (ignoring case); without one, expands the text's install variables. The
// result is in the work path, empty when the expansion is 260 bytes or longer.
void ResolveFileReference(const char* text);

// Creates every folder of path; the last element is a file name unless the
// path ends in a backslash. Folders are found by entering them, so the
// current directory is left at the deepest one reached.
// Returns 0 when all are there, 1 when one could not be made, -1 without memory.
int CreateFolderChain(const char* path);

// Tests stand in for the version library's shared-file search (its answer
// about files in use cannot be provoked on every platform); null restores it.
using SharedFileFinder = DWORD(WINAPI*)(DWORD flags, LPSTR name, LPSTR windows_folder, LPSTR application_folder,
                                        LPSTR current_folder, PUINT current_size, LPSTR recommended_folder,
                                        PUINT recommended_size);
void SetSharedFileFinder(SharedFileFinder finder);
