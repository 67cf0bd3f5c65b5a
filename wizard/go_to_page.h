// Moves the wizard to the page at `index`: the page loop adds 1 after a
// Next, so the index is set one short and the running page ends with Next.
#pragma once
#include "startup/process_state.h"

enum PageResult : int { kPageRunning = 0, kPageNext = 1, kPageCancel = 2, kPageBack = 1007 };

inline void GoToPage(int index) {
    g_state.page_index = index - 1;
    g_state.page_result = kPageNext;
}
