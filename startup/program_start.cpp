#include "startup/program_start.h"

#include <windows.h>

#include "engine/path_text.h"
#include "package/package_format.h"

namespace {

bool SystemStart(const char* application, const char* command_line, const char* folder, int show) {
    // CreateProcessA may write into the command line it is given.
    char line[3 * kPathSize + 64];
    lstrcpynA(line, command_line, sizeof line);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(show);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(application, line, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

ProcessStarter g_starter = SystemStart;


}  // namespace

void SetProcessStarter(ProcessStarter starter) { g_starter = starter ? starter : SystemStart; }

bool StartProcess(const char* application, const char* command_line, const char* folder, int show) {
    return g_starter(application, command_line, folder, show);
}

void InstallScreenSaver(const char* path) {
    char program[kPathSize], line[3 * kPathSize + 64] = "\"";
    UINT n = GetSystemDirectoryA(program, kPathSize);
    if (n == 0 || n >= kPathSize || !AppendToPath(program, "\\rundll32.exe", sizeof program)) return;
    // rundll32 hands everything after the entry's name to it as one text,
    // blanks included, as the shell's own install command for screen
    // savers does: the path needs no quotes.
    if (AppendToPath(line, program, sizeof line) && AppendToPath(line, "\" desk.cpl,InstallScreenSaver ", sizeof line) &&
        AppendToPath(line, path, sizeof line))
        StartProcess(program, line, nullptr, SW_SHOWNORMAL);
}

void StartInstalledProgram(const char* path, const char* folder) {
    char line[kPathSize + 3] = "\"";
    if (AppendToPath(line, path, sizeof line) && AppendToPath(line, "\"", sizeof line))
        StartProcess(path, line, folder, SW_SHOWNORMAL);
}
