// The folder picker: the platform's old-style save dialog with the
// package's template 7 and a hook that shows, in control 101, the folder the
// user has walked to; OK takes that folder without a file name.
#pragma once
#include <windows.h>

// folder (260 bytes) holds the start folder; it receives the chosen folder
// when the user confirms and is unchanged otherwise. The dialog opens in the
// deepest folder of it that exists, with the whole folder in its field.
void BrowseForFolder(HWND owner, char* folder);

// The deepest existing folder on `path` (kPathSize bytes out): the path
// itself when it is a folder, else its parents in turn; "" when not even
// the drive exists.
void DeepestExistingFolder(const char* path, char* out);
