// The builder's default English string table: every (group, index) text the
// setup program reads, so that a manifest only names the texts it wants to
// change. Also the checks that keep a string table safe for the setup
// program, whose formatting and buffers are fixed.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "package/package_format.h"

using StringTable = std::array<std::vector<std::string>, kStringGroupCount>;

// The default texts of one group, by index. Group 8 is not read and has
// none; group 10 holds the uninstaller's texts, which the setup program does
// not read; a group number outside 0 to 10 has none.
const std::vector<std::string>& DefaultGroupTexts(int group);

// The finish page's introductions (group 5, indexes 2 and 3) for a setup type
// that has a document to open or a program to run, where the manifest gives
// none: the defaults leave them empty so that a type without such files
// shows no orphaned words.
extern const char kDocumentIntroduction[];
extern const char kProgramIntroduction[];

// The texts outside the string table that a setup shows, by the names the
// translations give them: the finish page's introductions above and the
// destination page's browse button, whose caption is in its dialog template.
struct NamedText {
    const char* key;
    const char* english;
};
extern const NamedText kNamedTexts[3];

// All eleven groups of default texts.
StringTable DefaultStringTable();

// What would make the setup program misbehave with this table: a format
// directive that its wsprintfA call would read a wrong argument for, a text
// that overflows one of its fixed buffers once formatted, a zero byte inside
// a text. One line per problem, naming group and index; empty when sound.
std::vector<std::string> CheckStringTable(const StringTable& table);

// The format directives of text (group, index) in order, as "%s %d %%",
// for a text the setup program formats; "" for one it shows as it stands,
// where a '%' is just a character. Another text in the same place must
// keep the English directives: the program passes the same arguments.
std::string FormatDirectives(int group, int index, const std::string& text);
