#pragma once
#include <windows.h>
void CreateDialogBrush(); HBRUSH DialogBrush(); void ApplyDialogFont(HWND window); void DeleteDialogGraphics(); void PaintMainDialog(HWND);
