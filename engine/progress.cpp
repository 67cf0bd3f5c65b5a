#include "engine/progress.h"

#include <windows.h>

#include "engine/path_text.h"
#include "package/package_format.h"

namespace {
int g_percent = 0;
char g_status[kPathSize] = "";
ProgressObserver g_observer = nullptr;
ProgressPainter g_painter = nullptr;
StatusShower g_status_shower = nullptr;
}  // namespace

void SetProgress(int percent) {
    g_percent = unsigned(percent) > 100 ? 100 : percent;
    if (g_painter) g_painter();
    if (g_observer) g_observer(g_percent, g_status);
}

int CurrentProgress() { return g_percent; }

void ShowStatus(const char* path) {
    lstrcpynA(g_status, path, kPathSize);
    ShortenPathForDisplay(g_status, 30);
    if (g_status_shower) g_status_shower(g_status);
    if (g_observer) g_observer(g_percent, g_status);
}

const char* CurrentStatus() { return g_status; }

void SetProgressObserver(ProgressObserver observer) { g_observer = observer; }

void SetProgressPainter(ProgressPainter painter) { g_painter = painter; }

void SetStatusShower(StatusShower shower) { g_status_shower = shower; }
