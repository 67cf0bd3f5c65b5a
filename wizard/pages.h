// The wizard's page procedures, one source file each. The page loop runs
// them by page index with their template numbers.
#pragma once
#include <windows.h>

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK InformationPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK SetupTypePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ReadyPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

// Page indexes.
enum : int {
    kPageWelcome = 0,
    kPageInformation = 1,
    kPageSetupType = 2,
    kPageDestination = 4,
    kPageReady = 5,
    kPageProgress = 6,
    kPageFinish = 7,
    kPageEndMarker = 8,
};

// The package has an information page: its text is not empty.
bool HasInformationText();
