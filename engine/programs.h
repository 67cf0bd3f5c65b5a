// Starting programs and waiting for them, and the removal of the other
// setup types' earlier installations through their uninstallers.
#pragma once
#include <windows.h>

// Starts program (a path; it is quoted on the command line, so a path with
// blanks runs the program it names) with the arguments. 1 with the process
// handle in *process (the caller closes it), or 0 when it could not be
// started or the command line would not fit 520 bytes.
int RunProgram(const char* program, const char* arguments, HANDLE* process);

// 1 while the process runs.
int IsRunning(HANDLE process);

// For every setup type but the current one, in order, whose file list
// starts with an uninstaller: reads "UninstallString" from its uninstall
// key, runs that file with "/X", waits until it ends (looking at the
// message queue without dispatching), then tries for up to 3 seconds to
// delete it. A missing key, value or file, or a program that will not
// start, skips that setup type.
void RemoveOtherInstallations();
