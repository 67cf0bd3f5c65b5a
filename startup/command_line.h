// The setup program's command line: switches introduced by '-' or '/',
// letters in any case, separated by blanks.
//   /S path      the setup file that carries the package (quoted, or up to
//                the next blank); cut to the buffer
//   /DEL         this file is a relaunched copy: delete it at the next restart
//   /QUIET       install without a window or a question
//   /DIR=folder  the destination folder of a quiet install: quoted, or up
//                to the next switch, so that a folder with blanks typed
//                without quotes is taken whole (/DIR=C:\My Folder /TYPE=2)
//   /TYPE=n      the setup type of a quiet install, counted from 1
//   /LOG=file    a quiet install writes its outcome, entry by entry, there
//                (read as /DIR's folder)
//   /LANG=tag    the language to show ("de", "pt-BR"), in place of the
//                one the system's languages choose; cut to 11 characters
//   /?           show the switches
// Any other switch is skipped; the first word that is not a switch ends
// the parse, and is noted as stray. Plain text logic, no platform calls.
#pragma once
#include <cstddef>

struct CommandLine {
    bool has_source;   // /S was given; source holds its path
    bool delete_self;  // /DEL
    bool quiet;        // /QUIET
    bool help;         // /?
    int type;          // /TYPE=n: n (from 1); 0 when not given; -1 when not a number from 1 to 99
    bool stray;        // a word that is no switch ended the parse: a quiet install refuses the line
    char language[12]; // /LANG's tag; empty when not given
};

// Buffers for the values of /DIR and /LOG, `capacity` bytes each; null
// where the caller does not take them. Untouched when the switch is absent.
struct SwitchValues {
    char* folder;
    char* log;
    size_t capacity;
};

// Parses `text` (the part after the program name). The /S path goes into
// source (capacity bytes, always terminated; a longer path is cut).
CommandLine ParseCommandLine(const char* text, char* source, size_t capacity, SwitchValues values = {});
