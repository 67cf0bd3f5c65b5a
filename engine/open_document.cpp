#include "engine/open_document.h"

#include <windows.h>
#include <shellapi.h>

#include "engine/entry_paths.h"
#include "startup/process_state.h"

void OpenDocument() {
    if (!g_state.document_to_open[0]) return;
    ResolveFileReference(g_state.document_to_open);
    if (g_state.work_path[0]) ShellExecuteA(nullptr, "open", g_state.work_path, nullptr, nullptr, SW_SHOWNORMAL);
}
