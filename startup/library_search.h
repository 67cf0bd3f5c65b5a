// Where the program's libraries may come from: the system folder only, so
// that a library planted beside a downloaded setup file, or in the
// temporary folder the uninstaller runs its copy from, is never loaded.
#pragma once

// Called first thing in WinMain: libraries the program loads later (by
// name, or brought in by the system's own) are looked for in the system
// folder. Where the system cannot restrict the search that far, at least
// the current folder is taken out of it.
void RestrictLibrarySearch();
