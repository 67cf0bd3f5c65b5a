// A self-registering library for the uninstaller's tests: each entry point
// notes its call under HKEY_CURRENT_USER\Software\Kiln Tests\Registration,
// in a value named after the library's own path.
#include <windows.h>

namespace {

HMODULE g_module;

HRESULT Note(const char* what) {
    char path[MAX_PATH];
    HKEY key;
    if (!GetModuleFileNameA(g_module, path, MAX_PATH) ||
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiln Tests\\Registration", &key) != ERROR_SUCCESS)
        return E_FAIL;
    RegSetValueExA(key, path, 0, REG_SZ, reinterpret_cast<const BYTE*>(what), DWORD(lstrlenA(what) + 1));
    RegCloseKey(key);
    return S_OK;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() { return Note("registered"); }
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() { return Note("unregistered"); }
