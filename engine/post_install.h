// What follows the files: run once by the progress page when the install
// driver is done, whether it finished or failed.
#pragma once

// Closes the archive. After a successful installation it then writes the
// install log onto the uninstaller (with the program-group shortcuts and
// the uninstall entry), remembers the destination folder where a later
// setup looks for it, applies the INI, registry and file patch entries,
// and registers the self-registering libraries. Finally it moves the
// wizard to the finish page (unless the package runs a single page) and
// ends the installation. After a failed one only the archive is closed and
// the wizard moved on. Failures are neither reported nor retried.
void RunPostInstallActions();

// An unattended installation lists what the actions did: each action (a
// short name), what it worked on, and whether it succeeded. None while the
// wizard runs.
using PostInstallReport = void (*)(const char* action, const char* subject, bool done);
extern PostInstallReport g_post_install_report;
