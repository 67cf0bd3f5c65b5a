// The folder picker: the platform's old-style save dialog with the
// package's template 7 and a hook that shows, in control 101, the folder the
// user has walked to; OK takes that folder without a file name.
#pragma once
#include <windows.h>

// folder (260 bytes) holds the start folder; it receives the chosen folder
// when the user confirms and is unchanged otherwise.
void BrowseForFolder(HWND owner, char* folder);
