// The installation progress bar: blocks of the active caption colour in a
// sunken trough (control 1009 of the progress page), with the percentage as
// text in control 1010. Drawn off-screen and copied in one BitBlt, so that
// frequent reports do not flicker.
#pragma once
#include <windows.h>

// The dialog that holds the bar; from now on every SetProgress (engine/
// progress.h) redraws the bar there. None stops the redrawing.
void SetProgressWindow(HWND dialog);

// Draws the bar at the current percentage into dc, or into the dialog's own
// device context when dc is null, and sets the percentage text.
void DrawProgressBar(HWND dialog, HDC dc);
