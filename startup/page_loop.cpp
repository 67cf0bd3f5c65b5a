#include "startup/page_loop.h"

#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

namespace {

struct PageEntry {
    int template_number;
    DLGPROC procedure;
};

// By page index. Index 3 has no page, and no page moves there; a package
// that names it (or anything past the end marker) as its start page runs
// the end marker, which shows nothing.
constexpr int kEndMarkerTemplate = 10;
const PageEntry kPages[] = {
    {kTemplateWelcomeReady, WelcomePageProc},  {kTemplateInformation, InformationPageProc},
    {kTemplateSetupTypes, SetupTypePageProc},  {kEndMarkerTemplate, nullptr},
    {kTemplateDestination, DestinationPageProc}, {kTemplateWelcomeReady, ReadyPageProc},
    {kTemplateProgress, ProgressPageProc},     {kTemplateFinish, FinishPageProc},
    {kEndMarkerTemplate, nullptr},
};
constexpr int kPageCount = sizeof kPages / sizeof kPages[0];

}  // namespace

void RunPageLoop() {
    bool single_page = SinglePageMode();
    g_state.page_index = single_page ? g_config.start_page : 0;
    while (g_state.page_index != -1) {
        int index = g_state.page_index;
        const PageEntry& page = index >= 0 && index < kPageCount ? kPages[index] : kPages[kPageEndMarker];
        int result = RunPage(page.template_number, page.procedure);
        if (single_page) break;
        // A page may have moved the page index itself (Go to page).
        index = g_state.page_index;
        switch (result) {
        case kPageNext: g_state.page_index = index >= kPageEndMarker ? -1 : index + 1; break;
        case kPageCancel: g_state.page_index = -1; break;
        case kPageBack: g_state.page_index = index > 0 ? index - 1 : index; break;
        }
    }
    g_state.page_index = -1;
}
