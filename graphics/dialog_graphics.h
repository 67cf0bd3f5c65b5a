// What the wizard's dialogs draw themselves: the face-coloured brush for
// dialog and control backgrounds, a regular-weight dialog font, sunken
// frames and the side picture. The brush and the font live from start-up to
// shutdown; everything else is made and released within one paint.
#pragma once
#include <windows.h>

#include "package/setup_config.h"

// A solid brush of the button face colour, or the stock light grey brush
// when that cannot be made. Called once at start-up.
void CreateDialogBrush();
HBRUSH DialogBrush();

// Gives every direct child of the window the dialog font: a regular-weight
// copy of the window's own font, made on first use. Without a font to copy,
// nothing changes.
void ApplyDialogFont(HWND window);

// Shutdown: deletes the brush unless it is the stock one, and the font.
void DeleteDialogGraphics();

// Fills x, y, width, height with the colour, through ExtTextOut: no brush.
void FillRectangle(HDC dc, int x, int y, int width, int height, COLORREF colour);

// A sunken 3D frame on the rectangle's outermost pixels: shadow on the top
// and left edges, highlight on the bottom and right; the inside filled
// with the face colour when asked.
void DrawSunkenFrame(HDC dc, const RECT& rectangle, bool fill);

// A sunken frame on control `id`'s rectangle, when the dialog has it.
void FrameControl(HWND dialog, HDC dc, int id, bool fill);

// Clips dc to control `id` for the rest of the paint and draws the picture
// centred in it at its natural size, with a sunken frame on the picture's
// edge; a picture larger than the control is cut to it, frame included.
// Nothing without the control, and no drawing without a picture.
void DrawSidePicture(HWND dialog, HDC dc, int id, const Body& picture);

// The main dialog's WM_PAINT: the panel line (control 1012) and the side
// picture (control 1011) when the package has one.
void PaintMainDialog(HWND main_dialog);
