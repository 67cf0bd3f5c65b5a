// The setup program's process entry, in place of the C runtime's start-up
// code: the program needs none of what that sets up (no constructors, no
// thread-local data, no C++ runtime, no floating-point state), and leaving
// it out keeps some 8 KB out of every setup file.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show);

namespace {

// The command line after the program's name, which may be quoted.
char* ArgumentsOf(char* line) {
    bool quoted = false;
    for (; *line && (quoted || (*line != ' ' && *line != '\t')); ++line)
        if (*line == '"') quoted = !quoted;
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

}  // namespace

extern "C" void WINAPI StubEntry() {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(UINT(WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()), show)));
}
