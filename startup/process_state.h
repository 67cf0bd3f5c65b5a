// The setup program's process-wide state: the path and text buffers every
// part of the program shares, and the flags that carry the run's outcome.
// Buffers are fixed arrays; paths are zero-terminated ANSI texts.
#pragma once
#include <windows.h>

#include "package/package_format.h"

struct ProcessState {
    HINSTANCE instance;
    char source_path[kPathSize];          // the setup file that carries the package
    char current_volume_path[kPathSize];  // the file read for the package or archive
    char destination_folder[kPathSize];
    char work_path[2 * kPathSize];
    char temporary_path[kPathSize];
    char message_argument[kPathSize];  // replaces %s in formatted messages
    char path_a[kPathSize], path_b[kPathSize];
    char text_a[512], text_b[512];
    bool is_nt;
    bool delete_self;
    char language_wish[12];  // the /LANG switch's tag; empty: the language follows the system's
    int screen_width, screen_height;
    HWND background_window;
    HWND main_dialog;
    int page_index;
    int page_result;
    int install_error;
    bool restart_needed;
    bool installing;
    char document_to_open[kPathSize];
    char program_to_run[kPathSize];
    char screen_saver_to_install[kPathSize];
    bool run_program;
};

extern ProcessState g_state;

// Sets the process-wide state to its start values (for the program and for
// tests), and tells the path routines the system code page's lead bytes.
void ResetProcessState();
