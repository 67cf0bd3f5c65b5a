#include "wizard/disk_check.h"

#include <windows.h>

#include "engine/entry_paths.h"
#include "engine/path_text.h"
#include "engine/removal.h"
#include "package/file_list.h"
#include "package/file_ops.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/disk_figures.h"

bool g_read_only_files_found = false;

namespace {

FreeSpaceQuery g_free_space_query = nullptr;

// The path that the drive queries ask about: a network path as it is, a
// drive path as its root ("C:\"), anything else as it is.
void DriveRoot(const char* path, char* root) {
    lstrcpynA(root, path, kPathSize);
    if (root[0] != '\\' && root[0] && root[1] == ':') {
        root[2] = '\\';
        root[3] = 0;
    }
}

using GetDiskFreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

uint64_t SystemFreeKilobytes(const char* path) {
    char root[kPathSize];
    DriveRoot(path, root);
    // The extended query knows drives above 2 GB and per-user quotas; the
    // older platform's kernel may not have it.
    auto free_ex = reinterpret_cast<GetDiskFreeSpaceExFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    ULARGE_INTEGER available;
    if (free_ex) return free_ex(root, &available, nullptr, nullptr) ? available.QuadPart >> 10 : kUnknownFreeSpace;
    DWORD sectors, bytes, free_clusters, clusters;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters)) return kUnknownFreeSpace;
    return uint64_t(sectors) * bytes * free_clusters >> 10;
}

// An existing target passes when it is there and not read-only.
bool Writable(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

// False when the read-only target cannot be made writable; its attribute is
// back as it was either way.
bool CanMakeWritable(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    g_read_only_files_found = true;
    SetFileAttributesA(path, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    bool writable = Writable(path);
    SetFileAttributesA(path, attributes);
    return writable;
}

}  // namespace

void SetFreeSpaceQuery(FreeSpaceQuery query) { g_free_space_query = query; }

uint64_t FreeKilobytes(const char* path) {
    return g_free_space_query ? g_free_space_query(path) : SystemFreeKilobytes(path);
}

uint32_t ClusterKilobytes(const char* path) {
    char root[kPathSize];
    DriveRoot(path, root);
    DWORD sectors, bytes, free_clusters, clusters;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters)) return 32;
    return uint32_t((uint64_t(sectors) * bytes + 1023) >> 10);
}

uint64_t RequiredBytes() {
    uint64_t sum = 0;
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry))
        sum += RoundUp(ReadU32(entry + kEntryUnpackedSize), 32768);
    return sum;
}

namespace {

bool CarriesUninstaller() {
    const uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry))
        if (entry[kEntryFlags] & kEntryIsUninstaller) return true;
    return false;
}

}  // namespace

int RunDiskCheck() {
    if (CarriesUninstaller()) {
        SystemFolders folders;
        FindSystemFolders(g_state.destination_folder, &folders);
        if (!RemovableInstallFolder(folders.view)) return kDiskCheckNoUninstall;
    }
    uint32_t cluster = ClusterKilobytes(g_state.destination_folder) * 1024;
    uint64_t free_kilobytes = FreeKilobytes(g_state.destination_folder);
    uint64_t largest = 0, needed = 0;
    g_read_only_files_found = false;
    uint8_t* entry = g_config.current_first_entry;
    for (uint32_t i = 0; entry && i < g_config.current_file_count; ++i, entry = NextEntry(entry)) {
        int in_use = ResolveEntryPath(entry);
        uint64_t size = RoundUp(ReadU32(entry + kEntryUnpackedSize), cluster);
        if (size > largest) largest = size;
        uint8_t placement = entry[kEntryPlacement];
        if (placement == kPlacementBesideSetup || placement == kPlacementFolder || !g_state.work_path[0]) continue;
        HANDLE existing = OpenForReading(g_state.work_path);
        if (existing == INVALID_HANDLE_VALUE) {
            needed += size;
            continue;
        }
        uint64_t existing_size = RoundUp(FileSize(existing), cluster);
        CloseFile(existing);
        if (size > existing_size) needed += size - existing_size;
        if (entry[kEntryDestinationKind] == kDestinationFonts) {
            // A font that was there before stays at uninstall.
            if (placement == kPlacementRemoved) entry[kEntryPlacement] = kPlacementKept;
            continue;
        }
        if (in_use || Writable(g_state.work_path)) continue;  // in use: replaced at the next restart
        if (!CanMakeWritable(g_state.work_path)) {
            lstrcpynA(g_state.message_argument, g_state.work_path, kPathSize);
            return kDiskCheckReadOnly;
        }
    }
    return HasRoom(largest, needed, free_kilobytes) ? kDiskCheckPassed : kDiskCheckNoRoom;
}

void MakeDestinationFull() {
    if (GetFullPathNameA(g_state.destination_folder, kPathSize, g_state.work_path, nullptr) - 1 < kPathSize - 1)
        lstrcpynA(g_state.destination_folder, g_state.work_path, kPathSize);
}

bool DestinationFolderReady(bool create) {
    char* folder = g_state.destination_folder;
    if (create) {
        AddBackslash(folder, kPathSize);
        CreateFolderChain(folder);
    }
    StripBackslash(folder);
    return SetCurrentDirectoryA(folder) != 0;
}
