#include "engine/shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace {

bool AskTheShell(int csidl, char* folder) {
    LPITEMIDLIST list = nullptr;
    bool found = SHGetSpecialFolderLocation(nullptr, csidl, &list) == S_OK && SHGetPathFromIDListA(list, folder);
    if (list) CoTaskMemFree(list);  // the item list belongs to the caller
    return found;
}

SpecialFolderLookup g_lookup = AskTheShell;

}  // namespace

void SetSpecialFolderLookup(SpecialFolderLookup lookup) { g_lookup = lookup ? lookup : AskTheShell; }

bool SpecialFolderPath(int csidl, char* folder) {
    folder[0] = 0;
    if (g_lookup(csidl, folder) && folder[0]) return true;
    folder[0] = 0;
    return false;
}
