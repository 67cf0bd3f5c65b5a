// A library planted beside a program to see whether the program loads it:
// when loaded it leaves a marker file named after itself ("<path>.loaded").
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    lstrcpyA(path + n, ".loaded");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    return TRUE;
}
