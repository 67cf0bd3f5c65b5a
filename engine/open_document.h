// Opening the installed document with its associated program: through the
// shell, or, when the shell cannot, through the association's open command
// read from the registry.
#pragma once
#include <windows.h>

#include <cstddef>

// Opens the document the installation remembered, when there is one and it
// is still on disk. Nothing is reported.
void OpenInstalledDocument();

// Opens path, whose extension (with its dot) is extension. Returns the
// shell's result when above 32, else the registry error or WinExec's result
// of the fallback. The fallback runs the association's open command with
// its "%1" (and whatever follows it) replaced by the path in quotes; a
// command line that would not fit 520 bytes is not run
// (ERROR_INSUFFICIENT_BUFFER).
UINT_PTR OpenFileWithAssociation(const char* path, const char* extension);

// Reads the default value of root\key_path into buffer (at most 260 bytes,
// always terminated). 0, or the error of opening the key; a value that
// cannot be read leaves the buffer as it was.
LONG ReadDefaultValue(HKEY root, const char* key_path, char* buffer);

// Tests stand in for the shell's open (to reach the fallback where the
// platform's shell would open the file itself); null restores it.
using ShellOpener = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
void SetShellOpener(ShellOpener opener);
