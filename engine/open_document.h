// Opening the installed document with the program the system associates
// with it.
#pragma once

// Opens the document to open; nothing happens when none is set.
void OpenDocument();
