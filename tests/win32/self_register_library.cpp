// A self-registering library for the post-install tests: DllRegisterServer
// leaves "<its own path>.registered" holding the text it gets from the
// library it depends on.
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllimport) const char* KilnRegistrationMark();

namespace {
HMODULE g_self;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(g_self, path, MAX_PATH);
    if (!length || length >= MAX_PATH) return E_FAIL;
    lstrcatA(path, ".registered");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_FAIL;
    const char* mark = KilnRegistrationMark();
    DWORD written;
    WriteFile(file, mark, DWORD(std::strlen(mark)), &written, nullptr);
    CloseHandle(file);
    return S_OK;
}
