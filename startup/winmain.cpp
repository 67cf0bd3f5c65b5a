// The setup program's entry point. For now it loads the package behind the
// stub and ends: 0 when the package is sound, -1 when it cannot be used
// (after telling the user, when the package's own text for that exists).
// The wizard builds on this.
#include <windows.h>

#include "package/package_loader.h"
#include "package/patch_block.h"
#include "package/setup_config.h"
#include "startup/process_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ResetProcessState();
    g_state.instance = instance;
    GetModuleFileNameA(nullptr, g_state.source_path, sizeof g_state.source_path);
    bool loaded = LoadPackage(StubLength());
    FreeSetupConfig();
    return loaded ? 0 : -1;
}
