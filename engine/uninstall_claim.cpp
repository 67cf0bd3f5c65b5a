#include "engine/uninstall_claim.h"

#include "engine/removal_targets.h"

namespace {

// The entry's mark: the shared counts of this installation were lowered.
constexpr char kCountsReleased[] = "KilnCountsReleased";

// Two names of one file: equal texts, or the same file on the same volume
// (a short name, another spelling of the path).
bool SameFile(const char* a, const char* b) {
    if (!lstrcmpiA(a, b)) return true;
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileA(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

}  // namespace

Claim ClaimInstallation(const InstallLog& log, const char* uninstaller, HANDLE* lock) {
    *lock = nullptr;
    char key_path[kRemovalPathSize];
    if (!ResolveUninstallKey(log, key_path)) return Claim::kUnchecked;
    // One run per entry: the mutex is named after the entry (a name may
    // not hold a backslash).
    char name[kRemovalPathSize + 16] = "KilnUninstall:";
    lstrcatA(name, key_path);
    for (char* c = name; *c; ++c)
        if (*c == '\\') *c = '/';
    *lock = CreateMutexA(nullptr, TRUE, name);
    if (*lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(*lock);
        *lock = nullptr;
        return Claim::kBusy;
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return Claim::kNotInstalledHere;
    char named[kRemovalPathSize];
    DWORD type = 0, size = sizeof named - 1;
    bool ours = RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(named), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ;
    if (ours) {
        named[size] = 0;
        ours = SameFile(named, uninstaller);
    }
    DWORD released = 0;
    size = sizeof released;
    bool retry = RegQueryValueExA(key, kCountsReleased, nullptr, nullptr, reinterpret_cast<BYTE*>(&released),
                                  &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ours) return Claim::kNotInstalledHere;
    return retry ? Claim::kRetry : Claim::kFirstRun;
}

void MarkCountsReleased(const InstallLog& log) {
    char key_path[kRemovalPathSize];
    HKEY key;
    if (!ResolveUninstallKey(log, key_path) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD one = 1;
    RegSetValueExA(key, kCountsReleased, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
}
