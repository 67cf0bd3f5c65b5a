// Replacement of files in use at the next restart of Windows: Windows NT
// does it through its own delayed move; the older platform carries out the
// [Rename] section of WININIT.INI when it starts.
#pragma once

// At the next restart the source file replaces the destination file; with
// no destination (null) the source file is deleted instead (an empty
// folder too, on Windows NT). False when it cannot be arranged: the files
// then stay as they are. The caller decides whether a restart is needed.
bool ReplaceAtRestart(const char* destination, const char* source);
