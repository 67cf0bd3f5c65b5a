// The setup program's command line: switches introduced by '-' or '/',
// letters in any case, separated by blanks.
//   /S path   the setup file that carries the package (quoted, or up to the
//             next blank); cut to the buffer
//   /DEL      this file is a relaunched copy: delete it at the next restart
// Any other switch is skipped; the first word that is not a switch ends
// the parse. Plain text logic, no platform calls.
#pragma once
#include <cstddef>

struct CommandLine {
    bool has_source;   // /S was given; source holds its path
    bool delete_self;  // /DEL
};

// Parses `text` (the part after the program name). The /S path goes into
// source (capacity bytes, always terminated; a longer path is cut).
CommandLine ParseCommandLine(const char* text, char* source, size_t capacity);
