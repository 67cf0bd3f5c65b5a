// The version library's calls, loaded on first use from the system folder
// by full path. Linking it would let Windows load it at start from the
// folder the setup file was started from (it is not one of the libraries
// the system always takes from its own folder), where a planted copy could
// wait. Each call fails as the library's own would when it cannot be loaded.
#pragma once
#include <windows.h>

DWORD WINAPI VersionFindFile(DWORD flags, LPSTR name, LPSTR windows_folder, LPSTR application_folder,
                             LPSTR current_folder, PUINT current_size, LPSTR recommended_folder,
                             PUINT recommended_size);
DWORD VersionInfoSize(const char* path);
BOOL VersionInfo(const char* path, DWORD size, void* data);
BOOL VersionQueryValue(const void* block, const char* sub_block, void** value, UINT* length);
