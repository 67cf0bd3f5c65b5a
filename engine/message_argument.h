// The message argument: the text that replaces "%s" in the error messages
// of string group 6 (a file name, a folder, a disk).
#pragma once

// Copies text into the message argument, cut to fit its 260 bytes.
void SetMessageArgument(const char* text);
