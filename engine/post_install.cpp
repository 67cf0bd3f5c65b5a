#include "engine/post_install.h"

#include "decoder/archive.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/go_to_page.h"

void RunPostInstallActions() {
    CloseArchive();
    if (g_config.start_page == 0xFFFF) GoToPage(7);  // the finish page
    g_state.installing = false;
}
