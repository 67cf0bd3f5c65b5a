#pragma once
#include <windows.h>
void SetProgressWindow(HWND); void DrawProgressBar(HWND dialog, HDC dc);
