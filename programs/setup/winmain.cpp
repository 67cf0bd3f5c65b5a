// The setup program's entry point and its last word: one instance at a
// time, off removable media before anything else, the package, the
// background window and the wizard, then what the wizard chose to start,
// and shutdown.
#include <windows.h>
#include <ole2.h>

#include "decoder/archive_state.h"
#include "engine/entry_paths.h"
#include "engine/path_text.h"
#include "engine/delayed_replacement.h"
#include "graphics/background_window.h"
#include "graphics/dialog_graphics.h"
#include "package/package_loader.h"
#include "package/patch_block.h"
#include "package/setup_config.h"
#include "startup/command_line.h"
#include "startup/library_search.h"
#include "startup/page_loop.h"
#include "startup/process_state.h"
#include "startup/program_start.h"
#include "startup/quiet_install.h"
#include "startup/relaunch.h"
#include "wizard/message_box.h"
#include "wizard/page_runner.h"

namespace {

const char kWindowClass[] = "VelkorClass";
constexpr WORD kIconResource = 800;
constexpr DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Brings the running instance forward (its last active pop-up too).
void BringForward(HWND other) {
    HWND popup = GetLastActivePopup(other);
    BringWindowToTop(other);
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    if (popup && popup != other) BringWindowToTop(popup);
    SetForegroundWindow(popup ? popup : other);
}

void ShutDown() {
    OleUninitialize();
    DeleteDialogGraphics();
}

constexpr int kSwitchesText = 32;  // group 6: the text /? shows

// /? : the package's text of the switches, on the standard output when
// Setup has one (started from a script), else in a message box.
int ShowSwitches() {
    if (!LoadPackage(StubLength())) return -1;
    const char* text = LookUpText(kGroupMessages, kSwitchesText);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written;
    if (!out || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN ||
        !WriteFile(out, text, DWORD(lstrlenA(text)), &written, nullptr))
        ShowMessage(text, MB_ICONINFORMATION);
    return 0;
}

bool CreateBackgroundWindow() {
    bool full_screen = g_config.setup_flags & kSetupFullScreen;
    DWORD style = full_screen ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN : kFrameStyle;
    g_state.background_window =
        CreateWindowExA(0, kWindowClass, LookUpText(kGroupMessages, 0), style, 0, 0, g_state.screen_width,
                        g_state.screen_height, nullptr, nullptr, g_state.instance, nullptr);
    return g_state.background_window != nullptr;
}

void RunWizard() {
    bool full_screen = g_config.setup_flags & kSetupFullScreen;
    TemplateCopy copy;
    if (CopyDialogTemplate(full_screen ? kTemplateMainFullScreen : kTemplateMainFramed, &copy))
        g_state.main_dialog =
            CreateDialogIndirectParamA(g_state.instance, copy.dialog, g_state.background_window, MainDialogProc, 0);
    if (g_state.main_dialog) {
        if (!full_screen) {
            // The background window becomes a plain frame around the dialog.
            RECT r;
            GetWindowRect(g_state.main_dialog, &r);
            AdjustWindowRectEx(&r, kFrameStyle, FALSE, 0);
            MoveWindow(g_state.background_window, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
            SetWindowPos(g_state.main_dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        ShowWindow(g_state.background_window, SW_SHOWNORMAL);
        UpdateWindow(g_state.background_window);
        RunPageLoop();
        DestroyWindow(g_state.main_dialog);
        g_state.main_dialog = nullptr;
    }
    ReleaseTemplateCopy(&copy);
}

void AfterWizard() {
    if (g_state.screen_saver_to_install[0]) {
        ResolveFileReference(g_state.screen_saver_to_install);
        if (g_state.work_path[0]) InstallScreenSaver(g_state.work_path);
    }
    DestroyWindow(g_state.background_window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    g_state.background_window = nullptr;
    if (g_state.run_program && g_state.program_to_run[0]) {
        ResolveFileReference(g_state.program_to_run);
        StripBackslash(g_state.destination_folder);
        SetCurrentDirectoryA(g_state.destination_folder);
        if (g_state.work_path[0]) StartInstalledProgram(g_state.work_path, g_state.destination_folder);
    }
    FreeSetupConfig();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
    RestrictLibrarySearch();
    if (HWND other = FindWindowA(kWindowClass, nullptr)) {
        // A script that asked for a quiet installation learns that none ran.
        char unused[kPathSize];
        if (ParseCommandLine(command_line, unused, sizeof unused).quiet) return kExitAlreadyRunning;
        BringForward(other);
        return 0;
    }
    // The process-wide buffers are part of the program image: there is no
    // allocation at start that could fail.
    ResetProcessState();
    g_state.instance = instance;
    OleInitialize(nullptr);
    CreateDialogBrush();
    GetModuleFileNameA(nullptr, g_state.source_path, kPathSize);
    char folder[kPathSize] = "", log[kPathSize] = "";
    CommandLine switches =
        ParseCommandLine(command_line, g_state.source_path, kPathSize, {folder, log, kPathSize});
    g_state.delete_self = switches.delete_self;
    lstrcpynA(g_state.language_wish, switches.language, sizeof g_state.language_wish);
    // A quiet installation asks for no disk, so it needs no copy off the disk.
    if (!g_state.delete_self && !switches.quiet && !switches.help && RelaunchFromRemovableMedia(show)) {
        ShutDown();
        return 0;
    }
    // One setup program at a time, quiet or not: the window class above
    // finds a wizard; only this finds a quiet installation under way. Any
    // product's, as a second installation's files could be the first's.
    HANDLE running = CreateMutexA(nullptr, FALSE, "KilnSetupRunning");
    if (running && GetLastError() == ERROR_ALREADY_EXISTS && !switches.help) {
        CloseHandle(running);
        FreeSetupConfig();
        ShutDown();
        return kExitAlreadyRunning;
    }
    if (g_state.delete_self) {
        GetModuleFileNameA(nullptr, g_state.work_path, kPathSize);
        ReplaceAtRestart(nullptr, g_state.work_path);
    }
    if (switches.help || switches.quiet) {
        int code = switches.help ? ShowSwitches() : RunQuietInstall({folder, log, switches.stray ? -1 : switches.type});
        FreeSetupConfig();
        ShutDown();
        return code;
    }
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = BackgroundWindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    window_class.lpszClassName = kWindowClass;
    if (!RegisterClassA(&window_class)) {
        ShutDown();
        return 0;
    }
    g_state.screen_width = GetSystemMetrics(SM_CXSCREEN);
    g_state.screen_height = GetSystemMetrics(SM_CYSCREEN);
    if (!LoadPackage(StubLength())) {
        FreeSetupConfig();
        ShutDown();
        return -1;
    }
    // The copy relaunched from a removable disk asks for the disks that
    // hold the archive's volume files.
    g_archive.prompt_mode = g_state.delete_self;
    if (!CreateBackgroundWindow()) {
        FreeSetupConfig();
        ShutDown();
        return -1;
    }
    RunWizard();
    AfterWizard();
    ShutDown();
    return 0;
}
