// What `kiln inspect` and `kiln verify` share: the setup types of a setup
// file read back, each body checked as the setup program checks it.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "builder/reading/setup_reader.h"

struct TypeView {
    const ReadRecord* record = nullptr;  // setup type record
    const ReadRecord* file_list = nullptr;
    const ReadRecord* ini = nullptr;
    const ReadRecord* registry = nullptr;
    const ReadRecord* patches = nullptr;
    const ReadRecord* uninstall_values = nullptr;
    bool sound = false;  // the record and every table of the type passed their checks
};

// A language of the setup file (package/setup_languages.h).
struct LanguageView {
    uint16_t langid = 0, code_page = 0;
    std::string tag;
    // Its setup type records and dialog templates; for the first language
    // the described ones (the types' own records, dialogs null).
    std::vector<const ReadRecord*> types;
    const ReadRecord* dialogs = nullptr;
};

struct PackageView {
    SetupFileView file;
    std::vector<TypeView> types;
    const ReadRecord* uninstaller = nullptr;  // the uninstaller body the setup program keeps
    const ReadRecord* solid_table = nullptr;  // the block table of a solid archive, checked; null for a per-file archive
    uint32_t solid_blocks = 0;
    bool solid_linked = false;  // the table came as kTagSolidBlocksLinked
    // From the language table, the first being the described records'; empty without one.
    std::vector<LanguageView> languages;
    std::vector<std::string> problems;  // what makes the setup program refuse the file or fail to install it
    std::vector<std::string> warnings;  // what it accepts and installs, but is unusual
};

// Checks the package as the setup program's loader does: whatever it loads
// and installs is no problem here, at most a warning. Given the setup
// file's path, its volume files are read as well.
PackageView CheckPackage(const Bytes& setup_file, const std::string& setup_path = {});

// The package's problems, then every extracted file that does not come out
// as the setup program checks it: a plain file decoded to its size and
// checksum, a delta entry by decoding its base, reading its two items and
// applying them, the uninstaller by decoding its data after the
// uninstaller body (whose sizes and checksum nothing checks). An archive
// that ends before the data the file lists use is one fault, naming the
// volume file that is missing. *checked counts the files decoded;
// *warnings, when given, receives the package's warnings and those found
// while decoding. *built, when given, receives every file that passed with
// its setup type and entry, as the setup program would write it.
using BuiltFile = std::function<void(size_t type, const uint8_t* entry, const Bytes& bytes)>;
std::vector<std::string> VerifyPackage(const PackageView& v, size_t* checked,
                                       std::vector<std::string>* warnings = nullptr, const BuiltFile* built = nullptr);
const char* TagName(uint16_t tag);
