// The wizard runner: pages are modeless, frameless dialogs made from the
// package's templates, placed over control 1006 of the main dialog and run
// in a message loop of their own until something sets the page result.
// The main dialog carries Back, Next and Cancel and forwards their commands
// to the running page.
#pragma once
#include <windows.h>

#include "wizard/go_to_page.h"

// Control identifiers the program relies on.
enum : int {
    kControlNext = 1,
    kControlCancel = 2,
    kControlBack = 1007,
    kControlPagePlace = 1006,
    kControlSidePicture = 1011,
    kControlPanel = 1012,
    kControlText1 = 1000,  // 1000 to 1003: the page's texts 1 to 4
};

// Button mask bits.
enum : unsigned {
    kButtonBack = 0x1,
    kButtonNext = 0x2,
    kButtonCancel = 0x4,
    kCancelWithoutAsking = 0x100,
};

// A dialog template copied out of the package's template table into a
// zero-filled fixed global block (the folder browser hands the block to the
// file dialog, which needs a fixed one).
struct TemplateCopy {
    HGLOBAL block;
    const DLGTEMPLATE* dialog;
};
bool CopyDialogTemplate(int number, TemplateCopy* copy);
void ReleaseTemplateCopy(TemplateCopy* copy);

// Runs one page to its result: Next, Cancel or Back.
int RunPage(int template_number, DLGPROC procedure);

// The set-up every page runs first in WM_INITDIALOG: font, place, captions,
// texts 1000 to 1003 from the page's string group, button labels and mask.
void CommonPageSetUp(HWND page, unsigned button_mask);

// Gives Back (1007), Next (1) or Cancel (2) the text at group 7, index.
void SetButtonLabel(int button, int index);

// A page that handled a forwarded command itself says so with this.
INT_PTR MarkHandled(HWND page);

// What a page procedure returns for a message it does not handle: the
// control colours of the dialog brush, else 0.
INT_PTR DefaultPageHandling(UINT message, WPARAM wparam);

// True in single-page mode (the package names a start page).
bool SinglePageMode();

// The string group that the page at `page_index` reads its texts from.
int PageStringGroup(int page_index);

// Gives the main dialog's button the keyboard focus (pages do this in
// WM_INITDIALOG and then return 0).
void FocusMainButton(int button);

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
