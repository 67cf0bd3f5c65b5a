#include "engine/entry_paths.h"

#include <windows.h>
#include <shlobj.h>
#include <winver.h>

#include <cstring>

#include "engine/install_variables.h"
#include "engine/memory.h"
#include "engine/path_text.h"
#include "engine/version_library.h"
#include "package/file_list.h"
#include "package/package_format.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

namespace {

constexpr size_t kWorkPathSize = sizeof g_state.work_path;

SharedFileFinder find_shared_file = VersionFindFile;

void WindowsFolder(char* folder) {
    UINT length = GetWindowsDirectoryA(folder, kPathSize);
    if (length == 0 || length >= kPathSize) folder[0] = 0;
}

void SystemFolder(char* folder) {
    UINT length = GetSystemDirectoryA(folder, kPathSize);
    if (length == 0 || length >= kPathSize) folder[0] = 0;
}

void FontsFolder(char* folder) {
    folder[0] = 0;
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_FONTS, &list)) && !SHGetPathFromIDListA(list, folder))
        folder[0] = 0;
    if (list) CoTaskMemFree(list);
}

// path = folder + one backslash + name. An unknown (empty) folder gives an
// empty path rather than a name relative to the current directory.
void JoinPath(char* path, size_t capacity, const char* folder, const char* name) {
    if (path != folder) CopyText(path, folder, capacity);
    if (path[0] && AddBackslash(path, capacity)) AppendToPath(path, name, capacity);
}

// Destination kind 2: a shared file goes, by its name alone, where the
// version library recommends, or else into the system folder. The work
// path holds the destination folder on entry.
int ResolveSharedFile(const char* file_name) {
    char* work = g_state.work_path;
    void* block;
    if (!AllocZeroedRetry(&block, 3 * kPathSize)) {
        JoinPath(work, kWorkPathSize, work, file_name);
        return 0;
    }
    char* current = static_cast<char*>(block);
    char* recommended = current + kPathSize;
    char* windows = recommended + kPathSize;

    StripBackslash(work);
    const char* slash = FindLastBackslash(file_name);
    const char* name = slash ? slash + 1 : file_name;
    WindowsFolder(windows);
    UINT current_size = kPathSize, recommended_size = kPathSize;
    // The version library takes its input texts as LPSTR but only reads them.
    DWORD found = find_shared_file(VFFF_ISSHAREDFILE, const_cast<char*>(name), windows, work, current, &current_size,
                               recommended, &recommended_size);
    current[kPathSize - 1] = recommended[kPathSize - 1] = 0;
    int in_use = (found & VFF_FILEINUSE) ? 1 : 0;

    const char* folder = recommended;
    if (!recommended[0]) {
        SystemFolder(windows);
        folder = windows;
    }
    JoinPath(work, kWorkPathSize, folder, name);

    int result = 0;
    HANDLE file = CreateFileA(work, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        result = in_use;
    } else if (current[0]) {
        // Found where it cannot be opened: in use there.
        JoinPath(current, kPathSize, current, name);
        if (current[0] && lstrcmpiA(current, work) == 0) result = in_use;
    }
    FreeAndClear(&block);
    return result;
}

// Makes folder the current directory, creating it when it is not there.
bool EnterOrCreate(const char* folder) {
    return SetCurrentDirectoryA(folder) || CreateDirectoryA(folder, nullptr) || SetCurrentDirectoryA(folder);
}

}  // namespace

void SetSharedFileFinder(SharedFileFinder finder) { find_shared_file = finder ? finder : VersionFindFile; }

int ResolveEntryPath(const uint8_t* entry) {
    char* work = g_state.work_path;
    const char* file_name = EntryString(entry, 0);
    CopyText(work, g_state.destination_folder, kWorkPathSize);

    if (entry[kEntryPlacement] == kPlacementBesideSetup) {
        CopyText(work, g_state.source_path, kWorkPathSize);
        char* last = FindLastBackslash(work);
        if (last) last[1] = 0;
        else work[0] = 0;
        AppendToPath(work, file_name, kWorkPathSize);
        return 0;
    }
    switch (entry[kEntryDestinationKind]) {
    case kDestinationWindows: WindowsFolder(work); break;
    case kDestinationFonts: FontsFolder(work); break;
    case kDestinationShared: return ResolveSharedFile(file_name);
    default: break;
    }
    JoinPath(work, kWorkPathSize, work, file_name);
    return 0;
}

void ResolveFileReference(const char* text) {
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry)) {
        if (lstrcmpiA(EntryString(entry, 0), text) == 0) {
            ResolveEntryPath(entry);
            return;
        }
    }
    // A cut path would name a different file.
    if (ExpandInstallVariables(g_state.work_path, text, kPathSize) >= kPathSize) g_state.work_path[0] = 0;
}

int CreateFolderChain(const char* path) {
    size_t length = std::strlen(path);
    void* block;
    if (!AllocZeroedRetry(&block, length + 4)) return -1;
    char* copy = static_cast<char*>(block);
    std::memcpy(copy, path, length);
    // Only what ends in a backslash is a folder; a bare file name needs none.
    char* last = FindLastBackslash(copy);
    if (!last) {
        FreeAndClear(&block);
        return 0;
    }
    last[1] = 0;

    size_t root = 0;
    if (copy[0] == '\\' && copy[1] == '\\') root = 2;
    else if (copy[0] && copy[1] == ':' && copy[2] == '\\') root = 3;

    bool made = true;
    if (FindBackslash(copy + root)) {
        // Each folder in turn, from the root down: C:\A, then C:\A\B.
        for (char* slash = FindBackslash(copy + root); made && slash; slash = FindBackslash(slash + 1)) {
            if (slash == copy) continue;  // a leading backslash: the current drive's root
            *slash = 0;
            made = EnterOrCreate(copy);
            *slash = '\\';
        }
    } else {
        StripBackslash(copy);  // a drive root keeps its backslash
        made = EnterOrCreate(copy);
    }
    FreeAndClear(&block);
    return made ? 0 : 1;
}
