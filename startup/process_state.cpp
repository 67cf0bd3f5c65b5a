#include "startup/process_state.h"

#include <cstring>

#include "engine/path_text.h"

ProcessState g_state;

void ResetProcessState() {
    std::memset(&g_state, 0, sizeof g_state);
    g_state.page_index = 0;
    g_state.run_program = true;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    g_state.is_nt = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    // Paths are ANSI: in a double-byte code page a backslash byte may end a character.
    CPINFO code_page;
    if (GetCPInfo(CP_ACP, &code_page)) SetLeadBytes(code_page.LeadByte);
}
