#include "startup/process_state.h"

#include <cstring>

ProcessState g_state;

void ResetProcessState() {
    std::memset(&g_state, 0, sizeof g_state);
    g_state.page_index = 0;
    g_state.run_program = true;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    g_state.is_nt = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
