#pragma once
#include <windows.h>
#include <cstdint>
LRESULT CALLBACK BackgroundWindowProc(HWND, UINT, WPARAM, LPARAM);
