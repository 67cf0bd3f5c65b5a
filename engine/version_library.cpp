#include "engine/version_library.h"

#include "package/package_format.h"

namespace {

struct VersionCalls {
    DWORD(WINAPI* find_file)(DWORD, LPSTR, LPSTR, LPSTR, LPSTR, PUINT, LPSTR, PUINT);
    DWORD(WINAPI* info_size)(LPCSTR, LPDWORD);
    BOOL(WINAPI* info)(LPCSTR, DWORD, DWORD, LPVOID);
    BOOL(WINAPI* query_value)(LPCVOID, LPCSTR, LPVOID*, PUINT);
};

template <typename F>
void Resolve(HMODULE library, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Null members when the library or a call cannot be had.
const VersionCalls& Calls() {
    static VersionCalls calls;
    static bool loaded = false;
    if (loaded) return calls;
    loaded = true;
    char path[kPathSize];
    UINT n = GetSystemDirectoryA(path, kPathSize - 13);
    if (n == 0 || n >= kPathSize - 13) return calls;
    lstrcpyA(path + n, "\\version.dll");
    HMODULE library = LoadLibraryA(path);
    if (!library) return calls;
    Resolve(library, "VerFindFileA", &calls.find_file);
    Resolve(library, "GetFileVersionInfoSizeA", &calls.info_size);
    Resolve(library, "GetFileVersionInfoA", &calls.info);
    Resolve(library, "VerQueryValueA", &calls.query_value);
    return calls;
}

}  // namespace

DWORD WINAPI VersionFindFile(DWORD flags, LPSTR name, LPSTR windows_folder, LPSTR application_folder,
                             LPSTR current_folder, PUINT current_size, LPSTR recommended_folder,
                             PUINT recommended_size) {
    if (!Calls().find_file) {
        // As the search answers when it knows nothing: no current copy, the
        // system folder recommended.
        if (current_size && *current_size) current_folder[0] = 0, *current_size = 0;
        if (recommended_size && *recommended_size) recommended_folder[0] = 0, *recommended_size = 0;
        return 0;
    }
    return Calls().find_file(flags, name, windows_folder, application_folder, current_folder, current_size,
                             recommended_folder, recommended_size);
}

DWORD VersionInfoSize(const char* path) {
    DWORD ignored;
    return Calls().info_size ? Calls().info_size(path, &ignored) : 0;
}

BOOL VersionInfo(const char* path, DWORD size, void* data) {
    return Calls().info ? Calls().info(path, 0, size, data) : FALSE;
}

BOOL VersionQueryValue(const void* block, const char* sub_block, void** value, UINT* length) {
    return Calls().query_value ? Calls().query_value(block, sub_block, value, length) : FALSE;
}
