#include "wizard/restart.h"

#include "startup/process_state.h"

namespace {

const RestartCalls* g_calls = nullptr;  // the system's calls

}  // namespace

void SetRestartCalls(const RestartCalls* calls) { g_calls = calls; }

void RestartWindows() {
    // Filled in here rather than at start: the setup program runs no
    // start-up code that would initialise it.
    RestartCalls system = {OpenProcessToken, AdjustTokenPrivileges, ExitWindowsEx};
    const RestartCalls* calls = g_calls ? g_calls : &system;
    if (g_state.is_nt) {
        HANDLE token;
        if (!calls->open_process_token(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        calls->adjust_token_privileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    calls->exit_windows(EWX_REBOOT, 0);
}
