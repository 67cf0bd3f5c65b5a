// The rules a file's target name must meet for the setup program to
// install it where the author meant, and for `kiln extract` to write it.
// One set, used by `kiln build` (refused before anything is written), by
// `kiln verify` and `kiln inspect` (reported), and by `kiln extract`
// (checked for every name before anything is written).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The install variables the setup program replaces; any other #Name# is
// left as written and becomes a folder of that name.
extern const std::vector<std::string> kInstallVariables;

// Why one path piece cannot be a Windows file name; "" when it can: an
// empty piece, dots only, control characters or <>"|?*:, a trailing dot or
// blank, a device name (CON, NUL, COM1, ... with or without an extension).
std::string PieceFault(const std::string& piece);

// The pieces of a target between '\' or '/'; a folder entry's closing
// backslash makes no empty last piece.
std::vector<std::string> TargetPieces(const std::string& target, bool folder_entry);

// Why a target (pieces between '\' or '/') cannot be installed below its
// destination, as "is ..." or "holds ..."; "" when it can.
std::string TargetFault(const std::string& target, bool folder_entry);

// The first #Name# in `text` that is no install variable, as a sentence
// with a "did you mean" where a known one is close; "" when there is none.
std::string UnknownVariable(const std::string& text);

// The closest of `known` to `word` (case-insensitive edit distance at most
// a third of the word's length, at least 2), or "".
std::string Suggestion(const std::string& word, const std::vector<std::string>& known);

// One entry of a setup type's file list as the clash check sees it.
struct TargetItem {
    std::string target;
    uint8_t destination_kind = 0;
    bool folder = false;  // a folder entry
    bool installed = true;  // false: beside the setup file, never written
};

// Targets of one setup type that Windows sees as one file: the same name
// in another case, or a file that is also the folder above another entry.
// One per clash, at the later entry, naming both by their positions.
struct TargetClash {
    size_t entry;
    std::string problem;
};
std::vector<TargetClash> TargetClashes(const std::vector<TargetItem>& items);
