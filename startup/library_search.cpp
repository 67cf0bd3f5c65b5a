#include "startup/library_search.h"

#include <windows.h>

void RestrictLibrarySearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SetDefault = BOOL(WINAPI*)(DWORD);
    using SetDirectory = BOOL(WINAPI*)(LPCSTR);
    auto set_default = reinterpret_cast<SetDefault>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default && set_default(0x800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */)) return;
    auto set_directory =
        reinterpret_cast<SetDirectory>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (set_directory) set_directory("");
}
