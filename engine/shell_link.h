// Shortcuts: shell link files written through the shell's link object.
// The component library must have been initialised (CoInitialize).
#pragma once
#include <windows.h>

// Writes the link file link_path (a ".lnk" file) pointing at target, with
// the target's folder as working directory, the arguments when given and
// not empty, and the target's icon number icon_index when it is not 0.
// Returns the result of the last step (S_OK when the link was saved).
HRESULT CreateShellLink(const char* target, const char* link_path, const char* arguments, int icon_index);
