// The unattended installation (/QUIET): the wizard's choices come from the
// command line, the previous installation or the package, every question
// gets its safe answer, and nothing is shown. The install driver and the
// post-install actions are the wizard's own.
#pragma once

struct QuietOptions {
    const char* folder;  // /DIR, or empty: the folder of the previous installation, else the package's
    const char* log;     // /LOG, or empty: no log file
    int type;            // /TYPE (from 1), 0 when not given, -1 when not a number
};

// Exit codes besides the install error (0 on success, else the number of
// the message that explains it, below 100). The others are the numbers
// Windows installers use, as the uninstaller's are.
enum : int {
    kExitRestartNeeded = 3010,     // installed; files are replaced at the next restart
    kExitAlreadyRunning = 1618,    // another setup program runs (its wizard is shown)
    kExitPackageNotLoaded = 1620,  // the setup file is damaged or incomplete
    kExitBadSwitch = 1639,         // /TYPE names no setup type, /DIR a folder the type keeps fixed, or
                                   // /LANG a language the setup file or the system cannot show
};

// Loads the package and installs; returns the exit code.
int RunQuietInstall(const QuietOptions& options);
