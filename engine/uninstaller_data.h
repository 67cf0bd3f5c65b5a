// The uninstaller file as a product installs it, front to back:
//
//   program          kiln-uninstall.exe's own bytes. Its data block (marker,
//                    then u32 program length) is filled in by the builder, so
//                    the running program knows where its own bytes end.
//   texts            u32 size of this part (from its first byte to the
//                    closing header), u16 text count, then that many strings
//                    (u16 length, ANSI bytes, no terminator): the texts of
//                    UninstallerText, in that order.
//   closing header   8 bytes: tag 0x7F7F, 0, size 0. The setup program
//                    writes the install log's first header over it.
//   install log      appended by the setup program (install_log_format.h).
//
// The package carries the program as its uninstaller record and the texts
// and closing header as each setup type's uninstaller entry, so each setup
// type's uninstaller speaks that type's texts.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/install_log_format.h"

// The data block in the uninstaller's initialised data.
constexpr uint8_t kUninstallerMarker[6] = {0x6B, 0x55, 0x6E, 0x21, 0x4C, 0x7A};  // "kUn!Lz"
constexpr uint32_t kUninstallerBlockSize = 10;

// The builder's copy of a setup type's texts; each but the product name
// may hold one %s, the product name.
enum UninstallerText : int {
    kTextProductName,  // the setup title: captions, and what %s stands for
    kTextQuestion,     // asked before anything is removed (Yes/No)
    kTextRemoved,      // everything named was removed
    kTextRestart,      // removed, but files in use go at the next restart
    kTextIncomplete,   // heads the list of items that could not be removed
    kTextDamaged,      // the install log is missing or damaged; nothing removed
    kTextNotInstalledHere,  // the entry is gone or names another uninstaller file; nothing removed
    kUninstallerTextCount,
};

struct UninstallerTexts {
    LogText text[kUninstallerTextCount];
};

// Reads the texts part from data[0, size) (the file from the end of the
// program on) and returns where the install log starts, counted from data:
// the position of the closing header. Returns 0 when the texts part is cut
// short or malformed. Texts the part does not hold are empty; texts beyond
// the known ones are passed over.
size_t ReadUninstallerTexts(const uint8_t* data, size_t size, UninstallerTexts* texts);
