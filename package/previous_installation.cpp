#include "package/previous_installation.h"

#include <windows.h>

#include <cstring>

#include "engine/install_variables.h"
#include "engine/path_text.h"
#include "engine/registry_root.h"
#include "package/package_format.h"
#include "package/string_groups.h"
#include "startup/process_state.h"

namespace {

void ExpandDestination() {
    ExpandInstallVariables(g_state.destination_folder, g_state.destination_folder, kPathSize);
}

// Reads the remembered folder from the registry into the temporary path.
void ReadRememberedFromRegistry(const uint8_t* record, const char* key) {
    g_state.temporary_path[0] = 0;
    HKEY opened;
    if (RegOpenKeyExA(RegistryRoot(ReadU32(record + kTypeRegistryRoot)), key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    const char* value = TypeText(record, kTypeRegistryValue);
    DWORD size = kPathSize - 1;  // room for a terminator the stored value may lack
    if (RegQueryValueExA(opened, value, nullptr, nullptr, reinterpret_cast<BYTE*>(g_state.temporary_path), &size) !=
        ERROR_SUCCESS)
        g_state.temporary_path[0] = 0;
    else
        g_state.temporary_path[size < kPathSize ? size : kPathSize - 1] = 0;
    RegCloseKey(opened);
}

// Replaces the last element of path by the spelling the file system reports.
bool RespellLastElement(char* path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path, &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    char* last = FindLastBackslash(path);
    if (!last) return false;
    size_t head = size_t(last + 1 - path);
    lstrcpynA(last + 1, found.cFileName, int(kPathSize - head));
    return true;
}

bool Append(char* path, const char* text, size_t n) {
    size_t len = std::strlen(path);
    if (len + n + 1 > kPathSize) return false;
    std::memcpy(path + len, text, n);
    path[len + n] = 0;
    return true;
}

void NormaliseSpelling(char* folder) {
    char rebuilt[kPathSize] = "";
    const char* p = folder;
    if (p[0] && p[1] == ':') {
        Append(rebuilt, p, 2);
        p += 2;
    }
    while (*p == '\\') ++p;
    for (const char* slash; (slash = FindBackslash(p)); p = slash + 1)
        if (!Append(rebuilt, "\\", 1) || !Append(rebuilt, p, size_t(slash - p)) || !RespellLastElement(rebuilt))
            return;
    if (!Append(rebuilt, "\\", 1) || !Append(rebuilt, p, std::strlen(p))) return;
    size_t len = std::strlen(rebuilt);
    if (len > 3 && EndsInBackslash(rebuilt)) rebuilt[len - 1] = 0;
    if (!RespellLastElement(rebuilt)) return;
    lstrcpynA(folder, rebuilt, kPathSize);
}

}  // namespace

void DetectPreviousInstallation(const uint8_t* record) {
    char* folder = g_state.destination_folder;
    if (const char* fallback = TypeText(record, kTypeDefaultFolder)) lstrcpynA(folder, fallback, kPathSize);

    const char* key = TypeText(record, kTypeRegistryKey);
    const char* ini_file = TypeText(record, kTypeIniFile);
    const char* ini_section = TypeText(record, kTypeIniSection);
    const char* ini_key = TypeText(record, kTypeIniKey);
    if (key) {
        ReadRememberedFromRegistry(record, key);
        if (!g_state.temporary_path[0]) return ExpandDestination();
        lstrcpynA(folder, g_state.temporary_path, kPathSize);
    } else if (ini_file && ini_section && ini_key) {
        // An empty default: with the folder itself as default, a missing key
        // would read back the unexpanded default and never fall back to it.
        if (GetPrivateProfileStringA(ini_section, ini_key, "", g_state.temporary_path, kPathSize, ini_file) == 0)
            return ExpandDestination();
        lstrcpynA(folder, g_state.temporary_path, kPathSize);
    } else {
        return ExpandDestination();
    }

    // The deepest folder of the remembered one that exists.
    size_t len = std::strlen(folder);
    while (len && !SetCurrentDirectoryA(folder)) folder[--len] = 0;
    if (len) NormaliseSpelling(folder);
}
