// Restarting Windows from the finish page: on NT the process first enables
// its shutdown privilege. Tests put stand-ins in front of the system calls
// and check what would have been called; nothing here restarts a test
// machine.
#pragma once
#include <windows.h>

void RestartWindows();

struct RestartCalls {
    BOOL(WINAPI* open_process_token)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI* adjust_token_privileges)(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES state, DWORD length,
                                          PTOKEN_PRIVILEGES previous, PDWORD returned);
    BOOL(WINAPI* exit_windows)(UINT flags, DWORD reason);
};
// Null restores the system's calls.
void SetRestartCalls(const RestartCalls* calls);
