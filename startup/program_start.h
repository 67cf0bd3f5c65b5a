// Starting programs: always with an explicit application path and a command
// line whose program path is quoted, so that blanks in a path (a profile
// folder, Program Files) never start another program, and without relying
// on short 8.3 names, which many volumes no longer have.
#pragma once

// Starts application with the whole command_line (its own path first) in
// folder (null: the current one). False when it could not be started.
bool StartProcess(const char* application, const char* command_line, const char* folder, int show);

// rundll32 from the system folder: desk.cpl's InstallScreenSaver with the
// screen saver's path.
void InstallScreenSaver(const char* path);

// The installed program, with its folder as the current directory.
void StartInstalledProgram(const char* path, const char* folder);

// Tests record what would be started instead; null restores the system's way.
using ProcessStarter = bool (*)(const char* application, const char* command_line, const char* folder, int show);
void SetProcessStarter(ProcessStarter starter);
