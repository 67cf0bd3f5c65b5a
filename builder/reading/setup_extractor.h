// The files of one setup type written into a folder as the setup program
// would install them (deltas applied, volume files read beside the setup
// file, every checksum proved), without running anything. Paths below the
// folder follow ExtractPath; the entry's last access and last write times
// are set when it has them. Nothing is written unless every name of the
// type has a place inside the folder (not through a symbolic link that is
// there already) and every file of the package passes its checks.
#pragma once
#include <string>

// type: counted from 0; -1 for the one the package selects first.
// Messages go to the standard error; returns the exit status (0, or 1).
int ExtractSetup(const std::string& setup, const std::string& folder, int type);
