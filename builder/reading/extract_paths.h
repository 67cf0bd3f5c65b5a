// Where `kiln extract` writes a file list entry below its output folder.
// The install folder's files keep their names at the top; the other
// destinations get a folder named after their install variable:
//   destination folder (kind 0, and any unknown kind)  name
//   Windows folder (kind 1)                            #Windows#/name
//   shared file (kind 2, found by its name alone)      #System#/file name
//   Fonts folder (kind 3)                              #Fonts#/name
// A name the setup program would treat as a path of its own, or that
// Windows could not hold, is refused, so nothing lands outside the folder:
// an empty name or path piece, "." or "..", a piece of dots only, an
// absolute path, a drive letter or any ':', a device name (CON, NUL,
// COM1, ... with or without an extension), control characters and
// <>"|?*, and a piece ending in a dot or a blank.
#pragma once
#include <cstdint>
#include <string>

// The relative path ('/' between pieces) of the entry below the output
// folder, or "" with *refusal saying why.
std::string ExtractPath(const uint8_t* entry, std::string* refusal);
