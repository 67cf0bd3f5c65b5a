// A stand-in for programs the setup program starts (an uninstaller, the
// program associated with a document): after a short while, so that a
// caller that does not wait is caught, it appends its command line and then
// each argument on a line of its own to "<its own path>.args", and ends.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

void Append(HANDLE file, const char* text) {
    DWORD written;
    WriteFile(file, text, DWORD(std::strlen(text)), &written, nullptr);
    WriteFile(file, "\r\n", 2, &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(300);
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (!length || length >= MAX_PATH) return 1;
    lstrcatA(path, ".args");
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    SetFilePointer(file, 0, nullptr, FILE_END);
    Append(file, GetCommandLineA());
    for (int i = 1; i < __argc; ++i) Append(file, __argv[i]);
    CloseHandle(file);
    return 0;
}
