// A program that links the same system libraries as the setup program,
// carries the same application manifest and does nothing: what the platform's loader brings in for those imports,
// before any code of the program runs, is the baseline that a planting test
// compares the setup program against.
#include <windows.h>
#include <commdlg.h>
#include <ole2.h>
#include <shlobj.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    // Never true: the calls only make the imports.
    if (command_line && command_line[0] == '\x01') {
        OleInitialize(nullptr);
        SHGetSpecialFolderLocation(nullptr, 0, nullptr);
        GetSaveFileNameA(nullptr);
        RegCloseKey(nullptr);
        DeleteObject(nullptr);
        ShowWindow(nullptr, 0);
    }
    return 0;
}
