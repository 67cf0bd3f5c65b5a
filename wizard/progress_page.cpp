// Progress page: starts the installation and drives the install driver from
// a window timer, so that the page repaints and answers Cancel between
// entries. Packages as described install one entry per tick; with the timed
// steps flag a tick installs entries until its time budget is used.
#include "engine/install_driver.h"
#include "engine/post_install.h"
#include "graphics/dialog_graphics.h"
#include "graphics/progress_bar.h"
#include "package/setup_config.h"
#include "startup/process_state.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"
#include "wizard/pages.h"

namespace {

constexpr UINT_PTR kTimerId = 11;
constexpr UINT kFirstStepDelay = 100, kStepDelay = 50;
constexpr DWORD kTickBudget = 30;  // milliseconds of work per tick with timed steps

UINT_PTR g_timer = 0;
bool g_paused = false;

bool TimedSteps() { return (g_config.setup_flags & kSetupTimedSteps) != 0; }

void FinishWithoutTimer() {
    while (InstallStep()) {
    }
    RunPostInstallActions();
}

// One tick's work: 1 while entries remain.
int Steps(HWND page) {
    if (!TimedSteps()) return InstallStep();
    DWORD start = GetTickCount();
    int more;
    do more = InstallStep();
    while (more && GetTickCount() - start < kTickBudget);
    // Paint what the steps changed before the next batch.
    RedrawWindow(page, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return more;
}

void Tick(HWND page) {
    if (!g_state.installing || g_paused) return;
    KillTimer(page, kTimerId);
    g_timer = 0;
    if (Steps(page)) {
        g_timer = SetTimer(page, kTimerId, TimedSteps() ? USER_TIMER_MINIMUM : kStepDelay, nullptr);
        if (g_timer) return;
        while (InstallStep()) {
        }
    }
    RunPostInstallActions();
}

void AskCancel(HWND page) {
    g_paused = true;
    if (ShowMessage(LookUpText(kGroupMessages, 13), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        g_paused = false;
        return;
    }
    ShowMessage(LookUpText(kGroupMessages, 15), MB_ICONINFORMATION);
    g_state.page_result = kPageCancel;
    g_state.screen_saver_to_install[0] = 0;
    g_state.program_to_run[0] = 0;
    g_state.document_to_open[0] = 0;
    (void)page;
}

}  // namespace

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetProgressWindow(page);
        CommonPageSetUp(page, kButtonCancel);
        SetButtonLabel(kControlCancel, 5);
        g_paused = false;
        if (!StartInstall()) return TRUE;
        g_timer = SetTimer(page, kTimerId, kFirstStepDelay, nullptr);
        if (!g_timer) FinishWithoutTimer();
        return TRUE;
    case WM_TIMER:
        Tick(page);
        break;
    case WM_COMMAND:
        if (LOWORD(wparam) == kControlCancel && !SinglePageMode()) {
            AskCancel(page);
            return MarkHandled(page);
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(page, &paint);
        if (dc) DrawProgressBar(page, dc);
        EndPaint(page, &paint);
        break;
    }
    case WM_DESTROY:
        if (g_timer) KillTimer(page, kTimerId);
        g_timer = 0;
        SetProgressWindow(nullptr);
        break;
    }
    return DefaultPageHandling(message, wparam);
}
